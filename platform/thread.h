// Threads: kernel threads with handles and exit codes, and the run-time
// library's fire-and-forget threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

// Starts start(parameter) on a new thread at once; returns its handle (close it with
// CloseHandle), or null when the thread cannot be created. Stack size, flags and id are unused.
HANDLE CreateThread(void* securityAttributes, std::size_t stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId);

// Stores the thread's exit code, STILL_ACTIVE (259) while it runs; FALSE for a handle that is
// not an open thread. Once the code is final, every write the thread made is visible.
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

// Starts start(argument) on a new detached thread; returns nonzero, or UINTPTR_MAX when it
// cannot be created. The stack size is unused.
std::uintptr_t _beginthread(void (*start)(void* argument), unsigned stackSize, void* argument);

// Ends the calling thread, which _beginthread started; the thread unwinds and returns.
[[noreturn]] void _endthread();

namespace platform::testing {
// Makes the next `count` calls of CreateThread and _beginthread fail.
void FailThreadCreation(int count);
}
