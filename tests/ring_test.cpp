// The receive ring: order, wrap-around, overrun and reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

#include "serial/receive.h"

namespace {

// Byte number i of a test stream; never 0, so an empty RingGet is told apart.
char StreamByte(int i) { return static_cast<char>(i % 251 + 1); }

std::string Stream(int from, int count) {
  std::string s;
  for (int i = from; i < from + count; ++i) s.push_back(StreamByte(i));
  return s;
}

// Appends bytes from..from+count of the stream, in RingPut's chunks of at most 100.
void Put(int from, int count) {
  const std::string s = Stream(from, count);
  for (int done = 0; done < count; done += READ_CHUNK) RingPut(s.data() + done, std::min(READ_CHUNK, count - done));
}

std::string TakeAll() {
  std::string taken;
  char byte;
  while (RingGet(&byte)) taken.push_back(byte);
  EXPECT_EQ(byte, 0) << "an empty RingGet must set its output to 0";
  return taken;
}

struct RingCase {
  const char* name;
  int takenBefore;  // bytes appended and taken first, to move the indices on
  int appended;
  std::string expected;
};

void PrintTo(const RingCase& c, std::ostream* os) { *os << c.name; }

class RingCases : public testing::TestWithParam<RingCase> {};

TEST_P(RingCases, UnreadBytesComeOutInOrder) {
  const RingCase& c = GetParam();
  for (int done = 0; done < c.takenBefore; done += READ_CHUNK) {
    const int count = std::min(READ_CHUNK, c.takenBefore - done);
    Put(done, count);
    ASSERT_EQ(TakeAll(), Stream(done, count));
  }
  Put(c.takenBefore, c.appended);
  EXPECT_EQ(TakeAll(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ring, RingCases,
    testing::Values(RingCase{"Empty", 0, 0, ""}, RingCase{"Full1023", 0, 1023, Stream(0, 1023)},
                    // 1024 unread bytes are indistinguishable from none.
                    RingCase{"Overrun1024ReadsEmpty", 0, 1024, ""},
                    // One more leaves exactly the newest byte unread.
                    RingCase{"Overrun1025LeavesLast", 0, 1025, Stream(1024, 1)},
                    RingCase{"AcrossIndex1023", 1000, 50, Stream(1000, 50)},
                    RingCase{"AfterManyLaps", 3000, 700, Stream(3000, 700)}),
    [](const testing::TestParamInfo<RingCase>& info) { return info.param.name; });

TEST(Ring, ResetEmptiesAndStoresFromIndexZero) {
  Put(0, 300);
  char byte;
  ASSERT_EQ(RingGet(&byte), 1);
  RingReset();
  EXPECT_EQ(RingGet(&byte), 0);
  EXPECT_EQ(byte, 0);

  RingPut("abc", 3);
  EXPECT_EQ(ringWrite.load(), 3u);
  EXPECT_EQ(receiveRing[0].load(), 'a');
  EXPECT_EQ(TakeAll(), "abc");
}

}  // namespace
