// The whole program against simulated adapters. WinMain runs on the test thread, the
// user-interface thread, with the headless screen; another thread plays the user and a
// recorder notes, with their times, the status texts, the windows shown and the commands
// each adapter received.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cp932.h"
#include "firmware/images.h"
#include "platform/headless.h"
#include "platform/module.h"
#include "platform/serial_port.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "ui/main_window.h"
#include "ui/templates.h"
#include "ui/version_up.h"
#include "upload/upload.h"
#include "upload_fixture.h"

namespace {

namespace headless = platform::headless;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Strings = std::vector<std::string>;

const std::string kIdle = Cp932("アイドル");
const std::string kChecking = Cp932("アダプタの電源の確認をします");
const std::string kConfirmed = Cp932("TR20KXの接続を確認しました");
const std::string kRunning = Cp932("バージョンアップ中 . . . . .");
const std::string kInitialising = Cp932("初期化しています");
const std::string kComplete = Cp932("バージョンアップ完了 － キャンセルを押して終了してください");
const std::string kAbandoned = Cp932("バージョンアップ中止 － キャンセルを押して終了してください");
const std::string kNoAnswerText = Cp932("アダプタが正しく接続されているか確認してください");
const std::string kNoAnswerCaption = Cp932("ステータス");
const std::string kWrongAdapterText = Cp932("アダプタの種類が違います");
const std::string kWrongAdapterCaption = Cp932("エラー");

// Watches the main dialog and the adapters from a thread of its own and keeps each change
// with its time since the recorder started.
class Recorder {
 public:
  struct Event {
    long ms;
    std::string what;  // "status:TEXT", "box:CAPTION", "progress" or "cmdN:COMMAND" (adapter N)
  };

  Recorder(HWND main, std::vector<sim::AdapterSim*> adapters)
      : main_(main), adapters_(std::move(adapters)), start_(Clock::now()), thread_([this] { Run(); }) {}
  ~Recorder() { Stop(); }

  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }

  std::vector<Event> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }

  // The texts of the events that start with `prefix`, in order, without the prefix.
  Strings Texts(const std::string& prefix) const {
    Strings out;
    for (const Event& e : Events())
      if (e.what.rfind(prefix, 0) == 0) out.push_back(e.what.substr(prefix.size()));
    return out;
  }

  // The time of the `nth` event `what` (counting from 0), -1 when there is none.
  long TimeOf(const std::string& what, int nth = 0) const {
    for (const Event& e : Events())
      if (e.what == what && nth-- == 0) return e.ms;
    return -1;
  }

 private:
  void Note(const std::string& what) {
    const long ms = std::chrono::duration_cast<milliseconds>(Clock::now() - start_).count();
    std::lock_guard lock(mutex_);
    events_.push_back({ms, what});
  }

  // Looks after every change of the windows, and every 10 ms for the adapters' commands.
  void Run() {
    while (!headless::WaitUntil(
        [this] {
          const bool last = stop_.load();  // one more look after the stop, for the latest changes
          Look();
          return last;
        },
        600000)) {
    }
  }

  void Look() {
    if (auto c = headless::ReadControl(main_, IDC_MAIN_STATUS); c && c->text != status_) {
      status_ = c->text;
      Note("status:" + status_);
    }
    for (const headless::Window& w : headless::ReadAll()) {
      if (w.handle == main_ || !seen_.insert(w.handle).second) continue;
      Note(w.messageBox ? "box:" + w.caption : w.templateId == IDD_PROGRESS ? "progress" : "window");
    }
    for (std::size_t i = 0; i < adapters_.size(); ++i) {
      const Strings now = adapters_[i]->Commands();
      for (; commands_[i] < now.size(); ++commands_[i]) Note("cmd" + std::to_string(i) + ":" + now[commands_[i]]);
    }
  }

  HWND main_;
  std::vector<sim::AdapterSim*> adapters_;
  Clock::time_point start_;
  mutable std::mutex mutex_;
  std::vector<Event> events_;
  std::atomic<bool> stop_{false};
  std::string status_ = "\x01";  // no text yet; these three are the recorder thread's own
  std::set<HWND> seen_;
  std::vector<std::size_t> commands_ = std::vector<std::size_t>(adapters_.size());
  std::thread thread_;
};

