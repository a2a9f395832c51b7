// The process entry: hands over to the program's WinMain and returns its exit code.
#include "platform/module.h"
#include "ui/main_window.h"

int main() { return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), 10); }
