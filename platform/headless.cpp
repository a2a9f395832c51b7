// The headless screen and the test interface that drives it.
#include "platform/headless.h"

#include <atomic>

#include "platform/screen_model.h"

namespace platform::win {

extern std::atomic<int> failingSetTimers;

namespace {

class HeadlessScreen : public Screen {
 public:
  bool Start() override { return true; }
  void Stop() override {}
};

}  // namespace

std::unique_ptr<Screen> MakeHeadlessScreen() { return std::make_unique<HeadlessScreen>(); }

}  // namespace platform::win

namespace platform::headless {
namespace {

using win::Kind;
using win::WindowView;

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Button: return "button";
    case Kind::Static: return "static";
    case Kind::GroupBox: return "groupbox";
    case Kind::ComboBox: return "combobox";
    case Kind::ProgressBar: return "progress";
    default: return "window";
  }
}

Control ToControl(const WindowView& v) {
  Control c;
  c.handle = v.handle;
  c.id = v.id;
  c.kind = KindName(v.kind);
  c.text = v.text;
  c.style = v.style;
  c.exStyle = v.exStyle;
  c.x = v.x, c.y = v.y, c.cx = v.cx, c.cy = v.cy;
  c.enabled = v.enabled;
  c.visible = v.visible;
  c.focused = v.focused;
  c.items = v.items;
  c.selected = v.curSel;
  if (v.kind == Kind::ProgressBar) {
    c.barMin = v.barMin, c.barMax = v.barMax, c.barPos = v.barPos, c.barStep = v.barStep;
  }
  return c;
}

Window ToWindow(const WindowView& v) {
  Window w;
  w.handle = v.handle;
  w.messageBox = v.kind == Kind::MessageBox;
  w.templateId = v.templateId;
  w.caption = v.text;
  w.message = v.body;
  w.boxType = v.boxType;
  w.owner = v.owner;
  w.x = v.x, w.y = v.y, w.cx = v.cx, w.cy = v.cy;
  w.enabled = v.enabled;
  w.visible = v.visible && !v.ended;
  for (const WindowView& c : v.children) w.controls.push_back(ToControl(c));
  return w;
}

std::chrono::milliseconds ActionWait() { return std::chrono::milliseconds(kDefaultWait); }

// Takes `check` on the user-interface thread and reports it; then runs `act` there, which may
// start a handler that runs for long (a nested message box), so the caller does not wait for it.
bool Act(HWND target, std::function<bool()> check, std::function<void()> act) {
  Use();
  return target && win::PostAction(target, std::move(check), std::move(act), ActionWait());
}

bool IsKind(HWND window, Kind kind) { return win::ViewOf(window).kind == kind && win::ViewOf(window).handle; }

// A top-level window that Esc or the close mark can act on.
bool CanDismiss(HWND window, bool close) {
  WindowView v = win::ViewOf(window);
  if (!v.handle || !win::CanTakeInput(window)) return false;
  if (v.kind == Kind::MessageBox) return (v.boxType & 0x0F) == MB_OK;
  return v.kind == Kind::Dialog && (!close || (v.style & WS_SYSMENU));
}

bool CanUseCombo(HWND control) { return IsKind(control, Kind::ComboBox) && win::CanTakeInput(control); }

}  // namespace

const Control* Window::Find(int id) const {
  for (const Control& c : controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

bool Use() { return win::UseHeadlessScreen(); }

std::optional<Window> Read(HWND window) {
  Use();
  WindowView v = win::ViewOf(window);
  if (!v.handle || (v.kind != Kind::Dialog && v.kind != Kind::MessageBox)) return std::nullopt;
  return ToWindow(v);
}

std::optional<Control> ReadControl(HWND dialog, int id) {
  std::optional<Window> w = Read(dialog);
  if (!w) return std::nullopt;
  const Control* c = w->Find(id);
  if (!c) return std::nullopt;
  return *c;
}

std::vector<Window> ReadAll() {
  Use();
  std::vector<Window> all;
  for (const WindowView& v : win::TopLevelViews()) all.push_back(ToWindow(v));
  return all;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  Use();
  auto deadline = win::Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    unsigned long seen = win::ChangeCount();
    if (condition()) return true;
    auto now = win::Clock::now();
    if (now >= deadline) return false;
    // Conditions may also watch the test's own state, so look again now and then.
    win::WaitForChange(seen, std::min(deadline, now + std::chrono::milliseconds(10)));
  }
}

HWND WaitForDialog(WORD templateId, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil([&] {
    for (const Window& w : ReadAll()) {
      if (!w.messageBox && w.templateId == templateId && w.visible) found = w.handle;
    }
    return found != nullptr;
  }, timeoutMs);
  return found;
}

HWND WaitForMessageBox(HWND newerThan, DWORD timeoutMs) {
  HWND found = nullptr;
  auto newer = [&](HWND h) {
    return reinterpret_cast<std::uintptr_t>(h) > reinterpret_cast<std::uintptr_t>(newerThan);
  };
  WaitUntil([&] {
    for (const Window& w : ReadAll()) {
      if (w.messageBox && w.visible && newer(w.handle)) found = w.handle;
    }
    return found != nullptr;
  }, timeoutMs);
  return found;
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([&] { return !win::ViewOf(window).handle; }, timeoutMs);
}

bool Press(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return Act(control, [=] { return IsKind(control, Kind::Button) && win::CanTakeInput(control); },
             [=] { win::ActPress(control); });
}

bool PressEscape(HWND window) {
  return Act(window, [=] { return CanDismiss(window, false); }, [=] { win::ActEscape(window); });
}

bool PressClose(HWND window) {
  return Act(window, [=] { return CanDismiss(window, true); }, [=] { win::ActClose(window); });
}

bool PressEnter(HWND window) {
  return Act(window, [=] { return win::CanTakeInput(window); }, [=] { win::ActEnter(window); });
}

bool PressMnemonic(HWND window, char letter) {
  return Act(window, [=] { return win::CanTakeInput(window); }, [=] { win::ActMnemonic(window, letter, true); });
}

bool Focus(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return Act(control, [=] { return win::ActFocus(control); }, nullptr);
}

bool TypeIntoCombo(HWND dialog, int id, const std::string& text) {
  HWND control = GetDlgItem(dialog, id);
  return Act(control, [=] { return CanUseCombo(control); },
             [=] {
               if (win::ActFocus(control)) win::ActComboSetText(control, text);
             });
}

bool SelectComboEntry(HWND dialog, int id, int index) {
  HWND control = GetDlgItem(dialog, id);
  return Act(control,
             [=] {
               WindowView v = win::ViewOf(control);
               return CanUseCombo(control) && index >= 0 && index < static_cast<int>(v.items.size());
             },
             [=] { win::ActComboPick(control, index); });
}

bool AnswerMessageBox(HWND box, int buttonId) {
  HWND button = GetDlgItem(box, buttonId);
  // The answer itself only marks the box: it is given before the caller hears back.
  return IsKind(box, Kind::MessageBox) &&
         Act(button, [=] { return win::ActPress(button); }, nullptr);
}

void FailNextSetTimers(int count) { win::failingSetTimers.store(count); }

void OnTextSet(std::function<void(HWND window, const std::string& text)> hook) {
  Use();
  std::lock_guard lock(win::TheCore().mutex);
  win::TheCore().textSetHook = std::move(hook);
}

}  // namespace platform::headless
