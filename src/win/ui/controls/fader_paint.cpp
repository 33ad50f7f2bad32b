// The fader's picture: background, scale marks (drawing variant 0x1000), the sunken slot and
// one or two raised thumbs with a line at the value's pixel, all placed by the slider model.
#include "win/ui/controls/slider_paint.h"

namespace mw::ui {
namespace {

// The slot: a sunken frame two pixels deep around a dark middle.
void PaintSlot(const SliderLayout& l, HDC dc, const SliderColours& c) {
  const Rect inside = DrawSunken(dc, l.groove, c, true);
  FillArea(dc, inside, c.disabled ? c.face : c.dark);
}

void PaintThumb(const SliderModel& m, int thumb, HDC dc, const SliderColours& c) {
  const SliderLayout& l = m.Layout();
  const bool grabbed = m.PressedZone() == kThumbZone &&
                       (m.ActiveMask() & (1u << thumb)) != 0;
  const Rect face = DrawThumb(dc, m.ThumbRect(thumb), c, l.vertical, grabbed);
  if (face.Empty()) return;
  // The cap's line across at the value's pixel, lit on its far side.
  const int pixel = m.ThumbPixel(thumb);
  const int acrossFrom = l.Across({face.left, face.top});
  const int acrossTo = l.Across({face.right, face.bottom});
  const Point a = l.Make(pixel, acrossFrom), b = l.Make(pixel + 1, acrossTo);
  FillArea(dc, {a.x, a.y, b.x, b.y}, c.dark);
  if (c.disabled) return;
  const Point d = l.Make(pixel + 1, acrossFrom), e = l.Make(pixel + 2, acrossTo);
  FillArea(dc, {d.x, d.y, e.x, e.y}, c.highlight);
}

}  // namespace

void PaintFader(const SliderWindowState& s, HDC dc) {
  PaintBackground(s, dc);
  const SliderModel& m = s.model;
  const SliderLayout& l = m.Layout();
  if (!l.valid) return;
  const SliderColours c = ColoursOf(s);
  int ticks[3];
  if (m.TickPixels(ticks)) DrawTicks(dc, l, ticks, c);
  PaintSlot(l, dc, c);
  for (int i = 0; i < m.ThumbCount(); ++i) PaintThumb(m, i, dc, c);
}

}  // namespace mw::ui
