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

// The top-left corner for a window of `width` x `height` placed over `reference` (or
// centred on `x`, `y` for kOnPoint).
void PlaceRect(int width, int height, const UiRect& reference, PlaceMode mode, int x, int y,
               int* left, int* top);

// Moves a window of `width` x `height` at `left`, `top` where needed to lie within
// `workArea`; its left and top edges win when it is larger than the work area.
void KeepInside(int width, int height, const UiRect& workArea, int* left, int* top);

}  // namespace mw
