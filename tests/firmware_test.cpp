// The embedded firmware image set: the figures and text format of each image as
// it lies in the program's resources, the image operations, the resource
// operations beneath them, and a module that lacks an image or a name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "firmware/images.h"
#include "platform/module.h"
#include "platform/resource.h"
#include "ui/main_window.h"

namespace {

// What a parse of one image finds; `fault` names the first broken format rule.
struct Figures {
  int size = 0;
  int lines = 0;
  int dataRecords = 0;
  int fullRecords = 0;  // data records with 16 bytes
  int dataBytes = 0;
  int lowAddress = -1;   // of any data byte, -1 without data
  int highAddress = -1;
  int gaps = 0;
  int leadingFullRecords = 0;  // 16-byte records before the first other line
  std::string fault;
};

struct ImageRow {
  const char* name;
  int size, lines, dataRecords, fullRecords, dataBytes, lowAddress, highAddress, gaps;
  int minLeadingFullRecords;
};

// The image set in sending order. The first three images begin with 41 full
// records (1845 bytes), on which the upload's first progress step depends.
constexpr ImageRow IMAGES[IMAGE_COUNT] = {
    {"UDATA9", 184398, 4102, 4101, 4092, 65536, 0x0000, 0xFFFF, 0, 41},
    {"UDATAA", 184398, 4102, 4101, 4089, 65536, 0x0000, 0xFFFF, 0, 41},
    {"UDATAB", 184372, 4100, 4099, 4092, 65536, 0x0000, 0xFFFF, 0, 41},
    {"UDATAC", 106383, 2377, 2376, 2347, 37741, 0x0000, 0x939F, 13, 0},
    {"UDATAD", 13, 1, 0, 0, 0, -1, -1, 0, 0},
    {"UDATAE", 49627, 1105, 1104, 1100, 17631, 0x0000, 0xFFFF, 4, 0},
};
constexpr LONG SET_LENGTH = 709191;
constexpr int SET_LINES = 15787;

int UpperHexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Checks one record (without CR LF) and adds it to `f`; `nextAddress` is the
// address after the previous data record, -1 before the first.
std::string CheckRecord(const std::string& line, Figures& f, int& nextAddress) {
  if (line.size() < 11 || line.size() % 2 == 0 || line[0] != ':') return "not a record";
  std::vector<int> bytes;
  int sum = 0;
  for (std::size_t i = 1; i < line.size(); i += 2) {
    const int high = UpperHexDigit(line[i]), low = UpperHexDigit(line[i + 1]);
    if (high < 0 || low < 0) return "not upper-case hex";
    bytes.push_back(high * 16 + low);
    sum += bytes.back();
  }
  const int count = bytes[0], address = bytes[1] * 256 + bytes[2], type = bytes[3];
  if (static_cast<int>(bytes.size()) != count + 5) return "byte count does not fit the line";
  if ((sum & 0xFF) != 0) return "bad checksum";
  if (type == 0x01) return line == ":00000001FF" ? "" : "odd end-of-file record";
  if (type != 0x00) return "record type other than 00 and 01";
  if (count < 1 || count > 16) return "data record without 1 to 16 bytes";
  if (address + count - 1 > 0xFFFF) return "record runs past FFFF";
  if (nextAddress >= 0 && address < nextAddress) return "address does not rise or records overlap";
  if (nextAddress >= 0 && address != nextAddress) ++f.gaps;
  if (f.lowAddress < 0) f.lowAddress = address;
  f.highAddress = address + count - 1;
  nextAddress = address + count;
  ++f.dataRecords;
  f.dataBytes += count;
  if (count == 16) ++f.fullRecords;
  if (count == 16 && f.fullRecords == f.lines) f.leadingFullRecords = f.fullRecords;
  return "";
}

// Parses an image text of `size` bytes independently of the build's checker.
Figures Parse(const char* text, int size) {
  Figures f;
  f.size = size;
  int nextAddress = -1;
  bool ended = false;
  for (int pos = 0; pos < size && f.fault.empty();) {
    if (ended) {
      f.fault = "line after the end-of-file record";
      break;
    }
    int end = pos;
    while (end < size && text[end] >= 0x20 && text[end] <= 0x7E) ++end;
    ++f.lines;
    if (end + 1 >= size || text[end] != '\r' || text[end + 1] != '\n') {
      f.fault = "line " + std::to_string(f.lines) + " does not end in CR LF, or holds a non-printable byte";
      break;
    }
    const std::string line(text + pos, text + end);
    std::string fault = CheckRecord(line, f, nextAddress);
    if (!fault.empty()) f.fault = "line " + std::to_string(f.lines) + ": " + fault;
    ended = line == ":00000001FF";
    pos = end + 2;
  }
  if (f.fault.empty() && !ended) f.fault = "no end-of-file record at the end";
  return f;
}

// A copy of the module's registry without one image (by name) or one string
// entry (by id), installed for the test's duration.
class RegistryWithout {
 public:
  RegistryWithout(const char* hiddenImage, UINT hiddenString) {
    const ResourceRegistry* module = ModuleResources();
    for (std::size_t i = 0; i < module->resourceCount; ++i) {
      const ResourceEntry& entry = module->resources[i];
      if (hiddenImage == nullptr || std::strcmp(entry.name, hiddenImage) != 0) resources_.push_back(entry);
    }
    for (std::size_t i = 0; i < module->stringCount; ++i) {
      if (module->strings[i].id != hiddenString) strings_.push_back(module->strings[i]);
    }
    registry_ = {resources_.data(), resources_.size(), strings_.data(), strings_.size()};
    previous_ = platform::testing::ReplaceModuleResources(&registry_);
  }
  ~RegistryWithout() { platform::testing::ReplaceModuleResources(previous_); }

