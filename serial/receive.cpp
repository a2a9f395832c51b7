#include "serial/receive.h"

#include "platform/clock.h"
#include "platform/handle.h"
#include "platform/serial_port.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "serial/port.h"

std::atomic<char> receiveRing[RING_SIZE];
std::atomic<DWORD> ringWrite{0};
std::atomic<DWORD> ringRead{0};
std::atomic<int> receiveRunning{0};
HANDLE receiveThread;

static_assert(sizeof(receiveRing) == RING_SIZE);

namespace {

COMMTIMEOUTS ReceiveTimeouts() {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 5;
  timeouts.ReadTotalTimeoutConstant = 50;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  return timeouts;
}

// One pass over `port`: a status query, then a read of what is waiting.
void ReceivePass(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  DWORD waiting = 0;
  if (ClearCommError(port, &errors, &status)) waiting = status.cbInQue;
  if (errors != 0) ClearPortErrors();
  if (waiting > READ_CHUNK) waiting = READ_CHUNK;
  if (waiting == 0) return;

  char buffer[READ_CHUNK];
  DWORD count = 0;
  if (!ReadFile(port, buffer, waiting, &count, nullptr)) {
    ClearPortErrors();
    return;
  }
  if (count != 0) RingPut(buffer, static_cast<int>(count));
}

}  // namespace

int StartReceiveThread() {
  if (receiveRunning.load() == 1) return 1;
  receiveRunning.store(1);
  receiveThread = CreateThread(nullptr, 0, ReceiveThreadProc, nullptr, 0, nullptr);
  if (receiveThread == nullptr) {
    receiveRunning.store(0);
    MessageBoxA(nullptr, "Error creating READ thread", "", MB_OK);
    ClosePort();
    return 0;
  }
  return 1;
}

DWORD ReceiveThreadProc(LPVOID) {
  COMMTIMEOUTS timeouts = ReceiveTimeouts();
  HANDLE port = portHandle.load();
  SetCommTimeouts(port, &timeouts);
  while (receiveRunning.load() != 0) {
    // After a close of the port the thread leaves the old handle alone and
    // waits for the port to be opened again; then it takes up the new handle.
    if (portOpen.load() == 0) {
      Sleep(2);
      continue;
    }
    if (HANDLE current = portHandle.load(); current != port) {
      port = current;
      SetCommTimeouts(port, &timeouts);
    }
    ReceivePass(port);
  }
  if (portOpen.load() == 1) {
    PurgeComm(portHandle.load(), PURGE_RXCLEAR);
    ClosePort();
  }
  return 0;
}

void StopReceiveThread() {
  if (receiveRunning.load() == 0) return;
  receiveRunning.store(0);
  DWORD code = 0;
  while (GetExitCodeThread(receiveThread, &code) && code == STILL_ACTIVE) {
  }
  CloseHandle(receiveThread);
  receiveThread = nullptr;
}

void RingPut(const char* bytes, int count) {
  DWORD write = ringWrite.load(std::memory_order_relaxed);
  for (int i = 0; i < count; ++i) {
    receiveRing[write].store(bytes[i], std::memory_order_relaxed);
    write = (write + 1) % RING_SIZE;
    ringWrite.store(write, std::memory_order_release);
  }
}

int RingGet(char* out) {
  const DWORD read = ringRead.load(std::memory_order_relaxed);
  if (read == ringWrite.load(std::memory_order_acquire)) {
    *out = 0;
    return 0;
  }
  *out = receiveRing[read].load(std::memory_order_relaxed);
  ringRead.store((read + 1) % RING_SIZE, std::memory_order_relaxed);
  return 1;
}

void RingReset() {
  ringRead.store(0, std::memory_order_relaxed);
  ringWrite.store(0, std::memory_order_release);
}
