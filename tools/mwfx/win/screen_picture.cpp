#include "win/screen_picture.h"

namespace mwfx {

bool ReadScreen(const RECT& area, std::vector<std::uint32_t>* pixels) {
  pixels->clear();
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  // Read back through a 32-bit top-down section.
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return false;
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = memory != nullptr && section != nullptr && bits != nullptr;
  if (ok) {
    HGDIOBJ previous = SelectObject(memory, section);
    GdiFlush();
    ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != FALSE;
    GdiFlush();
    if (ok) {
      const auto* source = static_cast<const std::uint32_t*>(bits);
      pixels->assign(source, source + static_cast<std::size_t>(width) * height);
      for (std::uint32_t& p : *pixels) p &= 0xFFFFFFu;
    }
    SelectObject(memory, previous);
  }
  if (section != nullptr) DeleteObject(section);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace mwfx