 private:
  std::vector<ResourceEntry> resources_;
  std::vector<StringEntry> strings_;
  ResourceRegistry registry_{};
  const ResourceRegistry* previous_ = nullptr;
};

TEST(FirmwareImages, EachEmbeddedImageKeepsTheFormatAndItsFigures) {
  LoadImageTable();
  int lines = 0;
  for (int i = 0; i < IMAGE_COUNT; ++i) {
    const ImageRow& row = IMAGES[i];
    SCOPED_TRACE(row.name);
    ASSERT_NE(imageTable[i], nullptr);
    const Figures f = Parse(imageTable[i], ImageLength(i));
    EXPECT_EQ(f.fault, "");
    EXPECT_EQ(f.size, row.size);
    EXPECT_EQ(f.lines, row.lines);
    EXPECT_EQ(f.dataRecords, row.dataRecords);
    EXPECT_EQ(f.fullRecords, row.fullRecords);
    EXPECT_EQ(f.dataBytes, row.dataBytes);
    EXPECT_EQ(f.lowAddress, row.lowAddress);
    EXPECT_EQ(f.highAddress, row.highAddress);
    EXPECT_EQ(f.gaps, row.gaps);
    EXPECT_GE(f.leadingFullRecords, row.minLeadingFullRecords);
    lines += f.lines;
  }
  EXPECT_EQ(ImageSetLength(), SET_LENGTH);
  EXPECT_EQ(lines, SET_LINES);
}

TEST(FirmwareImages, NamesComeFromStringEntriesOneToSix) {
  char name[50];
  for (UINT id = 0; id < 16; ++id) {
    SCOPED_TRACE(id);
    const bool named = id >= 1 && id <= 6;
    EXPECT_EQ(LoadStringA(appInstance, id, name, sizeof name), named ? 6 : 0);
    EXPECT_STREQ(name, named ? IMAGES[id - 1].name : "");
  }
}

TEST(FirmwareImages, TextsLieInPlaceFollowedByNul) {
  LoadImageTable();
  for (int i = 0; i < IMAGE_COUNT; ++i) {
    SCOPED_TRACE(IMAGES[i].name);
    HRSRC found = FindResourceA(nullptr, IMAGES[i].name, "TEXT");
    ASSERT_NE(found, nullptr);
    const DWORD size = SizeofResource(nullptr, found);
    EXPECT_EQ(static_cast<LONG>(size), ImageLength(i));
    EXPECT_EQ(imageTable[i][size], '\0');
    const LPCSTR opened = OpenImage(i);
    EXPECT_EQ(opened, imageTable[i]);
    EXPECT_EQ(opened, OpenImage(i));  // no copy: every lookup gives the same bytes
    EXPECT_EQ(opened, LockResource(LoadResource(GetModuleHandleA(nullptr), found)));
  }
}

TEST(FirmwareImages, FifthImageIsTheEndRecordAlone) {
  LoadImageTable();
  EXPECT_EQ(ImageLength(4), 13);
  EXPECT_STREQ(OpenImage(4), ":00000001FF\r\n");
}

TEST(FirmwareImages, OpenImageWorksBeforeTheTableIsLoaded) {
  const LPCSTR first = OpenImage(0);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(ImageSetLength(), 0);  // nothing measured until LoadImageTable
  LoadImageTable();
  EXPECT_EQ(imageTable[0], first);
}

TEST(FirmwareImages, IndexOutOfRangeGivesNothing) {
  LoadImageTable();
  for (int index : {-1, IMAGE_COUNT, 1000}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(ImageLength(index), 0);
    EXPECT_EQ(OpenImage(index), nullptr);
  }
}

TEST(FirmwareImages, ForeignModuleHasNoImages) {
  int other = 0;
  appInstance = reinterpret_cast<HINSTANCE>(&other);
  LoadImageTable();
  for (int i = 0; i < IMAGE_COUNT; ++i) EXPECT_EQ(imageTable[i], nullptr);
  EXPECT_EQ(ImageSetLength(), 0);
  EXPECT_EQ(OpenImage(0), nullptr);
  appInstance = GetModuleHandleA(nullptr);  // the handle WinMain is given
  LoadImageTable();
  EXPECT_EQ(ImageSetLength(), SET_LENGTH);
}

struct MissingCase {
  const char* hiddenImage;  // image removed from the resources, or null
  UINT hiddenString;        // string entry removed from the table, or 0
  int index;                // the image that cannot be found
};

class MissingImage : public testing::TestWithParam<MissingCase> {};

// A missing name must not let the lookup fall back on the name read before it.
TEST_P(MissingImage, LeavesANullEntryAndIsLeftOutOfTheTotal) {
  const MissingCase c = GetParam();
  RegistryWithout registry(c.hiddenImage, c.hiddenString);
  LoadImageTable();
  EXPECT_EQ(imageTable[c.index], nullptr);
  EXPECT_EQ(ImageLength(c.index), 0);
  EXPECT_EQ(ImageSetLength(), SET_LENGTH - IMAGES[c.index].size);
  for (int i = 0; i < IMAGE_COUNT; ++i) {
    SCOPED_TRACE(i);
    if (i == c.index) continue;
    EXPECT_EQ(ImageLength(i), IMAGES[i].size);
    EXPECT_EQ(OpenImage(i), imageTable[i]);
  }
  if (c.index > 0) OpenImage(c.index - 1);  // leaves the previous name behind
  EXPECT_EQ(OpenImage(c.index), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, MissingImage,
                         testing::Values(MissingCase{"UDATAB", 0, 2}, MissingCase{"UDATA9", 0, 0},
                                         MissingCase{"UDATAD", 0, 4}, MissingCase{"UDATAE", 0, 5},
                                         MissingCase{nullptr, 3, 2}, MissingCase{nullptr, 6, 5}),
                         [](const testing::TestParamInfo<MissingCase>& info) {
                           const MissingCase& c = info.param;
                           return c.hiddenImage != nullptr ? std::string("NoImage") + c.hiddenImage
                                                           : "NoString" + std::to_string(c.hiddenString);
                         });

TEST(ModuleResources, LoadStringCopiesAtMostTheBufferLessOneThenNul) {
  struct Case {
    int bufferSize;
    int copied;
    const char* text;
  };
  for (const Case& c : {Case{50, 6, "UDATA9"}, Case{7, 6, "UDATA9"}, Case{6, 5, "UDATA"}, Case{2, 1, "U"},
                        Case{1, 0, ""}}) {
    SCOPED_TRACE(c.bufferSize);
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(LoadStringA(nullptr, 1, buffer, c.bufferSize), c.copied);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(buffer[c.bufferSize], '#');  // nothing written past the buffer
  }
  char untouched[4] = "abc";
  EXPECT_EQ(LoadStringA(nullptr, 1, untouched, 0), 0);
  EXPECT_STREQ(untouched, "abc");
  EXPECT_EQ(LoadStringA(nullptr, 1, nullptr, 50), 0);
}

TEST(ModuleResources, FindResourceMatchesTypeAndNameOfThisModuleOnly) {
  EXPECT_NE(FindResourceA(nullptr, "UDATAC", "TEXT"), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, "udatac", "text"), FindResourceA(nullptr, "UDATAC", "TEXT"));
  int other = 0;
  struct Case {
    HMODULE module;
    LPCSTR name;
    LPCSTR type;
  };
  for (const Case& c : {Case{nullptr, "UDATAC", "DATA"}, Case{nullptr, "UDATA", "TEXT"},
                        Case{nullptr, "UDATAC1", "TEXT"}, Case{nullptr, "", "TEXT"}, Case{nullptr, nullptr, "TEXT"},
                        Case{nullptr, MAKEINTRESOURCEA(1), "TEXT"}, Case{nullptr, "UDATAC", nullptr},
                        Case{reinterpret_cast<HMODULE>(&other), "UDATAC", "TEXT"}}) {
    EXPECT_EQ(FindResourceA(c.module, c.name, c.type), nullptr);
  }
  HRSRC found = FindResourceA(nullptr, "UDATAC", "TEXT");
  EXPECT_EQ(LoadResource(reinterpret_cast<HMODULE>(&other), found), nullptr);
  EXPECT_EQ(SizeofResource(reinterpret_cast<HMODULE>(&other), found), 0u);
  EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
  EXPECT_EQ(LockResource(nullptr), nullptr);
  EXPECT_EQ(lstrlenA(nullptr), 0);
}

TEST(ModuleResources, HandlesOfAReplacedRegistryAreRefused) {
  HRSRC stale = FindResourceA(nullptr, "UDATA9", "TEXT");
  ASSERT_NE(stale, nullptr);
  RegistryWithout registry("UDATA9", 0);
  EXPECT_EQ(LoadResource(nullptr, stale), nullptr);
  EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(&registry)), nullptr);
}

}  // namespace
