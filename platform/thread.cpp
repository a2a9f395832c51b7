#include "platform/thread.h"

#include <atomic>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/handle.h"

namespace {

std::atomic<int> failuresToInject{0};

bool InjectedFailure() {
  int pending = failuresToInject.load();
  while (pending > 0) {
    if (failuresToInject.compare_exchange_weak(pending, pending - 1)) return true;
  }
  return false;
}

struct ExitCode {
  std::atomic<DWORD> value{STILL_ACTIVE};
};

class Thread : public platform::KernelObject {
 public:
  Thread(std::thread thread, std::shared_ptr<ExitCode> code) : thread_(std::move(thread)), code_(std::move(code)) {}
  ~Thread() override { Release(); }
  void Close() override { Release(); }

  DWORD Code() const { return code_->value.load(std::memory_order_acquire); }

 private:
  // A finished thread is joined; one that still runs is let go and ends on its own.
  void Release() {
    if (!thread_.joinable()) return;
    if (Code() != STILL_ACTIVE)
      thread_.join();
    else
      thread_.detach();
  }

  std::thread thread_;
  std::shared_ptr<ExitCode> code_;
};

// Thrown by _endthread and caught where the thread began, so the thread unwinds normally.
struct EndThread {};

}  // namespace

HANDLE CreateThread(void*, std::size_t, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD, LPDWORD threadId) {
  if (start == nullptr || InjectedFailure()) return nullptr;
  auto code = std::make_shared<ExitCode>();
  std::thread thread;
  try {
    thread = std::thread([start, parameter, code] {
      const DWORD result = start(parameter);
      code->value.store(result, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    return nullptr;
  }
  if (threadId != nullptr) *threadId = 0;
  return platform::RegisterHandle(std::make_shared<Thread>(std::move(thread), std::move(code)));
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
  auto thread = platform::LookupHandleAs<Thread>(handle);
  if (!thread || exitCode == nullptr) return FALSE;
  *exitCode = thread->Code();
  return TRUE;
}

std::uintptr_t _beginthread(void (*start)(void*), unsigned, void* argument) {
  if (start == nullptr || InjectedFailure()) return UINTPTR_MAX;
  try {
    std::thread([start, argument] {
      try {
        start(argument);
      } catch (const EndThread&) {
      }
    }).detach();
  } catch (const std::system_error&) {
    return UINTPTR_MAX;
  }
  return 1;
}

void _endthread() { throw EndThread{}; }

namespace platform::testing {
void FailThreadCreation(int count) { failuresToInject.store(count); }
}  // namespace platform::testing
