#include "core/ui/static_layout.h"

#include <algorithm>
#include <cstdint>

namespace mw {
namespace {

UiRect CentredAt(const UiRect& content, int width, int height) {
  const int left = content.left + (content.Width() - width) / 2;
  const int top = content.top + (content.Height() - height) / 2;
  return {left, top, left + width, top + height};
}

int Scale(int value, int numerator, int denominator) {
  return static_cast<int>(static_cast<std::int64_t>(value) * numerator / denominator);
}

// The largest size of the picture's shape inside `width` x `height`.
void FitInside(int& w, int& h, int width, int height) {
  if (static_cast<std::int64_t>(width) * h <= static_cast<std::int64_t>(height) * w) {
    h = Scale(h, width, w);
    w = width;
  } else {
    w = Scale(w, height, h);
    h = height;
  }
}

}  // namespace

StaticTextStyle DecodeStaticStyle(unsigned style) {
  StaticTextStyle s;
  const unsigned align = style & kStaticAlignMask;
  if (align == 1) {
    s.align = TextAlign::kCentre;
  } else if (align == 2) {
    s.align = TextAlign::kRight;
    s.wordWrap = false;
  } else if (align == 12) {
    s.wordWrap = false;
  }
  s.frame = align >= 4 && align <= 9;
  s.singleLine = (style & kStaticSingleLineMask) != 0;
  if (s.singleLine) s.wordWrap = false;
  s.ellipsis = (style & kStaticEllipsis) != 0;
  s.noPrefix = (style & kStaticNoPrefix) != 0;
  s.link = (style & kStaticLink) != 0;
  return s;
}

UiRect PlaceStaticPicture(unsigned style, bool dib, const UiRect& content, int width,
                          int height) {
  if (width <= 0 || height <= 0) return {};
  const int cw = std::max(content.Width(), 0);
  const int ch = std::max(content.Height(), 0);
  int w = width;
  int h = height;
  if (dib && (style & kStaticFitDib) != 0) {
    if (cw == 0 || ch == 0) return {content.left, content.top, content.left, content.top};
    FitInside(w, h, cw, ch);
    if (w > 2 * width || h > 2 * height) {  // at most twice the picture's own size
      w = 2 * width;
      h = 2 * height;
    }
    return CentredAt(content, w, h);
  }
  if (!dib && (style & kStaticStretch) != 0) return {content.left, content.top,
                                                    content.left + cw, content.top + ch};
  if ((style & kStaticShrink) != 0 && (width > cw || height > ch)) {
    if (!dib) return {content.left, content.top, content.left + cw, content.top + ch};
    h = Scale(height, cw, width);  // fitted to the control's width
    w = cw;
    return CentredAt(content, w, h);
  }
  if (dib && (style & kStaticStretch) != 0 && width > cw) {
    h = Scale(height, cw, width);  // fitted to the width, never enlarged
    w = cw;
  }
  return CentredAt(content, w, h);
}

}  // namespace mw
