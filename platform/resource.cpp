#include "platform/resource.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/module.h"

namespace {

// Set before main() by the generated resource data (or by a test before its threads
// start) and read by any thread afterwards.
constinit std::atomic<const ResourceRegistry*> moduleRegistry{nullptr};

// The registry of `module` when it is the program's own module, as Win32 treats a null handle.
const ResourceRegistry* RegistryOf(HMODULE module) {
  if (module != nullptr && module != GetModuleHandleA(nullptr)) return nullptr;
  return moduleRegistry.load(std::memory_order_acquire);
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Resource names and types: both ids (compared by value) or both strings (case-blind).
bool SameResourceName(LPCSTR a, LPCSTR b) {
  if (a == nullptr || b == nullptr) return false;
  if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b)) return a == b;
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
  }
  return *a == *b;
}

// A found block's handle is the address of its registry entry; it is valid only while
// that entry belongs to the module's current registry.
const ResourceEntry* EntryOf(HMODULE module, HRSRC resource) {
  const ResourceRegistry* registry = RegistryOf(module);
  if (registry == nullptr || resource == nullptr) return nullptr;
  const auto* entry = reinterpret_cast<const ResourceEntry*>(resource);
  for (std::size_t i = 0; i < registry->resourceCount; ++i) {
    if (&registry->resources[i] == entry) return entry;
  }
  return nullptr;
}

}  // namespace

void RegisterModuleResources(const ResourceRegistry* registry) {
  moduleRegistry.store(registry, std::memory_order_release);
}

const ResourceRegistry* ModuleResources() { return moduleRegistry.load(std::memory_order_acquire); }

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferSize) {
  if (buffer == nullptr || bufferSize < 1) return 0;
  buffer[0] = '\0';
  const ResourceRegistry* registry = RegistryOf(instance);
  if (registry == nullptr) return 0;
  for (std::size_t i = 0; i < registry->stringCount; ++i) {
    const StringEntry& entry = registry->strings[i];
    if (entry.id != id || entry.text == nullptr) continue;
    const std::size_t room = static_cast<std::size_t>(bufferSize) - 1;
    const std::size_t length = std::min(std::strlen(entry.text), room);
    std::memcpy(buffer, entry.text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
  }
  return 0;
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  const ResourceRegistry* registry = RegistryOf(module);
  if (registry == nullptr) return nullptr;
  for (std::size_t i = 0; i < registry->resourceCount; ++i) {
    const ResourceEntry& entry = registry->resources[i];
    if (SameResourceName(entry.type, type) && SameResourceName(entry.name, name)) {
      return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(&entry));
    }
  }
  return nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  const ResourceEntry* entry = EntryOf(module, resource);
  return entry == nullptr ? nullptr : const_cast<void*>(entry->data);
}

LPVOID LockResource(HGLOBAL loaded) { return loaded; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  const ResourceEntry* entry = EntryOf(module, resource);
  return entry == nullptr ? 0 : entry->size;
}

int lstrlenA(LPCSTR text) { return text == nullptr ? 0 : static_cast<int>(std::strlen(text)); }

namespace platform::testing {
const ResourceRegistry* ReplaceModuleResources(const ResourceRegistry* registry) {
  return moduleRegistry.exchange(registry, std::memory_order_acq_rel);
}
}  // namespace platform::testing
