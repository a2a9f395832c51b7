// A whole version-up upload through the progress dialog against the simulated
// adapter's flash loader, with the six embedded images.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "cp932.h"
#include "firmware/images.h"
#include "platform/headless.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "ui/progress_dialog.h"
#include "ui/templates.h"
#include "upload_fixture.h"

namespace {

namespace headless = platform::headless;

std::string WithoutLineFeeds(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  return text;
}

struct Finish {
  std::string status, bytes;
  int imageBar = -1, totalBar = -1;
};

TEST(UploadEndToEnd, SixImagesThroughTheProgressDialog) {
  ASSERT_TRUE(headless::Use());
  PortDirectory ports;
  sim::Options options;
  options.loader.eraseMs = 200;
  options.loader.banner = "\r\nTR20KX loader\r\n";
  sim::AdapterSim& adapter = ports.Add(1, options);
  std::snprintf(portName, sizeof portName, "COM1");
  ASSERT_EQ(OpenPort(), 1);
  ASSERT_EQ(ApplyLineSettings(), 1);
  ASSERT_EQ(StartReceiveThread(), 1);

  // While the finished display is up, read what it shows.
  Finish finish;
  std::thread watcher([&] {
    if (!Eventually([] { return uploadState.load() == UPLOAD_DONE || uploadState.load() == UPLOAD_CLOSING; }, 120000))
      return;
    HWND dialog = uploadLink.dialog.load();
    if (auto c = headless::ReadControl(dialog, IDC_STATUS_TEXT)) finish.status = c->text;
    if (auto c = headless::ReadControl(dialog, IDC_BYTES_TEXT)) finish.bytes = c->text;
    if (auto c = headless::ReadControl(dialog, IDC_IMAGE_PROGRESS)) finish.imageBar = c->barPos;
    if (auto c = headless::ReadControl(dialog, IDC_TOTAL_PROGRESS)) finish.totalBar = c->barPos;
  });
  const INT_PTR result = RunProgressDialog(nullptr);
  watcher.join();

  EXPECT_EQ(result, 32767);
  EXPECT_EQ(uploadState.load(), UPLOAD_CLOSING);
  EXPECT_TRUE(Eventually([] { return uploadThreadRunning.load() == 0; }, 5000));

  LoadImageTable();
  std::string wire = "AAT*VER1\rY";
  const sim::LoaderReport loader = adapter.Loader();
  EXPECT_TRUE(loader.erased);
  ASSERT_EQ(loader.images.size(), 6u);
  for (int i = 0; i < IMAGE_COUNT; ++i) {
    const std::string image = WithoutLineFeeds(imageTable[i]);
    EXPECT_EQ(loader.images[i], image) << "image " << i;
    wire += "Y" + image;
  }
  EXPECT_EQ(loader.badRecords, 0);
  EXPECT_EQ(loader.lineFeeds, 0u);
  EXPECT_EQ(adapter.Received(), wire) << "the exact conversation, every image byte once, in order";

  EXPECT_EQ(finish.status, Cp932("バージョンアップが完了しました       "));
  EXPECT_EQ(finish.bytes, Cp932(" data   709191 / 709191 bytes        100 ％ 終了"));
  EXPECT_EQ(finish.imageBar, 0);
  EXPECT_EQ(finish.totalBar, 100);
  StopReceiveThread();
}

}  // namespace
