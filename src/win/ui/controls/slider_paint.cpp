#include "win/ui/controls/slider_paint.h"

#include <algorithm>
#include <utility>

#include "win/ui/util/sys_colors.h"

namespace mw::ui {

COLORREF Blend(COLORREF a, COLORREF b, int num, int den) {
  auto mix = [&](int x, int y) { return x + (y - x) * num / den; };
  return RGB(mix(GetRValue(a), GetRValue(b)), mix(GetGValue(a), GetGValue(b)),
             mix(GetBValue(a), GetBValue(b)));
}

SliderColours ColoursOf(const SliderWindowState& s) {
  SliderColours c{};
  c.disabled = s.model.Disabled();
  c.face = GetNearestSysColorEx(COLOR_BTNFACE);
  c.light = GetNearestSysColorEx(COLOR_3DLIGHT);
  c.highlight = GetNearestSysColorEx(COLOR_BTNHIGHLIGHT);
  c.shadow = GetNearestSysColorEx(COLOR_BTNSHADOW);
  c.dark = GetNearestSysColorEx(COLOR_3DDKSHADOW);
  c.channel = GetNearestSysColorEx(COLOR_WINDOW);
  c.mark = GetNearestSysColorEx(COLOR_BTNTEXT);
  // The filled part: 80 % of the control's colour (the button face unless set otherwise).
  const auto stored = static_cast<COLORREF>(s.model.Color() & 0xFFFFFFu);
  c.fill = s.model.ShadedFill() ? Blend(RGB(0, 0, 0), stored, 8, 10) : stored;
  c.gradient = s.trueColour && !c.disabled;
  if (c.disabled) {
    // Grey shapes: no dark frames, no fill, marks in the shadow colour.
    c.dark = c.shadow;
    c.channel = c.face;
    c.fill = c.face;
    c.mark = c.shadow;
  }
  return c;
}

void FillArea(HDC dc, const Rect& r, COLORREF colour) {
  if (r.Empty()) return;
  const RECT area{r.left, r.top, r.right, r.bottom};
  const COLORREF previous = SetBkColor(dc, colour);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
  SetBkColor(dc, previous);
}

void PaintBackground(const SliderWindowState& s, HDC dc) {
  RECT client;
  GetClientRect(s.window, &client);
  HWND to = s.notifyWindow != nullptr ? s.notifyWindow : GetParent(s.window);
  HBRUSH brush = nullptr;
  if (to != nullptr) {
    brush = reinterpret_cast<HBRUSH>(SendMessageA(to, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                                                  reinterpret_cast<LPARAM>(s.window)));
  }
  FillRect(dc, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));
}

