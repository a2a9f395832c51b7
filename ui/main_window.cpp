#include "ui/main_window.h"

#include "platform/window.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "ui/templates.h"
#include "ui/version_up.h"

HINSTANCE appInstance;
HWND mainDialog;

namespace {

const char kIdleText[] = "アイドル";  // code page 932
const char kClassName[] = "TTYWndClass";

char probedPorts[PORT_PROBE_COUNT][PORT_NAME_SIZE];

void OnInitDialog(HWND dialog) {
  const int count = ProbePorts(probedPorts, PORT_PROBE_COUNT);
  for (int i = 0; i < count; ++i)
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(probedPorts[i]));
  SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_SETCURSEL, 0, 0);
  ReadPortSelection();
  SetWindowTextA(GetDlgItem(dialog, IDC_MAIN_STATUS), kIdleText);
}

}  // namespace

int WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  appInstance = hInstance;
  receiveRunning.store(0);
  const INT_PTR result = RunMainDialog(hInstance);
  // Cancel, Escape and the close box are the user's ways out; anything else
  // means the dialog could not be shown.
  return result == IDC_CANCEL_BUTTON || result == IDCANCEL ? 0 : 1;
}

ATOM RegisterMainClass(HINSTANCE instance) {
  WNDCLASSA windowClass{};
  windowClass.style = 0;
  windowClass.lpfnWndProc = MainDlgProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 30;
  windowClass.hInstance = instance;
  windowClass.hIcon = nullptr;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = nullptr;
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = kClassName;
  return RegisterClassA(&windowClass);
}

INT_PTR RunMainDialog(HINSTANCE instance) {
  if (RegisterMainClass(instance) == 0) return 0;
  return DialogBoxParamA(appInstance, MAKEINTRESOURCE(IDD_MAIN), nullptr, MainDlgProc, 0);
}

INT_PTR MainDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  mainDialog = dialog;
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return TRUE;  // the focus goes to the first tab stop, the version-up button
    case WM_COMMAND:
      if (wParam == IDC_VERSION_UP) return RunVersionUp(dialog);
      if (wParam == IDC_CANCEL_BUTTON || wParam == IDCANCEL) {
        StopReceiveThread();
        EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
