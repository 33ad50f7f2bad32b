// Where a window goes when it is placed over a reference rectangle: the arithmetic of the
// window-placing function, free of the window system.
#pragma once

#include "core/ui/ui_rect.h"

namespace mw {

enum class PlaceMode {
  kCentred,        // centred both ways
  kUpperThird,     // centred horizontally, the top a third of the free height down
  kOnPoint,        // centred on a point (the pointer or a given one)
};

// The top-left corner for a window of `width` x `height` placed over `reference` (or on
// `x`, `y` for kOnPoint), then moved where needed to lie within `workArea` (its left and top
// edges win when the window is larger than the work area).
void PlaceRect(int width, int height, const UiRect& reference, PlaceMode mode, int x, int y,
               const UiRect& workArea, int* left, int* top);

}  // namespace mw
