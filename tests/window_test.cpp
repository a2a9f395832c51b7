// The window layer on the headless screen: templates, modal loops, nesting, timers, controls
// and calls from other threads. Each test runs its dialogs on a user-interface thread of its
// own and drives them from the test thread, as the program's tests will.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/headless.h"
#include "platform/module.h"
#include "platform/window.h"
#include "ui/templates.h"

namespace hl = platform::headless;

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[3];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X", c);
    out += b;
  }
  return out;
}

// The dialog procedure of a test: a std::function set before the dialog runs.
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> handler;
std::mutex logMutex;
std::vector<std::string> messageLog;

void Log(const std::string& entry) {
  std::lock_guard lock(logMutex);
  messageLog.push_back(entry);
}

std::vector<std::string> LogCopy() {
  std::lock_guard lock(logMutex);
  return messageLog;
}

INT_PTR CALLBACKish(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return handler ? handler(dialog, message, wParam, lParam) : FALSE;
}

// Runs `body` on a new user-interface thread; the destructor waits for it.
class UiThread {
 public:
  explicit UiThread(std::function<void()> body) : thread_(std::move(body)) {}
  ~UiThread() { thread_.join(); }

 private:
  std::thread thread_;
};

INT_PTR RunDialog(int id, HWND owner = nullptr, LPARAM param = 0) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(static_cast<WORD>(id)), owner, CALLBACKish, param);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hl::Use()); }
};

// ---- Templates ----

struct ItemCase {
  int id;
  const char* kind;
  int x, y, cx, cy;
  DWORD style;
  DWORD exStyle;
  const char* textHex;
};

void CheckDialog(HWND dialog, const DialogTemplate& t, const std::vector<ItemCase>& expected) {
  std::optional<hl::Window> w = hl::Read(dialog);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->x, t.x);
  EXPECT_EQ(w->y, t.y);
  EXPECT_EQ(w->cx, t.cx);
  EXPECT_EQ(w->cy, t.cy);
  ASSERT_EQ(w->controls.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const hl::Control& c = w->controls[i];
    const ItemCase& e = expected[i];
    SCOPED_TRACE("control #" + std::to_string(i + 1));
    EXPECT_EQ(c.id, e.id);
    EXPECT_EQ(c.kind, e.kind);
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.cx, e.cx);
    EXPECT_EQ(c.cy, e.cy);
    EXPECT_EQ(c.style, e.style);
    EXPECT_EQ(c.exStyle, e.exStyle);
    EXPECT_EQ(Hex(c.text), e.textHex);
    EXPECT_TRUE(c.visible);
    EXPECT_TRUE(c.enabled);
  }
}

constexpr DWORD kDialogStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER;
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
constexpr DWORD kBar = WS_CHILD | WS_VISIBLE | WS_BORDER;

TEST_F(WindowTest, MainTemplateBuildsTheMainDialogExactly) {
  const DialogTemplate& t = mainDialogTemplate;
  EXPECT_EQ(t.resourceId, 106);
  EXPECT_EQ(t.language, 1041);
  EXPECT_EQ(t.style, kDialogStyle);
  EXPECT_EQ(t.exStyle, 0u);
  EXPECT_EQ(Hex(t.caption),
            "827382718251824F826A82778140835F83458393838D815B835F815B8140829682858292825081448251825382968294");
  EXPECT_EQ(Hex(t.typeface), "826C827220826F835383568362834E");
  EXPECT_EQ(t.pointSize, 9);
  EXPECT_EQ(t.weight, 0);
  EXPECT_EQ(t.italic, 0);
  EXPECT_EQ(t.charset, 1);
  HWND seen = nullptr;
  handler = [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) seen = d;
    if (m == WM_COMMAND) EndDialog(d, 0);
    return FALSE;
  };
  UiThread ui([] { RunDialog(IDD_MAIN); });
  HWND dialog = hl::WaitForDialog(IDD_MAIN);
  ASSERT_TRUE(dialog);
  CheckDialog(dialog, t,
              {
                  {1003, "button", 81, 40, 69, 30, kButton, WS_EX_RIGHT | WS_EX_TRANSPARENT,
                   "836F815B83578387839383418362837628265629"},
                  {1004, "button", 155, 40, 49, 30, kButton, 0, "834C83838393835A838B28264329"},
                  {1010, "static", 10, 15, 190, 10, kLabel, 0, ""},
                  {1017, "combobox", 10, 48, 55, 80,
                   WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_NOINTEGRALHEIGHT, 0, ""},
                  {-1, "groupbox", 5, 5, 200, 25, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0, "8FF391D4"},
                  {-1, "groupbox", 5, 35, 65, 35, WS_CHILD | WS_VISIBLE | BS_GROUPBOX | BS_CENTER, 0,
                   "434F4D837C815B8367"},
              });
  EXPECT_EQ(Hex(hl::Read(dialog)->caption), Hex(t.caption));
  EXPECT_TRUE(hl::Press(dialog, IDC_CANCEL_BUTTON));
  EXPECT_TRUE(hl::WaitUntilGone(dialog));
  EXPECT_EQ(seen, dialog);
}

