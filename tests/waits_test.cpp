// Timed waits: line-feed counting, time-outs, buffer bounds and tick wrap-around.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "serial/receive.h"
#include "serial/transmit.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

void Fill(const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size(); done += READ_CHUNK)
    RingPut(bytes.data() + done, static_cast<int>(std::min<std::size_t>(READ_CHUNK, bytes.size() - done)));
}

std::string Rest() {
  std::string rest;
  char byte;
  while (RingGet(&byte)) rest.push_back(byte);
  return rest;
}

struct LinesCase {
  const char* name;
  std::string ring;      // what the ring holds when the wait begins
  DWORD lines;
  int result;
  std::string stored;    // the buffer's text afterwards
  std::string leftover;  // what the next reader still gets
};

void PrintTo(const LinesCase& c, std::ostream* os) { *os << c.name; }

class LineCounting : public testing::TestWithParam<LinesCase> {};

TEST_P(LineCounting, CompletesOnTwiceTheLinesOfLineFeeds) {
  const LinesCase& c = GetParam();
  Fill(c.ring);
  char buffer[96] = {};
  EXPECT_EQ(WaitForLines(buffer, sizeof buffer, 1, c.lines), c.result);
  EXPECT_STREQ(buffer, c.stored.c_str());
  EXPECT_EQ(Rest(), c.leftover);
}

INSTANTIATE_TEST_SUITE_P(
    Waits, LineCounting,
    testing::Values(
        LinesCase{"OneLineOnSecondFeed", "\r\nOK\r\nnext", 1, 1, "\r\nOK\r\n", "next"},
        LinesCase{"TwoLinesOnFourthFeed", "\r\nA\r\n\r\nOK\r\nZ", 2, 1, "\r\nA\r\n\r\nOK\r\n", "Z"},
        LinesCase{"CarriageReturnsAreNotCounted", "\r\r\r\nX\r\r\n", 1, 1, "\r\r\r\nX\r\r\n", ""},
        LinesCase{"TooFewFeedsTimeOut", "\r\nA\r\n\r\n", 2, 0, "\r\nA\r\n\r\n", ""},
        // With no lines asked for, the count never equals 0 again: only the time-out ends it.
        LinesCase{"ZeroLinesCollectsUntilTimeOut", "a\nb\n", 0, 0, "a\nb\n", ""}),
    [](const testing::TestParamInfo<LinesCase>& info) { return info.param.name; });

TEST(Waits, OverlongReplyStaysInsideTheBuffer) {
  // Guards around the buffer catch any byte written outside it.
  struct {
    char before[16];
    char buffer[96];
    char after[16];
  } guarded;
  std::memset(&guarded, 0x55, sizeof guarded);
  std::string reply(300, 'x');
  reply += "\r\n\r\n";
  Fill(reply);
  EXPECT_EQ(WaitForLines(guarded.buffer, sizeof guarded.buffer, 1, 1), 1);
  EXPECT_EQ(std::string(guarded.buffer), std::string(95, 'x'));
  for (char c : guarded.before) EXPECT_EQ(c, 0x55);
  for (char c : guarded.after) EXPECT_EQ(c, 0x55);
  EXPECT_EQ(Rest(), "") << "the bytes beyond the buffer are still taken";
}

TEST(Waits, ShorterReplyLeavesTheEarlierTailBehind) {
  char buffer[96] = {};
  Fill("\r\nMOLVEX TR20KX\r\n\r\nOK\r\n");
  ASSERT_EQ(WaitForLines(buffer, sizeof buffer, 1, 2), 1);
  Fill("\r\nE\r\n");
  ASSERT_EQ(WaitForLines(buffer, sizeof buffer, 1, 1), 1);
  EXPECT_STREQ(buffer, "\r\nE\r\nVEX TR20KX\r\n\r\nOK\r\n");
}

TEST(Waits, WaitForLinesTimesOutAfterItsSeconds) {
  char buffer[96] = {};
  const auto start = steady_clock::now();
  EXPECT_EQ(WaitForLines(buffer, sizeof buffer, 1, 1), 0);
  EXPECT_GE(steady_clock::now() - start, milliseconds(1000));
}

// Runs `wait` on a thread of its own and reports how long it took, or nothing
// when it has not returned within a generous bound (a hang).
template <class Wait>
std::optional<milliseconds> Timed(Wait wait) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  const auto start = steady_clock::now();
  std::thread([wait, done] {
    wait();
    done->store(true);
  }).detach();
  while (!done->load()) {
    if (steady_clock::now() - start > std::chrono::seconds(20)) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(1));
  }
  return std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
}

struct WrapCase {
  const char* name;
  DWORD ticksBeforeWrap;  // how far the tick count stands from wrapping to 0
};

void PrintTo(const WrapCase& c, std::ostream* os) { *os << c.name; }

class TickWrap : public testing::TestWithParam<WrapCase> {};

// When the count wraps during a wait, the wait neither hangs nor ends early.
TEST_P(TickWrap, WaitsLastTheirFullLength) {
  platform::testing::SetTickCountBias(0);
  platform::testing::SetTickCountBias(0u - GetTickCount() - GetParam().ticksBeforeWrap);

  auto pause = Timed([] { WaitTicks(3); });
  ASSERT_TRUE(pause.has_value()) << "WaitTicks hung across the wrap";
  EXPECT_GE(*pause, milliseconds(300));

  platform::testing::SetTickCountBias(0);
  platform::testing::SetTickCountBias(0u - GetTickCount() - GetParam().ticksBeforeWrap);
  auto wait = Timed([] {
    char buffer[96] = {};
    WaitForLines(buffer, sizeof buffer, 1, 1);
  });
  ASSERT_TRUE(wait.has_value()) << "WaitForLines hung across the wrap";
  EXPECT_GE(*wait, milliseconds(1000));
}

INSTANTIATE_TEST_SUITE_P(Waits, TickWrap,
                         testing::Values(WrapCase{"WrapsSoonAfterStart", 50}, WrapCase{"WrapsAtOnce", 1},
                                         WrapCase{"WrapsNearTheEnd", 900}),
                         [](const testing::TestParamInfo<WrapCase>& info) { return info.param.name; });

TEST(Waits, WaitTicksLastsMoreThanItsUnits) {
  for (DWORD n : {0u, 1u, 4u}) {
    const auto start = steady_clock::now();
    const DWORD ticks = GetTickCount();
    EXPECT_EQ(WaitTicks(n), 1);
    EXPECT_GT(GetTickCount() - ticks, 100 * n);
    EXPECT_GE(steady_clock::now() - start, milliseconds(100 * n));
  }
}

}  // namespace
