// A whole version-up upload through the progress dialog against the simulated
// adapter's flash loader, with the six embedded images.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>
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

  // Every byte-count text, in order (the hook runs on the user-interface thread).
  std::vector<std::string> byteCounts;
  headless::OnTextSet([&](HWND, const std::string& text) {
    if (text.rfind(" data   ", 0) == 0) byteCounts.push_back(text);
  });

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

  // The bars move at most once a line and the text follows the image bar: the first
  // step comes on line 41 (41 records of 45 bytes), each image but the one-line fifth
  // ends on a step of its own, and the set takes 501 updates in all.
  headless::OnTextSet({});
  ASSERT_FALSE(byteCounts.empty());
  EXPECT_EQ(byteCounts.size(), 501u);
  EXPECT_EQ(byteCounts.front(), Cp932(" data   1845 / 709191 bytes        0 ％ 終了"));
  EXPECT_EQ(byteCounts.back(), finish.bytes);
  for (const char* total : {"184398", "368796", "553168", "659551", "659564", "709191"}) {
    const std::string prefix = std::string(" data   ") + total + " / 709191 bytes ";
    EXPECT_EQ(std::count_if(byteCounts.begin(), byteCounts.end(),
                            [&](const std::string& t) { return t.rfind(prefix, 0) == 0; }),
              1)
        << "the last line of the image ending at " << total;
  }
  StopReceiveThread();
}

}  // namespace
