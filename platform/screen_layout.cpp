// The terminal screen's picture: windows and controls laid out in character cells.
#include <algorithm>
#include <cmath>
#include <map>

#include "platform/screen_terminal.h"

namespace platform::win::terminal {
namespace {

int Round(double v) { return static_cast<int>(std::lround(v)); }

text::Line Plain(const char* ascii) {
  text::Line line;
  for (; *ascii; ++ascii) line.push_back({static_cast<wchar_t>(*ascii), 1, false});
  return line;
}

text::Line Clip(const text::Line& line, int cols) {
  text::Line out;
  int used = 0;
  for (const text::Glyph& g : line) {
    if (used + g.width > cols) break;
    out.push_back(g);
    used += g.width;
  }
  return out;
}

struct Placed {
  Rect outer;
  Rect client;
};

// Where a top-level window goes: its position from the owner's client area (or the screen),
// moved into view when it would not fit.
Rect PlaceInView(Rect r, const Canvas& canvas) {
  r.col = std::clamp(r.col, 0, std::max(0, canvas.cols() - r.cols));
  r.row = std::clamp(r.row, 0, std::max(0, canvas.rows() - r.rows));
  return r;
}

void DrawTitle(Canvas& canvas, const Rect& outer, const WindowView& w, bool active, bool closeMark) {
  canvas.Frame(outer, active ? kBold : 0);
  int closeCols = closeMark ? 3 : 0;
  int room = outer.cols - 2 - closeCols;  // between the corners, beside the close mark
  text::Line caption = Clip(text::Decode(w.text, false), std::max(0, room - 2));
  text::Line padded = Plain(" ");
  padded.insert(padded.end(), caption.begin(), caption.end());
  padded.push_back({L' ', 1, false});
  canvas.Put(outer.row, outer.col + 1, padded, active ? kReverse : 0, room);
  if (closeMark) {
    Rect mark{outer.row, outer.col + outer.cols - 4, 1, 3};
    canvas.Put(mark.row, mark.col, Plain("[X]"), 0, 3);
    canvas.hits.push_back({Hit::Close, w.handle, 0, mark});
  }
}

int DrawText(Canvas& canvas, int row, int col, const std::vector<text::Line>& lines, int attributes,
             int width, int maxRow) {
  int r = row;
  for (const text::Line& line : lines) {
    if (r > maxRow) break;
    canvas.Put(r++, col, line, attributes, width);
  }
  return r - row;
}

// A static text wraps in its own rectangle when it fits there, else in the room to the right
// edge and the bottom of the client area, so that nothing of it is lost.
void DrawStatic(Canvas& canvas, const Rect& client, const Rect& r, const WindowView& c) {
  text::Line t = text::Decode(c.text, true);
  std::vector<text::Line> lines = text::Wrap(t, r.cols);
  int width = r.cols;
  if (static_cast<int>(lines.size()) > r.rows) {
    width = client.col + client.cols - r.col;
    lines = text::Wrap(t, width);
  }
  DrawText(canvas, r.row, r.col, lines, c.enabled ? 0 : kDim, width, client.row + client.rows - 1);
}

void DrawButton(Canvas& canvas, const Rect& client, const Rect& r, const WindowView& c) {
  int attr = c.enabled ? 0 : kDim;
  text::Line label = text::Decode(c.text, true);
  Rect inner = r;
  if (r.rows >= 3 && r.cols >= 4) {
    canvas.Frame(r, attr);
    inner = {r.row + 1, r.col + 1, r.rows - 2, r.cols - 2};
  }
  std::vector<text::Line> lines = text::Wrap(label, inner.cols);
  int top = inner.row + std::max(0, (inner.rows - static_cast<int>(lines.size())) / 2);
  int labelAttr = attr | (c.focused ? kReverse : 0);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    int w = text::Width(lines[i]);
    int col = inner.col + std::max(0, (inner.cols - w) / 2);
    int row = top + static_cast<int>(i);
    if (row < client.row + client.rows) canvas.Put(row, col, lines[i], labelAttr, inner.col + inner.cols - col);
  }
  canvas.hits.push_back({Hit::Press, c.handle, 0, r});
}

void DrawGroup(Canvas& canvas, const Rect& r, const WindowView& c) {
  canvas.Frame(r, 0);
  text::Line caption = text::Decode(c.text, true);
  caption = Clip(caption, std::max(0, r.cols - 4));
  if (caption.empty()) return;
  int w = text::Width(caption) + 2;
  int col = (c.style & BS_CENTER) ? r.col + (r.cols - w) / 2 : r.col + 1;
  text::Line padded = Plain(" ");
  padded.insert(padded.end(), caption.begin(), caption.end());
  padded.push_back({L' ', 1, false});
  canvas.Put(r.row, col, padded, 0, w);
}

void DrawBar(Canvas& canvas, const Rect& r, const WindowView& c) {
  int span = std::max(1, c.barMax - c.barMin);
  int filled = static_cast<int>(static_cast<long long>(c.barPos - c.barMin) * r.cols / span);
  filled = std::clamp(filled, 0, r.cols);
  text::Line bar;
  for (int i = 0; i < r.cols; ++i) bar.push_back({canvas.Block(i < filled), 1, false});
  canvas.Put(r.row, r.col, bar, 0, r.cols);
}

// The combo box: its edit field and arrow; the open list is drawn later, above everything.
void DrawCombo(Canvas& canvas, const Rect& r, const WindowView& c, bool active) {
  Rect edit{r.row, r.col, 1, std::max(1, r.cols - 1)};
  canvas.Fill(edit, L' ', kUnderline);
  text::Line t = text::Decode(c.text, false);
  while (text::Width(t) > edit.cols - 1 && !t.empty()) t.erase(t.begin());  // the end stays in view
  int used = canvas.Put(edit.row, edit.col, t, kUnderline | (c.focused ? kBold : 0), edit.cols);
  canvas.Put(r.row, r.col + r.cols - 1, Plain("v"), kReverse, 1);
  canvas.hits.push_back({Hit::ComboEdit, c.handle, 0, edit});
  canvas.hits.push_back({Hit::ComboArrow, c.handle, 0, {r.row, r.col + r.cols - 1, 1, 1}});
  if (c.focused && active) {
    canvas.cursorRow = edit.row;
    canvas.cursorCol = std::min(edit.col + used, edit.col + edit.cols - 1);
  }
}

void DrawList(Canvas& canvas, const Rect& r, const WindowView& c) {
  int shown = std::min(static_cast<int>(c.items.size()), std::max(1, r.rows - 1));
  int first = 0;
  if (c.curSel >= shown) first = c.curSel - shown + 1;
  Rect box{r.row + 1, r.col, shown + 2, r.cols};
  canvas.Fill(box, L' ', 0);
  canvas.Frame(box, 0);
  for (int i = 0; i < shown; ++i) {
    int index = first + i;
    Rect entry{box.row + 1 + i, box.col + 1, 1, box.cols - 2};
    canvas.Fill(entry, L' ', index == c.curSel ? kReverse : 0);
    canvas.Put(entry.row, entry.col, text::Decode(c.items[static_cast<std::size_t>(index)], false),
               index == c.curSel ? kReverse : 0, entry.cols);
    canvas.hits.push_back({Hit::ListEntry, c.handle, index, entry});
  }
}

void DrawDialog(Canvas& canvas, const WindowView& w, const Rect& outer, bool active) {
  Rect client{outer.row + 1, outer.col + 1, outer.rows - 2, outer.cols - 2};
  canvas.Fill(outer, L' ', 0);
  canvas.hits.push_back({Hit::Window, w.handle, 0, outer});
  DrawTitle(canvas, outer, w, active, (w.style & WS_SYSMENU) != 0);
  auto cellsOf = [&](const WindowView& c) {
    Rect r = CellsOf(c.x, c.y, c.cx, c.cy);
    r.row += client.row;
    r.col += client.col;
    r.cols = std::min(r.cols, client.col + client.cols - r.col);
    return r;
  };
  // Group boxes first: they frame the controls drawn over them.
  for (const WindowView& c : w.children) {
    if (c.visible && c.kind == Kind::GroupBox) DrawGroup(canvas, cellsOf(c), c);
  }
  const WindowView* dropped = nullptr;
  for (const WindowView& c : w.children) {
    if (!c.visible) continue;
    Rect r = cellsOf(c);
    switch (c.kind) {
      case Kind::Static: DrawStatic(canvas, client, r, c); break;
      case Kind::Button: DrawButton(canvas, client, r, c); break;
      case Kind::ProgressBar: DrawBar(canvas, r, c); break;
      case Kind::ComboBox:
        DrawCombo(canvas, {r.row, r.col, 1, r.cols}, c, active);
        if (c.dropped) dropped = &c;
        break;
      default: break;
    }
  }
  if (dropped) {
    Rect r = cellsOf(*dropped);
    r.rows = std::min(r.rows, canvas.rows() - r.row - 1);
    DrawList(canvas, r, *dropped);
  }
}

// A message box: the text, wrapped to fit the screen, and its buttons below, centred.
void DrawMessageBox(Canvas& canvas, const WindowView& w, bool active) {
  bool question = (w.boxType & MB_ICONQUESTION) != 0;
  int mark = question ? 4 : 0;
  int maxText = std::max(10, canvas.cols() - 6 - mark);
  text::Line body = text::Decode(w.body, false);
  std::vector<text::Line> lines = text::Wrap(body, maxText);
  int textWidth = 0;
  for (const text::Line& l : lines) textWidth = std::max(textWidth, text::Width(l));
  std::vector<text::Line> labels;
  int buttonsWidth = 0;
  for (const WindowView& b : w.children) {
    text::Line label = Plain("[ ");
    text::Line inner = text::Decode(b.text, true);
    label.insert(label.end(), inner.begin(), inner.end());
    text::Line close = Plain(" ]");
    label.insert(label.end(), close.begin(), close.end());
    buttonsWidth += text::Width(label) + 2;
    labels.push_back(label);
  }
  int captionWidth = text::Width(text::Decode(w.text, false)) + 8;
  int inner = std::max({textWidth + mark, buttonsWidth, captionWidth, 20});
  inner = std::min(inner, canvas.cols() - 4);
  int rows = static_cast<int>(lines.size()) + 6;
  Rect outer{(canvas.rows() - rows) / 2, (canvas.cols() - inner - 4) / 2, rows, inner + 4};
  outer = PlaceInView(outer, canvas);
  canvas.Fill(outer, L' ', 0);
  canvas.hits.push_back({Hit::Window, w.handle, 0, outer});
  DrawTitle(canvas, outer, w, active, (w.boxType & 0x0F) == MB_OK);
  int textCol = outer.col + 2;
  if (question) canvas.Put(outer.row + 2, textCol, Plain("(?)"), kBold, 3);
  DrawText(canvas, outer.row + 2, textCol + mark, lines, 0, inner - mark, outer.row + outer.rows - 4);
  int col = outer.col + (outer.cols - buttonsWidth + 2) / 2;
  int row = outer.row + outer.rows - 3;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const WindowView& b = w.children[i];
    int width = text::Width(labels[i]);
    canvas.Put(row, col, labels[i], b.focused ? kReverse : 0, width);
    canvas.hits.push_back({Hit::Press, b.handle, 0, {row, col, 1, width}});
    col += width + 2;
  }
}

}  // namespace

