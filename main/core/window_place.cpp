#include "window_place.h"

namespace lx {

namespace {
int Fit(int low, int high, int size, int margin) {
  int at = low + margin;
  if (at + size > high) at = high - size;
  return at < low ? low : at;
}
}  // namespace

PlacePoint PlaceInside(const PlaceRect& area, int width, int height, int margin) {
  if (margin < 0) margin = 0;
  return {Fit(area.left, area.right, width, margin), Fit(area.top, area.bottom, height, margin)};
}

}  // namespace lx
