// Receive thread and receive ring: everything the adapter sends is read by a
// thread of its own and appended to a ring of 1024 bytes, which one reader at
// a time empties byte by byte.
#pragma once

#include <atomic>

#include "platform/win_types.h"

constexpr int RING_SIZE = 1024;
constexpr int READ_CHUNK = 100;  // bytes read from the port in one pass at the most

// One writer (the receive thread) and one reader at a time. A byte is stored
// before ringWrite moves past it (release); readers load ringWrite (acquire)
// before the byte. The bytes themselves are atomics too, so that an overrun,
// where the writer laps a slow reader, is no data race either.
extern std::atomic<char> receiveRing[RING_SIZE];
extern std::atomic<DWORD> ringWrite;
extern std::atomic<DWORD> ringRead;
extern std::atomic<int> receiveRunning;  // 1 while the receive thread is to go on
extern HANDLE receiveThread;

// Starts the receive thread unless it runs already; 1 when it runs, 0 when it could not be
// created (then a message has been shown and the port closed).
int StartReceiveThread();

// The receive thread's body; ends with exit code 0.
DWORD ReceiveThreadProc(LPVOID unused);

// Tells the receive thread to stop and waits for its end; the port is then closed.
void StopReceiveThread();

// Appends `count` bytes (1 to 100); the oldest unread bytes are overwritten when the ring overruns.
void RingPut(const char* bytes, int count);

// Takes one byte into *out and returns 1, or sets *out to 0 and returns 0 when the ring is empty.
int RingGet(char* out);

// Empties the ring: ringRead becomes 0, then ringWrite.
void RingReset();
