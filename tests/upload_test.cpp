// The upload engine: the loader dialogue, prompt waits, line shapes, missing
// images, stops, and a whole upload through the progress dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <thread>

#include "cp932.h"
#include "firmware/images.h"
#include "platform/headless.h"
#include "platform/window.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "ui/progress_dialog.h"
#include "ui/templates.h"
#include "upload/upload.h"
#include "upload_fixture.h"

namespace {

// An engine on its own link, writing to a simulated adapter that only records
// (its loader is off), while the test plays the loader's side through the ring.
class UploadEngine : public testing::Test {
 protected:
  void SetUp() override {
    sim::Options options;
    options.silent = true;
    adapter_ = &ports_.Add(1, options);
    std::snprintf(portName, sizeof portName, "COM1");
    ASSERT_EQ(OpenPort(), 1);
    ASSERT_EQ(ApplyLineSettings(), 1);
  }
  void TearDown() override {
    EXPECT_TRUE(StopUpload(link_));
    ClosePort();
  }

  // Answers every prompt once it is awaited, for `images` images; returns the final state.
  int PlayLoader(int images) {
    Feed("Y or N");
    int last = -1;
    int asked = 0;
    Eventually([&] {
      const int state = uploadState.load();
      if (state != last) {
        last = state;
        if (state == UPLOAD_WAIT_YS && asked < images) Feed("Y or S ?");
        if (state == UPLOAD_WAIT_PLEASE_UPLOAD) {
          Feed("--> Please UPLOAD");
          ++asked;
        }
      }
      return state == UPLOAD_DONE || state == UPLOAD_NO_IMAGE;
    });
    return uploadState.load();
  }

  PortDirectory ports_;
  sim::AdapterSim* adapter_ = nullptr;
  UploadLink link_{};
};

TEST_F(UploadEngine, LineShapesAreSentAsTheirTextAndCarriageReturn) {
  TestImages images({
      "\n\r\n:00000001FF\r\n",                  // a lone LF is not written; CR LF writes the CR
      "",                                       // an empty image is finished at once
      ":00000001FF",                            // no final LF: the NUL ends the line and is sent
      ":0100000041BE\r\n:00000001FF\r\n",
      ":00000001FF\r\n",
      ":00000001FF\r\n",
  });
  StartUpload(link_, nullptr);
  EXPECT_EQ(PlayLoader(6), UPLOAD_DONE);
  const std::string expected = std::string("AAT*VER1\rY") + "Y\r:00000001FF\r" + "Y" +
                               "Y" + std::string(":00000001FF\0", 12) + "Y:0100000041BE\r:00000001FF\r" +
                               "Y:00000001FF\r" + "Y:00000001FF\r";
  EXPECT_TRUE(adapter_->WaitForReceived(expected, 5000)) << adapter_->Received();
  EXPECT_EQ(adapter_->Received(), expected);
}

TEST_F(UploadEngine, MissingImageEndsTheThreadAfterItsUploadPrompt) {
  TestImages images({":00000001FF\r\n", ":00000001FF\r\n", nullptr, ":00000001FF\r\n"});
  StartUpload(link_, nullptr);
  EXPECT_EQ(PlayLoader(6), UPLOAD_NO_IMAGE);
  EXPECT_TRUE(Eventually([] { return uploadThreadRunning.load() == 0; }))
      << "the thread ends without waiting for a stop request";
  EXPECT_EQ(link_.stop.load(), 0);
  EXPECT_TRUE(adapter_->WaitForReceived("AAT*VER1\rYY:00000001FF\rY:00000001FF\rY", 5000));
  EXPECT_EQ(adapter_->Received(), "AAT*VER1\rYY:00000001FF\rY:00000001FF\rY");
}

struct PromptCase {
  const char* name;
  std::vector<std::string> pieces;  // fed into the ring one after another
  int reached;                      // the state the engine must get to
};

void PrintTo(const PromptCase& c, std::ostream* os) { *os << c.name; }

class PromptWaits : public UploadEngine, public testing::WithParamInterface<PromptCase> {};

std::vector<std::string> OneByteAtATime(const std::string& text) {
  std::vector<std::string> bytes;
  for (char c : text) bytes.emplace_back(1, c);
  return bytes;
}

// Each case feeds its bytes and checks how far the dialogue gets on them alone.
TEST_P(PromptWaits, RecogniseThePromptsInTheirText) {
  TestImages images({":00000001FF\r\n"});
  StartUpload(link_, nullptr);
  for (const std::string& piece : GetParam().pieces) {
    Feed(piece);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // A state passed through lasts one 1000 ms pause at the most; the state the
  // dialogue settles in is the one that holds for longer.
  const int wanted = GetParam().reached;
  auto since = std::chrono::steady_clock::now();
  int last = -1;
  const bool settled = Eventually(
      [&] {
        const int state = uploadState.load();
        if (state != last) {
          last = state;
          since = std::chrono::steady_clock::now();
        }
        return state == wanted && std::chrono::steady_clock::now() - since > std::chrono::milliseconds(1500);
      },
      15000);
  EXPECT_TRUE(settled) << "the dialogue settled in state " << uploadState.load();
}

const std::string kAll = std::string("Y or N") + "Y or S ?" + "--> Please UPLOAD";
const std::string kBanner(250, '#');

INSTANTIATE_TEST_SUITE_P(
    Upload, PromptWaits,
    testing::Values(
        // Bytes that follow a recognised prompt begin the next wait's text.
        PromptCase{"AllAtOnce", {kAll}, UPLOAD_WAIT_YS},
        PromptCase{"InPieces", OneByteAtATime(kAll), UPLOAD_WAIT_YS},
        PromptCase{"AfterLongBanners",
                   {kBanner + "\r\nErase (Y or N) " + kBanner + "Next (Y or S ?) " + kBanner + "--> Please UPLOAD\r\n"},
                   UPLOAD_WAIT_YS},
        PromptCase{"NulDroppedWhileWaitingForYesNo", {std::string("Y or\0 N", 7) + "Y or S ?--> Please UPLOAD"},
                   UPLOAD_WAIT_YS},
        // In the later waits a NUL stays in the text and hides what follows it ...
        PromptCase{"NulHidesYesSkip", {std::string("Y or N\0Y or S ?", 15)}, UPLOAD_WAIT_YS},
        PromptCase{"NulHidesPleaseUpload", {std::string("Y or NY or S ?\0--> Please UPLOAD", 32)},
                   UPLOAD_WAIT_PLEASE_UPLOAD},
        // ... until it has slid out of the 99 bytes kept.
        PromptCase{"NulSlidesOutOfTheWindow", {std::string("Y or N\0", 7) + std::string(120, '.') + "Y or S ?"},
                   UPLOAD_WAIT_PLEASE_UPLOAD}),
    [](const testing::TestParamInfo<PromptCase>& info) { return info.param.name; });

TEST_F(UploadEngine, StopDuringAPauseTakesEffectAfterThePass) {
  TestImages images({":00000001FF\r\n"});
  StartUpload(link_, nullptr);
  Feed("Y or N");
  ASSERT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_WAIT_YS; }));
  const auto stopped = std::chrono::steady_clock::now();
  link_.stop.store(1);
  ASSERT_TRUE(Eventually([] { return uploadThreadRunning.load() == 0; }));
  EXPECT_GE(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(500))
      << "the thread left during its 1000 ms pause";
  EXPECT_TRUE(adapter_->WaitForReceived("AAT*VER1\rY", 2000));
  EXPECT_EQ(adapter_->Received(), "AAT*VER1\rY");
}

}  // namespace