TEST_F(WindowTest, ProgressTemplateBuildsTheProgressDialogExactly) {
  const DialogTemplate& t = progressDialogTemplate;
  EXPECT_EQ(t.resourceId, 107);
  EXPECT_EQ(t.language, 1041);
  EXPECT_EQ(t.style, kDialogStyle);
  EXPECT_EQ(Hex(t.caption), "836F815B8357838783938341836283769286");
  EXPECT_EQ(Hex(t.typeface), "826C827220826F835383568362834E");
  EXPECT_EQ(t.pointSize, 9);
  std::atomic<int> cancels{0};
  handler = [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_COMMAND && w == IDCANCEL && ++cancels == 2) EndDialog(d, 5);
    return FALSE;
  };
  UiThread ui([] { EXPECT_EQ(RunDialog(IDD_PROGRESS), 5); });
  HWND dialog = hl::WaitForDialog(IDD_PROGRESS);
  ASSERT_TRUE(dialog);
  CheckDialog(dialog, t,
              {
                  {1026, "static", 10, 42, 160, 8, kLabel, 0, ""},
                  {1031, "progress", 10, 64, 160, 9, kBar, 0, ""},
                  {1022, "progress", 10, 30, 160, 9, kBar, 0, ""},
                  {-1, "static", 10, 53, 28, 8, kLabel, 0, "90698D738FF38BB5"},
                  {-1, "static", 10, 19, 34, 8, kLabel, 0, "8366815B835E9197904D"},
                  {1033, "static", 10, 7, 110, 10, kLabel, 0, ""},
              });
  // No tab stops: nothing has the focus, and a bar starts at 0 in 0..100 with a step of 10.
  std::optional<hl::Control> bar = hl::ReadControl(dialog, IDC_IMAGE_PROGRESS);
  EXPECT_EQ(bar->barMin, 0);
  EXPECT_EQ(bar->barMax, 100);
  EXPECT_EQ(bar->barPos, 0);
  EXPECT_EQ(bar->barStep, 10);
  std::optional<hl::Window> shown = hl::Read(dialog);
  for (const hl::Control& c : shown->controls) EXPECT_FALSE(c.focused);
  // The default handling turns an unhandled close into IDCANCEL; so does Esc.
  EXPECT_TRUE(hl::PressClose(dialog));
  ASSERT_TRUE(hl::WaitUntil([&] { return cancels.load() == 1; }));
  EXPECT_TRUE(hl::PressEscape(dialog));
  EXPECT_TRUE(hl::WaitUntilGone(dialog));
}

// ---- DialogBoxParamA and EndDialog ----

