// The Multi-Tap Delay page's graph: the echo pattern the feedback makes from the taps, and
// where each bar of the picture goes. The window procedure only fills what this computes.
#pragma once

#include <cstdint>
#include <vector>

#include "core/ui/ui_rect.h"
#include "mwppack1/params.h"

namespace mw {

// Module colours (colour table indexes) of the graph's bars.
constexpr int kTapGraphEchoColour = 138;
constexpr int kTapGraphTapColour = 140;
constexpr int kTapGraphCurrentTapColour = 141;

// Full scale of a bar's value: 10000 up, -10000 down.
constexpr std::int32_t kTapGraphFullScale = 10000;

// The span of the graph in ms for GraphResolution 0..3 (500, 1000, 3000, 5000); any other
// value gives 500.
std::int32_t TapGraphSpan(std::int32_t graphResolution);

// The recirculated echoes, one value per ms from 0 to `span`, in integer arithmetic with
// every division truncating: p[0] = 10000; F = trunc(Feedback x 100.0 / S), S being the sum
// of the used taps' gains x 0.01 (1.0 when below 1.0); p[t] = (sum over the used taps with
// delay d <= t of p[t - d] x gain / 100) x F / 10000, limited to +-10000. Fields outside
// their ranges count as the nearest in range (the filter never reports such values), so
// every product fits 32 bits. A span below 0 counts as 0.
std::vector<std::int32_t> EchoPattern(const MultiTapParams& p, std::int32_t span);

// The axes and the area the bars are placed in, for the control's client rectangle.
struct TapGraphFrame {
  UiRect vertical;    // one pixel wide at the left edge, full height
  UiRect horizontal;  // one pixel high at y = half the height, full width
  UiRect plot;        // the client narrowed by a pixel on the left and on the right
  int half = 0;       // H = (bottom - top) / 2
};
TapGraphFrame TapGraphFrameOf(const UiRect& client);

// The one-pixel-wide bar of value v (full scale +-10000) at position t ms of a graph of
// `span` ms: x = left + (right - left - 1) x t / span; for v > 0 h = H x v / 10000 (at least
// 1) pixels ending at top + H; for v < 0 h = (bottom - H) x -v / 10000 (at least 1) pixels
// from top + H + 1 down; for 0 the pixel at (x, H). Products are wide (no overflow for any
// rectangle); a span of 0 or less puts the bar at the left.
UiRect TapGraphBar(const TapGraphFrame& frame, std::int32_t span, std::int32_t t,
                   std::int32_t v);

struct TapGraphBarItem {
  UiRect rect;
  int colour;  // one of the colours above
};

// Every bar of the picture in drawing order: the echo pattern's non-zero values at 1..span,
// then the used taps other than the current one (delay, gain x 100), then the current tap
// (also when it lies beyond the tap count). A CurrentTap outside 0..7 counts as the nearest.
std::vector<TapGraphBarItem> TapGraphBars(const TapGraphFrame& frame, const MultiTapParams& p);

}  // namespace mw
