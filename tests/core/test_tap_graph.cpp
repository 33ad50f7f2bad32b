// The Multi-Tap Delay page's graph: the echo pattern of the feedback and the bars' places.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "core/effects/multitap/tap_graph.h"

namespace {

MultiTapParams OneTap(std::int32_t feedback, std::int32_t gain, std::int32_t delay) {
  MultiTapParams p{};
  p.TapCount = 1;
  p.Feedback = feedback;
  p.TapGain[0] = gain;
  p.TapDelay[0] = delay;
  for (int i = 1; i < 8; ++i) p.TapDelay[i] = 1;
  return p;
}

using Echo = std::vector<std::pair<int, int>>;

// The positions and values of the pattern's non-zero entries after p[0].
Echo Echoes(const std::vector<std::int32_t>& p) {
  Echo out;
  for (std::size_t t = 1; t < p.size(); ++t)
    if (p[t] != 0) out.emplace_back(static_cast<int>(t), p[t]);
  return out;
}

TEST(TapGraph, EchoPatternOfOneTap) {
  const auto p = mw::EchoPattern(OneTap(50, 100, 100), 500);
  ASSERT_EQ(p.size(), 501u);
  EXPECT_EQ(p[0], 10000);
  EXPECT_EQ(Echoes(p), (Echo{{100, 5000}, {200, 2500}, {300, 1250}, {400, 625}, {500, 312}}));
  // A negative gain alternates, and the divisions truncate toward zero (-312, not -313).
  EXPECT_EQ(Echoes(mw::EchoPattern(OneTap(50, -100, 100), 500)),
            (Echo{{100, -5000}, {200, 2500}, {300, -1250}, {400, 625}, {500, -312}}));
  // Without feedback there are no echoes at all.
  EXPECT_TRUE(Echoes(mw::EchoPattern(OneTap(0, 100, 100), 5000)).empty());
  // Echoes are limited to full scale.
  for (std::int32_t v : mw::EchoPattern(OneTap(150, 100, 1), 50)) EXPECT_EQ(v, 10000);
}

TEST(TapGraph, FeedbackSharedByTheTapGains) {
  MultiTapParams p = OneTap(50, 100, 100);
  p.TapCount = 2;
  p.TapGain[1] = 100;
  p.TapDelay[1] = 100;
  // S = 2.0 halves the feedback: (10000 + 10000) x 2500 / 10000.
  EXPECT_EQ(mw::EchoPattern(p, 100)[100], 5000);
  // Gains summing below 1.0 leave S at 1.0: F = 5000, a = 10000 x 40 / 100.
  p.TapGain[0] = 40;
  p.TapGain[1] = -20;
  p.TapDelay[1] = 300;
  EXPECT_EQ(mw::EchoPattern(p, 100)[100], 2000);
  // Taps beyond the tap count take no part.
  p.TapCount = 1;
  p.TapGain[1] = 100;
  p.TapDelay[1] = 50;
  EXPECT_EQ(mw::EchoPattern(p, 100)[50], 0);
}

TEST(TapGraph, AnyBlockWithoutHarm) {
  std::mt19937 rng(3);
  const std::int32_t wild[] = {INT32_MIN, -100000, -1, 0, 1, 3, 2501, 100000, INT32_MAX};
  for (int i = 0; i < 300; ++i) {
    MultiTapParams p{};
    auto* fields = reinterpret_cast<std::int32_t*>(&p);
    for (std::size_t k = 0; k < sizeof p / 4; ++k) fields[k] = wild[rng() % 9];
    const std::int32_t span = mw::TapGraphSpan(p.GraphResolution);
    ASSERT_TRUE(span == 500 || span == 1000 || span == 3000 || span == 5000);
    const auto pattern = mw::EchoPattern(p, span);
    for (std::int32_t v : pattern) ASSERT_LE(v < 0 ? -v : v, 10000);
    const auto bars = mw::TapGraphBars(mw::TapGraphFrameOf({0, 0, 190, 90}), p);
    ASSERT_FALSE(bars.empty());
    EXPECT_EQ(bars.back().colour, mw::kTapGraphCurrentTapColour);
  }
}

// Every position of every span in rectangles of many sizes: bars stay inside the plotted
// width, move right with time, rise from the middle line for positive values and hang
// below it for negative ones.
TEST(TapGraph, BarGeometry) {
  for (int width : {3, 4, 57, 190, 301}) {
    for (int height : {2, 3, 56, 101}) {
      const mw::UiRect client{5, 0, 5 + width, height};
      const mw::TapGraphFrame f = mw::TapGraphFrameOf(client);
      ASSERT_EQ(f.half, height / 2);
      EXPECT_EQ(f.vertical, (mw::UiRect{5, 0, 6, height}));
      EXPECT_EQ(f.horizontal, (mw::UiRect{5, height / 2, 5 + width, height / 2 + 1}));
      for (std::int32_t span : {500, 5000}) {
        int lastX = f.plot.left;
        for (std::int32_t t = 0; t <= span; t += 7) {
          const mw::UiRect up = mw::TapGraphBar(f, span, t, 10000 - t);
          const mw::UiRect down = mw::TapGraphBar(f, span, t, -1 - t);
          const mw::UiRect zero = mw::TapGraphBar(f, span, t, 0);
          ASSERT_TRUE(up.left >= lastX && up.left <= f.plot.right - 1 && up.right == up.left + 1);
          lastX = up.left;
          ASSERT_TRUE(up.bottom == f.half && up.top >= 0 && up.Height() >= 1);
          ASSERT_TRUE(down.left == up.left && down.top == f.half + 1 && down.Height() >= 1 &&
                      down.bottom <= height + 1);
          ASSERT_EQ(zero, (mw::UiRect{up.left, f.half, up.left + 1, f.half + 1}));
        }
        EXPECT_EQ(mw::TapGraphBar(f, span, span, 1).left, f.plot.right - 1);
        EXPECT_EQ(mw::TapGraphBar(f, span, 0, 1).left, f.plot.left);
      }
    }
  }
}

TEST(TapGraph, PictureOfOneTapWithFeedback) {
  MultiTapParams p = OneTap(50, 100, 100);
  const mw::TapGraphFrame f = mw::TapGraphFrameOf({0, 0, 502, 100});  // 500 pixels plotted
  const auto bars = mw::TapGraphBars(f, p);
  ASSERT_EQ(bars.size(), 6u);  // five echoes and the tap
  const int heights[] = {25, 12, 6, 3, 1};  // 5000, 2500, 1250, 625, 312 of H = 50
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(bars[i].colour, mw::kTapGraphEchoColour);
    EXPECT_EQ(bars[i].rect, (mw::UiRect{100 * (i + 1), 50 - heights[i], 100 * (i + 1) + 1, 50}));
  }
  // The tap's own bar covers the first echo.
  EXPECT_EQ(bars[5].colour, mw::kTapGraphCurrentTapColour);
  EXPECT_EQ(bars[5].rect, (mw::UiRect{100, 0, 101, 50}));

  // The current tap is drawn last even beyond the tap count; the others in tap colour.
  p.Feedback = 0;
  p.TapCount = 3;
  p.CurrentTap = 6;
  for (int i = 0; i < 8; ++i) {
    p.TapDelay[i] = 10 * (i + 1);
    p.TapGain[i] = -50;
  }
  const auto taps = mw::TapGraphBars(f, p);
  ASSERT_EQ(taps.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(taps[i].colour, mw::kTapGraphTapColour);
    EXPECT_EQ(taps[i].rect, (mw::UiRect{10 * (i + 1), 51, 10 * (i + 1) + 1, 76}));
  }
  EXPECT_EQ(taps[3].colour, mw::kTapGraphCurrentTapColour);
  EXPECT_EQ(taps[3].rect.left, 70);
}

}  // namespace
