#include "core/effects/multitap/tap_graph.h"

#include <cmath>

#include "core/ui/int_math.h"

namespace mw {
namespace {

constexpr int kTaps = 8;

std::int32_t Limit(std::int32_t v, std::int32_t lo, std::int32_t hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

int ToInt(std::int64_t v) { return static_cast<int>(ClampTo32(v)); }

// The taps in use, as the filter keeps them (1 to 8).
int UsedTaps(const MultiTapParams& p) { return Limit(p.TapCount, 1, kTaps); }
std::int32_t Gain(const MultiTapParams& p, int i) { return Limit(p.TapGain[i], -100, 100); }
std::int32_t Delay(const MultiTapParams& p, int i) { return Limit(p.TapDelay[i], 1, 2500); }

}  // namespace

std::int32_t TapGraphSpan(std::int32_t graphResolution) {
  static const std::int32_t kSpans[] = {500, 1000, 3000, 5000};
  return graphResolution >= 0 && graphResolution < 4 ? kSpans[graphResolution] : 500;
}

std::vector<std::int32_t> EchoPattern(const MultiTapParams& p, std::int32_t span) {
  const std::int32_t last = span > 0 ? span : 0;
  std::vector<std::int32_t> pattern(static_cast<std::size_t>(last) + 1, 0);
  pattern[0] = kTapGraphFullScale;
  const int taps = UsedTaps(p);
  double sum = 0.0;
  for (int i = 0; i < taps; ++i) sum += Gain(p, i) * 0.01;
  if (sum < 1.0) sum = 1.0;
  const auto feedback =
      static_cast<std::int32_t>(std::trunc(Limit(p.Feedback, 0, 150) * 100.0 / sum));
  for (std::int32_t t = 1; t <= last; ++t) {
    std::int32_t a = 0;
    for (int i = 0; i < taps; ++i) {
      const std::int32_t d = Delay(p, i);
      if (d <= t) a += pattern[static_cast<std::size_t>(t - d)] * Gain(p, i) / 100;
    }
    pattern[static_cast<std::size_t>(t)] = Limit(a * feedback / kTapGraphFullScale,
                                                 -kTapGraphFullScale, kTapGraphFullScale);
  }
  return pattern;
}

TapGraphFrame TapGraphFrameOf(const UiRect& client) {
  TapGraphFrame f;
  f.half = ToInt((std::int64_t{client.bottom} - client.top) / 2);
  f.vertical = {client.left, client.top, ToInt(std::int64_t{client.left} + 1), client.bottom};
  f.horizontal = {client.left, f.half, client.right, ToInt(std::int64_t{f.half} + 1)};
  f.plot = {ToInt(std::int64_t{client.left} + 1), client.top,
            ToInt(std::int64_t{client.right} - 1), client.bottom};
  return f;
}

UiRect TapGraphBar(const TapGraphFrame& frame, std::int32_t span, std::int32_t t,
                   std::int32_t v) {
  const UiRect& r = frame.plot;
  const std::int64_t x =
      r.left + MulDivTrunc(std::int64_t{r.right} - r.left - 1, t, span > 0 ? span : 0);
  const std::int64_t half = frame.half;
  std::int64_t y0, y1;
  if (v > 0) {
    std::int64_t h = MulDivTrunc(half, v, kTapGraphFullScale);
    if (h < 1) h = 1;
    y0 = r.top + half - h;
    y1 = r.top + half;
  } else if (v < 0) {
    std::int64_t h = MulDivTrunc(std::int64_t{r.bottom} - half, -std::int64_t{v},
                                 kTapGraphFullScale);
    if (h < 1) h = 1;
    y0 = r.top + half + 1;
    y1 = y0 + h;
  } else {
    y0 = half;
    y1 = half + 1;
  }
  return {ToInt(x), ToInt(y0), ToInt(x + 1), ToInt(y1)};
}

std::vector<TapGraphBarItem> TapGraphBars(const TapGraphFrame& frame, const MultiTapParams& p) {
  const std::int32_t span = TapGraphSpan(p.GraphResolution);
  const std::vector<std::int32_t> pattern = EchoPattern(p, span);
  std::vector<TapGraphBarItem> bars;
  for (std::int32_t t = 1; t <= span; ++t) {
    const std::int32_t v = pattern[static_cast<std::size_t>(t)];
    if (v != 0) bars.push_back({TapGraphBar(frame, span, t, v), kTapGraphEchoColour});
  }
  const int taps = UsedTaps(p);
  const int current = Limit(p.CurrentTap, 0, kTaps - 1);
  auto tapBar = [&](int i) {
    return TapGraphBar(frame, span, Delay(p, i), Gain(p, i) * 100);
  };
  for (int i = 0; i < taps; ++i)
    if (i != current) bars.push_back({tapBar(i), kTapGraphTapColour});
  bars.push_back({tapBar(current), kTapGraphCurrentTapColour});
  return bars;
}

}  // namespace mw
