// Time: a monotonic millisecond tick count and sleeping.
#pragma once

#include "platform/win_types.h"

// Milliseconds of a monotonic clock, as a 32-bit count that wraps after 49.7 days.
DWORD GetTickCount();

// Suspends the calling thread for at least `milliseconds` ms (0 only yields).
void Sleep(DWORD milliseconds);

namespace platform::testing {
// Shifts every later GetTickCount result by `bias` ms, so tests can start near the wrap.
void SetTickCountBias(DWORD bias);
}
