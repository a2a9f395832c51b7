#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {
std::atomic<DWORD> tickBias{0};
}

DWORD GetTickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  return static_cast<DWORD>(static_cast<std::uint64_t>(ms)) + tickBias.load(std::memory_order_relaxed);
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  // sleep_for resumes after signals by itself and never returns early.
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace platform::testing {
void SetTickCountBias(DWORD bias) { tickBias.store(bias, std::memory_order_relaxed); }
}  // namespace platform::testing
