// The terminal screen (ncursesw): draws the picture of screen_layout and turns keys and mouse
// clicks into the window layer's actions. Only the user-interface thread touches ncurses.
#define NCURSES_WIDECHAR 1
#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <term.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/screen_terminal.h"

namespace platform::win {
namespace {

using terminal::Canvas;
using terminal::Hit;

int resizePipe[2] = {-1, -1};

void OnResize(int) {
  int saved = errno;
  char b = 1;
  ssize_t n = write(resizePipe[1], &b, 1);
  (void)n;
  errno = saved;
}

// Makes the character type UTF-8 so that CP932 texts can be shown: the user's locale when it is
// UTF-8, else C.UTF-8 when the system has it. Returns whether the type is UTF-8.
bool PrepareLocale() {
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) return true;
  if (std::setlocale(LC_CTYPE, "C.UTF-8") || std::setlocale(LC_CTYPE, "C.utf8")) {
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  }
  return false;
}

struct Event {
  wint_t key;
  bool code;  // a KEY_ code rather than a character
  bool alt;
  MEVENT mouse;
};

constexpr wint_t kAltF4 = KEY_F(52);  // how xterm-like terminals report Alt+F4

class TerminalScreen : public Screen {
 public:
  bool Start() override;
  void Stop() override;
  std::vector<int> InputDescriptors() override {
    if (inputGone_) return {resizePipe[0]};
    return {STDIN_FILENO, resizePipe[0]};
  }
  void HandleInput() override;
  bool InputPending() override { return !pending_.empty(); }
  void Refresh() override;

 private:
  void ReadEvents();
  void Dispatch(const Event& e);
  void Click(const MEVENT& m);
  void Key(HWND top, const Event& e);
  void ComboKey(HWND combo, const Event& e);

  SCREEN* screen_ = nullptr;
  bool active_ = false;
  bool lineDrawing_ = true;
  bool inputGone_ = false;  // the terminal hung up: its descriptor would wake the loops for ever
  std::deque<Event> pending_;
  std::vector<Hit> hits_;
};

bool TerminalScreen::Start() {
  if (active_) return true;
  if (!screen_) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return false;
    bool utf8 = PrepareLocale();
    if (pipe(resizePipe) != 0) return false;
    fcntl(resizePipe[0], F_SETFL, O_NONBLOCK);
    fcntl(resizePipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa {};
    sa.sa_handler = OnResize;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &sa, nullptr);  // installed first, so ncurses keeps it
    screen_ = newterm(nullptr, stdout, stdin);
    if (!screen_) return false;
    set_term(screen_);
    const char* acs = tigetstr(const_cast<char*>("acsc"));
    bool hasAcs = acs && acs != reinterpret_cast<char*>(-1) && *acs;
    const char* ascii = std::getenv("TR20KX_ASCII");
    lineDrawing_ = utf8 && hasAcs && !(ascii && *ascii && std::strcmp(ascii, "0") != 0);
    set_escdelay(25);
    define_key("\033[1;3S", static_cast<int>(kAltF4));
  } else {
    set_term(screen_);
  }
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED, nullptr);
  mouseinterval(0);
  curs_set(0);
  active_ = true;
  Refresh();
  return true;
}

void TerminalScreen::Stop() {
  if (!active_) return;
  erase();
  refresh();
  endwin();
  active_ = false;
  pending_.clear();
}

void TerminalScreen::Refresh() {
  if (!active_) return;
  Canvas canvas(LINES, COLS, lineDrawing_);
  terminal::Compose(canvas, TopLevelViews());
  erase();
  for (int r = 0; r < canvas.rows(); ++r) {
    for (int c = 0; c < canvas.cols(); ++c) {
      const terminal::Cell& cell = canvas.at(r, c);
      if (cell.width == 0) continue;
      attr_t a = A_NORMAL;
      if (cell.attributes & terminal::kReverse) a |= A_REVERSE;
      if (cell.attributes & terminal::kUnderline) a |= A_UNDERLINE;
      if (cell.attributes & terminal::kBold) a |= A_BOLD;
      if (cell.attributes & terminal::kDim) a |= A_DIM;
      wchar_t s[2] = {cell.ch, L'\0'};
      cchar_t cc;
      setcchar(&cc, s, a, 0, nullptr);
      mvadd_wch(r, c, &cc);
    }
  }
  hits_ = canvas.hits;
  if (canvas.cursorRow >= 0) {
    move(canvas.cursorRow, canvas.cursorCol);
    curs_set(1);
  } else {
    curs_set(0);
  }
  refresh();
}