Rect CellsOf(int x, int y, int cx, int cy) {
  Rect r;
  r.col = Round(x / 4.0);
  r.row = Round(y / 8.0);
  r.cols = std::max(1, Round((x + cx) / 4.0) - r.col);
  r.rows = std::max(1, Round((y + cy) / 8.0) - r.row);
  return r;
}

Canvas::Canvas(int rows, int cols, bool lineDrawing)
    : rows_(std::max(1, rows)), cols_(std::max(1, cols)), lineDrawing_(lineDrawing),
      cells_(static_cast<std::size_t>(rows_ * cols_)) {}

void Canvas::Set(int r, int c, wchar_t ch, int width, int attributes) {
  if (r < 0 || r >= rows_ || c < 0 || c + width > cols_) return;
  Cell& cell = cells_[static_cast<std::size_t>(r * cols_ + c)];
  // Overwriting half of a full-width character blanks its other half.
  if (cell.width == 0 && c > 0) cells_[static_cast<std::size_t>(r * cols_ + c - 1)] = Cell{};
  if (cell.width == 2 && c + 1 < cols_) cells_[static_cast<std::size_t>(r * cols_ + c + 1)] = Cell{};
  cell = Cell{ch, width, attributes};
  if (width == 2) {
    Cell& right = cells_[static_cast<std::size_t>(r * cols_ + c + 1)];
    if (right.width == 2 && c + 2 < cols_) cells_[static_cast<std::size_t>(r * cols_ + c + 2)] = Cell{};
    right = Cell{L'\0', 0, attributes};
  }
}

