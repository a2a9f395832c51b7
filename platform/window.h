// The window layer: modal dialogs built from templates, their child controls,
// timers and message boxes. One user-interface thread owns every window; calls
// from another thread are carried out on that thread (see SendMessageA).
#pragma once

#include "platform/win_types.h"

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// Messages the dialog procedures handle.
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

// Command and message-box results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Message-box flags.
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_YESNO = 0x0004;
constexpr UINT MB_ICONQUESTION = 0x0020;
constexpr UINT MB_DEFBUTTON2 = 0x0100;

// Combo box messages.
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr LRESULT CB_ERR = -1;

// Progress bar messages (class "msctls_progress32").
constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
constexpr UINT PBM_SETSTEP = WM_USER + 4;
constexpr UINT PBM_STEPIT = WM_USER + 5;

inline LPCSTR const IDC_ARROW = MAKEINTRESOURCEA(32512);

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};

// Registers a window class; returns its atom, 0 when the name is taken or invalid.
ATOM RegisterClassA(const WNDCLASSA* windowClass);

// Returns the shared cursor `name` (only IDC_ARROW with a null instance); null otherwise.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);

// Runs dialog template `name` modally under `owner` until EndDialog; returns EndDialog's
// result, or -1 when the dialog cannot be created.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC dialogProc, LPARAM initParam);

// Marks a modal dialog to end with `result` once its handler returns; FALSE for a bad handle.
BOOL EndDialog(HWND dialog, INT_PTR result);

// Returns the child control `id` of `dialog`, or null when there is none.
HWND GetDlgItem(HWND dialog, int id);

// Replaces the window's whole text (a NUL-terminated CP932 string); FALSE for a bad handle.
BOOL SetWindowTextA(HWND window, LPCSTR text);

// Enables or disables input to the window; returns TRUE when it was disabled before.
BOOL EnableWindow(HWND window, BOOL enable);

// Delivers a message to the window's procedure or control and returns its result; from
// another thread it waits until the window's thread has handled it; 0 for a gone window.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// SendMessageA to GetDlgItem(dialog, id).
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);

// Starts or restarts timer `id` of `window` with a period of `milliseconds`; each tick
// arrives as WM_TIMER while a modal loop of the window's thread runs; returns `id`, 0 on failure.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC timerProc);

// Stops timer `id` of `window`; FALSE when there is no such timer.
BOOL KillTimer(HWND window, UINT_PTR id);

// Shows a modal message box and returns the id of the button pressed (IDOK, IDYES, IDNO).
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