TEST_F(WindowTest, DialogBoxDisablesOwnerInitialisesRunsAndDestroysInOrder) {
  std::atomic<HWND> mainHandle{nullptr};
  handler = [&](HWND d, UINT m, WPARAM w, LPARAM l) -> INT_PTR {
    char entry[64];
    const char* who = GetDlgItem(d, IDC_VERSION_UP) ? "main" : "child";
    std::snprintf(entry, sizeof entry, "%s %u %ld", who, m, static_cast<long>(l));
    if (m != WM_TIMER) Log(entry);
    if (m == WM_INITDIALOG && !mainHandle.load()) {
      mainHandle = d;
      Log("first tab stop " + std::to_string(reinterpret_cast<HWND>(w) == GetDlgItem(d, IDC_VERSION_UP)));
      return TRUE;
    }
    if (m == WM_COMMAND && w == IDC_VERSION_UP) {
      INT_PTR r = RunDialog(IDD_PROGRESS, d, 77);
      Log("child returned " + std::to_string(r));
      return TRUE;
    }
    if (m == WM_COMMAND && w == IDCANCEL && d != mainHandle.load()) EndDialog(d, 9);
    if (m == WM_COMMAND && w == IDC_CANCEL_BUTTON) EndDialog(d, IDC_CANCEL_BUTTON);
    return m == WM_INITDIALOG ? FALSE : TRUE;
  };
  std::atomic<INT_PTR> result{0};
  {
    UiThread ui([&] { result = RunDialog(IDD_MAIN, nullptr, 5); });
    HWND main = hl::WaitForDialog(IDD_MAIN);
    ASSERT_TRUE(main);
    EXPECT_TRUE(hl::ReadControl(main, IDC_VERSION_UP)->focused);
    ASSERT_TRUE(hl::Press(main, IDC_VERSION_UP));
    HWND child = hl::WaitForDialog(IDD_PROGRESS);
    ASSERT_TRUE(child);
    EXPECT_FALSE(hl::Read(main)->enabled);
    EXPECT_EQ(hl::Read(child)->owner, main);
    EXPECT_FALSE(hl::Press(main, IDC_CANCEL_BUTTON)) << "a disabled owner takes no input";
    // Returning FALSE from WM_INITDIALOG gives no focus.
    std::optional<hl::Window> shown = hl::Read(child);
    for (const hl::Control& c : shown->controls) EXPECT_FALSE(c.focused);
    ASSERT_TRUE(hl::PressEscape(child));
    ASSERT_TRUE(hl::WaitUntilGone(child));
    ASSERT_TRUE(hl::WaitUntil([&] { return hl::Read(main)->enabled; }));
    ASSERT_TRUE(hl::Press(main, IDC_CANCEL_BUTTON));
  }
  EXPECT_EQ(result.load(), IDC_CANCEL_BUTTON);
  std::vector<std::string> log = LogCopy();
  // The commands carry the control's handle in lParam; compare them by message only.
  ASSERT_EQ(log.size(), 9u);
  EXPECT_EQ(log[0], "main 272 5");
  EXPECT_EQ(log[1], "first tab stop 1");
  EXPECT_EQ(log[2].rfind("main 273 ", 0), 0u);
  EXPECT_EQ(log[3], "child 272 77");
  EXPECT_EQ(log[4], "child 273 0");  // Esc: IDCANCEL without a control
  EXPECT_EQ(log[5], "child 2 0");    // WM_DESTROY before the owner is enabled again
  EXPECT_EQ(log[6], "child returned 9");
  EXPECT_EQ(log[7].rfind("main 273 ", 0), 0u);
  EXPECT_EQ(log[8], "main 2 0");
}

TEST_F(WindowTest, EndDialogResults) {
  // Ended inside WM_INITDIALOG: the dialog never waits, and the last EndDialog wins.
  handler = [](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      EXPECT_TRUE(EndDialog(d, 41));
      EXPECT_TRUE(EndDialog(d, 42));
      EXPECT_FALSE(EndDialog(GetDlgItem(d, IDC_BYTES_TEXT), 1)) << "a control is no dialog";
    }
    return FALSE;
  };
  EXPECT_EQ(RunDialog(IDD_PROGRESS), 42);
  EXPECT_TRUE(hl::ReadAll().empty());

  // A result of -1 from EndDialog is returned as such; a stale handle fails.
  HWND stale = nullptr;
  handler = [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      stale = d;
      EndDialog(d, -1);
    }
    return FALSE;
  };
  EXPECT_EQ(RunDialog(IDD_PROGRESS), -1);
  EXPECT_FALSE(EndDialog(stale, 3));
  EXPECT_FALSE(EndDialog(nullptr, 3));

  // A dialog that cannot be created: -1 and no window.
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, CALLBACKish, 0), -1);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_MAIN), nullptr, nullptr, 0), -1);
  EXPECT_EQ(RunDialog(IDD_MAIN, stale), -1) << "an owner that is gone";
  EXPECT_TRUE(hl::ReadAll().empty());
}

