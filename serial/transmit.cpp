#include "serial/transmit.h"

#include <cstdint>

#include "platform/clock.h"
#include "platform/serial_port.h"
#include "serial/port.h"
#include "serial/receive.h"

namespace {

// Elapsed time is measured as now - start in unsigned 32-bit arithmetic, which
// stays right when the tick count wraps.
bool MoreThan(DWORD start, std::uint64_t milliseconds) {
  const DWORD elapsed = GetTickCount() - start;
  return elapsed > milliseconds;
}

}  // namespace

int SendText(const char* bytes, int length) {
  DWORD written = 0;
  if (!WriteFile(portHandle.load(), bytes, static_cast<DWORD>(length), &written, nullptr)) {
    ClearPortErrors();
    return 0;
  }
  return 1;
}

int WaitTicks(DWORD n) {
  const DWORD start = GetTickCount();
  while (!MoreThan(start, std::uint64_t{100} * n)) {
  }
  return 1;
}

int WaitForLines(char* buffer, int size, DWORD seconds, DWORD lines) {
  const DWORD start = GetTickCount();
  const std::uint64_t wanted = std::uint64_t{2} * lines;
  std::uint64_t lineFeeds = 0;
  int stored = 0;
  if (size > 0) buffer[size - 1] = 0;
  for (;;) {
    char byte;
    if (RingGet(&byte)) {
      if (stored < size - 1) buffer[stored++] = byte;
      if (byte == 0x0A && ++lineFeeds == wanted) return 1;
    }
    if (MoreThan(start, std::uint64_t{1000} * seconds)) return 0;
  }
}
