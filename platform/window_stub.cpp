// Placeholder window layer: no dialogs yet; message boxes go to standard error.
#include <cstdio>

#include "platform/window.h"

ATOM RegisterClassA(const WNDCLASSA*) { return 0; }
HCURSOR LoadCursorA(HINSTANCE, LPCSTR) { return nullptr; }
INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return -1; }
BOOL EndDialog(HWND, INT_PTR) { return FALSE; }
HWND GetDlgItem(HWND, int) { return nullptr; }
BOOL SetWindowTextA(HWND, LPCSTR) { return FALSE; }
BOOL EnableWindow(HWND, BOOL) { return FALSE; }
LRESULT SendMessageA(HWND, UINT, WPARAM, LPARAM) { return 0; }
LRESULT SendDlgItemMessageA(HWND, int, UINT, WPARAM, LPARAM) { return CB_ERR; }
UINT_PTR SetTimer(HWND, UINT_PTR, UINT, TIMERPROC) { return 0; }
BOOL KillTimer(HWND, UINT_PTR) { return FALSE; }

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
  std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
  return IDOK;
}
