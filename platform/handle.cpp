#include "platform/handle.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

std::mutex tableMutex;
std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> table;
std::uintptr_t nextHandle = 0x100;  // stays clear of null and INVALID_HANDLE_VALUE

}  // namespace

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object) {
  std::lock_guard lock(tableMutex);
  const std::uintptr_t value = nextHandle;
  nextHandle += 4;
  table.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  std::lock_guard lock(tableMutex);
  auto it = table.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == table.end() ? nullptr : it->second;
}

}  // namespace platform

BOOL CloseHandle(HANDLE handle) {
  std::shared_ptr<platform::KernelObject> object;
  {
    std::lock_guard lock(platform::tableMutex);
    auto it = platform::table.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == platform::table.end()) return FALSE;
    object = std::move(it->second);
    platform::table.erase(it);
  }
  object->Close();
  return TRUE;
}
