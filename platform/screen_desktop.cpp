// The desktop screen (FLTK 1.3 on X11). Each visible dialog and message box of the model is a
// window of its own, redrawn from a copy of the model whenever the model changes; the combo
// box's dropped list is a borderless window below its edit field.
//
// FLTK runs inside the window layer's modal loops: they wait on the X connection's descriptor,
// and HandleInput lets FLTK read what arrived (Fl::check, which never blocks). The windows only
// record keys and clicks; each recorded event is carried out afterwards, one per HandleInput,
// with the terminal screen's meaning, so that a handler that runs a nested modal loop never
// runs inside FLTK's own event handling. Nothing here runs a timer of its own: while nothing
// happens, the loops sleep in poll.
#include "platform/screen_desktop.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "platform/screen_desktop_draw.h"

namespace platform::win {
namespace {

using desktop::Box;

std::mutex displayMutex;
Display* openedDisplay = nullptr;  // opened once, when the screen is chosen, and kept

// What the user did, recorded by a window and carried out later.
struct Event {
  enum Type { Key, Press, Close, ComboEdit, ComboArrow, ListPick, CloseList } type = Key;
  HWND window = nullptr;
  int index = 0;
  int key = 0;
  int state = 0;
  std::string text;  // the key's UTF-8 text

  Event(Type type, HWND window, int index = 0) : type(type), window(window), index(index) {}
  Event(HWND window, int key, int state, const char* text)
      : window(window), key(key), state(state), text(text ? text : "") {}
};

class DesktopScreen;

// True when two copies of a window would look the same.
bool SameLook(const WindowView& a, const WindowView& b) {
  if (a.handle != b.handle || a.text != b.text || a.body != b.body || a.enabled != b.enabled ||
      a.visible != b.visible || a.focused != b.focused || a.items != b.items || a.curSel != b.curSel ||
      a.dropped != b.dropped || a.barMin != b.barMin || a.barMax != b.barMax || a.barPos != b.barPos ||
      a.children.size() != b.children.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.children.size(); ++i) {
    if (!SameLook(a.children[i], b.children[i])) return false;
  }
  return true;
}

class TopWindow : public Fl_Double_Window {
 public:
  TopWindow(DesktopScreen& screen, const WindowView& view, const desktop::MessageLayout& layout, Box at)
      : Fl_Double_Window(at.x, at.y, at.w, at.h), screen_(screen), view(view), layout(layout) {
    end();
  }
  int handle(int event) override;
  void draw() override {
    if (view.kind == Kind::MessageBox) {
      desktop::DrawMessageBox(view, layout);
    } else {
      desktop::DrawDialog(view, w(), h());
    }
  }

 private:
  DesktopScreen& screen_;

 public:
  WindowView view;
  desktop::MessageLayout layout;  // message boxes only
};

class ListWindow : public Fl_Double_Window {
 public:
  ListWindow(DesktopScreen& screen, const WindowView& combo, Box at)
      : Fl_Double_Window(at.x, at.y, at.w, at.h), screen_(screen), combo(combo) {
    end();
    set_override();
  }
  int handle(int event) override;
  void draw() override { desktop::DrawList(combo, w(), h()); }

 private:
  DesktopScreen& screen_;

 public:
  WindowView combo;
};

class DesktopScreen : public Screen {
 public:
  bool Start() override;
  void Stop() override;
  std::vector<int> InputDescriptors() override {
    if (!active_) return {};
    return {ConnectionNumber(fl_display)};
  }
  void HandleInput() override;
  bool InputPending() override { return !pending_.empty() || (active_ && XQLength(fl_display) > 0); }
  void Refresh() override;

  void Record(Event e) { pending_.push_back(std::move(e)); }
  void Click(TopWindow& window, int x, int y);
  void Closed(TopWindow& window) { Record({Event::Close, window.view.handle}); }

 private:
  TopWindow* Create(const WindowView& view);
  void SyncList(const std::vector<WindowView>& views);
  void TakeFocus();
  void Dispatch(const Event& e);
  void KeyTo(HWND top, const Event& e);
  void ComboKey(HWND combo, const WindowView& c, const Event& e);
  void Discard(Fl_Window* window) {
    window->hide();
    Fl::delete_widget(window);
  }

