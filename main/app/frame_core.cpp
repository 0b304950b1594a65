#include "frame_core.h"

#include <algorithm>

namespace lx {

std::vector<std::string> ParseHistory(const std::string& bytes) {
  std::vector<std::string> entries;
  std::string line;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r') {
      line += bytes[i];
      continue;
    }
    ++i;  // the LF after the CR, whatever it is
    if (!line.empty()) entries.push_back(line);
    line.clear();
  }
  if (!line.empty()) entries.push_back(line);
  return entries;
}

std::string HistoryText(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) {
    if (entry.empty()) continue;
    text += entry;
    text += "\r\n";
  }
  return text;
}

std::vector<dock::Pane> DefaultFramePanes() {
  std::vector<dock::Pane> panes(3);
  panes[0].id = kPaneVolumeTree;
  panes[0].side = dock::kLeft;
  panes[0].row = 1;
  panes[0].width = 200;
  panes[1].id = kPaneScriptEditor;
  panes[1].side = dock::kBottom;
  panes[1].row = 2;
  panes[1].height = 160;
  panes[2].id = kPaneScriptLog;
  panes[2].side = dock::kBottom;
  panes[2].row = 2;
  panes[2].order = 1;
  panes[2].height = 160;
  return panes;
}

FrameLayout ComputeFrameLayout(const FrameLayoutInput& in, const std::vector<dock::Pane>& panes) {
  FrameLayout out;
  int width = std::max(in.width, 0), height = std::max(in.height, 0);
  int top = 0, bottom = height;
  if (in.toolbarHeight > 0) {
    top = std::min(in.toolbarHeight, height);
    out.toolbar = {0, 0, width, top};
  }
  if (in.statusHeight > 0) {
    bottom = std::max(height - in.statusHeight, top);
    out.status = {0, bottom, width, height};
  }
  out.dockArea = {0, top, width, bottom};
  out.dock = dock::ComputeLayout(dock::Rect{0, top, width, bottom}, panes);
  const dock::Rect& c = out.dock.center;
  int tabs = std::min(std::max(in.tabsHeight, 0), c.Height());
  out.tabs = {c.left, c.top, c.right, c.top + tabs};
  out.client = {c.left, c.top + tabs, c.right, c.bottom};
  return out;
}

}  // namespace lx