TEST_F(WindowTest, WindowHandlesAreNeverReused) {
  std::vector<HWND> seen;
  handler = [&](HWND d, UINT m, WPARAM, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      seen.push_back(d);
      seen.push_back(GetDlgItem(d, IDC_PORT_LIST));
      EndDialog(d, 0);
    }
    return FALSE;
  };
  for (int i = 0; i < 3; ++i) RunDialog(IDD_MAIN);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    for (std::size_t j = i + 1; j < seen.size(); ++j) EXPECT_NE(seen[i], seen[j]);
  }
  EXPECT_EQ(SetWindowTextA(seen[0], "x"), FALSE);
  EXPECT_EQ(GetDlgItem(seen[0], IDC_PORT_LIST), nullptr);
  EXPECT_EQ(SendMessageA(seen[1], CB_GETCOUNT, 0, 0), 0);
}

// ---- Nesting, timers and message boxes ----

TEST_F(WindowTest, MessageBoxFromCommandHandlerKeepsTheDialogTimerTicking) {
  std::atomic<int> ticks{0};
  std::atomic<int> ticksWhileBoxOpen{-1};
  std::atomic<int> answer{0};
  handler = [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    switch (m) {
      case WM_INITDIALOG:
        EXPECT_EQ(SetTimer(d, 0x7FFF, 300, nullptr), 0x7FFFu);
        return TRUE;
      case WM_TIMER:
        EXPECT_EQ(w, 0x7FFFu);
        KillTimer(d, 0x7FFF);  // as the progress dialog does: kill, then set again
        SetTimer(d, 0x7FFF, 300, nullptr);
        ++ticks;
        return TRUE;
      case WM_COMMAND:
        if (w == IDC_VERSION_UP) {
          int before = ticks.load();
          answer = MessageBoxA(nullptr, "question", "caption", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
          ticksWhileBoxOpen = ticks.load() - before;
          EndDialog(d, IDC_VERSION_UP);
        }
        return TRUE;
    }
    return FALSE;
  };
  UiThread ui([] { EXPECT_EQ(RunDialog(IDD_MAIN), IDC_VERSION_UP); });
  HWND main = hl::WaitForDialog(IDD_MAIN);
  ASSERT_TRUE(main);
  ASSERT_TRUE(hl::Press(main, IDC_VERSION_UP));
  HWND box = hl::WaitForMessageBox();
  ASSERT_TRUE(box);
  std::optional<hl::Window> b = hl::Read(box);
  EXPECT_EQ(b->message, "question");
  EXPECT_EQ(b->caption, "caption");
  EXPECT_EQ(b->owner, nullptr);
  ASSERT_EQ(b->controls.size(), 2u);
  EXPECT_EQ(Hex(b->controls[0].text), "82CD82A228265929");    // はい(&Y)
  EXPECT_EQ(Hex(b->controls[1].text), "82A282A282A628264E29");  // いいえ(&N)
  EXPECT_TRUE(b->controls[1].focused) << "MB_DEFBUTTON2 makes No the default";
  EXPECT_TRUE(hl::Read(main)->enabled) << "a box without owner leaves the dialog enabled";
  int start = ticks.load();
  ASSERT_TRUE(hl::WaitUntil([&] { return ticks.load() >= start + 2; }));
  EXPECT_FALSE(hl::PressEscape(box)) << "a Yes/No box has no cancel";
  EXPECT_FALSE(hl::PressClose(box));
  ASSERT_TRUE(hl::PressEnter(box));  // the focused default: No
  ASSERT_TRUE(hl::WaitUntilGone(main));
  EXPECT_EQ(answer.load(), IDNO);
  EXPECT_GE(ticksWhileBoxOpen.load(), 2);
}

TEST_F(WindowTest, MessageBoxAnswers) {
  struct Case {
    UINT type;
    std::function<bool(HWND)> act;
    int answer;
  };
  std::vector<Case> cases = {
      {MB_OK, [](HWND b) { return hl::PressEscape(b); }, IDOK},
      {MB_OK, [](HWND b) { return hl::PressClose(b); }, IDOK},
      {MB_OK, [](HWND b) { return hl::AnswerMessageBox(b, IDOK); }, IDOK},
      {MB_YESNO, [](HWND b) { return hl::AnswerMessageBox(b, IDYES); }, IDYES},
      {MB_YESNO, [](HWND b) { return hl::PressMnemonic(b, 'y'); }, IDYES},
      {MB_YESNO, [](HWND b) { return hl::PressMnemonic(b, 'N'); }, IDNO},
      {MB_YESNO, [](HWND b) { return hl::PressEnter(b); }, IDYES},
  };
  HWND previous = nullptr;
  for (const Case& c : cases) {
    std::atomic<int> answer{0};
    {
      UiThread ui([&] { answer = MessageBoxA(nullptr, "m", nullptr, c.type); });
      HWND box = hl::WaitForMessageBox(previous);
      ASSERT_TRUE(box);
      previous = box;
      EXPECT_EQ(Hex(hl::Read(box)->caption), "83478389815B");  // a null caption reads エラー
      EXPECT_TRUE(c.act(box));
      EXPECT_TRUE(hl::WaitUntilGone(box));
    }
    EXPECT_EQ(answer.load(), c.answer) << "type " << c.type;
  }
  EXPECT_EQ(MessageBoxA(nullptr, "m", "c", 0x0001 /* MB_OKCANCEL */), 0);
}

// ---- Calls from another thread ----

TEST_F(WindowTest, CrossThreadSetTextWaitsForTheLoopAndDiesWithTheDialog) {
  std::atomic<bool> calledBack{false};
  std::atomic<BOOL> lateResult{TRUE};
  std::atomic<bool> changedWhileBusy{true};
  std::thread worker;
  std::thread late;
  handler = [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_COMMAND && w == IDC_VERSION_UP) {
      HWND status = GetDlgItem(d, IDC_MAIN_STATUS);
      worker = std::thread([&, status] {
        EXPECT_TRUE(SetWindowTextA(status, "from worker"));
        calledBack = true;
      });
      // Busy: the worker's call is held until this thread runs a loop again.
      for (int i = 0; i < 5; ++i) Sleep(60);
      changedWhileBusy = calledBack.load() || hl::ReadControl(d, IDC_MAIN_STATUS)->text != "";
      return TRUE;
    }
    if (m == WM_COMMAND && w == IDC_CANCEL_BUTTON) {
      // A call still waiting when the dialog goes returns without effect.
      HWND status = GetDlgItem(d, IDC_MAIN_STATUS);
      late = std::thread([&, status] { lateResult = SetWindowTextA(status, "too late"); });
      Sleep(100);  // most likely the call is queued by now; if not, it finds the window gone
      EndDialog(d, 1);
      return TRUE;
    }
    return FALSE;
  };
  HWND main;
  {
    UiThread ui([] { RunDialog(IDD_MAIN); });
    main = hl::WaitForDialog(IDD_MAIN);
    ASSERT_TRUE(main);
    ASSERT_TRUE(hl::Press(main, IDC_VERSION_UP));
    ASSERT_TRUE(hl::WaitUntil([&] { return calledBack.load(); }));
    EXPECT_FALSE(changedWhileBusy.load());
    EXPECT_EQ(hl::ReadControl(main, IDC_MAIN_STATUS)->text, "from worker");
    ASSERT_TRUE(hl::Press(main, IDC_CANCEL_BUTTON));
  }
  worker.join();
  late.join();
  EXPECT_EQ(lateResult.load(), FALSE);
  // Already gone: every call returns at once.
  EXPECT_EQ(SetWindowTextA(main, "gone"), FALSE);
  EXPECT_EQ(SendMessageA(main, WM_COMMAND, IDOK, 0), 0);
  EXPECT_EQ(EnableWindow(main, FALSE), FALSE);
}

}  // namespace

