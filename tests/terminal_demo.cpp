// A small program for the terminal screen's test: the main dialog with a port list, and a
// progress dialog whose texts and bars another thread sets. It writes what happened, one line
// per event, to the file named by its argument.
#include <cstdio>
#include <thread>

#include "platform/module.h"
#include "platform/window.h"
#include "ui/templates.h"

extern const char kDemoIdle[];
extern const char kDemoBusy[];
extern const char kDemoUploading[];
extern const char kDemoBytes[];
extern const char kDemoAbortQuestion[];
extern const char kDemoAbortCaption[];

namespace {

std::FILE* logFile = nullptr;

void Note(const char* what, long value) {
  if (!logFile) return;
  std::fprintf(logFile, "%s %ld\n", what, value);
  std::fflush(logFile);
}

INT_PTR ProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    for (int id : {IDC_IMAGE_PROGRESS, IDC_TOTAL_PROGRESS}) {
      SendDlgItemMessageA(dialog, id, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
      SendDlgItemMessageA(dialog, id, PBM_SETSTEP, 1, 0);
    }
    // Like the upload thread: updates from another thread, carried out by this one's loop.
    std::thread([dialog] {
      SetWindowTextA(GetDlgItem(dialog, IDC_STATUS_TEXT), kDemoUploading);
      SetWindowTextA(GetDlgItem(dialog, IDC_BYTES_TEXT), kDemoBytes);
      SendMessageA(GetDlgItem(dialog, IDC_IMAGE_PROGRESS), PBM_SETPOS, 40, 0);
      for (int i = 0; i < 50; ++i) SendMessageA(GetDlgItem(dialog, IDC_TOTAL_PROGRESS), PBM_STEPIT, 0, 0);
    }).detach();
    return TRUE;
  }
  if (message == WM_COMMAND && wParam == IDCANCEL) {
    int answer = MessageBoxA(nullptr, kDemoAbortQuestion, kDemoAbortCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    Note("abort-answer", answer);
    if (answer == IDYES) EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  return message == WM_DESTROY;
}

INT_PTR MainProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      for (const char* port : {"COM1", "COM3", "COM12"}) {
        SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port));
      }
      SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_SETCURSEL, 0, 0);
      SetWindowTextA(GetDlgItem(dialog, IDC_MAIN_STATUS), kDemoIdle);
      return TRUE;
    case WM_COMMAND:
      if (wParam == IDC_VERSION_UP) {
        Note("selection", static_cast<long>(SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_GETCURSEL, 0, 0)));
        SetWindowTextA(GetDlgItem(dialog, IDC_MAIN_STATUS), kDemoBusy);
        Note("progress", static_cast<long>(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS),
                                                           dialog, ProgressProc, 0)));
        return TRUE;
      }
      if (wParam == IDC_CANCEL_BUTTON || wParam == IDCANCEL) {
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) logFile = std::fopen(argv[1], "w");
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainProc, 0);
  Note("main", static_cast<long>(result));
  if (logFile) std::fclose(logFile);
  return result == -1 ? 1 : 0;
}
