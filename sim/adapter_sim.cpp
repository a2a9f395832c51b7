#include "sim/adapter_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::nanoseconds WireTime(std::size_t bytes) {
  return std::chrono::nanoseconds(static_cast<long long>(bytes) * 1'000'000'000LL / WIRE_BYTES_PER_SECOND);
}

void MakeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return;
  cfmakeraw(&t);
  cfsetispeed(&t, B9600);
  cfsetospeed(&t, B9600);
  tcsetattr(fd, TCSANOW, &t);
}

}  // namespace

LoaderReport AdapterSim::Loader() const {
  std::lock_guard lock(mutex_);
  return loader_;
}

bool AdapterSim::WaitForImages(std::size_t count, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return loader_.images.size() >= count; });
}

AdapterSim::AdapterSim(Options options) : options_(std::move(options)) {}

AdapterSim::~AdapterSim() { Stop(); }

bool AdapterSim::Start(const std::string& dir, int number) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    error_ = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    CloseTerminal();
    return false;
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    error_ = "cannot name the pseudo-terminal";
    CloseTerminal();
    return false;
  }
  devicePath_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    error_ = "cannot open " + devicePath_;
    CloseTerminal();
    return false;
  }
  MakeRaw(master_);
  MakeRaw(slave_);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  linkPath_ = dir + "/COM" + std::to_string(number);
  unlink(linkPath_.c_str());
  if (symlink(devicePath_.c_str(), linkPath_.c_str()) != 0) {
    error_ = "cannot link " + linkPath_ + ": " + std::strerror(errno);
    linkPath_.clear();
    CloseTerminal();
    return false;
  }
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  worker_ = std::thread([this] { Run(); });
  return true;
}

void AdapterSim::Stop() {
  if (worker_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(wake_, &one, sizeof one);
    worker_.join();
  }
  CloseTerminal();
  if (wake_ >= 0) close(wake_);
  wake_ = -1;
  if (!linkPath_.empty()) unlink(linkPath_.c_str());
  linkPath_.clear();
}

void AdapterSim::CloseTerminal() {
  std::lock_guard lock(writeMutex_);
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

void AdapterSim::HangUp() {
  std::unique_lock lock(mutex_);
  if (!worker_.joinable()) {
    lock.unlock();
    CloseTerminal();
    return;
  }
  // The worker closes the terminal itself, so that it never polls a closed descriptor.
  hangUpRequested_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t ignored = write(wake_, &one, sizeof one);
  changed_.wait(lock, [this] { return hungUp_; });
}

std::string AdapterSim::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::vector<std::string> AdapterSim::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

bool AdapterSim::WaitForReceived(const std::string& text, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return received_.find(text) != std::string::npos; });
}

bool AdapterSim::WaitForCommands(std::size_t count, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return commands_.size() >= count; });
}

void AdapterSim::Send(const std::string& bytes) { WriteRaw(bytes.data(), bytes.size()); }

void AdapterSim::HoldXoff(int milliseconds) {
  WriteRaw(&XOFF, 1);
  std::lock_guard lock(mutex_);
  xonAt_ = Clock::now() + std::chrono::milliseconds(milliseconds);
  xonPending_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t ignored = write(wake_, &one, sizeof one);
}

// Writes to the program; with the wire emulated, no faster than the line would carry it.
void AdapterSim::WriteRaw(const char* bytes, std::size_t count) {
  std::lock_guard lock(writeMutex_);
  std::size_t done = 0;
  while (done < count && master_ >= 0) {
    const std::size_t chunk = options_.emulateWire ? 1 : count - done;
    if (options_.emulateWire) PaceWire(chunk, nextSend_, done > 0);
    const ssize_t n = write(master_, bytes + done, chunk);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd fd{master_, POLLOUT, 0};
      poll(&fd, 1, 10);
    } else if (n < 0 && errno != EINTR) {
      return;
    }
  }
}

