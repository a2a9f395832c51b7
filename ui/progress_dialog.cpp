#include "ui/progress_dialog.h"

#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "ui/main_window.h"
#include "ui/templates.h"

UploadLink uploadLink;

namespace {

// Texts (code page 932).
const char kTimerFailedText[] = "タイマー失敗";
const char kTimerFailedCaption[] = "失敗";
const char kAbortQuestion[] = "中断しますか？";
const char kAbortCaption[] = "バージョンアップの中断";
const char kAbortedText[] =
    "キャンセルを押して本バージョンアップアプリケーションを終了した後\r\n"
    "アダプタを一度ポートから外して最初からやり直してください";
const char kAbortedCaption[] = "中断しました";

// Asks the upload thread to stop, gives it a second to leave its loop, and ends the dialog.
void StopAndEnd(HWND dialog, WPARAM result) {
  uploadLink.stop.store(1);
  Sleep(1000);
  EndDialog(dialog, static_cast<INT_PTR>(result));
}

bool UserConfirmsAbort() {
  return MessageBoxA(nullptr, kAbortQuestion, kAbortCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void OnInitDialog(HWND dialog) {
  InitProgressBars(dialog);
  uploadLink.dialog.store(dialog);
  uploadLink.stop.store(0);
  uploadState.store(UPLOAD_START);
  uploadThreadRunning.store(1);
  if (_beginthread(UploadThreadProc, 0, &uploadLink) == UINTPTR_MAX) uploadThreadRunning.store(0);
  if (SetTimer(dialog, PROGRESS_TIMER_ID, PROGRESS_POLL_MS, nullptr) == 0)
    MessageBoxA(dialog, kTimerFailedText, kTimerFailedCaption, MB_OK);
}

void OnTimer(HWND dialog) {
  KillTimer(dialog, PROGRESS_TIMER_ID);
  const int state = uploadState.load();
  if (state == UPLOAD_DONE) {
    SetTimer(dialog, PROGRESS_TIMER_ID, PROGRESS_HOLD_MS, nullptr);
    uploadState.store(UPLOAD_CLOSING);
  } else if (state == UPLOAD_CLOSING) {
    StopAndEnd(dialog, PROGRESS_TIMER_ID);
  } else {
    SetTimer(dialog, PROGRESS_TIMER_ID, PROGRESS_POLL_MS, nullptr);
  }
}

void OnCancel(HWND dialog) {
  if (uploadState.load() == UPLOAD_DONE) {
    StopAndEnd(dialog, IDCANCEL);
    uploadState.store(UPLOAD_CLOSING);
    return;
  }
  if (!UserConfirmsAbort()) return;
  StopAndEnd(dialog, IDCANCEL);
  MessageBoxA(nullptr, kAbortedText, kAbortedCaption, MB_OK);
}

}  // namespace

INT_PTR RunProgressDialog(HWND owner) {
  // The thread of an earlier, abandoned upload may still be finishing a pass
  // (a write held by XOFF, a pause). It reads the shared stop request, so it
  // must be gone before a new upload clears that request, or both would stream.
  while (uploadThreadRunning.load() != 0) Sleep(10);
  return DialogBoxParamA(appInstance, MAKEINTRESOURCE(IDD_PROGRESS), owner, ProgressDlgProc, 0);
}

INT_PTR ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return TRUE;
    case WM_TIMER:
      OnTimer(dialog);
      return TRUE;
    case WM_COMMAND:
      if (wParam != IDCANCEL) return FALSE;
      OnCancel(dialog);
      return TRUE;
    case WM_CLOSE:
      if (UserConfirmsAbort()) StopAndEnd(dialog, wParam);
      return TRUE;
    case WM_DESTROY:
      return TRUE;
    default:
      return FALSE;
  }
}

void InitProgressBars(HWND dialog) {
  for (int id : {IDC_IMAGE_PROGRESS, IDC_TOTAL_PROGRESS}) {
    SendDlgItemMessageA(dialog, id, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageA(dialog, id, PBM_SETSTEP, 1, 0);
  }
}
