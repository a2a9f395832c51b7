// The terminal screen, seen from outside: the demo program runs in a detached tmux session;
// the test types keys into it and reads the screen back with capture-pane, cell by cell.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// The screen as cells: each full-width character takes its cell and an empty one after it.
class Screen {
 public:
  explicit Screen(const std::string& capture) {
    std::istringstream in(capture);
    std::string line;
    while (std::getline(in, line)) {
      std::vector<std::wstring> cells;
      std::mbstate_t state{};
      const char* p = line.data();
      const char* end = p + line.size();
      while (p < end) {
        wchar_t wc;
        std::size_t n = std::mbrtowc(&wc, p, static_cast<std::size_t>(end - p), &state);
        if (n == 0 || n > static_cast<std::size_t>(end - p)) break;
        p += n;
        cells.push_back(std::wstring(1, wc));
        if (wcwidth(wc) == 2) cells.push_back(L"");
      }
      rows_.push_back(cells);
    }
  }

  // The characters from (row, col) on, for as many cells as `expected` takes.
  std::wstring At(int row, int col, const std::wstring& expected) const {
    int width = 0;
    for (wchar_t c : expected) width += wcwidth(c) == 2 ? 2 : 1;
    std::wstring out;
    if (row < 0 || row >= static_cast<int>(rows_.size())) return out;
    const auto& cells = rows_[static_cast<std::size_t>(row)];
    for (int c = col; c < col + width; ++c) {
      out += c < static_cast<int>(cells.size()) ? cells[static_cast<std::size_t>(c)] : L" ";
    }
    return out;
  }

  bool Has(int row, int col, const std::wstring& expected) const { return At(row, col, expected) == expected; }

 private:
  std::vector<std::vector<std::wstring>> rows_;
};

std::string Narrow(const std::wstring& w) {
  std::string out;
  char buffer[MB_LEN_MAX];
  std::mbstate_t state{};
  for (wchar_t c : w) {
    std::size_t n = std::wcrtomb(buffer, c, &state);
    if (n != static_cast<std::size_t>(-1)) out.append(buffer, n);
  }
  return out;
}

struct Expect {
  int row, col;
  std::wstring text;
};

