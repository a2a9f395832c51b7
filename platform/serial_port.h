// Serial ports: the COMn names, an exclusive open, the line settings as a DCB,
// time-outs, a status query, reads, writes and purges.
//
// Names. "COMn" and "\\.\COMn" name the same port. With TR20KX_PORT_DIR set,
// COMn is the entry COMn in that directory and nothing else is looked at.
// Otherwise COM1-32 are /dev/ttyS0-31, COM33-64 /dev/ttyUSB0-31 and COM65-96
// /dev/ttyACM0-31; COM0 and COM97 and above name no device.
//
// All calls on a port are synchronous for their caller. Inside, the descriptor
// waits in poll(2), so that closing the handle from another thread wakes any
// call still using it; the descriptor itself is closed only after they left.
#pragma once

#include <string>

#include "platform/win_types.h"

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD OPEN_EXISTING = 3;

constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;
constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;

// Line errors reported by ClearCommError.
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

constexpr DWORD MAXDWORD = 0xFFFFFFFF;

// Line settings. Members without a termios counterpart (XonLim, XoffLim,
// ErrorChar, EvtChar and the like) are kept by the port and read back unchanged.
struct DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};
static_assert(sizeof(DCB) == 28);

// A port's configuration record: its size, a version and the DCB.
struct COMMCONFIG {
  DWORD dwSize;
  WORD wVersion;
  WORD wReserved;
  DCB dcb;
  DWORD dwProviderSubType;
  DWORD dwProviderOffset;
  DWORD dwProviderSize;
  WORD wcProviderData[1];
};
static_assert(sizeof(COMMCONFIG) == 52);

// Read time-outs in ms: a read of n bytes gives up after
// ReadTotalTimeoutMultiplier * n + ReadTotalTimeoutConstant. All read members 0
// mean no time-out. Writes never time out.
struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};

struct COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;   // received bytes waiting to be read
  DWORD cbOutQue;  // bytes written and not yet sent
};

struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

// Opens the port `name` for exclusive, synchronous reading and writing, without waiting for
// carrier, and locks it (flock and TIOCEXCL); INVALID_HANDLE_VALUE when the name names no
// device, it is no terminal, or another program holds it. Access, sharing and flags are unused.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, void* securityAttributes, DWORD creation,
                   DWORD flags, HANDLE templateFile);

// Fills config from the port's current termios and kept members; *size must be at least 52.
BOOL GetCommConfig(HANDLE port, COMMCONFIG* config, LPDWORD size);

// Applies speed, data bits, parity, stop bits, XON/XOFF both ways with their characters,
// CTS output flow and raw mode, asserts DTR/RTS where the device has them, drops received
// NULs when fNull is set; re-reads the termios and returns FALSE when the port did not take them.
BOOL SetCommState(HANDLE port, DCB* dcb);

// Sets the read time-outs used by later ReadFile calls on the port.
BOOL SetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts);

// Clears and reports line errors (CE_*, from the driver's counters where it has them) and
// stores the number of received bytes waiting in stat->cbInQue; when none is waiting it
// waits up to 2 ms for one, and answers at once when one arrives. FALSE when the port is
// not open or has hung up.
BOOL ClearCommError(HANDLE port, LPDWORD errors, COMSTAT* stat);

// Reads up to `count` bytes, waiting for them within the read time-outs; received NULs are
// dropped when fNull is set, so *read may be smaller than the bytes taken from the line.
BOOL ReadFile(HANDLE port, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped);

// Writes all `count` bytes, retrying partial writes and interruptions, and waits for as long
// as the other end holds XOFF; FALSE when the line fails or the handle is closed meanwhile.
BOOL WriteFile(HANDLE port, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);

// Discards pending received (PURGE_RXCLEAR) and/or unsent (PURGE_TXCLEAR) bytes.
BOOL PurgeComm(HANDLE port, DWORD flags);

namespace platform {
// Returns the device path that a port name stands for, or "" when it names no device.
std::string PortDevicePath(LPCSTR name);
}  // namespace platform

namespace platform::testing {
// While set, SetCommState refuses every DCB, as a port that does not take its settings.
void RefuseLineSettings(bool refuse);
}  // namespace platform::testing
