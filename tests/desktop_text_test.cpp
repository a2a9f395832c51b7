// The desktop screen's texts: CP932 labels to UTF-8 with their mnemonic mark, and typed UTF-8
// back to CP932. The byte offset of the mark decides which character gets underlined.
#include <gtest/gtest.h>

#include <string>

#include "cp932.h"
#include "platform/screen_desktop_draw.h"

namespace {

using platform::win::desktop::Label;
using platform::win::desktop::ToCp932;
using platform::win::desktop::ToUtf8;

TEST(DesktopText, LabelsLoseTheirMarkAndKeepWhereItWas) {
  struct Case {
    std::string cp932;
    bool mnemonics;
    std::string utf8;
    int mark;
  };
  const Case cases[] = {
      {Cp932("バージョンアップ(&V)"), true, "バージョンアップ(V)", static_cast<int>(std::string("バージョンアップ(").size())},
      {"&OK", true, "OK", 0},
      {"A&&B", true, "A&B", -1},
      {"A&&&B", true, "A&B", 2},
      {"&", true, "&", -1},             // a mark with nothing after it stays a character
      {"AB&", true, "AB&", -1},
      {"&OK", false, "&OK", -1},        // captions and list entries keep their '&'
      {"a\r\nb", false, "a\nb", -1},    // CR LF breaks the line once
      {std::string("x\x81", 2), true, "x?", -1},  // a lead byte without its second byte
      {std::string("\xA0y", 2), false, "?y", -1},  // a byte CP932 has no character for
      {"", true, "", -1},
  };
  for (const Case& c : cases) {
    Label label = ToUtf8(c.cp932, c.mnemonics);
    EXPECT_EQ(label.utf8, c.utf8) << c.utf8;
    EXPECT_EQ(label.mark, c.mark) << c.utf8;
  }
}

TEST(DesktopText, TypedTextBecomesCp932OrNothing) {
  EXPECT_EQ(ToCp932("COM9"), "COM9");
  EXPECT_EQ(ToCp932("ポ"), Cp932("ポ"));
  EXPECT_EQ(ToCp932("€"), "");     // CP932 has no euro sign: the key types nothing
  EXPECT_EQ(ToCp932("\xFF"), "");  // no UTF-8 at all
}

}  // namespace