int Canvas::Put(int r, int c, const text::Line& line, int attributes, int limit) {
  int used = 0;
  for (const text::Glyph& g : line) {
    if (used + g.width > limit) break;
    Set(r, c + used, g.ch, g.width, attributes | (g.mnemonic ? kUnderline : 0));
    used += g.width;
  }
  return used;
}

void Canvas::Fill(const Rect& rect, wchar_t ch, int attributes) {
  for (int r = rect.row; r < rect.row + rect.rows; ++r) {
    for (int c = rect.col; c < rect.col + rect.cols; ++c) Set(r, c, ch, 1, attributes);
  }
}

void Canvas::HLine(int r, int c, int n, int attributes) {
  for (int i = 0; i < n; ++i) Set(r, c + i, lineDrawing_ ? L'─' : L'-', 1, attributes);
}

void Canvas::Frame(const Rect& rect, int attributes) {
  if (rect.rows < 2 || rect.cols < 2) return;
  const int bottom = rect.row + rect.rows - 1, right = rect.col + rect.cols - 1;
  HLine(rect.row, rect.col + 1, rect.cols - 2, attributes);
  HLine(bottom, rect.col + 1, rect.cols - 2, attributes);
  for (int r = rect.row + 1; r < bottom; ++r) {
    Set(r, rect.col, lineDrawing_ ? L'│' : L'|', 1, attributes);
    Set(r, right, lineDrawing_ ? L'│' : L'|', 1, attributes);
  }
  Set(rect.row, rect.col, lineDrawing_ ? L'┌' : L'+', 1, attributes);
  Set(rect.row, right, lineDrawing_ ? L'┐' : L'+', 1, attributes);
  Set(bottom, rect.col, lineDrawing_ ? L'└' : L'+', 1, attributes);
  Set(bottom, right, lineDrawing_ ? L'┘' : L'+', 1, attributes);
}

