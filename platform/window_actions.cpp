// What the user does to windows, whichever screen reports it: presses, keys, focus and the
// combo box's edit field. Runs on the user-interface thread.
#include <algorithm>
#include <cctype>

#include "platform/screen_model.h"

namespace platform::win {
namespace {

// Snapshot of what an action needs to know about a window (lock held inside).
struct Target {
  bool ok = false;
  Kind kind = Kind::Static;
  int id = 0;
  HWND parent = nullptr;
  Kind parentKind = Kind::Dialog;
  UINT boxType = 0;
};

bool UsableLocked(const Window* w) { return w && w->visible && w->enabled && !w->ended; }

Target Inspect(HWND window) {
  std::lock_guard lock(TheCore().mutex);
  Target t;
  const Window* w = FindLocked(window);
  if (!UsableLocked(w)) return t;
  t.kind = w->kind;
  t.id = w->id;
  t.boxType = w->boxType;
  if (w->parent) {
    const Window* p = FindLocked(w->parent);
    if (!UsableLocked(p)) return t;
    t.parent = w->parent;
    t.parentKind = p->kind;
  }
  t.ok = true;
  return t;
}

bool EndMessageBox(HWND box, int answer) {
  return Mutate(box, [&](Window& w) {
    w.ended = true;
    w.visible = false;
    w.result = answer;
  });
}

bool HasOnlyOk(UINT boxType) { return (boxType & 0x0F) == MB_OK; }

void SetFocusLocked(Window& top, HWND control) { top.focus = control; }

// The control ids that Tab stops at, in order (lock held).
std::vector<HWND> FocusOrderLocked(const Window& top) {
  std::vector<HWND> order;
  for (HWND child : top.children) {
    const Window* c = FindLocked(child);
    if (!c || !c->visible || !c->enabled) continue;
    if (top.kind == Kind::MessageBox || (c->style & WS_TABSTOP)) order.push_back(child);
  }
  return order;
}

char MnemonicOf(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
      ++i;  // the second byte of a CP932 double-byte character is never a mark
    } else if (text[i] == '&') {
      if (text[i + 1] != '&') return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
      ++i;
    }
  }
  return 0;
}

// Removes the last character of a CP932 text.
void DropLastCharacter(std::string& text) {
  std::size_t last = 0;
  for (std::size_t i = 0; i < text.size();) {
    last = i;
    unsigned char b = static_cast<unsigned char>(text[i]);
    i += ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) && i + 1 < text.size() ? 2 : 1;
  }
  if (!text.empty()) text.erase(last);
}

bool ComboChange(HWND combo, WORD notification, const std::function<bool(Window&)>& change) {
  Target t = Inspect(combo);
  if (!t.ok || t.kind != Kind::ComboBox) return false;
  bool changed = false;
  Mutate(combo, [&](Window& w) { changed = change(w); });
  if (changed) SendCommand(t.parent, MAKEWPARAM(static_cast<WORD>(t.id), notification), reinterpret_cast<LPARAM>(combo));
  return true;
}

}  // namespace

bool CanTakeInput(HWND window) { return Inspect(window).ok; }

bool ActPress(HWND control) {
  Target t = Inspect(control);
  if (!t.ok || t.kind != Kind::Button || !t.parent) return false;
  if (t.parentKind == Kind::MessageBox) return EndMessageBox(t.parent, t.id);
  Mutate(t.parent, [&](Window& top) { SetFocusLocked(top, control); });
  SendCommand(t.parent, MAKEWPARAM(static_cast<WORD>(t.id), BN_CLICKED), reinterpret_cast<LPARAM>(control));
  return true;
}

bool ActClose(HWND top) {
  Target t = Inspect(top);
  if (!t.ok || t.parent) return false;
  if (t.kind == Kind::MessageBox) return HasOnlyOk(t.boxType) && EndMessageBox(top, IDOK);
  DeliverMessage(top, WM_CLOSE, 0, 0);
  return true;
}

bool ActEscape(HWND top) {
  Target t = Inspect(top);
  if (!t.ok || t.parent) return false;
  if (t.kind == Kind::MessageBox) return HasOnlyOk(t.boxType) && EndMessageBox(top, IDOK);
  SendCommand(top, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(top, IDCANCEL)));
  return true;
}

