// Message boxes: a modal window of their own with one or two buttons.
#include "platform/screen_model.h"

namespace platform::win {
extern const char kErrorCaption[];
extern const char kYesButton[];
extern const char kNoButton[];
}  // namespace platform::win

using namespace platform::win;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const UINT buttons = type & 0x0F;
  if (buttons != MB_OK && buttons != MB_YESNO) return 0;
  {
    std::lock_guard lock(TheCore().mutex);
    if (owner && !FindLocked(owner)) return 0;
    if (!ClaimUiThreadLocked()) return 0;
  }
  if (!EnsureScreenStarted()) return 0;
  HWND box;
  bool disabledOwner = false;
  {
    std::lock_guard lock(TheCore().mutex);
    if (!ClaimUiThreadLocked()) return 0;
    Window& w = CreateLocked(Kind::MessageBox);
    box = w.handle;
    w.text = caption ? caption : kErrorCaption;
    w.body = text ? text : "";
    w.boxType = type;
    w.owner = owner;
    w.style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
    struct Button {
      int id;
      const char* label;
    };
    std::vector<Button> labels;
    if (buttons == MB_OK) {
      labels = {{IDOK, "OK"}};
    } else {
      labels = {{IDYES, kYesButton}, {IDNO, kNoButton}};
    }
    std::vector<HWND> children;
    for (const Button& b : labels) {
      Window& c = CreateLocked(Kind::Button);
      c.id = b.id;
      c.text = b.label;
      c.parent = box;
      c.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
      c.visible = true;
      children.push_back(c.handle);
    }
    Window& created = *FindLocked(box);
    created.children = children;
    std::size_t first = (type & MB_DEFBUTTON2) && children.size() > 1 ? 1 : 0;
    created.focus = children[first];
    created.visible = true;
    TheCore().tops.push_back(box);
    if (Window* o = FindLocked(owner); o && o->enabled) {
      o->enabled = false;
      disabledOwner = true;
    }
    NoteChangeLocked();
  }
  RefreshScreen();
  RunModalLoop(box);
  int result = 0;
  {
    std::lock_guard lock(TheCore().mutex);
    if (Window* w = FindLocked(box)) result = static_cast<int>(w->result);
  }
  if (disabledOwner) Mutate(owner, [](Window& o) { o.enabled = true; });
  DestroyTopLevel(box);
  return result;
}