// Ends whatever is still open, as a user in a hurry would, so that a failed check cannot
// leave WinMain waiting for ever.
void CloseEverything() {
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < deadline) {
    std::vector<headless::Window> windows = headless::ReadAll();
    std::erase_if(windows, [](const headless::Window& w) { return !w.visible; });
    if (windows.empty()) return;
    const headless::Window& top = windows.back();
    if (top.messageBox)
      headless::AnswerMessageBox(top.handle, (top.boxType & 0xF) == MB_YESNO ? IDYES : IDOK);
    else if (top.templateId == IDD_PROGRESS)
      headless::PressEscape(top.handle);
    else
      headless::Press(top.handle, IDC_CANCEL_BUTTON);
    std::this_thread::sleep_for(milliseconds(50));
  }
}

// Runs the program on this thread while `user` plays the user on another, with the main
// dialog's handle; returns WinMain's exit code.
int RunProgram(const std::function<void(HWND main)>& user) {
  EXPECT_TRUE(headless::Use());
  std::thread player([&] {
    HWND main = headless::WaitForDialog(IDD_MAIN);
    EXPECT_NE(main, nullptr);
    if (main != nullptr) user(main);
    CloseEverything();
  });
  const int code = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), 10);
  player.join();
  return code;
}

std::string Status(HWND main) {
  auto c = headless::ReadControl(main, IDC_MAIN_STATUS);
  return c ? c->text : "(gone)";
}

bool VersionUpEnabled(HWND main) {
  auto c = headless::ReadControl(main, IDC_VERSION_UP);
  return c && c->enabled;
}

// Returns once the main dialog's own loop runs again, that is once the command has ended
// (when no message box is up, nothing else runs a loop).
void Settle(HWND main) { ASSERT_TRUE(headless::Focus(main, IDC_CANCEL_BUTTON)); }

// True when nothing but the main dialog is up: a message box stays until it is answered.
bool OnlyTheMainDialog(HWND main) {
  for (const headless::Window& w : headless::ReadAll())
    if (w.visible && w.handle != main) return false;
  return true;
}

// Abandons the upload as the user does: Escape, "Yes" to the question, OK to the notice.
void AbandonUpload(HWND progress) {
  ASSERT_TRUE(headless::PressEscape(progress));
  HWND question = headless::WaitForMessageBox();
  ASSERT_NE(question, nullptr);
  ASSERT_TRUE(headless::AnswerMessageBox(question, IDYES));
  HWND notice = headless::WaitForMessageBox(question);
  ASSERT_NE(notice, nullptr);
  ASSERT_TRUE(headless::AnswerMessageBox(notice, IDOK));
  ASSERT_TRUE(headless::WaitUntilGone(progress));
}

// Waits for the progress dialog and for the adapter to receive the flash-loader command,
// then abandons the upload and waits until the version-up command has ended.
void AbandonWhenTheUploadStarts(HWND main, sim::AdapterSim& adapter, int nth = 1) {
  HWND progress = nullptr;
  ASSERT_TRUE(headless::WaitUntil(
      [&] {
        for (const headless::Window& w : headless::ReadAll())
          if (w.templateId == IDD_PROGRESS && w.visible) progress = w.handle;
        return progress != nullptr;
      },
      60000));
  // Abandon only once the loader has had its "Y" to "Y or N": a loader still asking
  // that question takes no commands, so the next press's adapter check would go unheard.
  ASSERT_TRUE(Eventually([&] {
    const std::string received = adapter.Received();
    int answered = 0;
    for (std::size_t at = received.find("AAT*VER1\rY"); at != std::string::npos;
         at = received.find("AAT*VER1\rY", at + 1))
      ++answered;
    return answered >= nth;
  }));
  EXPECT_FALSE(headless::Read(main)->enabled) << "the progress dialog's owner is disabled";
  AbandonUpload(progress);
  Settle(main);
}

std::string WithoutLineFeeds(std::string text) {
  std::erase(text, '\n');
  return text;
}

