// The window layer: modal dialogs built from templates, their child controls,
// timers and message boxes. One user-interface thread owns every window; calls
// from another thread are carried out on that thread (see SendMessageA).
#pragma once

#include "platform/win_types.h"

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// Messages the dialog procedures handle, and WM_SETTEXT, which SetWindowTextA sends.
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
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

// Combo box messages. CB_GETLBTEXT copies the entry and its NUL into the buffer in lParam,
// which must hold CB_GETLBTEXTLEN + 1 bytes.
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr LRESULT CB_ERR = -1;

// Notification codes in the high word of WM_COMMAND's wParam.
constexpr WORD BN_CLICKED = 0;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD CBN_EDITCHANGE = 5;

// Progress bar messages (class "msctls_progress32"). The range starts as 0..100, the step as 10;
// PBM_STEPIT past the upper end starts over from the lower end.
constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
constexpr UINT PBM_SETSTEP = WM_USER + 4;
constexpr UINT PBM_STEPIT = WM_USER + 5;
constexpr UINT PBM_GETPOS = WM_USER + 8;

// Window and control styles that dialog templates use.
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_EX_TRANSPARENT = 0x00000020;
constexpr DWORD WS_EX_RIGHT = 0x00001000;
constexpr DWORD DS_3DLOOK = 0x0004;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD BS_PUSHBUTTON = 0x0000;
constexpr DWORD BS_GROUPBOX = 0x0007;
constexpr DWORD BS_TYPEMASK = 0x000F;
constexpr DWORD BS_CENTER = 0x0300;
constexpr DWORD BS_VCENTER = 0x0C00;
constexpr DWORD SS_LEFT = 0x0000;
constexpr DWORD CBS_DROPDOWN = 0x0002;
constexpr DWORD CBS_NOINTEGRALHEIGHT = 0x0400;

// Control classes that dialog templates name.
inline LPCSTR const WC_BUTTONA = "Button";
inline LPCSTR const WC_STATICA = "Static";
inline LPCSTR const WC_COMBOBOXA = "ComboBox";
inline LPCSTR const PROGRESS_CLASSA = "msctls_progress32";

// One control of a dialog template; positions and sizes are in dialog units, relative to the
// dialog's client area. Texts are CP932 and may mark a mnemonic letter with '&'.
struct DialogItemTemplate {
  LPCSTR className;
  LPCSTR text;
  int id;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
};

// A dialog template: the dialog's own frame and its controls in template (tab) order. x and y
// are relative to the owner's client area, or to the screen for a dialog without owner.
struct DialogTemplate {
  WORD resourceId;
  WORD language;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
  LPCSTR caption;
  WORD pointSize;
  WORD weight;
  BYTE italic;
  BYTE charset;
  LPCSTR typeface;
  const DialogItemTemplate* items;
  int itemCount;
};

// Adds `dialogTemplate` (static data) to the program's dialog resources under its resourceId;
// FALSE when it is null or that id is taken.
BOOL RegisterDialogTemplate(const DialogTemplate* dialogTemplate);

// Returns the dialog resource `name` (MAKEINTRESOURCE id) of the program, or null when there is none.
const DialogTemplate* FindDialogTemplate(LPCSTR name);

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

// Runs dialog template `name` (a MAKEINTRESOURCE id of the program's dialogs) modally under
// `owner` until EndDialog; returns EndDialog's result, or -1 when the dialog cannot be created
// (no such template, no procedure, a gone owner, windows held by another thread, no screen).
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC dialogProc, LPARAM initParam);

// Marks a modal dialog to end with `result` once its handler returns, and hides it; the last
// call's result counts; FALSE for a handle that is no dialog.
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

// Starts or restarts timer `id` of `window` (from the window's own thread) with a period of
// `milliseconds`, at least 10; each tick arrives as WM_TIMER, or calls `timerProc`, while a modal
// loop of that thread runs; returns `id` (1 for id 0), 0 on failure.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC timerProc);

// Stops timer `id` of `window` (from the window's own thread); FALSE when there is no such timer.
BOOL KillTimer(HWND window, UINT_PTR id);

// Shows a modal message box (MB_OK or MB_YESNO, MB_ICONQUESTION, MB_DEFBUTTON2) and returns the
// id of the button pressed (IDOK, IDYES, IDNO); disables `owner` meanwhile; 0 when it cannot be shown.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
