// The window layer's model, shared by its core and its screens (inside platform/ only).
//
// Every window belongs to the one user-interface thread, the thread that created the first
// window still alive. The model is guarded by one mutex: the user-interface thread changes it
// in short sections and never calls a dialog procedure while it holds the lock; other threads
// only read it (snapshots) or queue work for the user-interface thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/window.h"

namespace platform::win {

using Clock = std::chrono::steady_clock;

enum class Kind { Dialog, MessageBox, Button, Static, GroupBox, ComboBox, ProgressBar };

// A copy of one window's state, for drawing and for tests.
struct WindowView {
  HWND handle = nullptr;
  Kind kind = Kind::Static;
  int id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units (see DialogTemplate)
  std::string text;                  // caption of a dialog or message box; a control's text
  std::string body;                  // a message box's message
  UINT boxType = 0;                  // a message box's MB_ flags
  WORD templateId = 0;
  HWND owner = nullptr;
  bool enabled = true;
  bool visible = false;
  bool ended = false;
  bool focused = false;
  std::vector<std::string> items;  // combo box entries
  int curSel = -1;
  bool dropped = false;  // combo box list shown
  int barMin = 0, barMax = 100, barPos = 0, barStep = 10;
  std::vector<WindowView> children;  // a dialog's controls in template order
};

// The screens: a terminal, the headless one for tests, and later a desktop one. All calls come
// on the user-interface thread.
class Screen {
 public:
  virtual ~Screen() = default;
  // Prepares the screen before the first window appears; false when it cannot be used.
  virtual bool Start() = 0;
  // Gives the screen back (the terminal returns to normal) once no window is left.
  virtual void Stop() = 0;
  // Descriptors the modal loops wait on besides their wake-up descriptor.
  virtual std::vector<int> InputDescriptors() { return {}; }
  // Reads whatever input is waiting and carries out the next event as one of the actions below.
  virtual void HandleInput() {}
  // True while events read earlier still wait to be carried out.
  virtual bool InputPending() { return false; }
  // The model changed: shows the windows as they are now.
  virtual void Refresh() {}
};

// Returns the screen in use, choosing it on the first call (TR20KX_UI, then what is available).
Screen& CurrentScreen();
std::unique_ptr<Screen> MakeTerminalScreen();
std::unique_ptr<Screen> MakeHeadlessScreen();
// Selects the headless screen unless a screen has been chosen already; true when it is in use.
bool UseHeadlessScreen();

// Copies of the visible and hidden top-level windows, lowest first (the last one is on top).
std::vector<WindowView> TopLevelViews();
// A copy of one window (with its controls), or a view with a null handle when it is gone.
WindowView ViewOf(HWND window);
// The control of `dialog` that has the focus, or null.
inline const WindowView* FocusedChild(const WindowView& dialog) {
  for (const WindowView& c : dialog.children)
    if (c.focused) return &c;
  return nullptr;
}

// Counts every change of the model; WaitForChange returns once it differs from `seen` or at `deadline`.
unsigned long ChangeCount();
void WaitForChange(unsigned long seen, Clock::time_point deadline);

// Runs `check` on the user-interface thread at its next loop; if it returns true, then `act`.
// Returns check's result once check has run, false when `target` is gone or `timeout` passes first.
bool PostAction(HWND target, std::function<bool()> check, std::function<void()> act,
                std::chrono::milliseconds timeout);

// User actions, carried out on the user-interface thread (by a screen, or through PostAction).
// Each returns false when it does not apply (gone, hidden, disabled or blocked window).
bool CanTakeInput(HWND window);
bool ActPress(HWND control);                 // a button: its command; a message-box button: the answer
bool ActClose(HWND top);                     // close mark or Alt+F4
bool ActEscape(HWND top);                    // Esc
bool ActEnter(HWND top);                     // Enter: the focused button
bool ActMnemonic(HWND top, char letter, bool alt);  // the control whose text marks `letter`
bool ActFocus(HWND control);
bool ActFocusStep(HWND top, int direction);  // Tab (+1) and Shift+Tab (-1)
bool ActComboStep(HWND combo, int delta);    // Up and Down
bool ActComboPick(HWND combo, int index);    // a click on a list entry
bool ActComboType(HWND combo, const std::string& bytes);  // typed CP932 bytes, at the end
bool ActComboBackspace(HWND combo);
bool ActComboSetText(HWND combo, const std::string& bytes);  // the whole edit text replaced
bool ActComboDrop(HWND combo, bool dropped);
// The top-level window that keyboard input goes to, or null.
HWND ActiveWindow();

}  // namespace platform::win

