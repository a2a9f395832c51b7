// Helpers for the serial link's tests.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "serial/receive.h"

// Takes bytes from the receive ring until `count` have come or `timeoutMs` passed.
inline std::string TakeFromRing(std::size_t count, int timeoutMs = 5000) {
  std::string taken;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (taken.size() < count && std::chrono::steady_clock::now() < deadline) {
    char byte;
    if (RingGet(&byte))
      taken.push_back(byte);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return taken;
}

// Waits until the ring holds at least `count` unread bytes, without taking them.
inline bool WaitForUnread(DWORD count, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    const DWORD unread = (ringWrite.load() + RING_SIZE - ringRead.load()) % RING_SIZE;
    if (unread >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}
