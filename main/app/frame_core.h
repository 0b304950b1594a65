// What the main frame computes without windows: the command history file's lines and the
// places of its bars and panes. Portable.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "lxdock.h"

namespace lx {

// The entries of "history.txt": a line ends at CR, and the byte after a CR (the LF) is
// skipped; empty lines are dropped. A file with LF alone is therefore one entry, LFs and all.
std::vector<std::string> ParseHistory(const std::string& bytes);
// The file for the entries: each non-empty one followed by CR LF.
std::string HistoryText(const std::vector<std::string>& entries);

struct FrameRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const FrameRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// The bar ids of the three docking panes (they are also their View commands).
constexpr unsigned kPaneVolumeTree = 23368;
constexpr unsigned kPaneScriptEditor = 32797;
constexpr unsigned kPaneScriptLog = 32798;

// Where the panes start: the volume tree down the left side, the script editor and the log
// side by side along the bottom.
std::vector<dock::Pane> DefaultFramePanes();

struct FrameLayoutInput {
  int width = 0, height = 0;
  int toolbarHeight = 0;  // 0: the toolbar is hidden
  int statusHeight = 0;   // 0: the status bar is hidden
  int tabsHeight = 0;
};

struct FrameLayout {
  FrameRect toolbar, status;
  FrameRect dockArea;  // between the bars: the panes' rows and the center
  dock::Layout dock;
  FrameRect tabs, client;  // the center: tabs of the thread windows over the MDI client
};

// Toolbar across the top, status bar across the bottom, the docked panes in rows between
// them, the tabs and the MDI client in what the rows leave.
FrameLayout ComputeFrameLayout(const FrameLayoutInput& in, const std::vector<dock::Pane>& panes);

}  // namespace lx
