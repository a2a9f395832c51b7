// Window classes, dialog resources, modal dialogs and the controls they are built from.
#include <strings.h>

#include <algorithm>
#include <map>

#include "platform/screen_model.h"

namespace platform::win {
namespace {

std::mutex registryMutex;

std::map<WORD, const DialogTemplate*>& Templates() {
  static std::map<WORD, const DialogTemplate*> templates;
  return templates;
}

struct ClassEntry {
  std::string name;
  ATOM atom;
};

std::vector<ClassEntry>& Classes() {
  static std::vector<ClassEntry> classes;
  return classes;
}

bool SameName(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

// The kind of control a template item makes; false for a class the layer does not provide.
bool ControlKind(const DialogItemTemplate& item, Kind& kind) {
  if (!item.className) return false;
  if (SameName(item.className, WC_BUTTONA)) {
    kind = (item.style & BS_TYPEMASK) == BS_GROUPBOX ? Kind::GroupBox : Kind::Button;
  } else if (SameName(item.className, WC_STATICA)) {
    kind = Kind::Static;
  } else if (SameName(item.className, WC_COMBOBOXA)) {
    kind = Kind::ComboBox;
  } else if (SameName(item.className, PROGRESS_CLASSA)) {
    kind = Kind::ProgressBar;
  } else {
    return false;
  }
  return true;
}

// Builds the dialog and its controls from `t` (lock held); null when a control class is unknown.
HWND CreateDialogLocked(const DialogTemplate& t, HWND owner, DLGPROC proc) {
  std::vector<Kind> kinds;
  for (int i = 0; i < t.itemCount; ++i) {
    Kind kind;
    if (!ControlKind(t.items[i], kind)) return nullptr;
    kinds.push_back(kind);
  }
  Window& dialog = CreateLocked(Kind::Dialog);
  dialog.style = t.style;
  dialog.exStyle = t.exStyle;
  dialog.x = t.x, dialog.y = t.y, dialog.cx = t.cx, dialog.cy = t.cy;
  dialog.text = t.caption ? t.caption : "";
  dialog.templateId = t.resourceId;
  dialog.owner = owner;
  dialog.proc = proc;
  HWND handle = dialog.handle;
  std::vector<HWND> children;
  for (int i = 0; i < t.itemCount; ++i) {
    const DialogItemTemplate& item = t.items[i];
    Window& c = CreateLocked(kinds[i]);
    c.id = item.id;
    c.style = item.style;
    c.exStyle = item.exStyle;
    c.x = item.x, c.y = item.y, c.cx = item.cx, c.cy = item.cy;
    c.text = item.text ? item.text : "";
    c.parent = handle;
    c.enabled = (item.style & WS_DISABLED) == 0;
    c.visible = (item.style & WS_VISIBLE) != 0;
    children.push_back(c.handle);
  }
  FindLocked(handle)->children = children;
  TheCore().tops.push_back(handle);
  NoteChangeLocked();
  return handle;
}

HWND FirstTabStopLocked(const Window& dialog) {
  for (HWND child : dialog.children) {
    const Window* c = FindLocked(child);
    if (c && (c->style & WS_TABSTOP) && c->enabled && c->visible) return child;
  }
  return nullptr;
}

}  // namespace
}  // namespace platform::win

using namespace platform::win;

BOOL RegisterDialogTemplate(const DialogTemplate* dialogTemplate) {
  if (!dialogTemplate) return FALSE;
  std::lock_guard lock(registryMutex);
  return Templates().emplace(dialogTemplate->resourceId, dialogTemplate).second ? TRUE : FALSE;
}

const DialogTemplate* FindDialogTemplate(LPCSTR name) {
  if (!name || !IS_INTRESOURCE(name)) return nullptr;
  std::lock_guard lock(registryMutex);
  auto it = Templates().find(static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name)));
  return it == Templates().end() ? nullptr : it->second;
}

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName ||
      !*windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName)) {
    return 0;
  }
  std::lock_guard lock(registryMutex);
  auto& classes = Classes();
  for (const ClassEntry& c : classes) {
    if (SameName(c.name.c_str(), windowClass->lpszClassName)) return 0;
  }
  if (classes.size() >= 0x3FFF) return 0;
  ATOM atom = static_cast<ATOM>(0xC000 + classes.size());
  classes.push_back({windowClass->lpszClassName, atom});
  return atom;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  static char arrow;  // its address stands for the shared arrow cursor
  if (instance == nullptr && name == IDC_ARROW) return reinterpret_cast<HCURSOR>(&arrow);
  return nullptr;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR name, HWND owner, DLGPROC dialogProc, LPARAM initParam) {
  const DialogTemplate* t = FindDialogTemplate(name);
  if (!t || !dialogProc) return -1;
  {
    std::lock_guard lock(TheCore().mutex);
    if (owner && !FindLocked(owner)) return -1;
    if (!ClaimUiThreadLocked()) return -1;  // windows belong to one thread at a time
  }
  if (!EnsureScreenStarted()) return -1;
  HWND dialog;
  bool disabledOwner = false;
  bool stopScreen = false;
  {
    std::lock_guard lock(TheCore().mutex);
    dialog = ClaimUiThreadLocked() ? CreateDialogLocked(*t, owner, dialogProc) : nullptr;
    if (!dialog && TheCore().windows.empty()) {
      TheCore().screenStarted = false;
      stopScreen = true;
    }
    if (Window* o = FindLocked(owner); dialog && o && o->enabled) {
      o->enabled = false;
      disabledOwner = true;
    }
  }
  if (stopScreen) CurrentScreen().Stop();
  if (!dialog) return -1;
  RefreshScreen();
  HWND first;
  {
    std::lock_guard lock(TheCore().mutex);
    first = FirstTabStopLocked(*FindLocked(dialog));
  }
  INT_PTR focusDefault = CallDialogProc(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
  Mutate(dialog, [&](Window& w) {
    if (focusDefault && !w.focus) w.focus = FirstTabStopLocked(w);
    if (!w.ended) w.visible = (w.style & WS_VISIBLE) != 0;
  });
  RunModalLoop(dialog);
  INT_PTR result = -1;
  {
    std::lock_guard lock(TheCore().mutex);
    if (Window* w = FindLocked(dialog)) result = w->result;
  }
  CallDialogProc(dialog, WM_DESTROY, 0, 0);
  if (disabledOwner) Mutate(owner, [](Window& o) { o.enabled = true; });
  DestroyTopLevel(dialog);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  {
    std::lock_guard lock(TheCore().mutex);
    Window* w = FindLocked(dialog);
    if (!w || w->kind != Kind::Dialog) return FALSE;
  }
  bool ok = Mutate(dialog, [&](Window& w) {
    w.ended = true;  // the loop ends once the handler returns; a later call's result wins
    w.visible = false;
    w.result = result;
  });
  if (ok) WakeUiThread();
  return ok ? TRUE : FALSE;
}

HWND GetDlgItem(HWND dialog, int id) {
  std::lock_guard lock(TheCore().mutex);
  Window* w = FindLocked(dialog);
  if (!w || (w->kind != Kind::Dialog && w->kind != Kind::MessageBox)) return nullptr;
  for (HWND child : w->children) {
    Window* c = FindLocked(child);
    if (c && c->id == id) return child;
  }
  return nullptr;
}