namespace {

// The engine against the simulated loader at its most awkward but still valid:
// banners, prompts in pieces behind NULs, and XOFF held while each record is
// programmed. Every record must arrive once, intact, in order.
TEST(UploadWithLoader, RecordsSurviveAnAwkwardLoader) {
  TestImages images({":0100000041BE\r\n:00000001FF\r\n", ":00000001FF\r\n", ":0100000041BE\r\n:00000001FF\r\n",
                     ":00000001FF\r\n", ":00000001FF\r\n", ":0100000041BE\r\n:00000001FF\r\n"});
  PortDirectory ports;
  sim::Options options;
  options.loader.banner = std::string(120, '=') + "\r\n";
  options.loader.promptPieces = 5;
  options.loader.pieceGapMs = 10;
  options.loader.nulBeforePrompt = true;
  options.loader.programMsPerLine = 50;
  sim::AdapterSim& adapter = ports.Add(1, options);
  std::snprintf(portName, sizeof portName, "COM1");
  ASSERT_EQ(OpenPort(), 1);
  ASSERT_EQ(ApplyLineSettings(), 1);
  ASSERT_EQ(StartReceiveThread(), 1);

  UploadLink link{};
  StartUpload(link, nullptr);
  EXPECT_TRUE(Eventually([] { return uploadState.load() == UPLOAD_DONE; }, 60000)) << "state " << uploadState.load();
  EXPECT_TRUE(adapter.WaitForImages(6, 10000));
  const sim::LoaderReport loader = adapter.Loader();
  EXPECT_EQ(loader.images,
            (std::vector<std::string>{":0100000041BE\r:00000001FF\r", ":00000001FF\r", ":0100000041BE\r:00000001FF\r",
                                      ":00000001FF\r", ":00000001FF\r", ":0100000041BE\r:00000001FF\r"}));
  EXPECT_EQ(loader.badRecords, 0);
  EXPECT_TRUE(StopUpload(link));
  StopReceiveThread();
}

}  // namespace
