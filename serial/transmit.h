// Transmit and timed waits: sending bytes to the adapter, a fixed busy pause and
// the collection of a reply from the receive ring, measured on the tick count.
#pragma once

#include "platform/win_types.h"

// Writes `length` bytes to the open port in one write; 1 on success, 0 on failure.
int SendText(const char* bytes, int length);

// Busy-waits until more than n x 100 ms have passed; always 1.
int WaitTicks(DWORD n);

// Takes bytes from the receive ring into `buffer` (of `size` bytes) until 2 x `lines` line
// feeds have been taken (1) or more than `seconds` s have passed (0). At most size - 1 bytes
// are stored, from the first byte on, and buffer[size - 1] is kept 0, so the buffer always
// holds a NUL-terminated text; bytes beyond that are taken and their line feeds counted.
int WaitForLines(char* buffer, int size, DWORD seconds, DWORD lines);
