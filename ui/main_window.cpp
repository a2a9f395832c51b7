#include "ui/main_window.h"

HINSTANCE appInstance;
HWND mainDialog;

int WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  appInstance = hInstance;
  return 0;
}
