// The trackbar's picture: background, tick marks, the sunken groove with its filled part, the
// line buttons and the raised thumb, all placed by the slider model.
#include <algorithm>

#include "win/ui/controls/slider_paint.h"

namespace mw::ui {
namespace {

// The groove's inside from pixel `from` to `to` along the travel (both included).
Rect AlongSpan(const SliderLayout& l, const Rect& inside, int from, int to) {
  if (l.vertical) return {inside.left, std::max(inside.top, from), inside.right,
                          std::min(inside.bottom, to + 1)};
  return {std::max(inside.left, from), inside.top, std::min(inside.right, to + 1), inside.bottom};
}

void PaintGroove(const SliderModel& m, HDC dc, const SliderColours& c) {
  const SliderLayout& l = m.Layout();
  const bool thick = (l.vertical ? l.groove.right - l.groove.left
                                 : l.groove.bottom - l.groove.top) >= 6;
  const Rect inside = DrawSunken(dc, l.groove, c, thick);
  FillArea(dc, inside, c.channel);
  int from = 0, to = 0;
  m.FillSpan(&from, &to);
  if (!c.disabled) FillArea(dc, AlongSpan(l, inside, from, to), c.fill);
}

// The two line buttons: the first half of their area lowers the value (left, or up when
// vertical: the top is the maximum), the second raises it.
void PaintLineButtons(const SliderModel& m, HDC dc, const SliderColours& c) {
  const SliderLayout& l = m.Layout();
  if (l.buttons.Empty()) return;
  const Rect& b = l.buttons;
  const int start = l.vertical ? b.top : b.left;
  const int half = ((l.vertical ? b.bottom : b.right) - start) / 2;
  for (int zone = 0; zone < 2; ++zone) {
    const int from = zone == 0 ? start : start + half;
    const int to = zone == 0 ? start + half : (l.vertical ? b.bottom : b.right);
    const Rect r = l.vertical ? Rect{b.left, from, b.right, to} : Rect{from, b.top, to, b.bottom};
    const bool pressed = m.PressedZone() == zone && m.PressedZoneHot();
    SliderColours flat = c;
    flat.gradient = false;
    const Rect face = DrawThumb(dc, r, flat, true, pressed);
    ArrowDirection direction;
    if (l.vertical) {
      direction = zone == 0 ? ArrowDirection::kUp : ArrowDirection::kDown;
    } else {
      direction = zone == 0 ? ArrowDirection::kLeft : ArrowDirection::kRight;
    }
    const Rect at = pressed ? Rect{face.left + 1, face.top + 1, face.right + 1, face.bottom + 1}
                            : face;
    if (c.disabled) {  // embossed: a lit copy below and to the right
      DrawArrow(dc, {at.left + 1, at.top + 1, at.right + 1, at.bottom + 1}, direction, 3,
                c.highlight);
    }
    DrawArrow(dc, at, direction, 3, c.mark);
  }
}

void PaintThumb(const SliderModel& m, HDC dc, const SliderColours& c) {
  const SliderLayout& l = m.Layout();
  const Rect r = m.ThumbRect(0);
  const bool grabbed = m.PressedZone() == kThumbZone;
  const Rect face = DrawThumb(dc, r, c, !l.vertical, grabbed);
  if (face.Empty()) return;
  // A grip line across the thumb at the value's pixel, with a lit line beside it.
  const int pixel = m.ThumbPixel(0);
  const int lit = pixel + 1;
  const Point a = l.Make(pixel, l.Across({face.left, face.top}) + 2);
  const Point b = l.Make(pixel + 1, l.Across({face.right, face.bottom}) - 2);
  FillArea(dc, {a.x, a.y, b.x, b.y}, c.shadow);
  if (c.disabled) return;
  const Point d = l.Make(lit, l.Across({face.left, face.top}) + 2);
  const Point e = l.Make(lit + 1, l.Across({face.right, face.bottom}) - 2);
  FillArea(dc, {d.x, d.y, e.x, e.y}, c.highlight);
}

}  // namespace

void PaintTrackbar(const SliderWindowState& s, HDC dc) {
  PaintBackground(s, dc);
  const SliderModel& m = s.model;
  if (!m.Layout().valid) return;  // too small: the background alone
  const SliderColours c = ColoursOf(s);
  int ticks[3];
  if (m.TickPixels(ticks)) DrawTicks(dc, m.Layout(), ticks, c);
  PaintGroove(m, dc, c);
  PaintLineButtons(m, dc, c);
  PaintThumb(m, dc, c);
}

}  // namespace mw::ui
