// Messages to windows and controls, enabling, and timers.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/screen_model.h"

namespace platform::win {

std::atomic<int> failingSetTimers{0};  // test hook: the next n SetTimer calls fail

namespace {

LRESULT ComboMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const int count = static_cast<int>(w.items.size());
  const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
  switch (message) {
    case CB_ADDSTRING: {
      const char* text = reinterpret_cast<const char*>(lParam);
      if (!text) return CB_ERR;
      w.items.emplace_back(text);
      return count;
    }
    case CB_GETCOUNT:
      return count;
    case CB_GETCURSEL:
      return w.curSel >= 0 ? w.curSel : CB_ERR;
    case CB_SETCURSEL:
      if (index < 0 || index >= count) {
        w.curSel = -1;  // -1 or an index past the end clears the selection and the edit text
        w.text.clear();
        return CB_ERR;
      }
      w.curSel = index;
      w.text = w.items[index];
      return index;
    case CB_GETLBTEXTLEN:
      return index >= 0 && index < count ? static_cast<LRESULT>(w.items[index].size()) : CB_ERR;
    case CB_GETLBTEXT: {
      char* buffer = reinterpret_cast<char*>(lParam);
      if (index < 0 || index >= count || !buffer) return CB_ERR;
      const std::string& item = w.items[index];
      std::memcpy(buffer, item.c_str(), item.size() + 1);
      return static_cast<LRESULT>(item.size());
    }
    default:
      return 0;
  }
}

LRESULT ProgressMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const int previous = w.barPos;
  switch (message) {
    case PBM_SETRANGE: {
      LRESULT old = MAKELPARAM(static_cast<WORD>(w.barMin), static_cast<WORD>(w.barMax));
      w.barMin = LOWORD(static_cast<std::uintptr_t>(lParam));
      w.barMax = HIWORD(static_cast<std::uintptr_t>(lParam));
      if (w.barMax <= w.barMin) w.barMax = w.barMin + 1;  // an empty range would divide by 0
      w.barPos = std::clamp(w.barPos, w.barMin, w.barMax);
      return old;
    }
    case PBM_SETPOS:
      w.barPos = std::clamp(static_cast<int>(static_cast<std::intptr_t>(wParam)), w.barMin, w.barMax);
      return previous;
    case PBM_SETSTEP: {
      int old = w.barStep;
      w.barStep = static_cast<int>(static_cast<std::intptr_t>(wParam));
      return old;
    }
    case PBM_STEPIT: {
      long long pos = static_cast<long long>(w.barPos) + w.barStep;
      const long long span = w.barMax - w.barMin;
      if (pos > w.barMax) pos = w.barMin + (pos - w.barMin) % span;  // starts over
      if (pos < w.barMin) pos = w.barMin;
      w.barPos = static_cast<int>(pos);
      return previous;
    }
    case PBM_GETPOS:
      return w.barPos;
    default:
      return 0;
  }
}

// Messages that only change the window's own state (lock held); false when it needs more.
bool StateMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_SETTEXT) {
    const char* text = reinterpret_cast<const char*>(lParam);
    w.text = text ? text : "";
    if (TheCore().textSetHook) TheCore().textSetHook(w.handle, w.text);
    result = TRUE;
    return true;
  }
  if (w.kind == Kind::ComboBox) {
    result = ComboMessage(w, message, wParam, lParam);
    return true;
  }
  if (w.kind == Kind::ProgressBar) {
    result = ProgressMessage(w, message, wParam, lParam);
    return true;
  }
  if (w.kind != Kind::Dialog) {
    result = 0;
    return true;
  }
  return false;
}

}  // namespace

LRESULT DeliverMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  bool done = false;
  {
    std::lock_guard lock(TheCore().mutex);
    Window* w = FindLocked(window);
    if (!w) return 0;
    done = StateMessageLocked(*w, message, wParam, lParam, result);
    if (done) NoteChangeLocked();
  }
  if (done) {
    RefreshScreen();
    return result;
  }
  // A dialog: its procedure, then the default dialog handling.
  INT_PTR handled = CallDialogProc(window, message, wParam, lParam);
  if (!handled && message == WM_CLOSE) {
    SendCommand(window, IDCANCEL, 0);  // the default handling turns an unhandled close into IDCANCEL
  }
  return handled;
}

}  // namespace platform::win

using namespace platform::win;

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CallOnWindowThread(window, [=] { return DeliverMessage(window, message, wParam, lParam); });
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND control = GetDlgItem(dialog, id);
  return control ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  LRESULT wasDisabled = CallOnWindowThread(window, [=]() -> LRESULT {
    bool before = false;
    Mutate(window, [&](Window& w) {
      before = !w.enabled;
      w.enabled = enable != FALSE;
      if (!w.enabled) {
        // A disabled control loses the focus; Tab then starts from the first control again.
        if (Window* parent = FindLocked(w.parent); parent && parent->focus == window) parent->focus = nullptr;
      }
    });
    return before ? TRUE : FALSE;
  });
  return wasDisabled ? TRUE : FALSE;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC timerProc) {
  int failing = failingSetTimers.load();
  while (failing > 0 && !failingSetTimers.compare_exchange_weak(failing, failing - 1)) {
  }
  if (failing > 0) return 0;
  UINT period = std::max(milliseconds, 10u);  // like USER_TIMER_MINIMUM
  bool ok = false;
  {
    std::lock_guard lock(TheCore().mutex);
    Window* w = FindLocked(window);
    if (!w || TheCore().uiThread != std::this_thread::get_id()) return 0;  // only the window's own thread
    auto due = Clock::now() + std::chrono::milliseconds(period);
    auto it = std::find_if(w->timers.begin(), w->timers.end(), [&](const Timer& t) { return t.id == id; });
    if (it != w->timers.end()) {
      *it = Timer{id, period, due, timerProc};
    } else {
      w->timers.push_back(Timer{id, period, due, timerProc});
    }
    ok = true;
  }
  WakeUiThread();
  return ok ? (id ? id : 1) : 0;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  std::lock_guard lock(TheCore().mutex);
  Window* w = FindLocked(window);
  if (!w || TheCore().uiThread != std::this_thread::get_id()) return FALSE;
  auto it = std::find_if(w->timers.begin(), w->timers.end(), [&](const Timer& t) { return t.id == id; });
  if (it == w->timers.end()) return FALSE;
  w->timers.erase(it);
  return TRUE;
}
