// Drawing pieces the trackbar and the fader share: their colours, the background from the
// notification window, sunken grooves, raised thumbs with a gradient face, tick marks and
// small arrows. Everything is drawn with solid rectangles, so no pen or brush is left
// selected in the device context.
#pragma once

#include <windows.h>

#include "core/ui/slider_layout.h"
#include "win/ui/controls/slider_window.h"

namespace mw::ui {

struct SliderColours {
  COLORREF face;       // button face
  COLORREF light;      // the inner lit edge
  COLORREF highlight;  // the outer lit edge
  COLORREF shadow;
  COLORREF dark;       // thumb frames, the inner shaded edge
  COLORREF channel;    // the groove's empty part
  COLORREF fill;       // the groove's filled part
  COLORREF mark;       // ticks and arrows
  bool gradient;       // the display has true colour and the control is enabled
  bool disabled;
};

SliderColours ColoursOf(const SliderWindowState& s);

// a + (b - a) * num / den, per channel.
COLORREF Blend(COLORREF a, COLORREF b, int num, int den);

void FillArea(HDC dc, const Rect& r, COLORREF colour);

// The client area in the brush the notification window gives for WM_CTLCOLORDLG.
void PaintBackground(const SliderWindowState& s, HDC dc);

// A sunken frame around `r`: shadow on the top and left, highlight on the bottom and right;
// with `deep` a second, inner frame in the dark and light colours. Returns the inside.
Rect DrawSunken(HDC dc, Rect r, const SliderColours& c, bool deep);

// A raised thumb: a one-pixel dark frame, a lit top-left and shaded bottom-right edge, and a
// face that runs from the button face toward the shadow colour across `gradientAlongY`
// (top to bottom) or left to right. `pressed` swaps the lit and shaded edges. Returns the
// face's rectangle.
Rect DrawThumb(HDC dc, const Rect& r, const SliderColours& c, bool gradientAlongY,
               bool pressed);

// Tick marks across the travel at each pixel of `ticks` (three: the ends and the centre),
// on both sides of the groove, outside the thumbs' band where the control has room.
void DrawTicks(HDC dc, const SliderLayout& l, const int ticks[3], const SliderColours& c);

enum class ArrowDirection { kLeft, kRight, kUp, kDown };
// A solid triangle of `size` rows pointing `direction`, centred in `r`.
void DrawArrow(HDC dc, const Rect& r, ArrowDirection direction, int size, COLORREF colour);

}  // namespace mw::ui
