#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/serial_port_impl.h"

namespace platform {

namespace {

// "COMn" (with an optional "\\.\" in front) to n; -1 for anything else.
int PortNumber(LPCSTR name) {
  if (name == nullptr) return -1;
  if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
  if (std::strncmp(name, "COM", 3) != 0) return -1;
  const char* digits = name + 3;
  const std::size_t length = std::strlen(digits);
  if (length == 0 || length > 3 || (digits[0] == '0' && length > 1)) return -1;
  int number = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return -1;
    number = number * 10 + (*p - '0');
  }
  return number;
}

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

}  // namespace

std::string PortDevicePath(LPCSTR name) {
  const int number = PortNumber(name);
  if (number < 0) return "";
  if (const char* dir = std::getenv("TR20KX_PORT_DIR"); dir != nullptr && *dir != '\0')
    return std::string(dir) + "/COM" + std::to_string(number);
  if (number >= 1 && number <= 32) return "/dev/ttyS" + std::to_string(number - 1);
  if (number >= 33 && number <= 64) return "/dev/ttyUSB" + std::to_string(number - 33);
  if (number >= 65 && number <= 96) return "/dev/ttyACM" + std::to_string(number - 65);
  return "";
}

SerialPort::SerialPort(int fd, int wakeFd) : fd(fd), wakeFd_(wakeFd) {
  // Members with no termios counterpart start at common driver defaults.
  kept_.DCBlength = sizeof(DCB);
  kept_.fBinary = 1;
  kept_.fDtrControl = DTR_CONTROL_ENABLE;
  kept_.fRtsControl = RTS_CONTROL_ENABLE;
  kept_.fTXContinueOnXoff = 1;
  kept_.XonLim = 2048;
  kept_.XoffLim = 512;
}

SerialPort::~SerialPort() { Close(); }

void SerialPort::Close() {
  std::unique_lock lock(mutex_);
  if (closed_) return;
  closing_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t ignored = write(wakeFd_, &one, sizeof one);
  idle_.wait(lock, [this] { return users_ == 0; });
  closed_ = true;
  ioctl(fd, TIOCNXCL);
  close(fd);  // also drops the flock
  close(wakeFd_);
}

bool SerialPort::Enter() {
  std::lock_guard lock(mutex_);
  if (closing_) return false;
  ++users_;
  return true;
}

void SerialPort::Leave() {
  std::lock_guard lock(mutex_);
  if (--users_ == 0) idle_.notify_all();
}

int SerialPort::Wait(short events, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {wakeFd_, POLLIN, 0}};
    const int result = poll(fds, 2, timeoutMs < 0 ? -1 : MillisecondsLeft(deadline));
    if (result < 0 && errno == EINTR) continue;
    if (result < 0 || fds[1].revents != 0) return -1;
    return fds[0].revents;
  }
}

COMMTIMEOUTS SerialPort::Timeouts() {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

void SerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(mutex_);
  timeouts_ = timeouts;
}

DCB SerialPort::KeptMembers() {
  std::lock_guard lock(mutex_);
  return kept_;
}

void SerialPort::SetKeptMembers(const DCB& dcb) {
  std::lock_guard lock(mutex_);
  kept_ = dcb;
}

DWORD SerialPort::TakeLineErrors() {
  serial_icounter_struct now{};
  if (ioctl(fd, TIOCGICOUNT, &now) != 0) return 0;  // no counters (a pty, for one)
  std::lock_guard lock(mutex_);
  DWORD errors = 0;
  if (haveCounts_) {
    if (now.buf_overrun != counts_.buf_overrun) errors |= CE_RXOVER;
    if (now.overrun != counts_.overrun) errors |= CE_OVERRUN;
    if (now.parity != counts_.parity) errors |= CE_RXPARITY;
    if (now.frame != counts_.frame) errors |= CE_FRAME;
    if (now.brk != counts_.brk) errors |= CE_BREAK;
  }
  counts_ = now;
  haveCounts_ = true;
  return errors;
}

PortCall::PortCall(HANDLE handle) : port_(LookupHandleAs<SerialPort>(handle)) {
  if (port_ && !port_->Enter()) port_.reset();
}

PortCall::~PortCall() {
  if (port_) port_->Leave();
}

}  // namespace platform

using platform::PortCall;

HANDLE CreateFileA(LPCSTR name, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
  const std::string path = platform::PortDevicePath(name);
  if (path.empty()) return INVALID_HANDLE_VALUE;
  // O_NONBLOCK keeps the open from waiting for carrier; the calls below wait in poll.
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  int exclusive = 0;
  const bool heldElsewhere = flock(fd, LOCK_EX | LOCK_NB) != 0 ||
                             (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0);
  if (!isatty(fd) || heldElsewhere || ioctl(fd, TIOCEXCL) != 0) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    ioctl(fd, TIOCNXCL);
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  return platform::RegisterHandle(std::make_shared<platform::SerialPort>(fd, wakeFd));
}