// Sleeps until `count` more bytes have crossed a wire that is free again at `next`. A wire
// that was kept busy (`backlog`: more bytes were already waiting) carries on from where it
// was, so a late wake-up of this thread costs no wire time.
void AdapterSim::PaceWire(std::size_t count, Clock::time_point& next, bool backlog) {
  const auto now = Clock::now();
  if (next < now && !backlog) next = now;
  next += WireTime(count);
  std::this_thread::sleep_until(next);
}

void AdapterSim::Run() {
  char buffer[256];
  for (;;) {
    int timeoutMs = -1;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      if (hangUpRequested_ && !hungUp_) {
        CloseTerminal();
        hungUp_ = true;
        changed_.notify_all();
      }
      if (xonPending_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(xonAt_ - Clock::now()).count();
        timeoutMs = left <= 0 ? 0 : static_cast<int>(left) + 1;
      }
    }
    pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}};
    const int ready = poll(fds, master_ >= 0 ? 2 : 1, timeoutMs);
    if (fds[0].revents & POLLIN) {
      std::uint64_t value;
      [[maybe_unused]] ssize_t ignored = read(wake_, &value, sizeof value);
    }
    bool sendXon = false;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      if (xonPending_ && Clock::now() >= xonAt_) {
        xonPending_ = false;
        sendXon = true;
      }
    }
    if (sendXon) WriteRaw(&XON, 1);
    if (ready <= 0 || master_ < 0 || (fds[1].revents & POLLIN) == 0) continue;
    // With the wire emulated, take the bytes a few at a time at the line's pace.
    const std::size_t want = options_.emulateWire ? 16 : sizeof buffer;
    const ssize_t n = read(master_, buffer, want);
    if (n <= 0) {
      receiveBacklog_ = false;
      continue;
    }
    if (options_.emulateWire) PaceWire(static_cast<std::size_t>(n), nextReceive_, receiveBacklog_);
    receiveBacklog_ = static_cast<std::size_t>(n) == want;
    OnBytes(buffer, static_cast<std::size_t>(n));
  }
}

void AdapterSim::OnBytes(const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    {
      std::lock_guard lock(mutex_);
      received_.push_back(bytes[i]);
    }
    changed_.notify_all();
    if (mode_ == Mode::kCommands)
      OnCommandByte(bytes[i]);
    else
      OnLoaderByte(bytes[i]);
  }
}

void AdapterSim::OnCommandByte(char byte) {
  if (byte == '\n') return;
  std::string command;
  {
    std::lock_guard lock(mutex_);
    if (byte != '\r') {
      line_.push_back(byte);
      return;
    }
    command.swap(line_);
    commands_.push_back(command);
  }
  changed_.notify_all();
  OnCommand(command);
}

void AdapterSim::OnCommand(const std::string& command) {
  if (options_.silent) return;
  if (command == "AAT*VER1" && options_.replies.count(command) == 0) {
    mode_ = Mode::kLoaderErase;
    Prompt("Erase flash ROM (Y or N) ");
    return;
  }
  const std::string reply = ReplyTo(command);
  if (!reply.empty()) Reply(reply);
}

std::string AdapterSim::ReplyTo(const std::string& command) const {
  if (auto it = options_.replies.find(command); it != options_.replies.end()) return it->second;
  const std::string ok = "\r\nOK\r\n";
  if (command == "AATE" || command == "AAT&F&W") return ok;
  if (command == "AATI4") return "\r\n" + options_.model + "\r\n" + ok;
  if (command == "AATI1") return "\r\n" + options_.model + " Ver 2.10\r\n" + ok;
  if (command.empty()) return "";
  return "\r\nERROR\r\n";
}

void AdapterSim::Reply(const std::string& text) {
  if (options_.replyDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options_.replyDelayMs));
  std::string wire;
  for (char c : text) {
    wire.push_back(c);
    if (options_.nulBytes) wire.push_back('\0');
  }
  if (options_.byteGapMs <= 0) {
    WriteRaw(wire.data(), wire.size());
    return;
  }
  for (char c : wire) {
    WriteRaw(&c, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.byteGapMs));
  }
}

}  // namespace sim
