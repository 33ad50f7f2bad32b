// Places a window over a reference window, the pointer or a point, inside the work area of
// its monitor, without resizing, activating or reordering it.
#pragma once

#include <windows.h>

namespace mw::ui {

enum PlaceFlags : UINT {
  kPlaceCentred = 0,          // centred both ways
  kPlaceUpperThird = 1,       // centred horizontally, the top a third of the free height down
  kPlaceOnPointer = 2,        // centred on the mouse pointer
  kPlaceOnPoint = 3,          // centred on `point`
  kPlaceModeMask = 0x000F,
  kPlaceClientArea = 0x1000,  // the reference's client area instead of its window rectangle
  kPlaceOverParent = 0x8000,  // the window's parent or owner is the reference
};

// The reference is the given window, or the screen when null; with kPlaceOverParent the
// window's parent or owner, or the screen when that is missing or minimized. Returns false
// when the window could not be moved.
bool PlaceWindow(HWND window, HWND reference, POINT point, UINT flags);

}  // namespace mw::ui
