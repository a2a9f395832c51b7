#include "serial/port.h"

#include <cstdio>
#include <cstring>

#include "platform/handle.h"
#include "platform/window.h"
#include "ui/main_window.h"
#include "ui/templates.h"

std::atomic<HANDLE> portHandle{nullptr};
char portName[PORT_NAME_SIZE];
std::atomic<int> portOpen{0};
COMMCONFIG portConfig;

namespace {

constexpr DWORD kConfigSize = 52;

HANDLE OpenExclusive(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

int ProbePorts(char list[][PORT_NAME_SIZE], int capacity) {
  int count = 0;
  for (int n = 0; n < PORT_PROBE_COUNT; ++n) {
    char probe[PORT_NAME_SIZE];
    std::snprintf(probe, sizeof probe, n < 10 ? "COM%d" : "\\\\.\\COM%d", n);
    HANDLE handle = OpenExclusive(probe);
    if (handle == INVALID_HANDLE_VALUE) continue;
    CloseHandle(handle);
    if (count < capacity) std::snprintf(list[count++], PORT_NAME_SIZE, "COM%d", n);
  }
  return count;
}

int ReadPortSelection() {
  const LRESULT index = SendDlgItemMessageA(mainDialog, IDC_PORT_LIST, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return 0;
  // The list holds only the probe's names, five characters at the most.
  const LRESULT copied = SendDlgItemMessageA(mainDialog, IDC_PORT_LIST, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                             reinterpret_cast<LPARAM>(portName));
  return copied == CB_ERR ? 0 : 1;
}

int OpenPort() {
  if (std::strlen(portName) == 5) {  // COM10 to COM99 open under the device form
    std::memmove(portName + 4, portName, 6);  // the five characters and the NUL
    std::memcpy(portName, "\\\\.\\", 4);
  }
  HANDLE handle = OpenExclusive(portName);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  portHandle.store(handle);
  portOpen.store(1);
  DWORD size = kConfigSize;
  GetCommConfig(handle, &portConfig, &size);
  portConfig.dwSize = kConfigSize;
  return 1;
}

int ApplyLineSettings() {
  DCB& dcb = portConfig.dcb;
  dcb.BaudRate = 115200;
  dcb.fParity = 1;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  dcb.fOutX = 1;
  dcb.fInX = 1;
  dcb.fNull = 1;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return SetCommState(portHandle.load(), &dcb) ? 1 : 0;
}

int ReapplyLineSettings() {
  portConfig.dcb.BaudRate = 115200;
  return SetCommState(portHandle.load(), &portConfig.dcb) ? 1 : 0;
}

void ClosePort() {
  CloseHandle(portHandle.load());
  portOpen.store(0);
}

void ClearPortErrors() {
  DWORD errors;
  COMSTAT status;
  ClearCommError(portHandle.load(), &errors, &status);
}
