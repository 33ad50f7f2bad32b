// Flicker-free painting: drawing goes to a memory bitmap of the area's size and is copied to
// the window in one transfer; when the bitmap or its device context can't be made, drawing
// goes straight to the window. A memory device context can be shared between paintings (it
// is then only borrowed: the bitmap is selected into it and out again).
#pragma once

#include <windows.h>

namespace mw::ui {

class OffscreenDC {
 public:
  OffscreenDC(HDC target, const RECT& area, HDC sharedMemory = nullptr);
  ~OffscreenDC();
  OffscreenDC(const OffscreenDC&) = delete;
  OffscreenDC& operator=(const OffscreenDC&) = delete;

  // Where to draw, in the target's coordinates.
  HDC dc() const { return memory_ != nullptr ? memory_ : target_; }

 private:
  HDC target_;
  RECT area_;
  HDC memory_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  bool ownMemory_ = true;
  int savedState_ = 0;
};

// Answers WM_PAINT and WM_PRINTCLIENT: `paint(dc)` draws the whole client area into the
// printing context, or into the window between BeginPaint and EndPaint.
template <class Paint>
LRESULT PaintMessage(HWND window, UINT message, WPARAM wParam, Paint paint) {
  if (message == WM_PRINTCLIENT) {
    paint(reinterpret_cast<HDC>(wParam));
    return 0;
  }
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  paint(dc);
  EndPaint(window, &ps);
  return 0;
}

// The window's state pointer kept in its window bytes at `offset`.
template <class State>
State* WindowState(HWND window, int offset = 0) {
  return reinterpret_cast<State*>(GetWindowLongPtrA(window, offset));
}

}  // namespace mw::ui
