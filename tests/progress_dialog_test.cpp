// The progress dialog's ways of ending, with their results and uploadState
// afterwards. No adapter answers here: the upload thread sends its first
// command into the void and waits for "Y or N"; a test that needs a finished
// upload sets uploadState to UPLOAD_DONE, as the engine would.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "cp932.h"
#include "platform/serial_port.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "serial_test_util.h"
#include "platform/headless.h"
#include "platform/window.h"
#include "ui/progress_dialog.h"
#include "ui/templates.h"
#include "upload_fixture.h"

namespace {

namespace headless = platform::headless;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

const std::string kQuestion = Cp932("中断しますか？");
const std::string kQuestionCaption = Cp932("バージョンアップの中断");
const std::string kAborted =
    Cp932("キャンセルを押して本バージョンアップアプリケーションを終了した後\r\nアダプタを一度ポートから外して最初からやり直してください");
const std::string kAbortedCaption = Cp932("中断しました");

// Waits for a message box newer than `after` and checks its words; returns it (null if none).
HWND ExpectBox(const std::string& caption, const std::string& text, UINT type, HWND after = nullptr) {
  HWND box = headless::WaitForMessageBox(after);
  EXPECT_NE(box, nullptr) << "no message box " << caption;
  if (box == nullptr) return nullptr;
  auto window = headless::Read(box);
  EXPECT_TRUE(window.has_value());
  if (window) {
    EXPECT_EQ(window->caption, caption);
    EXPECT_EQ(window->message, text);
    EXPECT_EQ(window->boxType, type);
  }
  return box;
}

HWND ExpectQuestion() { return ExpectBox(kQuestionCaption, kQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2); }

// Runs the progress dialog on this (the user-interface) thread while `drive`
// plays the user on another; returns the dialog's result. `beforeShown` deals
// with what comes up while the dialog starts (the timer failure's message).
INT_PTR RunWith(const std::function<void(HWND dialog)>& drive, const std::function<void()>& beforeShown = {}) {
  EXPECT_TRUE(headless::Use());
  std::thread user([&] {
    if (beforeShown) beforeShown();
    HWND dialog = headless::WaitForDialog(IDD_PROGRESS);
    EXPECT_NE(dialog, nullptr);
    if (dialog != nullptr) drive(dialog);
  });
  const INT_PTR result = RunProgressDialog(nullptr);
  user.join();
  return result;
}

class ProgressDialog : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(Eventually([] { return uploadThreadRunning.load() == 0; }, 10000)) << "the upload thread runs on";
  }
};

TEST_F(ProgressDialog, ClosesItselfAfterTheHold) {
  steady_clock::time_point done;
  const INT_PTR result = RunWith([&](HWND) {
    ASSERT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_WAIT_YN; }));
    done = steady_clock::now();
    uploadState.store(UPLOAD_DONE);
  });
  EXPECT_EQ(result, 32767);
  EXPECT_EQ(uploadState.load(), UPLOAD_CLOSING);
  EXPECT_GE(steady_clock::now() - done, milliseconds(3000 + 1000)) << "the hold and the pause";
  EXPECT_EQ(uploadLink.stop.load(), 1);
}

TEST_F(ProgressDialog, EscapeAnsweredNoGoesOn) {
  const INT_PTR result = RunWith([](HWND dialog) {
    ASSERT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_WAIT_YN; }));
    ASSERT_TRUE(headless::PressEscape(dialog));
    HWND box = ExpectQuestion();
    ASSERT_TRUE(headless::AnswerMessageBox(box, IDNO));
    ASSERT_TRUE(headless::WaitUntilGone(box));
    std::this_thread::sleep_for(milliseconds(700));  // a few ticks
    EXPECT_TRUE(headless::Read(dialog).has_value()) << "the dialog stays";
    EXPECT_EQ(uploadState.load(), UPLOAD_WAIT_YN);
    EXPECT_EQ(uploadLink.stop.load(), 0);
    uploadState.store(UPLOAD_DONE);
  });
  EXPECT_EQ(result, 32767);
}