TEST(MainProgram, AFinishedVersionUp) {
  PortDirectory ports;
  sim::AdapterSim& adapter = ports.Add(1);
  long lastLineMs = -1, finalCommandMs = -1;
  Strings statuses;
  const int code = RunProgram([&](HWND main) {
    auto list = headless::ReadControl(main, IDC_PORT_LIST);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->items, Strings{"COM1"});
    EXPECT_EQ(list->selected, 0);
    EXPECT_TRUE(headless::ReadControl(main, IDC_VERSION_UP)->focused);
    Recorder recorder(main, {&adapter});
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    const auto start = Clock::now();
    ASSERT_TRUE(adapter.WaitForImages(6, 180000));
    lastLineMs = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
    ASSERT_TRUE(adapter.WaitForReceived("AAT&F&W\r", 60000));
    finalCommandMs = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
    ASSERT_TRUE(headless::WaitUntil([&] { return Status(main) == kComplete; }));
    EXPECT_TRUE(headless::WaitUntil([&] { return !VersionUpEnabled(main); })) << "the button ends disabled";
    EXPECT_TRUE(headless::ReadControl(main, IDC_CANCEL_BUTTON)->enabled);
    std::this_thread::sleep_for(milliseconds(1000));  // nothing follows the final command
    recorder.Stop();
    statuses = recorder.Texts("status:");
    EXPECT_EQ(portOpen.load(), 1);
    EXPECT_EQ(receiveRunning.load(), 1);
    ASSERT_TRUE(headless::Press(main, IDC_CANCEL_BUTTON));
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(receiveRunning.load(), 0);
  EXPECT_EQ(portOpen.load(), 0) << "the ending receive thread closes the port";

  EXPECT_EQ(statuses, (Strings{kIdle, kChecking, kConfirmed, kRunning, kInitialising, kComplete}));
  EXPECT_GE(finalCommandMs - lastLineMs, 6500) << "the hold, the pause and the wait come before the final command";
  LoadImageTable();
  std::string wire = "AATE\rAATI4\rAAT*VER1\rY";
  for (int i = 0; i < IMAGE_COUNT; ++i) wire += "Y" + WithoutLineFeeds(imageTable[i]);
  wire += "AAT&F&W\r";
  const std::string received = adapter.Received();
  EXPECT_TRUE(received == wire) << "the exact conversation; " << received.size() << " bytes received, "
                                << wire.size() << " expected; ends with: "
                                << received.substr(received.size() - std::min<std::size_t>(received.size(), 40));
}

// How the adapter check ends.
enum class End { kNoAnswerBox, kWrongAdapterBox, kUpload };

// One command that the adapter receives, and the least time since the one before it: the
// pauses and time-outs before it, less some slack for when the recorder looks.
struct Step {
  std::string command;
  long minGapMs = 0;
};

struct CheckCase {
  const char* name;
  std::function<void(sim::Options&)> adapter;
  std::vector<Step> commands;  // everything the adapter receives, in order
  End end;
  Strings statuses;            // the status texts from the press on
  std::string bufferStart;     // what replyBuffer starts with when the check is over, if given
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

const std::string kReplyOk = "\r\nOK\r\n";
const std::string kOtherIdentity = "\r\nTR-GENERIC MODEM\r\n\r\nOK\r\n";
// Bytes no adapter should send; no XON or XOFF among them, which would pace the program's sends.
const std::string kGarbage = std::string("\x80\xff\x01\x7f\x1b[2J \xfe\x00\x00 gar", 16) + "\rba\n\n\rge\r";

const std::string kLongFirst = "\r\n--------------------------- MOLVEX TR20KX\r\n";
const std::string kShortSecond = "\r\nOK\r\n\r\nOK\r\n";

const std::vector<Step> kIdentified = {{"AATE"}, {"AATI4", 700}, {"AAT*VER1", 700}};

std::vector<CheckCase> CheckCases() {
  const Strings confirmed = {kIdle, kChecking, kConfirmed, kRunning};
  const Strings unconfirmed = {kIdle, kChecking, kRunning};
  const Strings abandoned = {kIdle, kChecking, kAbandoned};
  return {
      {"Identified", [](sim::Options&) {}, kIdentified, End::kUpload, confirmed, {}},
      {"NoAnswerToTheFirstProbe", [](sim::Options& o) { o.replies["AATE"] = ""; },
       {{"AATE"}, {"AATI4", 4000}, {"AAT*VER1", 700}}, End::kUpload, confirmed, {}},
      {"AlreadyInTheLoader",
       [](sim::Options& o) {
         o.replies["AATE"] = "\r\nErase flash ROM (Y or N) \r\n";
         o.replyDelayMs = 500;  // keeps the checking text up long enough to be seen
       },
       {{"AATE"}, {"AAT*VER1"}}, End::kUpload, unconfirmed, {}},
      {"FewerThanFourLineFeedsDespiteTheIdentity",
       [](sim::Options& o) { o.replies["AATI4"] = "\r\nMOLVEX TR20KX\r\n"; },
       {{"AATE"}, {"AATI4", 700}}, End::kNoAnswerBox, abandoned, {}},
      {"IdentityOnlyInTheSecondAnswer", [](sim::Options& o) { o.replies["AATI4"] = kOtherIdentity; },
       {{"AATE"}, {"AATI4", 700}, {"AATI1"}, {"AAT*VER1", 700}}, End::kUpload, confirmed, {}},
      {"SilenceAfterTheSecondAsk",
       [](sim::Options& o) {
         o.replies["AATI4"] = kOtherIdentity;
         o.replies["AATI1"] = "";
       },
       {{"AATE"}, {"AATI4", 700}, {"AATI1"}, {"AAT*VER1", 4000}}, End::kUpload, unconfirmed, {}},
      {"WrongAdapter", [](sim::Options& o) { o.model = "MOLVEX TR30KX"; },
       {{"AATE"}, {"AATI4", 700}, {"AATI1"}}, End::kWrongAdapterBox, abandoned, {}},
      {"SilentAdapter", [](sim::Options& o) { o.silent = true; },
       {{"AATE"}, {"AATI4", 4000}}, End::kNoAnswerBox, abandoned, {}},
      {"AnswersTooLate", [](sim::Options& o) { o.replyDelayMs = 6000; },
       {{"AATE"}, {"AATI4", 4000}}, End::kNoAnswerBox, abandoned, {}},
      {"Garbage",
       [](sim::Options& o) {
         o.replies["AATE"] = kGarbage;
         o.replies["AATI4"] = kGarbage + kGarbage;
         o.replies["AATI1"] = kGarbage + kGarbage;
       },
       {{"AATE"}, {"AATI4", 700}, {"AATI1"}}, End::kWrongAdapterBox, abandoned, {}},
      // The identity comes only after the 96 bytes that the buffer can hold.
      {"IdentityBeyondTheBuffer",
       [](sim::Options& o) { o.replies["AATI4"] = std::string(200, 'x') + "\r\nMOLVEX TR20KX\r\n\r\nOK\r\n"; },
       {{"AATE"}, {"AATI4", 700}, {"AATI1"}, {"AAT*VER1", 700}}, End::kUpload, confirmed, {}},
      // Far more than the receive ring holds, none of it the identity.
      {"Flood",
       [](sim::Options& o) {
         o.model = "SOMETHING ELSE";
         for (int i = 0; i < 500; ++i) o.replies["AATE"] += "garbage line " + std::to_string(i) + "\r\n";
       },
       {{"AATE"}, {"AATI4", 700}, {"AATI1"}}, End::kWrongAdapterBox, abandoned, {}},
      // The second reply is shorter than the first, whose tail still holds the identity.
      {"AShorterReplyLeavesTheEarlierTail",
       [](sim::Options& o) {
         o.replies["AATE"] = kLongFirst;
         o.replies["AATI4"] = kShortSecond;
       },
       kIdentified, End::kUpload, confirmed, kShortSecond + kLongFirst.substr(kShortSecond.size())},
  };
}

class AdapterCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(AdapterCheck, EndsAsTheAnswersSay) {
  const CheckCase& c = GetParam();
  PortDirectory ports;
  sim::Options options;
  c.adapter(options);
  sim::AdapterSim& adapter = ports.Add(1, options);
  std::vector<Recorder::Event> events;
  std::string buffer;
  const int code = RunProgram([&](HWND main) {
    Recorder recorder(main, {&adapter});
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    if (c.end == End::kUpload) {
      AbandonWhenTheUploadStarts(main, adapter);
      buffer.assign(replyBuffer, sizeof replyBuffer);
      EXPECT_EQ(Status(main), kRunning);
      EXPECT_TRUE(VersionUpEnabled(main)) << "an abandoned upload can be tried again";
      EXPECT_EQ(portOpen.load(), 1);
      EXPECT_EQ(receiveRunning.load(), 1);
    } else {
      HWND box = headless::WaitForMessageBox(nullptr, 60000);
      ASSERT_NE(box, nullptr);
      const headless::Window shown = *headless::Read(box);
      buffer.assign(replyBuffer, sizeof replyBuffer);
      const bool noAnswer = c.end == End::kNoAnswerBox;
      EXPECT_EQ(shown.caption, noAnswer ? kNoAnswerCaption : kWrongAdapterCaption);
      EXPECT_EQ(shown.message, noAnswer ? kNoAnswerText : kWrongAdapterText);
      EXPECT_EQ(shown.boxType, MB_OK);
      EXPECT_EQ(shown.owner, nullptr);
      EXPECT_TRUE(headless::Read(main)->enabled) << "a box without owner leaves the main dialog enabled";
      EXPECT_EQ(receiveRunning.load(), 1) << "the receive thread stops only after the box";
      ASSERT_TRUE(headless::AnswerMessageBox(box, IDOK));
      ASSERT_TRUE(headless::WaitUntil([&] { return Status(main) == kAbandoned; }));
      EXPECT_TRUE(headless::WaitUntil([&] { return !VersionUpEnabled(main); }));
      Settle(main);
      EXPECT_EQ(receiveRunning.load(), 0);
      EXPECT_EQ(portOpen.load(), 0);
    }
    recorder.Stop();
    events = recorder.Events();
    ASSERT_TRUE(headless::Press(main, IDC_CANCEL_BUTTON));
  });
  EXPECT_EQ(code, 0);

  Strings statuses, commands;
  std::vector<long> times;
  for (const Recorder::Event& e : events) {
    if (e.what.rfind("status:", 0) == 0) statuses.push_back(e.what.substr(7));
    if (e.what.rfind("cmd0:", 0) == 0) {
      commands.push_back(e.what.substr(5));
      times.push_back(e.ms);
    }
  }
  EXPECT_EQ(statuses, c.statuses);
  Strings expected;
  for (const Step& s : c.commands) expected.push_back(s.command);
  EXPECT_EQ(commands, expected);
  for (std::size_t i = 1; i < std::min(commands.size(), c.commands.size()); ++i)
    EXPECT_GE(times[i] - times[i - 1], c.commands[i].minGapMs) << "before " << commands[i];
  if (!c.bufferStart.empty()) {
    EXPECT_EQ(buffer.substr(0, c.bufferStart.size()), c.bufferStart);
  }
  EXPECT_NE(buffer.find('\0'), std::string::npos) << "the buffer keeps a NUL";
}

INSTANTIATE_TEST_SUITE_P(Cases, AdapterCheck, testing::ValuesIn(CheckCases()),
                         [](const testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST(MainProgram, ASecondPressAfterAnAbandonedUploadUsesTheOpenPort) {
  PortDirectory ports;
  sim::Options stalls;
  stalls.loader.stallAtPrompt = 1;  // the first image's prompt never comes
  sim::AdapterSim& first = ports.Add(1, stalls);
  sim::AdapterSim& second = ports.Add(2);
  const int code = RunProgram([&](HWND main) {
    EXPECT_EQ(headless::ReadControl(main, IDC_PORT_LIST)->items, (Strings{"COM1", "COM2"}));
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    AbandonWhenTheUploadStarts(main, first, 1);
    const HANDLE thread = receiveThread;
    EXPECT_EQ(Status(main), kRunning);

    ASSERT_TRUE(headless::SelectComboEntry(main, IDC_PORT_LIST, 1));
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    AbandonWhenTheUploadStarts(main, first, 2);
    EXPECT_EQ(receiveThread, thread) << "no second receive thread";
    EXPECT_EQ(first.Commands(), (Strings{"AATE", "AATI4", "AAT*VER1", "AATE", "AATI4", "AAT*VER1"}));
    EXPECT_EQ(second.Received(), "") << "the entry selected later is not used";
    ASSERT_TRUE(headless::Press(main, IDC_CANCEL_BUTTON));
  });
  EXPECT_EQ(code, 0);
}

// No port to open: none listed, or the listed one gone before the press.
class WithoutAPort : public testing::TestWithParam<bool> {};

TEST_P(WithoutAPort, APressDoesNothing) {
  const bool listedButGone = GetParam();
  PortDirectory ports;
  sim::AdapterSim* adapter = listedButGone ? &ports.Add(1) : nullptr;
  const int code = RunProgram([&](HWND main) {
    auto list = headless::ReadControl(main, IDC_PORT_LIST);
    EXPECT_EQ(list->items.size(), listedButGone ? 1u : 0u);
    EXPECT_EQ(list->selected, listedButGone ? 0 : -1);
    if (adapter) adapter->Stop();
    Recorder recorder(main, {});
    for (int press = 0; press < 2; ++press) {
      ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
      Settle(main);
      EXPECT_TRUE(OnlyTheMainDialog(main)) << "nothing is shown";
      EXPECT_EQ(Status(main), kIdle);
      EXPECT_TRUE(VersionUpEnabled(main));
      EXPECT_EQ(portOpen.load(), 0);
      EXPECT_EQ(receiveRunning.load(), 0);
    }
    recorder.Stop();
    EXPECT_EQ(recorder.Texts("status:"), Strings{kIdle});
    ASSERT_TRUE(headless::Press(main, IDC_CANCEL_BUTTON));
  });
  EXPECT_EQ(code, 0);
}

INSTANTIATE_TEST_SUITE_P(Ports, WithoutAPort, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "ListedButGone" : "NoneListed");
                         });

TEST(MainProgram, RefusedLineSettingsEndTheCommandSilently) {
  PortDirectory ports;
  sim::AdapterSim& adapter = ports.Add(1);
  const int code = RunProgram([&](HWND main) {
    Recorder recorder(main, {&adapter});
    // Refused at the first setting: nothing is sent, the port is closed again.
    platform::testing::RefuseLineSettings(true);
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    Settle(main);
    EXPECT_TRUE(OnlyTheMainDialog(main));
    EXPECT_EQ(Status(main), kIdle);
    EXPECT_TRUE(VersionUpEnabled(main));
    EXPECT_EQ(portOpen.load(), 0);
    EXPECT_EQ(receiveRunning.load(), 0);
    EXPECT_EQ(adapter.Received(), "");

    // Refused when applied again after the identification: the receive thread runs on.
    platform::testing::RefuseLineSettings(false);
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    ASSERT_TRUE(adapter.WaitForReceived("AATI4\r", 30000));
    platform::testing::RefuseLineSettings(true);
    Settle(main);
    EXPECT_TRUE(OnlyTheMainDialog(main));
    EXPECT_EQ(Status(main), kConfirmed);
    EXPECT_TRUE(VersionUpEnabled(main));
    EXPECT_EQ(portOpen.load(), 0);
    EXPECT_EQ(receiveRunning.load(), 1);

    // The next press opens the port again, and the running receive thread takes it up.
    platform::testing::RefuseLineSettings(false);
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    AbandonWhenTheUploadStarts(main, adapter);
    recorder.Stop();
    EXPECT_EQ(adapter.Commands(), (Strings{"AATE", "AATI4", "AATE", "AATI4", "AAT*VER1"}));
    EXPECT_EQ(recorder.Texts("progress").size(), 1u) << "the progress dialog came only the third time";
    ASSERT_TRUE(headless::Press(main, IDC_CANCEL_BUTTON));
  });
  EXPECT_EQ(code, 0);
}

TEST(MainProgram, AnAdapterUnpluggedDuringTheUploadLeavesTheProgramResponsive) {
  PortDirectory ports;
  sim::Options options;
  options.loader.hangUpAfterRecords = 100;
  sim::AdapterSim& adapter = ports.Add(1, options);
  const int code = RunProgram([&](HWND main) {
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    HWND progress = headless::WaitForDialog(IDD_PROGRESS, 60000);
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(Eventually([&] { return adapter.Loader().records >= 100; }, 60000));
    std::this_thread::sleep_for(milliseconds(1000));  // the program meets the dead line
    EXPECT_NE(uploadState.load(), UPLOAD_DONE);
    AbandonUpload(progress);
    Settle(main);
    EXPECT_EQ(Status(main), kRunning);
    ASSERT_TRUE(headless::Press(main, IDC_CANCEL_BUTTON));
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(receiveRunning.load(), 0);
}

// Ports from COM10 on are opened under their device form, but listed as the others are.
TEST(MainProgram, PortsFromTenOnAreListedShortAndUsed) {
  PortDirectory ports;
  sim::Options options;
  options.model = "MOLVEX TR30KX";  // ends the check early, with the error box
  sim::AdapterSim& twelve = ports.Add(12, options);
  sim::AdapterSim& three = ports.Add(3, options);
  const int code = RunProgram([&](HWND main) {
    EXPECT_EQ(headless::ReadControl(main, IDC_PORT_LIST)->items, (Strings{"COM3", "COM12"}));
    ASSERT_TRUE(headless::SelectComboEntry(main, IDC_PORT_LIST, 1));
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    HWND box = headless::WaitForMessageBox(nullptr, 60000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(headless::Read(box)->caption, kWrongAdapterCaption);
    EXPECT_EQ(twelve.Commands(), (Strings{"AATE", "AATI4", "AATI1"}));
    EXPECT_EQ(three.Received(), "");
    EXPECT_EQ(std::string(portName), "\\\\.\\COM12");
    ASSERT_TRUE(headless::AnswerMessageBox(box, IDOK));
    ASSERT_TRUE(headless::WaitUntil([&] { return Status(main) == kAbandoned; }));
    ASSERT_TRUE(headless::Press(main, IDC_CANCEL_BUTTON));
  });
  EXPECT_EQ(code, 0);
}

// The adapter check's message box has no owner, so the main dialog stays usable meanwhile:
// a press of Cancel there ends the program once the box is answered.
TEST(MainProgram, CancelWhileTheAdapterCheckBoxIsUp) {
  PortDirectory ports;
  sim::Options options;
  options.model = "MOLVEX TR30KX";
  ports.Add(1, options);
  const int code = RunProgram([&](HWND main) {
    ASSERT_TRUE(headless::Press(main, IDC_VERSION_UP));
    HWND box = headless::WaitForMessageBox(nullptr, 60000);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(headless::Press(main, IDC_CANCEL_BUTTON));
    EXPECT_TRUE(Eventually([] { return receiveRunning.load() == 0; })) << "Cancel stops the receive thread at once";
    ASSERT_TRUE(headless::AnswerMessageBox(box, IDOK));
    EXPECT_TRUE(headless::WaitUntilGone(main));
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(portOpen.load(), 0);
}

// The ways out of the main dialog, and the dialog's result for each.
struct WayOut {
  const char* name;
  std::function<bool(HWND)> act;
  INT_PTR result;
};

void PrintTo(const WayOut& w, std::ostream* out) { *out << w.name; }

class Leaving : public testing::TestWithParam<WayOut> {};

TEST_P(Leaving, EndsTheDialog) {
  ASSERT_TRUE(headless::Use());
  appInstance = GetModuleHandleA(nullptr);
  std::thread player([this] {
    HWND main = headless::WaitForDialog(IDD_MAIN);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(GetParam().act(main));
    if (!headless::WaitUntilGone(main)) CloseEverything();
  });
  EXPECT_EQ(RunMainDialog(appInstance), GetParam().result);
  player.join();
  EXPECT_EQ(receiveRunning.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, Leaving,
    testing::Values(WayOut{"CancelButton", [](HWND m) { return headless::Press(m, IDC_CANCEL_BUTTON); }, 1004},
                    WayOut{"Mnemonic", [](HWND m) { return headless::PressMnemonic(m, 'C'); }, 1004},
                    WayOut{"EscapeKey", [](HWND m) { return headless::PressEscape(m); }, IDCANCEL},
                    WayOut{"CloseBox", [](HWND m) { return headless::PressClose(m); }, IDCANCEL}),
    [](const testing::TestParamInfo<WayOut>& info) { return std::string(info.param.name); });

}  // namespace