// ---- The core's own records, for the window layer's translation units. ----

namespace platform::win {

struct Timer {
  UINT_PTR id;
  UINT period;
  Clock::time_point due;
  TIMERPROC proc;
};

struct Window {
  HWND handle = nullptr;
  Kind kind = Kind::Static;
  int id = 0;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string text;
  std::string body;
  UINT boxType = 0;
  WORD templateId = 0;
  HWND parent = nullptr;  // a control's dialog or message box
  HWND owner = nullptr;   // a top-level window's owner
  bool enabled = true;
  bool visible = false;
  bool ended = false;     // EndDialog called, or a message box answered
  INT_PTR result = 0;
  DLGPROC proc = nullptr;
  HWND focus = nullptr;
  std::vector<HWND> children;
  std::vector<std::string> items;
  int curSel = -1;
  bool dropped = false;
  int barMin = 0, barMax = 100, barPos = 0, barStep = 10;
  std::vector<Timer> timers;
};

// The model. Lock `mutex` around every access to `windows`, `tops` and the task queue.
struct Core {
  std::mutex mutex;
  std::condition_variable changed;  // notified on every change and every finished task
  unsigned long changes = 0;
  std::map<HWND, Window> windows;
  std::vector<HWND> tops;           // top-level windows, lowest first
  std::uintptr_t lastHandle = 0;
  std::thread::id uiThread;
  // Called with the lock held whenever a window's text is set; for tests (headless::OnTextSet).
  std::function<void(HWND, const std::string&)> textSetHook;
  int wakeFd = -1;                  // eventfd that wakes the modal loops
  bool screenStarted = false;
  struct Task;
  std::vector<std::shared_ptr<Task>> tasks;
};

Core& TheCore();
// The window `handle` in the model, or null (lock held).
Window* FindLocked(HWND handle);
// Enters a new window into the model and returns its never reused handle (lock held).
Window& CreateLocked(Kind kind);
// Counts a change and wakes the waiters (lock held); the caller refreshes the screen after unlocking.
void NoteChangeLocked();
// Redraws the screen when called on the user-interface thread with windows present.
void RefreshScreen();
// Runs `change` on the window under the lock, then refreshes the screen; false when it is gone.
bool Mutate(HWND handle, const std::function<void(Window&)>& change);
// True when the calling thread is, or may become, the user-interface thread (lock held).
bool ClaimUiThreadLocked();
bool OnUiThread();
// Starts the screen before the first window is made; false when no screen can be used.
bool EnsureScreenStarted();
// Removes `top` and its controls from the model; the last window gone also stops the screen.
void DestroyTopLevel(HWND top);
// Wakes the user-interface thread's modal loop.
void WakeUiThread();
// Runs `call` on the window's thread and returns its result, waiting for it when the caller is
// another thread; 0 at once when the window is gone or goes before its turn.
LRESULT CallOnWindowThread(HWND window, const std::function<LRESULT()>& call);
// Runs modal loops until `until` has ended: cross-thread work, timers and screen input.
void RunModalLoop(HWND until);
// Calls the dialog's procedure without the lock; FALSE when the dialog is gone.
INT_PTR CallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Delivers a message to a window on its own thread (the body of SendMessageA).
LRESULT DeliverMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// WM_COMMAND to a dialog's procedure.
void SendCommand(HWND dialog, WPARAM wParam, LPARAM lParam);

}  // namespace platform::win