TEST_F(ProgressDialog, EscapeAnsweredYesAbortsAndTellsHowToStartAgain) {
  const INT_PTR result = RunWith([](HWND dialog) {
    ASSERT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_WAIT_YN; }));
    ASSERT_TRUE(headless::PressEscape(dialog));
    HWND question = ExpectQuestion();
    const auto answered = steady_clock::now();
    ASSERT_TRUE(headless::AnswerMessageBox(question, IDYES));
    HWND told = ExpectBox(kAbortedCaption, kAborted, MB_OK, question);
    EXPECT_GE(steady_clock::now() - answered, milliseconds(1000)) << "the pause comes first";
    EXPECT_EQ(headless::Read(told)->owner, nullptr);
    ASSERT_TRUE(headless::AnswerMessageBox(told, IDOK));
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(uploadState.load(), UPLOAD_WAIT_YN) << "the upload thread's last state stays";
  EXPECT_EQ(uploadLink.stop.load(), 1);
}

TEST_F(ProgressDialog, CloseBoxAnsweredYesEndsWithoutASecondMessage) {
  const INT_PTR result = RunWith([](HWND dialog) {
    ASSERT_TRUE(headless::PressClose(dialog));
    ASSERT_TRUE(headless::AnswerMessageBox(ExpectQuestion(), IDYES));
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(uploadLink.stop.load(), 1);
  EXPECT_TRUE(headless::ReadAll().empty()) << "no second message box";
}

// Without a timer nothing turns UPLOAD_DONE into UPLOAD_CLOSING, so these see
// UPLOAD_DONE for as long as they like.
class ProgressDialogWithoutTimer : public ProgressDialog {
 protected:
  void SetUp() override { headless::FailNextSetTimers(1); }
  // The failure is told while the dialog starts, in a box that the dialog owns.
  static void DismissTimerFailure() {
    HWND box = ExpectBox(Cp932("失敗"), Cp932("タイマー失敗"), MB_OK);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(headless::Read(box)->owner, nullptr);
    EXPECT_EQ(headless::Read(box)->owner, uploadLink.dialog.load());
    ASSERT_TRUE(headless::AnswerMessageBox(box, IDOK));
    ASSERT_TRUE(headless::WaitUntilGone(box));
  }
};

TEST_F(ProgressDialogWithoutTimer, StaysUntilTheUserEndsIt) {
  const INT_PTR result = RunWith(
      [](HWND dialog) {
        uploadState.store(UPLOAD_DONE);
        std::this_thread::sleep_for(milliseconds(1000));
        EXPECT_TRUE(headless::Read(dialog).has_value());
        EXPECT_EQ(uploadState.load(), UPLOAD_DONE);
        // Escape on a finished upload asks nothing.
        ASSERT_TRUE(headless::PressEscape(dialog));
      },
      DismissTimerFailure);
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(uploadState.load(), UPLOAD_CLOSING);
}

TEST_F(ProgressDialogWithoutTimer, CloseBoxOnAFinishedUploadStillAsks) {
  const INT_PTR result = RunWith(
      [](HWND dialog) {
        uploadState.store(UPLOAD_DONE);
        ASSERT_TRUE(headless::PressClose(dialog));
        ASSERT_TRUE(headless::AnswerMessageBox(ExpectQuestion(), IDYES));
      },
      DismissTimerFailure);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(uploadState.load(), UPLOAD_DONE) << "a close leaves the state as it was";
}

TEST_F(ProgressDialog, EscapeDuringTheHoldKeepsTheFinishedState) {
  const INT_PTR result = RunWith([](HWND dialog) {
    ASSERT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_WAIT_YN; }));
    uploadState.store(UPLOAD_DONE);
    ASSERT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_CLOSING; }));
    ASSERT_TRUE(headless::PressEscape(dialog));
    HWND question = ExpectQuestion();
    ASSERT_TRUE(headless::AnswerMessageBox(question, IDYES));
    ASSERT_TRUE(headless::AnswerMessageBox(ExpectBox(kAbortedCaption, kAborted, MB_OK, question), IDOK));
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(uploadState.load(), UPLOAD_CLOSING) << "the version-up goes on as after a finished upload";
}

