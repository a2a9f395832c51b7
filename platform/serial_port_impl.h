// The object behind a serial port handle (internal to the platform layer).
#pragma once

#include <linux/serial.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/handle.h"
#include "platform/serial_port.h"

namespace platform {

class SerialPort : public KernelObject {
 public:
  SerialPort(int fd, int wakeFd);
  ~SerialPort() override;

  // Marks the port closing, wakes every call still inside it, waits until they
  // have left, then releases the lock and closes the descriptor.
  void Close() override;

  // Entry and exit of one call; Enter fails once the port is closing.
  bool Enter();
  void Leave();

  // Waits for `events` on the descriptor for up to timeoutMs (-1: no limit).
  // Returns the descriptor's revents, 0 on time-out, -1 when the port is closing.
  int Wait(short events, int timeoutMs);

  const int fd;

  std::atomic<bool> dropNul{false};

  // Guarded by mutex_.
  COMMTIMEOUTS Timeouts();
  void SetTimeouts(const COMMTIMEOUTS& timeouts);
  DCB KeptMembers();
  void SetKeptMembers(const DCB& dcb);
  DWORD TakeLineErrors();  // new errors since the last call, from the driver's counters

 private:
  const int wakeFd_;
  std::mutex mutex_;
  std::condition_variable idle_;
  int users_ = 0;
  bool closing_ = false;
  bool closed_ = false;
  COMMTIMEOUTS timeouts_{};
  DCB kept_{};
  bool haveCounts_ = false;
  serial_icounter_struct counts_{};
};

// One call's hold on a port: looks the handle up and enters the port, so that
// a concurrent CloseHandle waits for the call to end.
class PortCall {
 public:
  explicit PortCall(HANDLE handle);
  ~PortCall();
  PortCall(const PortCall&) = delete;
  PortCall& operator=(const PortCall&) = delete;

  explicit operator bool() const { return port_ != nullptr; }
  SerialPort* operator->() const { return port_.get(); }

 private:
  std::shared_ptr<SerialPort> port_;
};

}  // namespace platform
