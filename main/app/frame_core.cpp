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

FrameLayout ComputeFrameLayout(const FrameLayoutInput& in) {
  FrameLayout out;
  int width = std::max(in.width, 0), height = std::max(in.height, 0);
  int top = 0, bottom = height, left = 0;
  if (in.toolbarHeight > 0) {
    out.toolbar = {0, 0, width, in.toolbarHeight};
    top = in.toolbarHeight;
  }
  if (in.statusHeight > 0) {
    out.status = {0, height - in.statusHeight, width, height};
    bottom = height - in.statusHeight;
  }
  if (bottom < top) bottom = top;
  if (in.treeWidth > 0) {
    left = std::min(in.treeWidth, width);
    out.tree = {0, top, left, bottom};
  }
  if (in.editor || in.log) {
    int h = std::clamp((bottom - top) / 3, 60, 220);
    h = std::min(h, bottom - top);
    int split = in.editor && in.log ? left + (width - left) / 2 : (in.editor ? width : left);
    if (in.editor) out.editor = {left, bottom - h, split, bottom};
    if (in.log) out.log = {split, bottom - h, width, bottom};
    bottom -= h;
  }
  int tabs = std::min(in.tabsHeight, bottom - top);
  out.tabs = {left, top, width, top + tabs};
  out.client = {left, top + tabs, width, bottom};
  return out;
}

}  // namespace lx
