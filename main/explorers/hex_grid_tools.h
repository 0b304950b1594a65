// What the hex explorers do alike with their grids: an editor placed exactly over a cell, a typed
// byte stored with its character, a found byte marked on its row label and column header and the
// header colour put back, and controls kept at their distance to the bottom edge while the grid
// takes the height.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lumivex/grid.h"

// Makes (row, col) the current cell and answers its rectangle in the parent's client coordinates
// (the grid's cell geometry is in twips, relative to the grid).
RECT GridCellInParent(CLxGrid& grid, HWND parent, long row, long col);
// Places the editor over the cell with the cell's text, selected and focused.
void OpenCellEditor(CLxGrid& grid, HWND parent, HWND editor, long row, long col, int extraWidth);
// A grid of 16 byte cells a row and their characters in `textCol`: the typed byte goes into the
// cell, its character into the text column and the byte into `bytes` (the grid's rows from 1 on).
// Empty when stored, else why it is no byte (the grid and the bytes are left as they were).
std::string StoreByteCell(CLxGrid& grid, long row, long col, long textCol, const std::string& typed, uint8_t* bytes);
// Colours the label of `row` and the header of `col`, scrolls the row to the top; the current cell stays.
void MarkFoundByte(CLxGrid& grid, long row, long col, COLORREF color);
// Puts `color` back on the labels of rows 1..rows and the headers of columns 1..cols.
void RestoreHeaderColors(CLxGrid& grid, long rows, long cols, COLORREF color);

// Shows the tool right behind the owner in the window order and beside it on the screen, or hides
// it when it is shown.
void ToggleBeside(HWND owner, HWND tool);

class BottomAnchors {
 public:
  // Remembers where the controls and the growing control stand now.
  void Capture(HWND dialog, const std::vector<int>& ids, int growingId);
  // After a size change: the controls keep their distance to the bottom, the growing one the rest.
  void Apply() const;
  bool Empty() const { return anchors_.empty(); }

 private:
  struct Anchor {
    int id;
    RECT rect;
  };
  HWND dialog_ = nullptr;
  int growingId_ = 0;
  int firstClientHeight_ = 0;
  std::vector<Anchor> anchors_;
};