BOOL SetCommTimeouts(HANDLE handle, COMMTIMEOUTS* timeouts) {
  PortCall port(handle);
  if (!port || timeouts == nullptr) return FALSE;
  port->SetTimeouts(*timeouts);
  return TRUE;
}

BOOL ClearCommError(HANDLE handle, LPDWORD errors, COMSTAT* stat) {
  PortCall port(handle);
  if (!port) return FALSE;
  int waiting = 0;
  if (ioctl(port->fd, TIOCINQ, &waiting) != 0) return FALSE;
  if (waiting == 0) {
    // Wait briefly, so that a caller polling an idle line does not spin a core.
    const int revents = port->Wait(POLLIN, 2);
    if (revents > 0 && (revents & POLLIN) == 0) {
      // Hung up: the descriptor stays ready, so spend the short wait here instead.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      return FALSE;
    }
    if (revents > 0 && ioctl(port->fd, TIOCINQ, &waiting) != 0) return FALSE;
  }
  int unsent = 0;
  if (ioctl(port->fd, TIOCOUTQ, &unsent) != 0) unsent = 0;
  const DWORD lineErrors = port->TakeLineErrors();
  if (errors != nullptr) *errors = lineErrors;
  if (stat != nullptr) {
    *stat = COMSTAT{};
    stat->cbInQue = static_cast<DWORD>(waiting);
    stat->cbOutQue = static_cast<DWORD>(unsent);
  }
  return TRUE;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED) {
  if (read != nullptr) *read = 0;
  PortCall port(handle);
  if (!port || (buffer == nullptr && count > 0)) return FALSE;
  const COMMTIMEOUTS t = port->Timeouts();
  const bool noTimeout = t.ReadIntervalTimeout == 0 && t.ReadTotalTimeoutMultiplier == 0 &&
                         t.ReadTotalTimeoutConstant == 0;
  const bool immediate = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                         t.ReadTotalTimeoutConstant == 0;
  const auto total = std::chrono::milliseconds(static_cast<std::uint64_t>(t.ReadTotalTimeoutMultiplier) * count +
                                               t.ReadTotalTimeoutConstant);
  const auto deadline = std::chrono::steady_clock::now() + total;

  auto* bytes = static_cast<unsigned char*>(buffer);
  DWORD got = 0;
  bool failed = false;
  while (got < count) {
    const ssize_t n = ::read(port->fd, bytes + got, count - got);
    if (n > 0) {
      got += static_cast<DWORD>(n);
      continue;
    }
    if (n == 0) break;  // end of file: the line has hung up
    if (errno == EINTR) continue;
    if (errno != EAGAIN) {
      failed = true;
      break;
    }
    if (immediate) break;
    const int left = noTimeout ? -1 : platform::MillisecondsLeft(deadline);
    if (left == 0) break;
    const int revents = port->Wait(POLLIN, left);
    if (revents < 0) {
      failed = true;  // closed under the call
      break;
    }
    if (revents == 0) break;  // time-out
  }
  if (port->dropNul.load(std::memory_order_relaxed)) {
    DWORD kept = 0;
    for (DWORD i = 0; i < got; ++i)
      if (bytes[i] != 0) bytes[kept++] = bytes[i];
    got = kept;
  }
  if (read != nullptr) *read = got;
  return failed && got == 0 ? FALSE : TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) {
  if (written != nullptr) *written = 0;
  PortCall port(handle);
  if (!port || (buffer == nullptr && count > 0)) return FALSE;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  DWORD done = 0;
  BOOL ok = TRUE;
  while (done < count) {
    const ssize_t n = ::write(port->fd, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<DWORD>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      ok = FALSE;
      break;
    }
    // Output is full or held by XOFF: wait, without limit, until it may go on.
    if (port->Wait(POLLOUT, -1) < 0) {
      ok = FALSE;
      break;
    }
  }
  if (written != nullptr) *written = done;
  return ok;
}

BOOL PurgeComm(HANDLE handle, DWORD flags) {
  PortCall port(handle);
  if (!port) return FALSE;
  const bool rx = (flags & PURGE_RXCLEAR) != 0;
  const bool tx = (flags & PURGE_TXCLEAR) != 0;
  if (rx || tx) {
    if (tcflush(port->fd, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0) return FALSE;
  }
  return TRUE;
}
