#include <gtest/gtest.h>

#include "window_place.h"

namespace {

TEST(WindowPlace, AWindowOpensInsideTheAreaMovedInByTheMarginOrPulledBackToFit) {
  const lx::PlaceRect area{100, 80, 900, 600};  // a frame's client area below its menu bar
  struct Case {
    int width, height, margin;
    int x, y;
  } cases[] = {
      {300, 100, 24, 124, 104},  // room enough: the corner moved in
      {790, 515, 24, 110, 85},   // nearly as large: pulled back so it ends inside
      {800, 520, 24, 100, 80},   // exactly as large: at the corner
      {1200, 900, 24, 100, 80},  // larger: never above or left of the area (the menu bar)
      {300, 100, -5, 100, 80},   // a negative margin counts as none
  };
  for (const Case& c : cases) {
    lx::PlacePoint at = lx::PlaceInside(area, c.width, c.height, c.margin);
    EXPECT_EQ(c.x, at.x) << c.width << "x" << c.height;
    EXPECT_EQ(c.y, at.y) << c.width << "x" << c.height;
  }
}

}  // namespace
