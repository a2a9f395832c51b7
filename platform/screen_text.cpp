#include "platform/screen_text.h"

#include <climits>
#include <cwchar>

#include "platform/text_encoding.h"

namespace platform::win::text {
namespace {

using platform::text::Cp932ToUtf8;
using platform::text::Utf8ToCp932;

bool IsSpace(const Glyph& g) { return g.ch == L' '; }

void TrimTrailing(Line& line) {
  while (!line.empty() && IsSpace(line.back())) line.pop_back();
}

// Whether a line may break between `before` and `after`.
bool MayBreak(const Glyph& before, const Glyph& after) {
  return IsSpace(before) || (!IsSpace(after) && (before.width == 2 || after.width == 2));
}

bool IsLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

}  // namespace

Line Decode(const std::string& cp932, bool mnemonics) {
  // Mnemonic marks are ASCII bytes at character starts, so they are found before conversion.
  std::string plain;
  std::vector<std::size_t> marks;  // offsets in `plain` of the marked characters
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(cp932[i]);
    if (IsLead(b) && i + 1 < cp932.size()) {
      plain.append(cp932, i, 2);
      ++i;
    } else if (mnemonics && b == '&' && i + 1 < cp932.size()) {
      if (cp932[i + 1] == '&') {
        plain.push_back('&');
        ++i;
      } else {
        marks.push_back(plain.size());
      }
    } else {
      plain.push_back(static_cast<char>(b));
    }
  }
  Line line;
  auto append = [&](const std::string& piece, bool marked) {
    std::string utf8 = Cp932ToUtf8(piece);
    std::mbstate_t state{};
    const char* p = utf8.data();
    const char* end = p + utf8.size();
    while (p < end) {
      wchar_t wc;
      std::size_t n = std::mbrtowc(&wc, p, static_cast<std::size_t>(end - p), &state);
      if (n == 0 || n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
        wc = L'?';
        n = 1;
        state = {};
      }
      p += n;
      if (wc == L'\r') continue;
      if (wc == L'\t') wc = L' ';
      int w = wc == L'\n' ? 0 : wcwidth(wc);
      if (w < 0) {
        wc = L'?';
        w = 1;
      }
      line.push_back({wc, w, marked});
    }
  };
  // Convert piecewise so that each marked character keeps its mark.
  std::size_t start = 0;
  for (std::size_t mark : marks) {
    if (mark < start || mark >= plain.size()) continue;
    std::size_t length = IsLead(static_cast<unsigned char>(plain[mark])) && mark + 1 < plain.size() ? 2 : 1;
    append(plain.substr(start, mark - start), false);
    append(plain.substr(mark, length), true);
    start = mark + length;
  }
  append(plain.substr(start), false);
  return line;
}

int Width(const Line& line) {
  int w = 0;
  for (const Glyph& g : line) w += g.width;
  return w;
}

std::vector<Line> Wrap(const Line& text, int width) {
  if (width < 2) width = 2;  // room for one full-width character
  std::vector<Line> lines;
  Line cur;
  bool softBreak = false;  // the current line continues a wrapped one
  auto flush = [&](Line line) {
    TrimTrailing(line);
    lines.push_back(std::move(line));
  };
  for (const Glyph& g : text) {
    if (g.ch == L'\n') {
      flush(cur);
      cur.clear();
      softBreak = false;
      continue;
    }
    if (softBreak && cur.empty() && IsSpace(g)) continue;
    cur.push_back(g);
    if (IsSpace(g) || Width(cur) <= width) continue;  // spaces never push a line over
    // The line is too wide now: break at the last opportunity before g, or inside the word.
    std::size_t k = 0;
    for (std::size_t i = cur.size() - 1; i >= 1 && k == 0; --i) {
      if (MayBreak(cur[i - 1], cur[i])) k = i;
    }
    Line head(cur.begin(), cur.begin() + static_cast<long>(k));
    Line rest(cur.begin() + static_cast<long>(k), cur.end());
    TrimTrailing(head);
    if (k == 0 || Width(head) > width) {  // one word wider than the line
      head.clear();
      rest = cur;
    }
    if (!head.empty()) flush(head);
    while (!rest.empty() && IsSpace(rest.front())) rest.erase(rest.begin());
    while (Width(rest) > width) {
      Line piece;
      std::size_t n = 0;
      while (n < rest.size() && Width(piece) + rest[n].width <= width) piece.push_back(rest[n++]);
      flush(piece);
      rest.erase(rest.begin(), rest.begin() + static_cast<long>(n));
    }
    cur = rest;
    softBreak = true;
  }
  if (!cur.empty() || lines.empty()) flush(cur);
  return lines;
}

std::string EncodeTyped(wchar_t ch) {
  char utf8[MB_LEN_MAX];
  std::mbstate_t state{};
  std::size_t n = std::wcrtomb(utf8, ch, &state);
  if (n == static_cast<std::size_t>(-1)) return {};
  std::string out = Utf8ToCp932(std::string(utf8, n));
  return out.find('?') != std::string::npos && ch != L'?' ? std::string() : out;
}

}  // namespace platform::win::text