bool ActEnter(HWND top) {
  Target t = Inspect(top);
  if (!t.ok || t.parent) return false;
  HWND focus;
  {
    std::lock_guard lock(TheCore().mutex);
    focus = FindLocked(top)->focus;
    const Window* f = FindLocked(focus);
    if (!f || f->kind != Kind::Button) focus = nullptr;
  }
  if (focus) return ActPress(focus);
  if (t.kind == Kind::Dialog) SendCommand(top, IDOK, 0);  // no default push button: IDOK
  return true;
}

bool ActMnemonic(HWND top, char letter, bool alt) {
  letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  Target t = Inspect(top);
  if (!t.ok || t.parent || letter == 0) return false;
  HWND hit = nullptr;
  Kind hitKind = Kind::Static;
  {
    std::lock_guard lock(TheCore().mutex);
    const Window& w = *FindLocked(top);
    const Window* focus = FindLocked(w.focus);
    if (!alt && focus && focus->kind == Kind::ComboBox) return false;  // the letter is typed text
    for (HWND child : w.children) {
      const Window* c = FindLocked(child);
      if (c && c->visible && c->enabled && MnemonicOf(c->text) == letter) {
        hit = child;
        hitKind = c->kind;
        break;
      }
    }
  }
  if (!hit) return false;
  if (hitKind == Kind::Button) return ActPress(hit);
  return ActFocus(hit);
}

bool ActFocus(HWND control) {
  Target t = Inspect(control);
  if (!t.ok || !t.parent) return false;
  return Mutate(t.parent, [&](Window& top) { SetFocusLocked(top, control); });
}

bool ActFocusStep(HWND top, int direction) {
  Target t = Inspect(top);
  if (!t.ok || t.parent) return false;
  return Mutate(top, [&](Window& w) {
    std::vector<HWND> order = FocusOrderLocked(w);
    if (order.empty()) return;
    int at = -1;
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (order[i] == w.focus) at = static_cast<int>(i);
    }
    const int n = static_cast<int>(order.size());
    int next = at < 0 ? (direction > 0 ? 0 : n - 1) : ((at + direction) % n + n) % n;
    SetFocusLocked(w, order[next]);
  });
}

bool ActComboStep(HWND combo, int delta) {
  return ComboChange(combo, CBN_SELCHANGE, [&](Window& w) {
    const int n = static_cast<int>(w.items.size());
    if (n == 0) return false;
    int next = w.curSel < 0 ? 0 : std::clamp(w.curSel + delta, 0, n - 1);
    if (next == w.curSel) return false;
    w.curSel = next;
    w.text = w.items[next];
    return true;
  });
}

bool ActComboPick(HWND combo, int index) {
  bool inRange = false;
  bool ok = ComboChange(combo, CBN_SELCHANGE, [&](Window& w) {
    inRange = index >= 0 && index < static_cast<int>(w.items.size());
    w.dropped = false;
    if (!inRange) return false;
    bool changed = w.curSel != index || w.text != w.items[index];
    w.curSel = index;
    w.text = w.items[index];
    return changed;
  });
  return ok && inRange;
}

bool ActComboType(HWND combo, const std::string& bytes) {
  return ComboChange(combo, CBN_EDITCHANGE, [&](Window& w) {
    w.text += bytes;
    w.curSel = -1;  // typed text is no list entry
    return true;
  });
}

bool ActComboBackspace(HWND combo) {
  return ComboChange(combo, CBN_EDITCHANGE, [&](Window& w) {
    if (w.text.empty()) return false;
    DropLastCharacter(w.text);
    w.curSel = -1;
    return true;
  });
}

bool ActComboSetText(HWND combo, const std::string& bytes) {
  return ComboChange(combo, CBN_EDITCHANGE, [&](Window& w) {
    w.text = bytes;
    w.curSel = -1;
    return true;
  });
}

bool ActComboDrop(HWND combo, bool dropped) {
  return ComboChange(combo, 0, [&](Window& w) {
    w.dropped = dropped && !w.items.empty();
    return false;
  });
}

}  // namespace platform::win
