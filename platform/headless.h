// The headless screen: the window layer without drawing, driven by tests.
//
// The dialogs run on their user-interface thread as in the program; a test drives them from
// another thread. Every call here is safe from any thread: actions are carried out on the
// user-interface thread at its next modal loop, and reads take a consistent copy of the windows.
// Waits end at their deadline (generous defaults) so that a broken test fails instead of hanging.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform::headless {

constexpr DWORD kDefaultWait = 20000;  // ms

// One control, as the user would see it. Texts are CP932.
struct Control {
  HWND handle = nullptr;
  int id = 0;
  std::string kind;  // "button", "static", "groupbox", "combobox" or "progress"
  std::string text;  // a combo box's edit text
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units, relative to the dialog's client area
  bool enabled = false;
  bool visible = false;
  bool focused = false;
  std::vector<std::string> items;  // combo box entries
  int selected = -1;               // combo box selection, -1 for none
  int barMin = 0, barMax = 0, barPos = 0, barStep = 0;
};

// A dialog or a message box.
struct Window {
  HWND handle = nullptr;
  bool messageBox = false;
  WORD templateId = 0;  // the dialog resource it was made from
  std::string caption;
  std::string message;  // a message box's text
  UINT boxType = 0;     // a message box's MB_ flags
  HWND owner = nullptr;
  int x = 0, y = 0, cx = 0, cy = 0;
  bool enabled = false;
  bool visible = false;  // shown, and not yet ended
  std::vector<Control> controls;  // template order; a message box's buttons
  const Control* Find(int id) const;
};

// Selects the headless screen; true when it is (or already was) the screen in use. Every other
// call here selects it too, so call one before the first window is made.
bool Use();

// A copy of the window, or nothing when it is gone.
std::optional<Window> Read(HWND window);
// A copy of control `id` of `dialog`, or nothing.
std::optional<Control> ReadControl(HWND dialog, int id);
// Copies of all top-level windows, lowest first.
std::vector<Window> ReadAll();

// Waits until a dialog from template `templateId` is shown (after its WM_INITDIALOG); null at the deadline.
HWND WaitForDialog(WORD templateId, DWORD timeoutMs = kDefaultWait);
// Waits until a message box newer than `newerThan` is shown; null at the deadline.
HWND WaitForMessageBox(HWND newerThan = nullptr, DWORD timeoutMs = kDefaultWait);
// Waits until the window is gone (destroyed); false at the deadline.
bool WaitUntilGone(HWND window, DWORD timeoutMs = kDefaultWait);
// Re-evaluates `condition` after every change of the windows until it holds; false at the deadline.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kDefaultWait);

// Actions. Each waits until the user-interface thread has taken it up (not until the handler it
// starts is done) and returns false when it does not apply: window gone, hidden, disabled, or
// blocked by a modal window; or when the user-interface thread does not run a loop in time.
bool Press(HWND dialog, int id);               // a click on the button
bool PressEscape(HWND window);                 // the Esc key
bool PressClose(HWND window);                  // the close mark (or Alt+F4)
bool PressEnter(HWND window);                  // the Enter key
bool PressMnemonic(HWND window, char letter);  // Alt+letter
bool Focus(HWND dialog, int id);
bool TypeIntoCombo(HWND dialog, int id, const std::string& text);  // replaces the edit text
bool SelectComboEntry(HWND dialog, int id, int index);            // picks a list entry
bool AnswerMessageBox(HWND box, int buttonId);                     // IDOK, IDYES or IDNO

// Calls `hook` on the user-interface thread with every text set into any window from now on
// (an empty function stops it). It runs while the window model is locked: it must not call
// anything here, only record.
void OnTextSet(std::function<void(HWND window, const std::string& text)> hook);

// Makes the next `count` SetTimer calls fail, for tests of that failure.
void FailNextSetTimers(int count);

}  // namespace platform::headless
