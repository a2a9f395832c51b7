// Resources of the program's module: read-only data blocks found by type and
// name, and a string table found by id. The build generates the module's
// registry from the resource list and registers it before main() runs; the
// blocks stay where the build put them and are never copied or freed.
// Every operation takes a module handle: null or GetModuleHandleA(nullptr) is
// the program's own module; any other handle has no resources.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

// One data block. `type` and `name` are strings or MAKEINTRESOURCEA ids; `data`
// points at `size` bytes, followed in memory by a NUL byte that is not part of them.
struct ResourceEntry {
  LPCSTR type;
  LPCSTR name;
  WORD language;
  const void* data;
  DWORD size;
};

// One string-table entry; ids without an entry are empty strings.
struct StringEntry {
  UINT id;
  WORD language;
  LPCSTR text;
};

struct ResourceRegistry {
  const ResourceEntry* resources;
  std::size_t resourceCount;
  const StringEntry* strings;
  std::size_t stringCount;
};

// Makes `registry` (which must outlive every lookup) the resources of the program's module.
void RegisterModuleResources(const ResourceRegistry* registry);

// Returns the registry of the program's module, or null when none has been registered.
const ResourceRegistry* ModuleResources();

// Copies string `id` into `buffer`: at most bufferSize − 1 bytes, then a NUL; returns the bytes
// copied, or 0 with an empty buffer when it is missing; a size < 1 or a null buffer gets nothing.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferSize);

// Finds the block of `type` and `name` (strings case-blind, ids by value) in any language; null if none.
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);

// Returns the handle of the found block's data; null for a null, stale or foreign `resource`.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);

// Returns the address of the loaded block's first byte (read-only, in place), null for null.
LPVOID LockResource(HGLOBAL loaded);

// Returns the size in bytes of the found block, 0 for a null `resource` or a foreign module.
DWORD SizeofResource(HMODULE module, HRSRC resource);

// Returns the number of bytes before the first NUL of `text`, 0 for null.
int lstrlenA(LPCSTR text);

namespace platform::testing {
// For tests only: makes `registry` the module's resources in place of the current one,
// which it returns, so that a test can hide an entry or bring a registry of its own.
const ResourceRegistry* ReplaceModuleResources(const ResourceRegistry* registry);
}  // namespace platform::testing