namespace {

// ---- Controls ----

TEST_F(WindowTest, ComboBoxListSelectionAndTyping) {
  std::vector<WPARAM> notifications;
  std::atomic<LRESULT> selAfterTyping{0};
  handler = [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      EXPECT_EQ(SendDlgItemMessageA(d, IDC_PORT_LIST, CB_GETCURSEL, 0, 0), CB_ERR) << "empty list";
      EXPECT_EQ(SendDlgItemMessageA(d, IDC_PORT_LIST, CB_SETCURSEL, 0, 0), CB_ERR);
      const char* ports[] = {"COM3", "COM12", "COM1"};
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(SendDlgItemMessageA(d, IDC_PORT_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ports[i])), i);
      }
      EXPECT_EQ(SendDlgItemMessageA(d, IDC_PORT_LIST, CB_SETCURSEL, 0, 0), 0);
      return TRUE;
    }
    if (m == WM_COMMAND && LOWORD(w) == IDC_PORT_LIST) notifications.push_back(HIWORD(w));
    if (m == WM_COMMAND && w == IDC_CANCEL_BUTTON) {
      selAfterTyping = SendDlgItemMessageA(d, IDC_PORT_LIST, CB_GETCURSEL, 0, 0);
      EndDialog(d, 0);
    }
    return TRUE;
  };
  {
    UiThread ui([] { RunDialog(IDD_MAIN); });
    HWND main = hl::WaitForDialog(IDD_MAIN);
    ASSERT_TRUE(main);
    std::optional<hl::Control> list = hl::ReadControl(main, IDC_PORT_LIST);
    EXPECT_EQ(list->items, (std::vector<std::string>{"COM3", "COM12", "COM1"})) << "unsorted, in order added";
    EXPECT_EQ(list->selected, 0);
    EXPECT_EQ(list->text, "COM3");
    // From another thread: the selection and an entry's text, copied with its NUL.
    EXPECT_EQ(SendDlgItemMessageA(main, IDC_PORT_LIST, CB_GETCURSEL, 0, 0), 0);
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(SendDlgItemMessageA(main, IDC_PORT_LIST, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buffer)), 5);
    EXPECT_STREQ(buffer, "COM12");
    EXPECT_EQ(SendDlgItemMessageA(main, IDC_PORT_LIST, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(buffer)), CB_ERR);
    EXPECT_EQ(SendDlgItemMessageA(main, IDC_PORT_LIST, CB_GETLBTEXT, 0, 0), CB_ERR) << "no buffer";
    EXPECT_TRUE(hl::SelectComboEntry(main, IDC_PORT_LIST, 2));
    EXPECT_FALSE(hl::SelectComboEntry(main, IDC_PORT_LIST, 3));
    ASSERT_TRUE(hl::WaitUntil([&] { return hl::ReadControl(main, IDC_PORT_LIST)->selected == 2; }));
    EXPECT_EQ(hl::ReadControl(main, IDC_PORT_LIST)->text, "COM1");
    EXPECT_TRUE(hl::TypeIntoCombo(main, IDC_PORT_LIST, "COM7"));
    ASSERT_TRUE(hl::WaitUntil([&] { return hl::ReadControl(main, IDC_PORT_LIST)->text == "COM7"; }));
    EXPECT_TRUE(hl::ReadControl(main, IDC_PORT_LIST)->focused);
    ASSERT_TRUE(hl::Press(main, IDC_CANCEL_BUTTON));
  }
  EXPECT_EQ(selAfterTyping.load(), CB_ERR) << "typed text is no list entry";
  // Notifications carry their code in the high word, so whole-wParam compares never match them.
  EXPECT_EQ(notifications, (std::vector<WPARAM>{CBN_SELCHANGE, CBN_EDITCHANGE}));
}