namespace {

// One-pixel edges of `r`: top and left in `lit`, bottom and right in `shaded`.
void Edges(HDC dc, const Rect& r, COLORREF topLeft, COLORREF bottomRight) {
  FillArea(dc, {r.left, r.top, r.right - 1, r.top + 1}, topLeft);
  FillArea(dc, {r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
  FillArea(dc, {r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
  FillArea(dc, {r.right - 1, r.top, r.right, r.bottom}, bottomRight);
}

Rect Inset(Rect r, int by) { return {r.left + by, r.top + by, r.right - by, r.bottom - by}; }

}  // namespace

Rect DrawSunken(HDC dc, Rect r, const SliderColours& c, bool deep) {
  Edges(dc, r, c.shadow, c.highlight);
  r = Inset(r, 1);
  if (deep && !c.disabled) {
    Edges(dc, r, c.dark, c.light);
    r = Inset(r, 1);
  }
  return r;
}

Rect DrawThumb(HDC dc, const Rect& r, const SliderColours& c, bool gradientAlongY, bool pressed) {
  // Frame.
  FillArea(dc, {r.left, r.top, r.right, r.top + 1}, c.dark);
  FillArea(dc, {r.left, r.bottom - 1, r.right, r.bottom}, c.dark);
  FillArea(dc, {r.left, r.top, r.left + 1, r.bottom}, c.dark);
  FillArea(dc, {r.right - 1, r.top, r.right, r.bottom}, c.dark);
  Rect inner = Inset(r, 1);
  if (inner.Empty()) return inner;
  // Bevel: lit top-left, shaded bottom-right (the other way while pressed).
  if (c.disabled) {
    Edges(dc, inner, c.highlight, c.face);
  } else {
    Edges(dc, inner, pressed ? c.shadow : c.highlight, pressed ? c.highlight : c.shadow);
  }
  const Rect face = Inset(inner, 1);
  if (face.Empty()) return face;
  if (!c.gradient) {
    FillArea(dc, face, c.face);
    return face;
  }
  // From a touch lighter than the face to halfway toward the shadow colour.
  const COLORREF from = Blend(c.face, c.highlight, 1, 2);
  const COLORREF to = Blend(c.face, c.shadow, pressed ? 3 : 2, 4);
  const int length = gradientAlongY ? face.bottom - face.top : face.right - face.left;
  for (int i = 0; i < length; ++i) {
    const COLORREF colour = Blend(pressed ? to : from, pressed ? from : to, i, std::max(1, length - 1));
    if (gradientAlongY) {
      FillArea(dc, {face.left, face.top + i, face.right, face.top + i + 1}, colour);
    } else {
      FillArea(dc, {face.left + i, face.top, face.left + i + 1, face.bottom}, colour);
    }
  }
  return face;
}

void DrawTicks(HDC dc, const SliderLayout& l, const int ticks[3], const SliderColours& c) {
  const int across = l.vertical ? l.width : l.height;
  const int grooveStart = l.vertical ? l.groove.left : l.groove.top;
  const int grooveEnd = l.vertical ? l.groove.right : l.groove.bottom;
  int bandStart = l.thumbAcrossStart[0], bandEnd = l.thumbAcrossEnd[l.thumbCount - 1];
  constexpr int kGap = 2;
  for (int i = 0; i < 3; ++i) {
    const int length = i == 1 ? 3 : 4;  // the centre mark is the shorter one
    // After the groove (below or to the right): outside the thumbs where it fits.
    int start = bandEnd + kGap + length <= across ? bandEnd + kGap : grooveEnd + kGap;
    int end = std::min(across, start + length);
    // Before the groove, mirrored.
    int end2 = bandStart - kGap - length >= 0 ? bandStart - kGap : grooveStart - kGap;
    int start2 = std::max(0, end2 - length);
    for (const auto& [a, b] : {std::pair{start, end}, std::pair{start2, end2}}) {
      if (b <= a) continue;
      const Point p = l.Make(ticks[i], a);
      const Point q = l.Make(ticks[i] + 1, b);
      FillArea(dc, {p.x, p.y, q.x, q.y}, c.mark);
    }
  }
}

void DrawArrow(HDC dc, const Rect& r, ArrowDirection direction, int size, COLORREF colour) {
  const bool horizontal = direction == ArrowDirection::kLeft || direction == ArrowDirection::kRight;
  const int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
  // Row i (0 at the tip) is 2i + 1 pixels long.
  for (int i = 0; i < size; ++i) {
    const int tipOffset = i - size / 2;
    int along = 0;
    switch (direction) {
      case ArrowDirection::kLeft: along = cx + tipOffset; break;
      case ArrowDirection::kRight: along = cx - tipOffset; break;
      case ArrowDirection::kUp: along = cy + tipOffset; break;
      case ArrowDirection::kDown: along = cy - tipOffset; break;
    }
    if (horizontal) {
      FillArea(dc, {along, cy - i, along + 1, cy + i + 1}, colour);
    } else {
      FillArea(dc, {cx - i, along, cx + i + 1, along + 1}, colour);
    }
  }
}

}  // namespace mw::ui