wchar_t Canvas::Block(bool filled) const {
  if (lineDrawing_) return filled ? L'█' : L'░';
  return filled ? L'#' : L'.';
}

void Compose(Canvas& canvas, const std::vector<WindowView>& views) {
  std::map<HWND, Rect> clients;  // client areas of the windows placed so far
  HWND active = nullptr;
  for (const WindowView& w : views) {
    if (w.visible && !w.ended && w.enabled) active = w.handle;
  }
  for (const WindowView& w : views) {
    if (!w.visible || w.ended) continue;
    if (w.kind == Kind::MessageBox) {
      DrawMessageBox(canvas, w, w.handle == active);
      continue;
    }
    Rect origin;
    if (auto it = clients.find(w.owner); it != clients.end()) origin = it->second;
    // The client area takes the dialog's own size in cells, wherever the dialog stands.
    Rect outer{origin.row + Round(w.y / 8.0), origin.col + Round(w.x / 4.0), std::max(1, Round(w.cy / 8.0)) + 2,
               std::max(1, Round(w.cx / 4.0)) + 2};
    outer = PlaceInView(outer, canvas);
    clients[w.handle] = {outer.row + 1, outer.col + 1, outer.rows - 2, outer.cols - 2};
    DrawDialog(canvas, w, outer, w.handle == active);
  }
}

}  // namespace platform::win::terminal
