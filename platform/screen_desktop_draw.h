// The desktop screen's pictures: the dialog font and its base units, CP932 texts as UTF-8, and
// where and how each window and control is drawn. Drawing calls run inside FLTK's draw().
#pragma once

#include <FL/Enumerations.H>

#include <string>
#include <vector>

#include "platform/screen_model.h"

namespace platform::win::desktop {

struct Box {
  int x = 0, y = 0, w = 0, h = 0;
  bool Contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// The dialog font and the pixels of one dialog unit: x units are a quarter, y units an eighth
// of the font's base units (its average Latin letter width and its height).
struct Metrics {
  Fl_Font face = FL_HELVETICA;
  int size = 12;   // pixels
  int baseX = 6;
  int baseY = 12;
  int Px(int du) const { return (du * baseX * 2 + 4) / 8; }   // rounded du * baseX / 4
  int Py(int du) const { return (du * baseY * 2 + 8) / 16; }  // rounded du * baseY / 8
};

// Sets the Japanese face up (IPA P Gothic, named explicitly: FLTK draws every glyph from the one
// face it is given) at `points` for `dpi`, and measures its base units. Needs the display open.
void SetUpFont(int points, int dpi);
const Metrics& TheMetrics();

// A CP932 text as UTF-8. With `mnemonics`, a single '&' is left out and marks the next
// character (`mark` is that character's byte offset, -1 for none), "&&" shows one '&'.
// Undecodable bytes show as '?', CR is dropped.
struct Label {
  std::string utf8;
  int mark = -1;
};
Label ToUtf8(const std::string& cp932, bool mnemonics);
// Typed UTF-8 text as CP932; empty when CP932 has no such characters.
std::string ToCp932(const std::string& utf8);

// Breaks the text (in the current FLTK font) into lines no wider than `width` pixels: at LF, at
// spaces and beside full-width characters, else inside a word. Each line keeps its byte range.
struct Line {
  int begin = 0, end = 0;
};
std::vector<Line> Wrap(const std::string& utf8, int width);

// Where a control of a dialog stands, in pixels of the client area.
Box ControlBox(const WindowView& c);
// The combo box's edit field and arrow button, and the height of one list entry.
Box ComboEdit(const WindowView& c);
Box ComboArrow(const WindowView& c);
int ListRowHeight();
// How many entries the dropped list shows, and its first one.
int ListShown(const WindowView& c);
int ListFirst(const WindowView& c);

// A message box's size and the places of its parts, in pixels of its client area.
struct MessageLayout {
  int w = 0, h = 0;
  Box icon;  // empty without MB_ICONQUESTION
  Box text;
  std::vector<Line> lines;
  std::string body;           // the message in UTF-8
  std::vector<Box> buttons;   // in the order of the box's buttons
};
MessageLayout LayOutMessageBox(const WindowView& box, int maxTextWidth);

// Draws a dialog's client area (w x h pixels) with its controls, clipped each to its own box.
void DrawDialog(const WindowView& dialog, int w, int h);
void DrawMessageBox(const WindowView& box, const MessageLayout& layout);
// Draws the dropped list of `combo` in a window of w x h pixels.
void DrawList(const WindowView& combo, int w, int h);

}  // namespace platform::win::desktop