void TerminalScreen::ReadEvents() {
  char drain[64];
  bool resized = false;
  while (read(resizePipe[0], drain, sizeof drain) > 0) resized = true;
  if (resized) {
    winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0) {
      resizeterm(ws.ws_row, ws.ws_col);
    }
    Refresh();
  }
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (!inputGone_ && poll(&in, 1, 0) > 0 && (in.revents & (POLLHUP | POLLERR | POLLNVAL))) inputGone_ = true;
  for (;;) {
    wint_t key;
    int kind = get_wch(&key);
    if (kind == ERR) break;
    Event e{key, kind == KEY_CODE_YES, false, {}};
    if (e.code && key == KEY_MOUSE) {
      if (getmouse(&e.mouse) != OK) continue;
    }
    if (!e.code && key == 27) {  // Esc, or Alt with the next key
      wint_t next;
      int nextKind = get_wch(&next);
      if (nextKind != ERR) e = Event{next, nextKind == KEY_CODE_YES, true, {}};
    }
    pending_.push_back(e);
  }
}

void TerminalScreen::HandleInput() {
  if (!active_) return;
  if (pending_.empty()) ReadEvents();
  if (pending_.empty()) return;
  Event e = pending_.front();
  pending_.pop_front();
  Dispatch(e);
}

void TerminalScreen::Dispatch(const Event& e) {
  if (e.code && e.key == KEY_RESIZE) {
    Refresh();
    return;
  }
  if (e.code && e.key == KEY_MOUSE) {
    Click(e.mouse);
    return;
  }
  HWND top = ActiveWindow();
  if (top) Key(top, e);
}

void TerminalScreen::Click(const MEVENT& m) {
  if (!(m.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED))) return;  // releases and other buttons
  for (auto it = hits_.rbegin(); it != hits_.rend(); ++it) {
    if (!it->rect.Contains(m.y, m.x)) continue;
    switch (it->kind) {
      case Hit::Close: ActClose(it->window); break;
      case Hit::Press: ActPress(it->window); break;
      case Hit::ComboEdit: ActFocus(it->window); break;
      case Hit::ComboArrow:
        ActFocus(it->window);
        ActComboDrop(it->window, !ViewOf(it->window).dropped);
        break;
      case Hit::ListEntry: ActComboPick(it->window, it->index); break;
      case Hit::Window: break;
    }
    return;  // the topmost thing under the pointer takes the click
  }
}

void TerminalScreen::ComboKey(HWND combo, const Event& e) {
  WindowView c = ViewOf(combo);
  if (e.code) {
    switch (e.key) {
      case KEY_UP: ActComboStep(combo, -1); return;
      case KEY_DOWN:
        if (e.alt) {
          ActComboDrop(combo, !c.dropped);
        } else {
          ActComboStep(combo, +1);
        }
        return;
      case KEY_F(4): ActComboDrop(combo, !c.dropped); return;
      case KEY_BACKSPACE: ActComboBackspace(combo); return;
      default: return;
    }
  }
  if (e.key == 127 || e.key == 8) {
    ActComboBackspace(combo);
    return;
  }
  std::string bytes = text::EncodeTyped(static_cast<wchar_t>(e.key));
  if (!bytes.empty()) ActComboType(combo, bytes);
}

void TerminalScreen::Key(HWND top, const Event& e) {
  WindowView w = ViewOf(top);
  const WindowView* focus = FocusedChild(w);
  HWND focused = focus ? focus->handle : nullptr;
  const bool inCombo = focus && focus->kind == Kind::ComboBox;
  const wint_t k = e.key;
  if (e.code) {
    if (k == kAltF4 || (e.alt && k == KEY_F(4))) {
      ActClose(top);
    } else if (k == KEY_BTAB) {
      ActFocusStep(top, -1);
    } else if (k == KEY_ENTER) {
      if (inCombo && focus->dropped) ActComboDrop(focused, false); else ActEnter(top);
    } else if (w.kind == Kind::MessageBox && (k == KEY_LEFT || k == KEY_RIGHT)) {
      ActFocusStep(top, k == KEY_LEFT ? -1 : +1);
    } else if (inCombo) {
      ComboKey(focused, e);
    }
    return;
  }
  if (k == 27) {
    if (inCombo && focus->dropped) ActComboDrop(focused, false); else ActEscape(top);
  } else if (k == L'\t') {
    if (inCombo && focus->dropped) ActComboDrop(focused, false);
    ActFocusStep(top, +1);
  } else if (k == L'\r' || k == L'\n') {
    if (inCombo && focus->dropped) ActComboDrop(focused, false); else ActEnter(top);
  } else if (e.alt && k < 128 && std::isalnum(static_cast<int>(k))) {
    ActMnemonic(top, static_cast<char>(k), true);
  } else if (inCombo) {
    ComboKey(focused, e);
  } else if (k == L' ') {
    if (focus && focus->kind == Kind::Button) ActPress(focused);
  } else if (k < 128 && std::isalnum(static_cast<int>(k))) {
    ActMnemonic(top, static_cast<char>(k), false);
  }
}

}  // namespace

std::unique_ptr<Screen> MakeTerminalScreen() { return std::make_unique<TerminalScreen>(); }

}  // namespace platform::win
