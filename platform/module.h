// The program's own module.
#pragma once

#include "platform/win_types.h"

// Returns the handle of the program's module for a null name; null for any other name.
HMODULE GetModuleHandleA(LPCSTR name);
