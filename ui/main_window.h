// Application entry and main window.
#pragma once

#include "platform/win_types.h"

extern HINSTANCE appInstance;  // the module instance handle, kept by WinMain
extern HWND mainDialog;        // the main dialog's window handle

// The program's entry: shows the main dialog until the user leaves; 0 after Cancel.
int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);

// Registers the window class "TTYWndClass"; its atom, 0 on failure.
ATOM RegisterMainClass(HINSTANCE instance);

// Shows the main dialog modally; EndDialog's result (1004 or IDCANCEL), -1 when the dialog
// cannot be created, 0 without showing anything when the class cannot be registered.
INT_PTR RunMainDialog(HINSTANCE instance);

INT_PTR MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
