// The static control's styles and where it places a picture. The window procedure draws;
// the decisions are made here.
#pragma once

#include "core/ui/ui_rect.h"

namespace mw {

// Style bits of the static control (the low 16 bits of the window style).
enum StaticStyle : unsigned {
  kStaticAlignMask = 0x000F,
  kStaticLink = 0x0010,
  kStaticFitDib = 0x0020,
  kStaticMouse = 0x0040,
  kStaticNoPrefix = 0x0080,
  kStaticSingleLineMask = 0x0F00,
  kStaticEllipsis = 0x1000,
  kStaticOwnColours = 0x2000,
  kStaticShrink = 0x4000,
  kStaticStretch = 0x8000,
};

enum class TextAlign { kLeft, kCentre, kRight };

struct StaticTextStyle {
  TextAlign align = TextAlign::kLeft;
  bool wordWrap = true;
  bool singleLine = false;
  bool ellipsis = false;
  bool noPrefix = false;
  bool link = false;
  bool frame = false;  // a one-pixel frame around the content
};

StaticTextStyle DecodeStaticStyle(unsigned style);

// Where a picture of `width` x `height` pixels goes in `content`: a device-independent
// bitmap (`dib`) or a bitmap, placed by the styles 0x0020, 0x4000 and 0x8000, otherwise
// centred at its own size. Fitting keeps the aspect ratio in integer arithmetic. An empty
// picture gives an empty rectangle.
UiRect PlaceStaticPicture(unsigned style, bool dib, const UiRect& content, int width,
                          int height);

}  // namespace mw
