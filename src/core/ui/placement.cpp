#include "core/ui/placement.h"

namespace mw {

void PlaceRect(int width, int height, const UiRect& reference, PlaceMode mode, int x, int y,
               int* left, int* top) {
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
  *left = l;
  *top = t;
}

void KeepInside(int width, int height, const UiRect& workArea, int* left, int* top) {
  if (*left + width > workArea.right) *left = workArea.right - width;
  if (*left < workArea.left) *left = workArea.left;
  if (*top + height > workArea.bottom) *top = workArea.bottom - height;
  if (*top < workArea.top) *top = workArea.top;
}

}  // namespace mw
