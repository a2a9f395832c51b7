// Running the upload engine in tests: a link of its own, images of the test's
// own choosing, and a port to a simulated adapter that records what is written.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/resource.h"
#include "platform/thread.h"
#include "serial/port.h"
#include "serial/receive.h"
#include "sim_fixture.h"
#include "upload/upload.h"

// A module registry holding up to six images of the test's own (null: the image is missing).
class TestImages {
 public:
  explicit TestImages(std::vector<const char*> texts) : texts_(std::move(texts)) {
    static const char* const kNames[] = {"UDATA9", "UDATAA", "UDATAB", "UDATAC", "UDATAD", "UDATAE"};
    for (std::size_t i = 0; i < 6; ++i) {
      strings_.push_back(StringEntry{static_cast<UINT>(i + 1), 1041, kNames[i]});
      if (i < texts_.size() && texts_[i] != nullptr)
        entries_.push_back(ResourceEntry{"TEXT", kNames[i], 1041, texts_[i],
                                         static_cast<DWORD>(std::char_traits<char>::length(texts_[i]))});
    }
    registry_ = ResourceRegistry{entries_.data(), entries_.size(), strings_.data(), strings_.size()};
    previous_ = platform::testing::ReplaceModuleResources(&registry_);
  }
  ~TestImages() { platform::testing::ReplaceModuleResources(previous_); }

 private:
  std::vector<const char*> texts_;
  std::vector<ResourceEntry> entries_;
  std::vector<StringEntry> strings_;
  ResourceRegistry registry_{};
  const ResourceRegistry* previous_ = nullptr;
};

// Polls `condition` every millisecond until it holds or `timeoutMs` passes.
template <class Condition>
bool Eventually(Condition condition, int timeoutMs = 30000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Feeds the receive ring as the receive thread would (the test is its only writer).
inline void Feed(const std::string& bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += READ_CHUNK)
    RingPut(bytes.data() + at, static_cast<int>(std::min<std::size_t>(READ_CHUNK, bytes.size() - at)));
}

// Starts an upload thread on `link` the way the progress dialog does.
inline void StartUpload(UploadLink& link, HWND dialog) {
  link.dialog.store(dialog);
  link.stop.store(0);
  uploadState.store(UPLOAD_START);
  uploadThreadRunning.store(1);
  ASSERT_NE(_beginthread(UploadThreadProc, 0, &link), UINTPTR_MAX);
}

// Asks the upload thread to stop and waits until it has ended.
inline bool StopUpload(UploadLink& link, int timeoutMs = 10000) {
  link.stop.store(1);
  return Eventually([] { return uploadThreadRunning.load() == 0; }, timeoutMs);
}
