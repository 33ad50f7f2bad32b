#include "win/ui/util/sys_colors.h"

#include "core/ui/colors.h"

namespace mw::ui {
namespace {

Colour SystemColour(int index, void*) { return GetSysColor(index); }

// 256 colours or fewer.
bool LowColourDisplay(HDC screen) {
  return screen != nullptr &&
         GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES) <= 8;
}

}  // namespace

COLORREF GetSysColorEx(int index) {
  HDC screen = GetDC(nullptr);
  const bool low = LowColourDisplay(screen);
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return ResolveSysColourEx(index, SystemColour, nullptr, low);
}

COLORREF GetNearestSysColorEx(int index) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = ResolveSysColourEx(index, SystemColour, nullptr,
                                             LowColourDisplay(screen));
  COLORREF nearest = colour;
  if (screen != nullptr) {
    if (colour != CLR_INVALID) nearest = GetNearestColor(screen, colour);
    ReleaseDC(nullptr, screen);
  }
  return nearest;
}

}  // namespace mw::ui