  bool opened_ = false;
  bool active_ = false;
  std::deque<Event> pending_;
  std::map<HWND, TopWindow*> windows_;
  ListWindow* list_ = nullptr;
  HWND lastActive_ = nullptr;
  HWND focusWanted_ = nullptr;  // a window to give the keyboard once it is mapped
};

int TopWindow::handle(int event) {
  switch (event) {
    case FL_PUSH:
      if (Fl::event_button() == FL_LEFT_MOUSE) screen_.Click(*this, Fl::event_x(), Fl::event_y());
      return 1;
    case FL_KEYBOARD:
    case FL_SHORTCUT:
      screen_.Record(Event(view.handle, Fl::event_key(), Fl::event_state(), Fl::event_text()));
      return 1;
    case FL_FOCUS:
    case FL_UNFOCUS:
    case FL_RELEASE:
    case FL_DRAG:
    case FL_ENTER:
    case FL_MOVE:
    case FL_LEAVE:
    case FL_KEYUP:
      return 1;
    default:
      return Fl_Double_Window::handle(event);
  }
}

int ListWindow::handle(int event) {
  if (event == FL_PUSH) {
    if (Fl::event_button() == FL_LEFT_MOUSE) {
      int row = (Fl::event_y() - 1) / desktop::ListRowHeight();
      int index = desktop::ListFirst(combo) + std::clamp(row, 0, desktop::ListShown(combo) - 1);
      screen_.Record({Event::ListPick, combo.handle, index});
    }
    return 1;
  }
  if (event == FL_RELEASE || event == FL_ENTER || event == FL_MOVE || event == FL_LEAVE || event == FL_DRAG) return 1;
  return Fl_Double_Window::handle(event);
}

void OnWindowClose(Fl_Widget* widget, void* screen) {
  // The window manager's close box, or its Alt+F4: the model decides, the window stays.
  static_cast<DesktopScreen*>(screen)->Closed(*static_cast<TopWindow*>(widget));
}

int DisplayDpi() {
  const char* dpi = XGetDefault(fl_display, "Xft", "dpi");
  int value = dpi ? std::atoi(dpi) : 0;
  return value >= 72 && value <= 480 ? value : 96;
}

bool DesktopScreen::Start() {
  if (active_) return true;
  if (!opened_) {
    if (!DesktopDisplayAvailable()) return false;
    {
      std::lock_guard lock(displayMutex);
      fl_open_display(openedDisplay);
    }
    desktop::SetUpFont(9, DisplayDpi());  // the dialogs' 9-point font
    opened_ = true;
  }
  active_ = true;
  Refresh();
  return true;
}

void DesktopScreen::Stop() {
  if (!active_) return;
  for (auto& [handle, window] : windows_) Discard(window);
  windows_.clear();
  if (list_) Discard(list_);
  list_ = nullptr;
  Fl::do_widget_deletion();
  XFlush(fl_display);
  pending_.clear();
  lastActive_ = focusWanted_ = nullptr;
  active_ = false;
}

TopWindow* DesktopScreen::Create(const WindowView& view) {
  const desktop::Metrics& m = desktop::TheMetrics();
  TopWindow* owner = nullptr;
  if (auto it = windows_.find(view.owner); it != windows_.end()) owner = it->second;
  desktop::MessageLayout layout;
  Box at;
  if (view.kind == Kind::MessageBox) {
    layout = desktop::LayOutMessageBox(view, std::min(Fl::w() - 8 * m.baseY, 44 * m.baseY));
    // Centred over the owner, or on the screen for a box without one.
    Box over = owner ? Box{owner->x(), owner->y(), owner->w(), owner->h()} : Box{0, 0, Fl::w(), Fl::h()};
    at = {over.x + (over.w - layout.w) / 2, over.y + (over.h - layout.h) / 2, layout.w, layout.h};
  } else {
    // The template's place: from the owner's client area, or from the screen's corner.
    int x0 = owner ? owner->x() : 0, y0 = owner ? owner->y() : 0;
    at = {x0 + m.Px(view.x), y0 + m.Py(view.y), std::max(1, m.Px(view.cx)), std::max(1, m.Py(view.cy))};
  }
  at.x = std::clamp(at.x, 0, std::max(0, Fl::w() - at.w));
  at.y = std::clamp(at.y, 0, std::max(0, Fl::h() - at.h));
  auto* window = new TopWindow(*this, view, layout, at);
  window->copy_label(desktop::ToUtf8(view.text, false).utf8.c_str());
  window->xclass("tr20kx-downloader");
  window->size_range(at.w, at.h, at.w, at.h);
  window->callback(OnWindowClose, this);
  bool modal = view.kind == Kind::MessageBox || owner;
  if (modal) window->set_non_modal();  // above the others; the model decides what takes input
  window->position(at.x, at.y);
  window->show();
  if (modal) {
    // Tell the window manager that it is a modal window of its owner (or of the window below).
    ::Window below = owner ? fl_xid(owner) : 0;
    if (!below && !windows_.empty()) below = fl_xid(windows_.rbegin()->second);
    if (below) XSetTransientForHint(fl_display, fl_xid(window), below);
    Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
    Atom modalState = XInternAtom(fl_display, "_NET_WM_STATE_MODAL", False);
    XChangeProperty(fl_display, fl_xid(window), state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&modalState), 1);
  }
  return window;
}

void DesktopScreen::SyncList(const std::vector<WindowView>& views) {
  const WindowView* combo = nullptr;
  TopWindow* dialog = nullptr;
  for (const WindowView& v : views) {
    auto it = windows_.find(v.handle);
    if (it == windows_.end()) continue;
    for (const WindowView& c : v.children) {
      if (c.kind == Kind::ComboBox && c.dropped && c.visible && !c.items.empty()) {
        combo = &c;
        dialog = it->second;
      }
    }
  }
  if (list_ && (!combo || list_->combo.handle != combo->handle)) {
    Discard(list_);
    list_ = nullptr;
  }
  if (!combo) return;
  if (!list_) {
    Box edit = desktop::ControlBox(*combo);
    int h = desktop::ListShown(*combo) * desktop::ListRowHeight() + 2;
    list_ = new ListWindow(*this, *combo, {dialog->x() + edit.x, dialog->y() + edit.y + edit.h, edit.w, h});
    list_->show();
  } else if (!SameLook(list_->combo, *combo)) {
    list_->combo = *combo;
    list_->redraw();
  }
}

void DesktopScreen::Refresh() {
  if (!active_) return;
  std::vector<WindowView> views = TopLevelViews();
  std::set<HWND> shown;
  HWND active = nullptr;
  for (const WindowView& v : views) {
    if (!v.visible || v.ended) continue;
    shown.insert(v.handle);
    if (v.enabled) active = v.handle;
    auto it = windows_.find(v.handle);
    if (it == windows_.end()) {
      windows_[v.handle] = Create(v);
    } else if (!SameLook(it->second->view, v)) {
      if (it->second->view.text != v.text) it->second->copy_label(desktop::ToUtf8(v.text, false).utf8.c_str());
      it->second->view = v;
      it->second->redraw();
    }
  }
  for (auto it = windows_.begin(); it != windows_.end();) {
    if (shown.count(it->first)) {
      ++it;
      continue;
    }
    Discard(it->second);
    it = windows_.erase(it);
  }
  SyncList(views);
  if (active != lastActive_) focusWanted_ = active;
  lastActive_ = active;
  TakeFocus();
  Fl::flush();  // draws what changed, even while the user-interface thread is busy
}

// Gives the keyboard to the window that takes input now, once it is mapped, unless another
// program holds the keyboard focus.
void DesktopScreen::TakeFocus() {
  auto it = windows_.find(focusWanted_);
  if (it == windows_.end()) {
    focusWanted_ = nullptr;
    return;
  }
  ::Window xid = fl_xid(it->second);
  XWindowAttributes attributes;
  if (!xid || !XGetWindowAttributes(fl_display, xid, &attributes) || attributes.map_state != IsViewable) return;
  focusWanted_ = nullptr;
  ::Window focus;
  int revert;
  XGetInputFocus(fl_display, &focus, &revert);
  bool ours = focus == None || focus == PointerRoot || focus == RootWindow(fl_display, fl_screen) || fl_find(focus);
  if (ours) XSetInputFocus(fl_display, xid, RevertToParent, CurrentTime);
}

void DesktopScreen::HandleInput() {
  if (!active_) return;
  if (pending_.empty()) {
    Fl::check();  // reads the X events: the windows record what the user did
    TakeFocus();
  }
  if (pending_.empty()) return;
  Event e = pending_.front();
  pending_.pop_front();
  Dispatch(e);
}

void DesktopScreen::Click(TopWindow& window, int x, int y) {
  if (list_) {  // a click beside the dropped list closes it, and does nothing else
    Record({Event::CloseList, list_->combo.handle});
    return;
  }
  const WindowView& v = window.view;
  if (v.kind == Kind::MessageBox) {
    for (std::size_t i = 0; i < v.children.size() && i < window.layout.buttons.size(); ++i) {
      if (window.layout.buttons[i].Contains(x, y)) Record({Event::Press, v.children[i].handle});
    }
    return;
  }
  for (auto it = v.children.rbegin(); it != v.children.rend(); ++it) {
    const WindowView& c = *it;
    if (!c.visible) continue;
    if (c.kind == Kind::Button && desktop::ControlBox(c).Contains(x, y)) {
      Record({Event::Press, c.handle});
      return;
    }
    if (c.kind == Kind::ComboBox) {
      if (desktop::ComboArrow(c).Contains(x, y)) {
        Record({Event::ComboArrow, c.handle});
        return;
      }
      if (desktop::ComboEdit(c).Contains(x, y)) {
        Record({Event::ComboEdit, c.handle});
        return;
      }
    }
  }
}

void DesktopScreen::Dispatch(const Event& e) {
  switch (e.type) {
    case Event::Press: ActPress(e.window); break;
    case Event::Close: ActClose(e.window); break;
    case Event::ComboEdit: ActFocus(e.window); break;
    case Event::ComboArrow:
      if (ActFocus(e.window)) ActComboDrop(e.window, !ViewOf(e.window).dropped);
      break;
    case Event::ListPick: ActComboPick(e.window, e.index); break;
    case Event::CloseList: ActComboDrop(e.window, false); break;
    case Event::Key:
      // Keys go to the window that takes input, as on the terminal screen.
      if (HWND top = ActiveWindow()) KeyTo(top, e);
      break;
  }
}

bool IsAsciiAlnum(int k) { return k > 0 && k < 128 && std::isalnum(k); }

void DesktopScreen::ComboKey(HWND combo, const WindowView& c, const Event& e) {
  const bool alt = (e.state & FL_ALT) != 0;
  switch (e.key) {
    case FL_Up: ActComboStep(combo, -1); return;
    case FL_Down:
      if (alt) {
        ActComboDrop(combo, !c.dropped);
      } else {
        ActComboStep(combo, +1);
      }
      return;
    case FL_F + 4: ActComboDrop(combo, !c.dropped); return;
    case FL_BackSpace: ActComboBackspace(combo); return;
    default: break;
  }
  if ((e.state & FL_CTRL) || e.text.empty()) return;
  unsigned char first = static_cast<unsigned char>(e.text[0]);
  if (first < 0x20 || first == 0x7F) return;
  std::string bytes = desktop::ToCp932(e.text);
  if (!bytes.empty()) ActComboType(combo, bytes);
}

void DesktopScreen::KeyTo(HWND top, const Event& e) {
  WindowView w = ViewOf(top);
  const WindowView* focus = FocusedChild(w);
  HWND focused = focus ? focus->handle : nullptr;
  const bool inCombo = focus && focus->kind == Kind::ComboBox;
  const bool dropped = inCombo && focus->dropped;
  const bool alt = (e.state & FL_ALT) != 0;
  const int k = e.key;
  if (k == FL_F + 4 && alt) {
    ActClose(top);
  } else if (k == 0xFE20 || (k == FL_Tab && (e.state & FL_SHIFT))) {  // ISO_Left_Tab is Shift+Tab
    ActFocusStep(top, -1);
  } else if (k == FL_Tab) {
    if (dropped) ActComboDrop(focused, false);
    ActFocusStep(top, +1);
  } else if (k == FL_Enter || k == FL_KP_Enter) {
    if (dropped) ActComboDrop(focused, false); else ActEnter(top);
  } else if (k == FL_Escape) {
    if (dropped) ActComboDrop(focused, false); else ActEscape(top);
  } else if (w.kind == Kind::MessageBox && (k == FL_Left || k == FL_Right)) {
    ActFocusStep(top, k == FL_Left ? -1 : +1);
  } else if (alt && IsAsciiAlnum(k)) {
    ActMnemonic(top, static_cast<char>(k), true);
  } else if (inCombo) {
    ComboKey(focused, *focus, e);
  } else if (k == ' ') {
    if (focus && focus->kind == Kind::Button) ActPress(focused);
  } else if (IsAsciiAlnum(k) && !(e.state & FL_CTRL)) {
    ActMnemonic(top, static_cast<char>(k), false);
  }
}

}  // namespace

bool DesktopDisplayAvailable() {
  std::lock_guard lock(displayMutex);
  if (!openedDisplay) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return false;
    openedDisplay = XOpenDisplay(nullptr);
  }
  return openedDisplay != nullptr;
}

std::unique_ptr<Screen> MakeDesktopScreen() { return std::make_unique<DesktopScreen>(); }

}  // namespace platform::win
