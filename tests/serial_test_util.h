// Helpers for the serial link's tests.
#pragma once

#include <chrono>
#include <string>
#include <thread>

#include "platform/serial_port.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "sim/adapter_sim.h"

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

// Makes the adapter hold the open port's output with XOFF. The marker sent behind the
// XOFF is read back, so once this returns the XOFF has taken effect. Sets the port's
// read time-outs for that read.
inline bool HoldWithXoff(sim::AdapterSim& adapter) {
  adapter.Send(std::string(1, sim::XOFF) + "!");
  COMMTIMEOUTS timeouts{0, 0, 5000, 0, 0};
  SetCommTimeouts(portHandle.load(), &timeouts);
  char marker = 0;
  DWORD got = 0;
  return ReadFile(portHandle.load(), &marker, 1, &got, nullptr) && got == 1 && marker == '!';
}
