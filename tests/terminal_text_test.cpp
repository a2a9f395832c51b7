// Texts on the terminal screen: CP932 decoding with mnemonics, cell widths and wrapping.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "platform/screen_text.h"

namespace text = platform::win::text;

namespace {

std::wstring Chars(const text::Line& line) {
  std::wstring out;
  for (const text::Glyph& g : line) out += g.ch;
  return out;
}

std::vector<std::wstring> WrapChars(const std::string& cp932, int width) {
  std::vector<std::wstring> out;
  for (const text::Line& l : text::Wrap(text::Decode(cp932, false), width)) out.push_back(Chars(l));
  return out;
}

class TerminalText : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(std::setlocale(LC_CTYPE, "C.UTF-8")); }
};

TEST_F(TerminalText, DecodesCp932WithMnemonicsAndWidths) {
  // "バージョンアップ(&V)" in CP932: eight full-width characters, then "(V)" with V marked.
  text::Line line = text::Decode("\x83o\x81[\x83W\x83\x87\x83\x93\x83" "A\x83" "b\x83v(&V)", true);
  EXPECT_EQ(Chars(line), L"バージョンアップ(V)");
  EXPECT_EQ(text::Width(line), 19);
  for (const text::Glyph& g : line) EXPECT_EQ(g.mnemonic, g.ch == L'V');
  // "&&" shows one '&' and marks nothing; the second byte of a CP932 character is no mark.
  text::Line amp = text::Decode("A&&B \x83&", true);
  for (const text::Glyph& g : amp) EXPECT_FALSE(g.mnemonic);
  EXPECT_EQ(Chars(amp).substr(0, 4), L"A&B ");
  // Bytes that are not CP932 show as '?' and never stop the rest: a lone lead byte at the end,
  // an unassigned pair, and control characters.
  EXPECT_EQ(Chars(text::Decode("ok\x85\x40!\x81", false)), L"ok?@!?");
  EXPECT_EQ(Chars(text::Decode("a\r\nb\tc\x01", false)), L"a\nb c?");
}

TEST_F(TerminalText, WrapsAtSpacesBesideFullWidthAndInsideLongWords) {
  struct Case {
    std::string text;
    int width;
    std::vector<std::wstring> lines;
  };
  const std::vector<Case> cases = {
      {"short", 10, {L"short"}},
      {"trailing spaces      ", 10, {L"trailing", L"spaces"}},
      {"exactly 10", 10, {L"exactly 10"}},
      {"two words", 5, {L"two", L"words"}},
      {"abcdefghijkl", 5, {L"abcde", L"fghij", L"kl"}},
      {" data   1 / 2 bytes", 12, {L" data   1 /", L"2 bytes"}},  // leading spaces stay
      {"line1\r\nline2", 20, {L"line1", L"line2"}},
      {"", 5, {L""}},
      // "状態状態状態" (six full-width characters) breaks between any two of them.
      {"\x8F\xF3\x91\xD4\x8F\xF3\x91\xD4\x8F\xF3\x91\xD4", 5, {L"状態", L"状態", L"状態"}},
      {"A\x8F\xF3" "B", 3, {L"A状", L"B"}},
      {"x", 0, {L"x"}},  // no room at all: still one character per line
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WrapChars(c.text, c.width), c.lines) << "\"" << c.text << "\" in " << c.width;
    for (const text::Line& l : text::Wrap(text::Decode(c.text, false), c.width)) {
      EXPECT_LE(text::Width(l), std::max(c.width, 2));
    }
  }
}

TEST_F(TerminalText, TypedCharactersBecomeCp932) {
  EXPECT_EQ(text::EncodeTyped(L'7'), "7");
  EXPECT_EQ(text::EncodeTyped(L'ア'), "\x83" "A");
  EXPECT_EQ(text::EncodeTyped(L'\u00e9'), "") << "no such character in CP932";
}

}  // namespace