class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::setlocale(LC_CTYPE, "C.UTF-8")) << "the test reads the screen as UTF-8";
    ASSERT_EQ(std::system("command -v tmux >/dev/null"), 0) << "tmux is needed (scripts/install-deps)";
    const char* dir = std::getenv("TR20KX_BUILD_DIR");
    ASSERT_TRUE(dir);
    demo_ = std::string(dir) + "/terminal-demo";
    socket_ = "tr20kx-terminal-test-" + std::to_string(getpid());
    log_ = "/tmp/" + socket_ + ".log";
    std::remove(log_.c_str());
  }
  void TearDown() override {
    Tmux("kill-server 2>/dev/null");
    std::remove(log_.c_str());
  }

  std::string Tmux(const std::string& args) {
    return RunCommand("LC_ALL=C.UTF-8 tmux -u -L " + socket_ + " -f /dev/null " + args);
  }

  // Starts the demo in a session of `cols` x `rows`, in a locale that is not UTF-8.
  void Start(int cols, int rows) {
    Tmux("new-session -d -s demo -x " + std::to_string(cols) + " -y " + std::to_string(rows) + " '" + Bounded() +
         "env -u LC_ALL LANG=C TR20KX_UI=terminal " + demo_ + " " + log_ + "'");
  }

  // The demo ends by itself after a while, so that a test killed midway leaves no session behind.
  static std::string Bounded() { return "timeout 180 "; }

  void Keys(const std::string& keys) { Tmux("send-keys -t demo " + keys); }

  // Waits until every expectation holds; on the deadline, reports the ones that do not.
  void WaitFor(const std::vector<Expect>& expects, const char* step) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string capture;
    for (;;) {
      capture = Tmux("capture-pane -p -t demo");
      Screen screen(capture);
      bool all = true;
      for (const Expect& e : expects) all = all && screen.Has(e.row, e.col, e.text);
      if (all) return;
      if (std::chrono::steady_clock::now() > deadline) {
        for (const Expect& e : expects) {
          EXPECT_EQ(Narrow(screen.At(e.row, e.col, e.text)), Narrow(e.text))
              << step << ": row " << e.row << ", column " << e.col;
        }
        ADD_FAILURE() << step << ": the screen was\n" << capture;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  std::string Log() {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  bool WaitForLog(const std::string& line) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Log().find(line) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  std::string demo_, socket_, log_;
};

std::wstring Repeat(wchar_t c, int n) { return std::wstring(static_cast<std::size_t>(n), c); }

// A click at (row, col) as the terminal reports it (X10 protocol: ESC [ M b x y), press and release.
std::string Click(int row, int col) {
  char hex[96];
  std::snprintf(hex, sizeof hex, "-H 1b 5b 4d 20 %02x %02x 1b 5b 4d 23 %02x %02x", 33 + col, 33 + row, 33 + col,
                33 + row);
  return hex;
}

TEST_F(TerminalTest, BothDialogsAndAMessageBoxDrawnInTheirCellsAndDrivenByKeys) {
  Start(100, 40);
  // The main dialog at (100, 100) dialog units: cells (25, 13); its client area starts at (26, 14).
  WaitFor({{13, 25, L"┌ ＴＲ２０ＫＸ　ダウンローダー　ｖｅｒ１．２４ｖｔ [X]┐"},
           {15, 27, L"┌ 状態 ─"},
           {16, 29, L"アイドル"},
           {17, 27, L"└──"},
           {18, 27, L"┌── COMポート ──┐"},
           {20, 29, L"COM1        v"},
           {19, 46, L"┌────────────────┐ ┌──────────┐"},
           {20, 46, L"│バージョンアップ│ │キャンセル│"},
           {21, 53, L"(V)"},
           {21, 69, L"(C)"},
           {24, 25, L"└" + Repeat(L'─', 53) + L"┘"}},
          "main dialog");

  // Tab, Tab: the port list. Typing edits its text; Down selects the next entry.
  Keys("Tab Tab 7");
  WaitFor({{20, 29, L"COM17 "}}, "typed into the port list");
  Keys("Down");  // typed text is no entry: Down starts at the first one
  WaitFor({{20, 29, L"COM1  "}}, "first entry");
  Keys("Down");
  WaitFor({{20, 29, L"COM3  "}}, "next entry");
  // A click on the arrow drops the list below the field; a click on an entry picks it.
  Keys(Click(20, 41));
  WaitFor({{21, 29, L"┌───"}, {22, 30, L"COM1 "}, {23, 30, L"COM3 "}, {24, 30, L"COM12"}}, "dropped list");
  Keys(Click(24, 31));
  WaitFor({{20, 29, L"COM12 "}, {21, 27, L"│               │"}}, "entry picked");

  // Alt+V: the progress dialog, at (0, 35) dialog units from the main dialog's client area.
  Keys("M-v");
  WaitFor({{16, 29, L"バージョンアップ中 . . . . ."},
           {18, 26, L"┌ バージョンアップ中 ─"},
           {18, 71, L"[X]┐"},
           {20, 30, L"バージョンアップ中です "},
           {21, 30, L"データ送信"},
           {23, 30, Repeat(L'█', 16) + Repeat(L'░', 24)},
           {24, 30, L" data   354595 / 709191 bytes        50 ％"},
           {25, 30, L"終了"},  // the byte count wraps within the dialog instead of being cut
           {26, 30, L"進行状況"},
           {27, 30, Repeat(L'█', 20) + Repeat(L'░', 20)}},
          "progress dialog");

  // Esc: the question box, centred, with No as the default button.
  Keys("Escape");
  WaitFor({{16, 33, L"┌ バージョンアップの中断 "},
           {18, 35, L"(?) 中断しますか？"},
           {20, 37, L"[ はい(Y) ]  [ いいえ(N) ]"}},
          "question");
  Keys("Enter");
  ASSERT_TRUE(WaitForLog("abort-answer 7")) << Log();
  WaitFor({{18, 26, L"┌ バージョンアップ中 ─"}, {16, 29, L"バージョンアップ中 . . . . ."}}, "question answered No");

  // Alt+F4: WM_CLOSE, which the progress dialog leaves to the default handling: IDCANCEL.
  Keys("M-F4");
  WaitFor({{18, 35, L"(?) 中断しますか？"}}, "question after Alt+F4");
  Keys("y");
  ASSERT_TRUE(WaitForLog("progress 2")) << Log();
  EXPECT_NE(Log().find("abort-answer 6"), std::string::npos) << Log();
  EXPECT_NE(Log().find("selection 2"), std::string::npos) << Log();

  // A smaller terminal: the main dialog no longer fits at its place and moves into view.
  Tmux("resize-window -t demo -x 80 -y 24");
  WaitFor({{12, 25, L"┌ ＴＲ２０ＫＸ"}, {15, 29, L"バージョンアップ中 . . . . ."}, {23, 25, L"└─"}},
          "after the resize");

  // A click on the close mark: WM_CLOSE, which the main dialog turns into IDCANCEL.
  Keys(Click(12, 77));
  ASSERT_TRUE(WaitForLog("main 2")) << Log();
}

TEST_F(TerminalTest, AsciiFramesAndBarsWhereLineDrawingIsNotWanted) {
  Tmux("new-session -d -s demo -x 100 -y 40 '" + Bounded() + "env TR20KX_ASCII=1 TR20KX_UI=terminal " + demo_ + " " +
       log_ + "'");
  WaitFor({{13, 25, L"+ ＴＲ２０ＫＸ"}, {14, 25, L"|"}, {15, 27, L"+ 状態 -"}, {24, 25, L"+" + Repeat(L'-', 53) + L"+"}},
          "ASCII frames");
  Keys("v");  // the letter alone presses the button while the focus is not in the port list
  WaitFor({{23, 30, Repeat(L'#', 16) + Repeat(L'.', 24)}}, "ASCII bar");
  Keys("Escape");
  WaitFor({{20, 37, L"[ はい(Y) ]"}}, "question");
  Keys("Left Enter");  // Left and Right move between the buttons: from the default No to Yes
  ASSERT_TRUE(WaitForLog("abort-answer 6")) << Log();
  ASSERT_TRUE(WaitForLog("progress 2")) << Log();
  Keys("Escape");
  ASSERT_TRUE(WaitForLog("main 2")) << Log();
}

}  // namespace
