#include "core/ui/logo_layout.h"

#include <algorithm>

namespace mw {

LogoLayout LayOutLogo(int clientWidth, int clientHeight, int pictureWidth, bool hasCaption,
                      LogoItemBox* items, std::size_t count) {
  clientWidth = std::max(clientWidth, 0);
  clientHeight = std::max(clientHeight, 0);
  LogoLayout layout;
  layout.picture = {0, 0, std::min(std::max(pictureWidth, 0), clientWidth), clientHeight};

  // What lies right of the picture, one pixel inside the client on every side.
  const int areaLeft = layout.picture.right + 1;
  const int areaTop = std::min(1, clientHeight);
  const int areaBottom = std::max(clientHeight - 1, areaTop);
  int right = std::max(clientWidth - 2, areaLeft);
  for (std::size_t i = count; i-- > 0;) {
    const int room = right - areaLeft;
    const int width = std::min(std::max(items[i].textWidth, 0) + 8, room);
    items[i].rect = {right - width, areaTop, right, areaBottom};
    right -= width;
  }
  if (count > 0) {
    layout.items = {right, areaTop, std::max(clientWidth - 1, right), areaBottom};
  }
  if (hasCaption && right > areaLeft) {
    layout.caption = {areaLeft, areaTop, right, areaBottom};
  }
  return layout;
}

int HitTestLogo(const LogoLayout& layout, LogoItemBox* items, std::size_t count, int x, int y,
                int controlId) {
  int result = -1;
  bool overItem = false;
  for (std::size_t i = count; i-- > 0;) {
    items[i].hot = items[i].rect.Contains(x, y);
    if (items[i].hot) {
      result = items[i].command;  // the last assignment is the first item in list order
      overItem = true;
    }
  }
  if (overItem) return result;
  if (layout.picture.Contains(x, y)) return controlId;
  if (layout.caption.Contains(x, y)) return 0;
  return -1;
}

}  // namespace mw
