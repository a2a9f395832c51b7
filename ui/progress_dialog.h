// The progress dialog: runs the upload thread, shows its progress, closes
// itself after a finished upload and lets the user abort.
#pragma once

#include "platform/win_types.h"
#include "upload/upload.h"

constexpr UINT_PTR PROGRESS_TIMER_ID = 32767;
constexpr UINT PROGRESS_POLL_MS = 300;   // how often the dialog looks at uploadState
constexpr UINT PROGRESS_HOLD_MS = 3000;  // how long the finished display stays

extern UploadLink uploadLink;

// Runs dialog IDD_PROGRESS modally under `owner`; returns EndDialog's result: 32767 after a
// finished upload, IDCANCEL after Escape, 0 after the close box.
INT_PTR RunProgressDialog(HWND owner);

INT_PTR ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Gives both bars the range 0 to 100 and the step 1.
void InitProgressBars(HWND dialog);
