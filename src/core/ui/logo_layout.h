// The banner's geometry: where its picture, its caption strip and its clickable items go,
// and which part the pointer is over. The window procedure measures the texts and paints;
// everything it decides is decided here.
#pragma once

#include <cstddef>

#include "core/ui/ui_rect.h"

namespace mw {

struct LogoItemBox {
  int command = 0;   // the item's command identifier
  int textWidth = 0;  // the text's width in the item font, in pixels
  UiRect rect;        // laid out by LayOutLogo
  bool hot = false;   // the pointer is inside (set by HitTestLogo)
};

struct LogoLayout {
  UiRect picture;  // the picture at the left, as tall as the client area
  UiRect caption;  // empty without a caption or without room for one
  UiRect items;    // the strip the items share, from the leftmost item to the frame
};

// Lays the banner out over a client area of the given size. `pictureWidth` is the width of
// the picture at rest (0 when there is none). Items go from the right end (2 pixels from the
// client's right edge) toward the left, the last one rightmost, each its text width plus 8
// pixels but never wider than the room still left; the caption takes what lies between the
// picture and the items.
LogoLayout LayOutLogo(int clientWidth, int clientHeight, int pictureWidth, bool hasCaption,
                      LogoItemBox* items, std::size_t count);

// The part under the point (client coordinates): the command of the item that contains it
// (the first in list order), else `controlId` over the picture, else 0 over the caption,
// else -1. Every item's hot flag is set to whether it contains the point.
int HitTestLogo(const LogoLayout& layout, LogoItemBox* items, std::size_t count, int x, int y,
                int controlId);

}  // namespace mw
