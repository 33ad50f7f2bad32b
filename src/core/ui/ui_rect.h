// A rectangle in pixels as the window system uses them: left and top inside, right and
// bottom just outside.
#pragma once

namespace mw {

struct UiRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

inline bool operator==(const UiRect& a, const UiRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const UiRect& a, const UiRect& b) { return !(a == b); }

}  // namespace mw
