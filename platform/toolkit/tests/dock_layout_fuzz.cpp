// Any stored layout text either parses into panes that lay out without negative sizes and
// write back to text that parses to the same panes, or is refused and changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lxdock.h"

using namespace lx::dock;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<Pane> panes(3);
  panes[0].id = 23368;
  panes[1].id = 32797;
  panes[2].id = 32798;
  const std::string before = SerializeLayout(panes);
  if (!ParseLayout(text, panes)) {
    if (SerializeLayout(panes) != before) std::abort();
    return 0;
  }
  Layout l = ComputeLayout(Rect{0, 0, 800, 600}, panes);
  for (const Rect& r : l.panes)
    if (r.right < r.left || r.bottom < r.top) std::abort();
  if (l.center.Width() < 0 || l.center.Height() < 0) std::abort();
  std::vector<Pane> again(3);
  again[0].id = 23368;
  again[1].id = 32797;
  again[2].id = 32798;
  if (!ParseLayout(SerializeLayout(panes), again) || SerializeLayout(again) != SerializeLayout(panes)) std::abort();
  Rect reach = KeepReachable(panes[0].floatRect, Rect{0, 0, 1280, 1024});
  if (reach.right < reach.left || reach.bottom < reach.top) std::abort();
  return 0;
}
