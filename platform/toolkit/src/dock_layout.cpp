#include "lxdock.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <utility>

namespace lx {
namespace dock {

namespace {

bool Docked(const Pane& p) { return p.visible && !p.floating; }
bool AcrossTopOrBottom(Side side) { return side == kTop || side == kBottom; }
int Thickness(const Pane& p) { return AcrossTopOrBottom(p.side) ? p.height : p.width; }

// The docked panes grouped into rows, rows in the order they are taken from the area, each
// row's panes in their order along it.
std::vector<std::vector<size_t>> Rows(const std::vector<Pane>& panes) {
  std::map<std::pair<int, int>, std::vector<size_t>> rows;
  for (size_t i = 0; i < panes.size(); ++i)
    if (Docked(panes[i])) rows[{panes[i].row, static_cast<int>(panes[i].side)}].push_back(i);
  std::vector<std::vector<size_t>> out;
  for (auto& entry : rows) {
    std::vector<size_t>& members = entry.second;
    std::stable_sort(members.begin(), members.end(),
                     [&](size_t a, size_t b) { return panes[a].order < panes[b].order; });
    out.push_back(members);
  }
  return out;
}

std::vector<size_t> RowOf(const std::vector<Pane>& panes, size_t index) {
  for (const std::vector<size_t>& row : Rows(panes))
    if (std::find(row.begin(), row.end(), index) != row.end()) return row;
  return {};
}

int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

}  // namespace

Layout ComputeLayout(const Rect& area, const std::vector<Pane>& panes) {
  Layout out;
  out.panes.resize(panes.size());
  Rect rest = area;
  if (rest.right < rest.left) rest.right = rest.left;
  if (rest.bottom < rest.top) rest.bottom = rest.top;
  for (const std::vector<size_t>& row : Rows(panes)) {
    Side side = panes[row.front()].side;
    bool across = AcrossTopOrBottom(side);
    int thick = 0;
    for (size_t i : row) thick = std::max(thick, Thickness(panes[i]));
    thick = std::max(thick, kMinPane);
    int room = (across ? rest.Height() : rest.Width()) - kMinCenter - kSplitter;
    if (thick > room) thick = room;
    if (thick <= 0) continue;  // no room left: the row waits for a larger frame

    Rect strip = rest, bar = rest;
    switch (side) {
      case kLeft:
        strip.right = rest.left + thick;
        bar.left = strip.right;
        bar.right = bar.left + kSplitter;
        rest.left = bar.right;
        break;
      case kRight:
        strip.left = rest.right - thick;
        bar.right = strip.left;
        bar.left = bar.right - kSplitter;
        rest.right = bar.left;
        break;
      case kTop:
        strip.bottom = rest.top + thick;
        bar.top = strip.bottom;
        bar.bottom = bar.top + kSplitter;
        rest.top = bar.bottom;
        break;
      case kBottom:
        strip.top = rest.bottom - thick;
        bar.bottom = strip.top;
        bar.top = bar.bottom - kSplitter;
        rest.bottom = bar.top;
        break;
    }
    Splitter thickness;
    thickness.kind = Splitter::kThickness;
    thickness.rect = bar;
    thickness.pane = row.front();
    thickness.vertical = !across;
    out.splitters.push_back(thickness);

    // Along the row: lengths by share, a splitter between neighbours.
    int start = across ? strip.left : strip.top;
    int end = across ? strip.right : strip.bottom;
    int count = static_cast<int>(row.size());
    int length = std::max(0, end - start - (count - 1) * kSplitter);
    long long total = 0;
    for (size_t i : row) total += std::max(panes[i].share, 1);
    int pos = start;
    for (int k = 0; k < count; ++k) {
      size_t i = row[static_cast<size_t>(k)];
      int len = k == count - 1 ? std::max(0, end - pos)
                               : static_cast<int>(length * static_cast<long long>(std::max(panes[i].share, 1)) / total);
      Rect r = strip;
      if (across) {
        r.left = pos;
        r.right = pos + len;
      } else {
        r.top = pos;
        r.bottom = pos + len;
      }
      out.panes[i] = r;
      pos += len;
      if (k == count - 1) break;
      Splitter between;
      between.kind = Splitter::kShare;
      between.pane = i;
      between.vertical = across;
      between.rect = strip;
      if (across) {
        between.rect.left = pos;
        between.rect.right = pos + kSplitter;
      } else {
        between.rect.top = pos;
        between.rect.bottom = pos + kSplitter;
      }
      out.splitters.push_back(between);
      pos += kSplitter;
    }
  }
  out.center = rest;
  return out;
}

int SplitterAt(const Layout& layout, int x, int y) {
  for (size_t i = 0; i < layout.splitters.size(); ++i)
    if (layout.splitters[i].rect.Contains(x, y)) return static_cast<int>(i);
  return -1;
}

void DragSplitter(std::vector<Pane>& panes, const Rect& area, const Layout& layout, size_t index, int dx, int dy) {
  (void)area;
  if (index >= layout.splitters.size()) return;
  const Splitter& s = layout.splitters[index];
  if (s.pane >= panes.size()) return;
  std::vector<size_t> row = RowOf(panes, s.pane);
  if (row.empty()) return;
  Side side = panes[s.pane].side;
  bool across = AcrossTopOrBottom(side);
  if (s.kind == Splitter::kThickness) {
    int delta = side == kLeft ? dx : side == kRight ? -dx : side == kTop ? dy : -dy;
    const Rect& now = layout.panes[s.pane];
    int current = across ? now.Height() : now.Width();
    int spare = (across ? layout.center.Height() : layout.center.Width()) - kMinCenter;
    int high = current + std::max(spare, 0);
    int value = Clamp(current + delta, std::min(kMinPane, high), high);
    for (size_t i : row) (across ? panes[i].height : panes[i].width) = value;
    return;
  }
  auto at = std::find(row.begin(), row.end(), s.pane);
  if (at == row.end() || at + 1 == row.end()) return;
  size_t a = *at, b = *(at + 1);
  // Shares become the pixel lengths they give now, so only the two neighbours change.
  for (size_t i : row) {
    const Rect& r = layout.panes[i];
    panes[i].share = std::max(across ? r.Width() : r.Height(), 1);
  }
  int la = panes[a].share, lb = panes[b].share;
  if (la + lb < 2 * kMinPane) return;
  int moved = Clamp(la + (across ? dx : dy), kMinPane, la + lb - kMinPane);
  panes[a].share = moved;
  panes[b].share = la + lb - moved;
}

Drop DropAt(const Rect& area, const Layout& layout, const std::vector<Pane>& panes, size_t dragged, int x, int y) {
  Drop drop;
  if (!area.Contains(x, y)) return drop;
  int distance[4] = {x - area.left, y - area.top, area.right - 1 - x, area.bottom - 1 - y};
  int nearest = 0;
  for (int s = 1; s < 4; ++s)
    if (distance[s] < distance[nearest]) nearest = s;
  if (distance[nearest] < kEdgeDrop) {
    drop.kind = Drop::kEdge;
    drop.side = static_cast<Side>(nearest);
    return drop;
  }
  for (size_t i = 0; i < panes.size() && i < layout.panes.size(); ++i) {
    if (i == dragged || !Docked(panes[i]) || !layout.panes[i].Contains(x, y)) continue;
    drop.kind = Drop::kBeside;
    drop.target = i;
    return drop;
  }
  return drop;
}

void NormalizeRows(std::vector<Pane>& panes) {
  std::vector<int> rows;
  for (const Pane& p : panes) rows.push_back(p.row);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (Pane& p : panes)
    p.row = static_cast<int>(std::lower_bound(rows.begin(), rows.end(), p.row) - rows.begin()) + 1;
}

void DockAtEdge(std::vector<Pane>& panes, size_t index, Side side) {
  if (index >= panes.size()) return;
  int outer = 1;
  bool any = false;
  for (size_t i = 0; i < panes.size(); ++i) {
    if (i == index) continue;
    if (!any || panes[i].row < outer) outer = panes[i].row;
    any = true;
  }
  Pane& p = panes[index];
  p.side = side;
  p.row = any ? outer - 1 : 1;
  p.order = 0;
  p.visible = true;
  p.floating = false;
  NormalizeRows(panes);
}

void DockBeside(std::vector<Pane>& panes, size_t index, size_t target) {
  if (index >= panes.size() || target >= panes.size() || index == target) return;
  std::vector<size_t> row = RowOf(panes, target);
  row.erase(std::remove(row.begin(), row.end(), index), row.end());
  Pane& p = panes[index];
  Pane& t = panes[target];
  p.side = t.side;
  p.row = t.row;
  p.width = t.width;
  p.height = t.height;
  p.visible = true;
  p.floating = false;
  int half = std::max(t.share / 2, 1);
  p.share = half;
  t.share = std::max(t.share - half, 1);
  int order = 0;
  for (size_t i : row) {
    panes[i].order = order++;
    if (i == target) p.order = order++;
  }
}

std::string SerializeLayout(const std::vector<Pane>& panes) {
  std::ostringstream out;
  out << "LXDOCK1";
  for (const Pane& p : panes) {
    out << ';' << p.id << ',' << static_cast<int>(p.side) << ',' << p.row << ',' << p.order << ',' << p.width << ','
        << p.height << ',' << p.share << ',' << (p.visible ? 1 : 0) << ',' << (p.floating ? 1 : 0) << ','
        << p.floatRect.left << ',' << p.floatRect.top << ',' << p.floatRect.right << ',' << p.floatRect.bottom;
  }
  return out.str();
}

namespace {

// One decimal integer of the text, whole and within [low, high].
bool Number(const std::string& field, long low, long high, long& value) {
  if (field.empty() || field.size() > 12) return false;
  size_t i = field[0] == '-' ? 1 : 0;
  if (i == field.size()) return false;
  for (size_t k = i; k < field.size(); ++k)
    if (field[k] < '0' || field[k] > '9') return false;
  value = std::strtol(field.c_str(), nullptr, 10);
  return value >= low && value <= high;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == separator) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

}  // namespace

bool ParseLayout(const std::string& text, std::vector<Pane>& panes) {
  std::vector<std::string> entries = Split(text, ';');
  if (entries.empty() || entries[0] != "LXDOCK1") return false;
  std::vector<Pane> result = panes;
  std::vector<bool> seen(panes.size(), false);
  constexpr long kCoord = 100000;
  for (size_t e = 1; e < entries.size(); ++e) {
    std::vector<std::string> f = Split(entries[e], ',');
    if (f.size() != 13) return false;
    long v[13];
    static const long low[13] = {0, 0, -1000, 0, 0, 0, 1, 0, 0, -kCoord, -kCoord, -kCoord, -kCoord};
    static const long high[13] = {0xFFFFFFFL, 3, 1000, 1000, kCoord, kCoord, 1000000, 1, 1, kCoord, kCoord, kCoord, kCoord};
    for (size_t k = 0; k < 13; ++k)
      if (!Number(f[k], low[k], high[k], v[k])) return false;
    if (v[11] < v[9] || v[12] < v[10]) return false;
    size_t at = panes.size();
    for (size_t i = 0; i < panes.size(); ++i)
      if (panes[i].id == static_cast<unsigned>(v[0])) at = i;
    if (at == panes.size()) continue;  // a pane this program no longer has
    if (seen[at]) return false;
    seen[at] = true;
    Pane& p = result[at];
    p.side = static_cast<Side>(v[1]);
    p.row = static_cast<int>(v[2]);
    p.order = static_cast<int>(v[3]);
    p.width = static_cast<int>(v[4]);
    p.height = static_cast<int>(v[5]);
    p.share = static_cast<int>(v[6]);
    p.visible = v[7] != 0;
    p.floating = v[8] != 0;
    p.floatRect = {static_cast<int>(v[9]), static_cast<int>(v[10]), static_cast<int>(v[11]), static_cast<int>(v[12])};
  }
  panes = result;
  return true;
}

Rect KeepReachable(const Rect& window, const Rect& workArea) {
  constexpr int kGrip = 40;  // of the caption that must stay on the screen
  Rect r = window;
  int w = std::max(r.Width(), 2 * kMinPane), h = std::max(r.Height(), 2 * kMinPane);
  w = std::min(w, std::max(workArea.Width(), kGrip));
  h = std::min(h, std::max(workArea.Height(), kGrip));
  r.right = r.left + w;
  r.bottom = r.top + h;
  int dx = 0, dy = 0;
  if (r.right < workArea.left + kGrip) dx = workArea.left + kGrip - r.right;
  if (r.left > workArea.right - kGrip) dx = workArea.right - kGrip - r.left;
  if (r.top < workArea.top) dy = workArea.top - r.top;
  if (r.top > workArea.bottom - kGrip) dy = workArea.bottom - kGrip - r.top;
  r.left += dx;
  r.right += dx;
  r.top += dy;
  r.bottom += dy;
  return r;
}

}  // namespace dock
}  // namespace lx