TEST_F(WindowTest, ProgressBarMessages) {
  struct Step {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
    int pos;
  };
  const std::vector<Step> steps = {
      {PBM_SETRANGE, 0, MAKELPARAM(0, 100), MAKELPARAM(0, 100), 0},
      {PBM_SETSTEP, 1, 0, 10, 0},
      {PBM_STEPIT, 0, 0, 0, 1},
      {PBM_STEPIT, 0, 0, 1, 2},
      {PBM_SETPOS, 100, 0, 2, 100},
      {PBM_STEPIT, 0, 0, 100, 1},  // past the end it starts over
      {PBM_SETPOS, 0, 0, 1, 0},
      {PBM_SETPOS, 500, 0, 0, 100},  // clamped into the range
      {PBM_SETRANGE, 0, MAKELPARAM(10, 20), MAKELPARAM(0, 100), 20},
      {PBM_SETRANGE, 0, MAKELPARAM(5, 5), MAKELPARAM(10, 20), 6},  // an empty range is widened
      {PBM_STEPIT, 0, 0, 6, 5},
  };
  handler = [](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_COMMAND && w == IDCANCEL) EndDialog(d, 0);
    return FALSE;
  };
  {
    UiThread ui([] { RunDialog(IDD_PROGRESS); });
    HWND dialog = hl::WaitForDialog(IDD_PROGRESS);
    ASSERT_TRUE(dialog);
    HWND bar = GetDlgItem(dialog, IDC_TOTAL_PROGRESS);
    for (const Step& s : steps) {  // sent from this thread, carried out on the dialog's
      EXPECT_EQ(SendMessageA(bar, s.message, s.wParam, s.lParam), s.result) << "message " << s.message;
      EXPECT_EQ(hl::ReadControl(dialog, IDC_TOTAL_PROGRESS)->barPos, s.pos) << "message " << s.message;
    }
    EXPECT_EQ(hl::ReadControl(dialog, IDC_IMAGE_PROGRESS)->barPos, 0) << "the other bar is untouched";
    EXPECT_TRUE(hl::PressClose(dialog));
  }
}

