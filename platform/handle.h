// Kernel handles: ports and threads share one table of handles. A handle value
// is never given out twice in a run, so a stale handle can only fail, never
// reach an object opened later.
#pragma once

#include <memory>

#include "platform/win_types.h"

namespace platform {

// An object behind a kernel handle. Close() runs once, when the handle is closed.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
  virtual void Close() {}
};

// Enters `object` into the table and returns its new, never reused handle.
HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);

// Returns the object behind `handle`, or null when the handle is not open. The
// object stays alive for as long as the caller holds the pointer.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

}  // namespace platform

// Closes a port or thread handle: the handle becomes invalid at once; FALSE when it was not open.
BOOL CloseHandle(HANDLE handle);
