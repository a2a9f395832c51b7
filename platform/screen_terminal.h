// The terminal screen's layout: where windows and controls go in character cells. One cell is
// 4 x 8 dialog units. A dialog has a title bar (its top frame line, with the caption and a close
// mark) and a frame; its controls sit inside, in cells rounded from their dialog units.
#pragma once

#include <string>
#include <vector>

#include "platform/screen_model.h"
#include "platform/screen_text.h"

namespace platform::win::terminal {

struct Rect {
  int row = 0, col = 0, rows = 0, cols = 0;
  bool Contains(int r, int c) const { return r >= row && r < row + rows && c >= col && c < col + cols; }
};

// Cells of a rectangle in dialog units, relative to a client area.
Rect CellsOf(int x, int y, int cx, int cy);

// What a mouse click at a cell would act on.
struct Hit {
  enum Kind { Close, Press, ComboArrow, ComboEdit, ListEntry, Window } kind;
  HWND window;  // the control, or the top-level window for Close and Window
  int index;    // the list entry
  Rect rect;
};

// One cell to draw.
struct Cell {
  wchar_t ch = L' ';
  int width = 1;
  int attributes = 0;  // Attr bits
};
enum Attr { kReverse = 1, kUnderline = 2, kBold = 4, kDim = 8 };

// The picture of all windows: a grid of cells, and where clicks go (topmost last).
class Canvas {
 public:
  Canvas(int rows, int cols, bool lineDrawing);
  int rows() const { return rows_; }
  int cols() const { return cols_; }
  const Cell& at(int r, int c) const { return cells_[static_cast<std::size_t>(r * cols_ + c)]; }
  // Puts the text at (r, c), clipped to `limit` columns; returns the cells used.
  int Put(int r, int c, const text::Line& line, int attributes, int limit);
  void Fill(const Rect& rect, wchar_t ch, int attributes);
  void Frame(const Rect& rect, int attributes);
  void HLine(int r, int c, int n, int attributes);
  wchar_t Block(bool filled) const;
  std::vector<Hit> hits;
  int cursorRow = -1, cursorCol = -1;  // shown when a text field has the focus

 private:
  void Set(int r, int c, wchar_t ch, int width, int attributes);
  int rows_, cols_;
  bool lineDrawing_;
  std::vector<Cell> cells_;
};

// Draws every visible top-level window of `views` (lowest first) onto the canvas.
void Compose(Canvas& canvas, const std::vector<WindowView>& views);

}  // namespace platform::win::terminal
