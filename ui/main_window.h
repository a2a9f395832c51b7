// Application entry and main window.
#pragma once

#include "platform/win_types.h"

extern HINSTANCE appInstance;  // the module instance handle, kept by WinMain
extern HWND mainDialog;        // the main dialog's window handle

int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
