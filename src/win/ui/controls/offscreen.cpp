#include "win/ui/controls/offscreen.h"

namespace mw::ui {

OffscreenDC::OffscreenDC(HDC target, const RECT& area, HDC sharedMemory)
    : target_(target), area_(area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return;
  ownMemory_ = sharedMemory == nullptr;
  memory_ = ownMemory_ ? CreateCompatibleDC(target) : sharedMemory;
  if (memory_ == nullptr) return;
  bitmap_ = CreateCompatibleBitmap(target, width, height);
  if (bitmap_ == nullptr) {
    if (ownMemory_) DeleteDC(memory_);
    memory_ = nullptr;
    return;
  }
  // A borrowed context is handed back as it was found.
  if (!ownMemory_) savedState_ = SaveDC(memory_);
  previous_ = SelectObject(memory_, bitmap_);
  SetWindowOrgEx(memory_, area.left, area.top, nullptr);
}

OffscreenDC::~OffscreenDC() {
  if (memory_ == nullptr) return;
  BitBlt(target_, area_.left, area_.top, area_.right - area_.left, area_.bottom - area_.top,
         memory_, area_.left, area_.top, SRCCOPY);
  SelectObject(memory_, previous_);
  DeleteObject(bitmap_);
  if (ownMemory_) {
    DeleteDC(memory_);
  } else if (savedState_ != 0) {
    RestoreDC(memory_, savedState_);
  }
}

}  // namespace mw::ui