TEST_F(ProgressDialog, EveryOpeningStartsAFreshUpload) {
  for (int round = 0; round < 2; ++round) {
    const INT_PTR result = RunWith([](HWND dialog) {
      EXPECT_EQ(uploadLink.dialog.load(), dialog);
      EXPECT_EQ(uploadLink.stop.load(), 0);
      ASSERT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_WAIT_YN; }));
      const auto bars = {headless::ReadControl(dialog, IDC_IMAGE_PROGRESS), headless::ReadControl(dialog, IDC_TOTAL_PROGRESS)};
      for (const auto& bar : bars) {
        ASSERT_TRUE(bar.has_value());
        EXPECT_EQ(bar->barMin, 0);
        EXPECT_EQ(bar->barMax, 100);
        EXPECT_EQ(bar->barStep, 1);
        EXPECT_EQ(bar->barPos, 0);
      }
      ASSERT_TRUE(headless::PressClose(dialog));
      ASSERT_TRUE(headless::AnswerMessageBox(ExpectQuestion(), IDYES));
    });
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(Eventually([] { return uploadThreadRunning.load() == 0; }, 10000));
  }
}

// An abandoned upload whose thread is stuck in a write that the adapter holds
// with XOFF: a new upload must not start beside it. The new dialog opens only
// once the old thread has ended, and then one thread alone holds the dialogue.
TEST_F(ProgressDialog, NewUploadWaitsForTheAbandonedThread) {
  PortDirectory ports;
  sim::Options options;
  options.silent = true;  // only records what it receives
  sim::AdapterSim& adapter = ports.Add(1, options);
  std::snprintf(portName, sizeof portName, "COM1");
  ASSERT_EQ(OpenPort(), 1);
  ASSERT_EQ(ApplyLineSettings(), 1);
  ASSERT_TRUE(HoldWithXoff(adapter));

  const INT_PTR first = RunWith([](HWND dialog) {
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(uploadState.load(), UPLOAD_START) << "the first command is held by XOFF";
    ASSERT_TRUE(headless::PressEscape(dialog));
    HWND question = ExpectQuestion();
    ASSERT_TRUE(headless::AnswerMessageBox(question, IDYES));
    ASSERT_TRUE(headless::AnswerMessageBox(ExpectBox(kAbortedCaption, kAborted, MB_OK, question), IDOK));
  });
  ASSERT_EQ(first, IDCANCEL);
  ASSERT_EQ(uploadThreadRunning.load(), 1) << "the abandoned thread is still inside its write";

  std::thread user([&] {
    EXPECT_EQ(headless::WaitForDialog(IDD_PROGRESS, 1000), nullptr) << "opened beside the abandoned thread";
    adapter.Send(std::string(1, sim::XON));
    HWND dialog = headless::WaitForDialog(IDD_PROGRESS);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(adapter.WaitForReceived("AAT*VER1\rAAT*VER1\r", 5000));
    ASSERT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_WAIT_YN; }));
    Feed("Y or N");
    ASSERT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_WAIT_YS; }));
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_EQ(adapter.Received(), "AAT*VER1\rAAT*VER1\rY") << "one thread alone answers";
    ASSERT_TRUE(headless::PressClose(dialog));
    ASSERT_TRUE(headless::AnswerMessageBox(ExpectQuestion(), IDYES));
  });
  EXPECT_EQ(RunProgressDialog(nullptr), 0);
  user.join();
  EXPECT_TRUE(Eventually([] { return uploadThreadRunning.load() == 0; }, 10000));
  ClosePort();
}

}  // namespace
