#include "win/ui/controls/offscreen.h"

namespace mw::ui {

OffscreenDC::OffscreenDC(HDC target, const RECT& area) : target_(target), area_(area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return;
  memory_ = CreateCompatibleDC(target);
  if (memory_ == nullptr) return;
  bitmap_ = CreateCompatibleBitmap(target, width, height);
  if (bitmap_ == nullptr) {
    DeleteDC(memory_);
    memory_ = nullptr;
    return;
  }
  previous_ = SelectObject(memory_, bitmap_);
  SetWindowOrgEx(memory_, area.left, area.top, nullptr);
}

OffscreenDC::~OffscreenDC() {
  if (memory_ == nullptr) return;
  BitBlt(target_, area_.left, area_.top, area_.right - area_.left, area_.bottom - area_.top,
         memory_, area_.left, area_.top, SRCCOPY);
  SelectObject(memory_, previous_);
  DeleteObject(bitmap_);
  DeleteDC(memory_);
}

}  // namespace mw::ui
