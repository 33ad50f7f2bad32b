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

// The window's state pointer kept in its window bytes at `offset`.
template <class State>
State* WindowState(HWND window, int offset = 0) {
  return reinterpret_cast<State*>(GetWindowLongPtrA(window, offset));
}

}  // namespace mw::ui
