// Texts on a character-cell screen: CP932 to display characters, their widths, and wrapping.
#pragma once

#include <string>
#include <vector>

namespace platform::win::text {

// One character as shown: its code, its cells (1, or 2 for full-width) and whether it is the
// mnemonic letter that a '&' marked.
struct Glyph {
  wchar_t ch;
  int width;
  bool mnemonic;
};
using Line = std::vector<Glyph>;

// Decodes CP932 bytes through iconv to the terminal's UTF-8 and on to characters (the C type
// must be UTF-8). With `mnemonics`, a single '&' is hidden and marks the next letter, "&&" shows
// one '&'. Bytes that do not decode show as '?'; CR is dropped, LF stays as a line break.
Line Decode(const std::string& cp932, bool mnemonics);

// Cells the characters take.
int Width(const Line& line);

// Breaks the text into lines of at most `width` cells: at each LF, then at spaces and beside
// full-width characters, or inside a word that is longer than a line. Spaces at a soft break
// are dropped, and so are trailing spaces, which never cause a wrap.
std::vector<Line> Wrap(const Line& text, int width);

// Encodes one typed character as CP932 bytes; empty when CP932 has no such character.
std::string EncodeTyped(wchar_t ch);

}  // namespace platform::win::text
