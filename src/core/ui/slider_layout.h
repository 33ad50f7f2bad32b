// Where the parts of a trackbar or fader lie in its client area: groove, line buttons,
// thumbs, and the travel over which values map to pixels. Pure geometry from the client
// size and the control's style.
#pragma once

#include <cstdint>

namespace mw {

struct Point {
  int x = 0, y = 0;
  bool operator==(const Point& o) const { return x == o.x && y == o.y; }
  bool operator!=(const Point& o) const { return !(*this == o); }
};

// Half-open: [left, right) x [top, bottom).
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// Trackbar style bits (low 16 bits of the window style).
constexpr std::uint32_t kTrackbarVertical = 0x0001;
constexpr std::uint32_t kTrackbarNoAutoFine = 0x0004;
constexpr std::uint32_t kTrackbarNoFocusOnClick = 0x0008;
constexpr std::uint32_t kTrackbarLogTaper = 0x0040;
constexpr std::uint32_t kTrackbarTapered = 0x0080;
constexpr std::uint32_t kTrackbarThickGroove = 0x0100;
constexpr std::uint32_t kTrackbarThinGroove = 0x0200;  // cancels 0x0100
constexpr std::uint32_t kTrackbarLineButtons = 0x0800;
constexpr std::uint32_t kTrackbarTicks = 0x1000 | 0x2000 | 0x4000;
constexpr std::uint32_t kTrackbarCommands = 0x8000;

// Fader style bits.
constexpr std::uint32_t kFaderVertical = 0x0001;
constexpr std::uint32_t kFaderNotifyRecords = 0x0002;
constexpr std::uint32_t kFaderNoFocusOnClick = 0x0008;
constexpr std::uint32_t kFaderTwoThumbs = 0x0040;
constexpr std::uint32_t kFaderTapered = 0x0080;
constexpr std::uint32_t kFaderScale = 0x1000;  // a drawing variant: scale marks (one thumb)
constexpr std::uint32_t kFaderCommands = 0x4000;

struct SliderLayout {
  bool valid = false;     // large enough for groove and thumb; otherwise no zones, no ticks
  bool vertical = false;  // the travel runs along y, the minimum at the bottom
  int width = 0, height = 0;
  Rect groove;            // the sunken groove the thumb travels in
  Rect buttons;           // the trackbar's two line buttons (style 0x0800), else empty
  int travel = 0;         // L: the groove's length less one pixel at each end
  int origin = 0;         // the pixel (x, or y when vertical) of the minimum
  int thumbLength = 0;    // along the travel
  int thumbCount = 1;
  int thumbAcrossStart[2] = {0, 0};  // across the travel, per thumb
  int thumbAcrossEnd[2] = {0, 0};

  // The pixel at `offset` from the minimum end, and back (counting upward when vertical).
  int PixelAt(int offset) const { return vertical ? origin - offset : origin + offset; }
  int OffsetAt(int pixel) const { return vertical ? origin - pixel : pixel - origin; }
  // A point's coordinate along and across the travel.
  int Along(Point p) const { return vertical ? p.y : p.x; }
  int Across(Point p) const { return vertical ? p.x : p.y; }
  Point Make(int along, int across) const {
    return vertical ? Point{across, along} : Point{along, across};
  }
  // The thumb whose centre is at `pixel`: start = pixel - (length + 1) / 2.
  Rect ThumbAt(int thumb, int pixel) const;
};

// Trackbar: groove 3 pixels thick (10 with 0x0100 unless 0x0200), centred across the client
// and inset 5 pixels from both ends; with 0x0800 the last 17 pixels at the maximum end hold
// the line buttons (as wide across as the thumb), and the groove ends where the thumb at the
// maximum meets them; thumb 12 pixels along, the full width across but at most 18, centred.
SliderLayout LayoutTrackbar(int width, int height, std::uint32_t style);

// Fader: groove 5 pixels wide, centred across, from 8 pixels inside one end to 8 pixels
// inside the other; thumbs 18 pixels along and at most 13 across, one centred in each of
// `thumbs` equal parts of the width.
SliderLayout LayoutFader(int width, int height, std::uint32_t style, int thumbs);

}  // namespace mw
