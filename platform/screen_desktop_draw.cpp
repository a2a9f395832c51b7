// The desktop screen's pictures: font, texts, layout and drawing of dialogs, message boxes and
// the combo box's dropped list. Runs on the user-interface thread only.
#include "platform/screen_desktop_draw.h"

#include "platform/text_encoding.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

namespace platform::win::desktop {
namespace {

Metrics metrics;

std::string FromCp932(const std::string& in) { return platform::text::Cp932ToUtf8(in); }

bool IsLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The code point at `p` and the offset after it; a broken sequence counts as one byte.
unsigned NextCodePoint(const std::string& s, int p, int& next) {
  unsigned char b = static_cast<unsigned char>(s[static_cast<std::size_t>(p)]);
  int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
  if (p + n > static_cast<int>(s.size())) n = 1;
  unsigned cp = n == 1 ? b : b & (0x7F >> n);
  for (int i = 1; i < n; ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[static_cast<std::size_t>(p + i)]) & 0x3F);
  next = p + n;
  return cp;
}

bool IsWide(unsigned cp) {
  return (cp >= 0x2E80 && cp < 0xA000) || (cp >= 0xAC00 && cp < 0xD7A4) || (cp >= 0xF900 && cp < 0xFB00) ||
         (cp >= 0xFE30 && cp < 0xFE50) || (cp >= 0xFF00 && cp < 0xFF61) || (cp >= 0xFFE0 && cp < 0xFFE7);
}

int Width(const std::string& s, int begin, int end) {
  return end > begin ? static_cast<int>(fl_width(s.data() + begin, end - begin) + 0.5) : 0;
}

// Scales a pixel length given for a 12-pixel font to the dialog font.
int S(int px) { return (px * metrics.baseY + 6) / 12; }

void UseFont() { fl_font(metrics.face, metrics.size); }

int Baseline(int top) { return top + fl_height() - fl_descent(); }

// Draws bytes [begin, end) of `s` at (x, baseline), underlining the character at `mark`.
void DrawRun(const std::string& s, int begin, int end, int mark, int x, int baseline) {
  if (end <= begin) return;
  fl_draw(s.data() + begin, end - begin, x, baseline);
  if (mark >= begin && mark < end) {
    int after;
    NextCodePoint(s, mark, after);
    int x0 = x + Width(s, begin, mark);
    int x1 = x + Width(s, begin, after);
    fl_line(x0, baseline + 1, x1 - 1, baseline + 1);
  }
}

// One line, centred in `box` both ways.
void DrawCentred(const Label& label, const Box& box) {
  int w = Width(label.utf8, 0, static_cast<int>(label.utf8.size()));
  int x = box.x + std::max(0, (box.w - w) / 2);
  int top = box.y + (box.h - fl_height()) / 2;
  DrawRun(label.utf8, 0, static_cast<int>(label.utf8.size()), label.mark, x, Baseline(top));
}

void DrawStatic(const WindowView& c, const Box& r) {
  Label label = ToUtf8(c.text, true);
  fl_color(c.enabled ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
  int top = r.y;
  for (const Line& line : Wrap(label.utf8, r.w)) {
    if (top >= r.y + r.h) break;
    DrawRun(label.utf8, line.begin, line.end, label.mark, r.x, Baseline(top));
    top += fl_height();
  }
}

void DrawFocusRect(int x, int y, int w, int h) {
  fl_color(FL_FOREGROUND_COLOR);
  fl_line_style(FL_DOT);
  fl_rect(x, y, w, h);
  fl_line_style(0);
}

void DrawButton(const WindowView& c, const Box& r) {
  fl_draw_box(FL_UP_BOX, r.x, r.y, r.w, r.h, FL_BACKGROUND_COLOR);
  if (c.focused) {
    fl_color(FL_FOREGROUND_COLOR);
    fl_rect(r.x, r.y, r.w, r.h);
    DrawFocusRect(r.x + 4, r.y + 4, r.w - 8, r.h - 8);
  }
  Box inner{r.x + 5, r.y + 3, r.w - 10, r.h - 6};
  fl_push_clip(inner.x, inner.y, inner.w, inner.h);
  fl_color(c.enabled ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
  DrawCentred(ToUtf8(c.text, true), inner);
  fl_pop_clip();
}

void DrawGroup(const WindowView& c, const Box& r) {
  int half = fl_height() / 2;
  fl_draw_box(FL_ENGRAVED_FRAME, r.x, r.y + half, r.w, r.h - half, FL_BACKGROUND_COLOR);
  Label label = ToUtf8(c.text, true);
  if (label.utf8.empty()) return;
  int w = Width(label.utf8, 0, static_cast<int>(label.utf8.size()));
  int x = (c.style & BS_CENTER) ? r.x + (r.w - w) / 2 : r.x + S(9);
  x = std::max(x, r.x + S(4));
  fl_push_clip(r.x + S(2), r.y, std::max(0, r.w - S(4)), r.h);
  fl_color(FL_BACKGROUND_COLOR);
  fl_rectf(x - S(2), r.y, w + S(4), fl_height());  // the caption breaks the frame's top line
  fl_color(c.enabled ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
  DrawRun(label.utf8, 0, static_cast<int>(label.utf8.size()), label.mark, x, Baseline(r.y));
  fl_pop_clip();
}

void DrawBar(const WindowView& c, const Box& r) {
  fl_draw_box(FL_DOWN_BOX, r.x, r.y, r.w, r.h, FL_BACKGROUND2_COLOR);
  int span = std::max(1, c.barMax - c.barMin);
  int inner = std::max(0, r.w - 4);
  long long filled = static_cast<long long>(std::clamp(c.barPos, c.barMin, c.barMax) - c.barMin) * inner / span;
  fl_color(fl_rgb_color(6, 176, 37));
  fl_rectf(r.x + 2, r.y + 2, static_cast<int>(filled), std::max(0, r.h - 4));
}

void DrawCombo(const WindowView& c) {
  Box edit = ComboEdit(c);
  Box arrow = ComboArrow(c);
  fl_draw_box(FL_DOWN_BOX, edit.x, edit.y, edit.w, edit.h, c.enabled ? FL_BACKGROUND2_COLOR : FL_BACKGROUND_COLOR);
  Label text = ToUtf8(c.text, false);
  Box inner{edit.x + 3, edit.y + 2, edit.w - 6, edit.h - 4};
  fl_push_clip(inner.x, inner.y, inner.w, inner.h);
  int w = Width(text.utf8, 0, static_cast<int>(text.utf8.size()));
  int x = inner.x + std::min(0, inner.w - w - 2);  // the end of a long text stays in view
  int top = inner.y + (inner.h - fl_height()) / 2;
  if (c.focused && w > 0) {
    fl_color(FL_SELECTION_COLOR);
    fl_rectf(x, top, w, fl_height());
  }
  fl_color(c.focused && w > 0 ? FL_WHITE : FL_FOREGROUND_COLOR);
  DrawRun(text.utf8, 0, static_cast<int>(text.utf8.size()), -1, x, Baseline(top));
  if (c.focused) {
    fl_color(FL_FOREGROUND_COLOR);
    fl_line(x + w + 1, top, x + w + 1, top + fl_height() - 1);
  }
  fl_pop_clip();
  fl_draw_box(FL_UP_BOX, arrow.x, arrow.y, arrow.w, arrow.h, FL_BACKGROUND_COLOR);
  int cx = arrow.x + arrow.w / 2, cy = arrow.y + arrow.h / 2;
  int a = std::max(2, arrow.w / 5);
  fl_color(c.enabled ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
  fl_polygon(cx - a, cy - a / 2, cx + a, cy - a / 2, cx, cy + a / 2 + 1);
}

}  // namespace

void SetUpFont(int points, int dpi) {
  // The leading space names the regular style: FLTK reads a first 'I' as "italic".
  Fl::set_font(FL_FREE_FONT, " IPAPGothic");
  metrics.face = FL_FREE_FONT;
  metrics.size = std::max(8, (points * dpi + 36) / 72);
  fl_font(metrics.face, metrics.size);
  const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  int total = static_cast<int>(fl_width(letters) + 0.5);
  metrics.baseX = std::max(1, (total / 26 + 1) / 2);
  metrics.baseY = std::max(1, fl_height());
}

const Metrics& TheMetrics() { return metrics; }

Label ToUtf8(const std::string& cp932, bool mnemonics) {
  // Mnemonic marks are ASCII bytes at character starts, so they are found before conversion.
  Label label;
  std::string piece;
  auto flush = [&] {
    label.utf8 += FromCp932(piece);
    piece.clear();
  };
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(cp932[i]);
    if (b == '\r') continue;
    if (IsLead(b) && i + 1 < cp932.size()) {
      piece.append(cp932, i, 2);
      ++i;
    } else if (mnemonics && b == '&' && i + 1 < cp932.size()) {
      if (cp932[i + 1] == '&') {
        piece.push_back('&');
        ++i;
      } else if (label.mark < 0) {
        flush();
        label.mark = static_cast<int>(label.utf8.size());
      }
    } else {
      piece.push_back(static_cast<char>(b));
    }
  }
  flush();
  if (label.mark >= static_cast<int>(label.utf8.size())) label.mark = -1;
  return label;
}

std::string ToCp932(const std::string& utf8) {
  bool failed;
  std::string out = platform::text::Utf8ToCp932(utf8, &failed);
  return failed ? std::string() : out;
}

std::vector<Line> Wrap(const std::string& s, int width) {
  std::vector<Line> lines;
  const int size = static_cast<int>(s.size());
  auto push = [&](int begin, int end) {
    while (end > begin && s[static_cast<std::size_t>(end - 1)] == ' ') --end;
    lines.push_back({begin, end});
  };
  auto skipSpaces = [&](int p) {
    while (p < size && s[static_cast<std::size_t>(p)] == ' ') ++p;
    return p;
  };
  int start = 0, lastBreak = -1;
  unsigned prev = '\n';
  for (int p = 0; p < size;) {
    int q;
    unsigned cp = NextCodePoint(s, p, q);
    if (cp == '\n') {
      push(start, p);
      start = q;
      lastBreak = -1;
      prev = '\n';
      p = q;
      continue;
    }
    if (p > start && (prev == ' ' || (cp != ' ' && (IsWide(prev) || IsWide(cp))))) lastBreak = p;
    if (cp != ' ' && p > start && Width(s, start, q) > width) {
      int at = lastBreak > start ? lastBreak : p;
      push(start, at);
      start = skipSpaces(at);
      lastBreak = -1;
      if (start < p && Width(s, start, q) > width) {  // still too wide: break before this one
        push(start, p);
        start = p;
      }
    }
    prev = cp;
    p = q;
  }
  if (start < size || lines.empty()) push(start, size);
  return lines;
}

Box ControlBox(const WindowView& c) {
  const Metrics& m = metrics;
  Box r{m.Px(c.x), m.Py(c.y), m.Px(c.x + c.cx) - m.Px(c.x), m.Py(c.y + c.cy) - m.Py(c.y)};
  if (c.kind == Kind::ComboBox) r.h = std::min(r.h, metrics.baseY + S(8));  // the edit field; the list drops below
  return r;
}

Box ComboEdit(const WindowView& c) {
  Box r = ControlBox(c);
  r.w = std::max(1, r.w - ComboArrow(c).w);
  return r;
}

Box ComboArrow(const WindowView& c) {
  Box r = ControlBox(c);
  int w = std::min(r.w, S(17));
  return {r.x + r.w - w, r.y, w, r.h};
}

int ListRowHeight() { return metrics.baseY + S(3); }

int ListShown(const WindowView& c) {
  int room = metrics.Py(c.cy) - ControlBox(c).h - 2;
  int rows = std::max(1, room / ListRowHeight());
  return std::clamp(static_cast<int>(c.items.size()), 1, rows);
}

int ListFirst(const WindowView& c) {
  int shown = ListShown(c);
  return c.curSel >= shown ? c.curSel - shown + 1 : 0;
}

MessageLayout LayOutMessageBox(const WindowView& box, int maxTextWidth) {
  UseFont();
  MessageLayout l;
  const int margin = S(14);
  l.body = ToUtf8(box.body, false).utf8;
  l.lines = Wrap(l.body, maxTextWidth);
  int textW = 0;
  for (const Line& line : l.lines) textW = std::max(textW, Width(l.body, line.begin, line.end));
  int textH = static_cast<int>(l.lines.size()) * fl_height();
  int iconSize = (box.boxType & MB_ICONQUESTION) ? S(32) : 0;
  int left = margin + (iconSize ? iconSize + S(12) : 0);
  int buttonH = metrics.Py(14);
  int buttonW = metrics.Px(50);
  for (const WindowView& b : box.children) {
    Label label = ToUtf8(b.text, true);
    buttonW = std::max(buttonW, Width(label.utf8, 0, static_cast<int>(label.utf8.size())) + S(20));
  }
  const int gap = S(8);
  int n = static_cast<int>(box.children.size());
  int buttonsW = n * buttonW + std::max(0, n - 1) * gap;
  int captionW = Width(ToUtf8(box.text, false).utf8, 0, static_cast<int>(ToUtf8(box.text, false).utf8.size()));
  l.w = std::max({left + textW + margin, buttonsW + 2 * margin, captionW + S(60), S(160)});
  int bodyH = std::max(textH, iconSize);
  l.icon = iconSize ? Box{margin, margin, iconSize, iconSize} : Box{};
  l.text = {left, margin + (bodyH - textH) / 2, textW, textH};
  int buttonY = margin + bodyH + margin;
  int x = (l.w - buttonsW) / 2;
  for (int i = 0; i < n; ++i) l.buttons.push_back({x + i * (buttonW + gap), buttonY, buttonW, buttonH});
  l.h = buttonY + buttonH + S(10);
  return l;
}

void DrawDialog(const WindowView& dialog, int w, int h) {
  fl_color(FL_BACKGROUND_COLOR);
  fl_rectf(0, 0, w, h);
  UseFont();
  // Group boxes first: they frame the controls drawn over them.
  for (const WindowView& c : dialog.children) {
    if (!c.visible || c.kind != Kind::GroupBox) continue;
    Box r = ControlBox(c);
    fl_push_clip(r.x, r.y, r.w, r.h);
    DrawGroup(c, r);
    fl_pop_clip();
  }
  for (const WindowView& c : dialog.children) {
    if (!c.visible || c.kind == Kind::GroupBox) continue;
    Box r = ControlBox(c);
    fl_push_clip(r.x, r.y, r.w, r.h);  // nothing of a control reaches outside its box
    switch (c.kind) {
      case Kind::Static: DrawStatic(c, r); break;
      case Kind::Button: DrawButton(c, r); break;
      case Kind::ProgressBar: DrawBar(c, r); break;
      case Kind::ComboBox: DrawCombo(c); break;
      default: break;
    }
    fl_pop_clip();
  }
}

void DrawMessageBox(const WindowView& box, const MessageLayout& l) {
  fl_color(FL_BACKGROUND_COLOR);
  fl_rectf(0, 0, l.w, l.h);
  UseFont();
  if (l.icon.w > 0) {
    const Box& i = l.icon;
    fl_color(fl_rgb_color(30, 90, 200));
    fl_pie(i.x, i.y, i.w, i.h, 0, 360);
    fl_color(FL_WHITE);
    int size = metrics.size;
    fl_font(FL_HELVETICA_BOLD, i.h * 3 / 4);
    fl_draw("?", i.x, i.y, i.w, i.h, FL_ALIGN_CENTER);
    fl_font(metrics.face, size);
  }
  fl_color(FL_FOREGROUND_COLOR);
  int top = l.text.y;
  for (const Line& line : l.lines) {
    DrawRun(l.body, line.begin, line.end, -1, l.text.x, Baseline(top));
    top += fl_height();
  }
  for (std::size_t i = 0; i < box.children.size() && i < l.buttons.size(); ++i) {
    const Box& r = l.buttons[i];
    fl_push_clip(r.x, r.y, r.w, r.h);
    DrawButton(box.children[i], r);
    fl_pop_clip();
  }
}

void DrawList(const WindowView& combo, int w, int h) {
  fl_color(FL_BACKGROUND2_COLOR);
  fl_rectf(0, 0, w, h);
  fl_color(FL_FOREGROUND_COLOR);
  fl_rect(0, 0, w, h);
  UseFont();
  int shown = ListShown(combo), first = ListFirst(combo), row = ListRowHeight();
  for (int i = 0; i < shown; ++i) {
    int index = first + i;
    if (index >= static_cast<int>(combo.items.size())) break;
    Box r{1, 1 + i * row, w - 2, row};
    bool selected = index == combo.curSel;
    if (selected) {
      fl_color(FL_SELECTION_COLOR);
      fl_rectf(r.x, r.y, r.w, r.h);
    }
    fl_push_clip(r.x, r.y, r.w, r.h);
    fl_color(selected ? FL_WHITE : FL_FOREGROUND_COLOR);
    Label text = ToUtf8(combo.items[static_cast<std::size_t>(index)], false);
    DrawRun(text.utf8, 0, static_cast<int>(text.utf8.size()), -1, r.x + S(3), Baseline(r.y + (r.h - fl_height()) / 2));
    fl_pop_clip();
  }
}

}  // namespace platform::win::desktop
