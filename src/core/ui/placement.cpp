#include "core/ui/placement.h"

namespace mw {

void PlaceRect(int width, int height, const UiRect& reference, PlaceMode mode, int x, int y,
               const UiRect& workArea, int* left, int* top) {
  int l;
  int t;
  switch (mode) {
    case PlaceMode::kUpperThird:
      l = reference.left + (reference.Width() - width) / 2;
      t = reference.top + (reference.Height() - height) / 3;
      break;
    case PlaceMode::kOnPoint:
      l = x - width / 2;
      t = y - height / 2;
      break;
    default:
      l = reference.left + (reference.Width() - width) / 2;
      t = reference.top + (reference.Height() - height) / 2;
      break;
  }
  if (l + width > workArea.right) l = workArea.right - width;
  if (l < workArea.left) l = workArea.left;
  if (t + height > workArea.bottom) t = workArea.bottom - height;
  if (t < workArea.top) t = workArea.top;
  *left = l;
  *top = t;
}

}  // namespace mw