TEST_F(WindowTest, TimersBelongToTheWindowThread) {
  std::atomic<int> ticks{0};
  std::atomic<bool> firstSetFailed{false};
  HWND dialogSeen = nullptr;
  handler = [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_INITDIALOG) {
      dialogSeen = d;
      firstSetFailed = SetTimer(d, 7, 10, nullptr) == 0;
      EXPECT_EQ(SetTimer(d, 7, 10, nullptr), 7u);
      EXPECT_FALSE(KillTimer(d, 8));
    }
    if (m == WM_TIMER && w == 7 && ++ticks == 3) {
      EXPECT_TRUE(KillTimer(d, 7));
      EndDialog(d, 3);
    }
    return FALSE;
  };
  hl::FailNextSetTimers(1);
  UiThread ui([] { EXPECT_EQ(RunDialog(IDD_PROGRESS), 3); });
  HWND dialog = hl::WaitForDialog(IDD_PROGRESS);
  if (dialog) {
    EXPECT_EQ(SetTimer(dialog, 9, 10, nullptr), 0u) << "not from another thread";
    EXPECT_FALSE(KillTimer(dialog, 7));
  }
  EXPECT_TRUE(hl::WaitUntil([&] { return ticks.load() >= 3; }));
  EXPECT_TRUE(firstSetFailed.load());
}

TEST_F(WindowTest, OwnChangesShowAtOnceWhileTheThreadIsBusy) {
  std::atomic<bool> seenByTest{false};
  handler = [&](HWND d, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    if (m == WM_COMMAND && w == IDC_VERSION_UP) {
      EXPECT_TRUE(SetWindowTextA(GetDlgItem(d, IDC_MAIN_STATUS), "checking"));
      EXPECT_FALSE(EnableWindow(GetDlgItem(d, IDC_VERSION_UP), FALSE));
      EXPECT_TRUE(EnableWindow(GetDlgItem(d, IDC_VERSION_UP), FALSE)) << "it was disabled before";
      // A busy wait, as in the adapter check: no loop runs until the test has seen the text.
      for (int i = 0; i < 2000 && !seenByTest.load(); ++i) Sleep(5);
      EndDialog(d, 0);
    }
    return TRUE;
  };
  UiThread ui([] { RunDialog(IDD_MAIN); });
  HWND main = hl::WaitForDialog(IDD_MAIN);
  ASSERT_TRUE(main);
  ASSERT_TRUE(hl::Press(main, IDC_VERSION_UP));
  EXPECT_TRUE(hl::WaitUntil([&] {
    std::optional<hl::Control> status = hl::ReadControl(main, IDC_MAIN_STATUS);
    std::optional<hl::Control> button = hl::ReadControl(main, IDC_VERSION_UP);
    return status && status->text == "checking" && button && !button->enabled;
  }));
  seenByTest = true;
  EXPECT_TRUE(hl::WaitUntilGone(main));
}

}  // namespace
