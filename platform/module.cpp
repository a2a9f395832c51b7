#include "platform/module.h"

namespace {
char moduleAnchor;  // its address identifies the program's module
}

HMODULE GetModuleHandleA(LPCSTR name) {
  return name == nullptr ? reinterpret_cast<HMODULE>(&moduleAnchor) : nullptr;
}
