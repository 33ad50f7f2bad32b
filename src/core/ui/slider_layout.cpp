#include "core/ui/slider_layout.h"

#include <algorithm>

namespace mw {
namespace {

constexpr int kTrackbarInset = 5;
constexpr int kTrackbarThumbLength = 12;
constexpr int kTrackbarThumbAcross = 18;
constexpr int kLineButtonsLength = 17;
constexpr int kFaderInset = 8;
constexpr int kFaderGrooveWidth = 5;
constexpr int kFaderThumbLength = 18;
constexpr int kFaderThumbAcross = 13;

// Fills the groove rectangle and the travel from the groove's extent along the travel
// ([from, to) in screen coordinates) and across it.
void PlaceGroove(SliderLayout& l, int from, int to, int acrossStart, int thickness) {
  const Point a = l.Make(from, acrossStart);
  const Point b = l.Make(to, acrossStart + thickness);
  l.groove = Rect{a.x, a.y, b.x, b.y};
  l.travel = std::max(0, to - from - 2);
  // Horizontal: the minimum one pixel inside the left end; vertical: the mirror image.
  l.origin = l.vertical ? to - 1 : from + 1;
}

}  // namespace

Rect SliderLayout::ThumbAt(int thumb, int pixel) const {
  const int i = thumb == 1 && thumbCount > 1 ? 1 : 0;
  const int start = pixel - (thumbLength + 1) / 2;
  const Point a = Make(start, thumbAcrossStart[i]);
  const Point b = Make(start + thumbLength, thumbAcrossEnd[i]);
  return Rect{a.x, a.y, b.x, b.y};
}

SliderLayout LayoutTrackbar(int width, int height, std::uint32_t style) {
  SliderLayout l;
  l.vertical = (style & kTrackbarVertical) != 0;
  l.width = std::max(0, width);
  l.height = std::max(0, height);
  const int along = l.vertical ? l.height : l.width;
  const int across = l.vertical ? l.width : l.height;
  const int thickness =
      (style & kTrackbarThickGroove) && !(style & kTrackbarThinGroove) ? 10 : 3;
  const int buttons = (style & kTrackbarLineButtons) ? kLineButtonsLength : 0;
  l.thumbLength = kTrackbarThumbLength;
  const int thumbAcross = std::min(across, kTrackbarThumbAcross);
  l.thumbAcrossStart[0] = (across - thumbAcross) / 2;
  l.thumbAcrossEnd[0] = l.thumbAcrossStart[0] + thumbAcross;

  int from = kTrackbarInset, to = along - kTrackbarInset;
  const int acrossStart = (across - thickness) / 2;
  if (buttons) {
    // The line buttons sit at the maximum end (the right, or the top when vertical), as wide
    // across as the thumb. The groove stops short of them by the thumb's overhang, so that
    // the thumb at the maximum just touches them instead of covering one.
    const int bFrom = l.vertical ? from : to - buttons;
    const Point a = l.Make(bFrom, l.thumbAcrossStart[0]);
    const Point b = l.Make(bFrom + buttons, l.thumbAcrossEnd[0]);
    l.buttons = Rect{a.x, a.y, b.x, b.y};
    const int overhang = (l.thumbLength + 1) / 2 - 1;
    if (l.vertical) from += buttons + overhang; else to -= buttons + overhang;
  }
  PlaceGroove(l, from, to, acrossStart, thickness);
  l.valid = across >= thickness && to - from >= 3;
  if (!l.valid) l.buttons = Rect{};
  return l;
}

SliderLayout LayoutFader(int width, int height, std::uint32_t style, int thumbs) {
  SliderLayout l;
  l.vertical = (style & kFaderVertical) != 0;
  l.width = std::max(0, width);
  l.height = std::max(0, height);
  l.thumbCount = thumbs == 2 ? 2 : 1;
  const int along = l.vertical ? l.height : l.width;
  const int across = l.vertical ? l.width : l.height;
  l.thumbLength = kFaderThumbLength;
  const int part = across / l.thumbCount;
  for (int i = 0; i < l.thumbCount; ++i) {
    const int partStart = i * part;
    const int partEnd = i + 1 == l.thumbCount ? across : partStart + part;
    const int w = std::min(kFaderThumbAcross, partEnd - partStart);
    l.thumbAcrossStart[i] = partStart + (partEnd - partStart - w) / 2;
    l.thumbAcrossEnd[i] = l.thumbAcrossStart[i] + w;
  }
  const int from = kFaderInset, to = along - kFaderInset;
  PlaceGroove(l, from, to, (across - kFaderGrooveWidth) / 2, kFaderGrooveWidth);
  l.valid = across >= kFaderGrooveWidth && to - from >= 3;
  return l;
}

}  // namespace mw
