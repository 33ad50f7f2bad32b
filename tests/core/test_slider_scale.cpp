// The sliders' scale: tapers and their constants, the default-position rule, the scroll
// rules, and the value/pixel mapping over every range the pages use.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "core/ui/int_math.h"
#include "core/ui/slider_layout.h"
#include "core/ui/slider_scale.h"
#include "slider_testing.h"

namespace {

using mw::SliderScale;
using mw::TaperKind;

TEST(SliderTaper, WorkedNumbersOfTheLogTaper) {
  EXPECT_EQ(mw::TaperValue(TaperKind::kLog, 10), 500);
  EXPECT_EQ(mw::TaperValue(TaperKind::kLog, 5000), 8953);
  EXPECT_EQ(mw::TaperValue(TaperKind::kLog, 1000), 6562);
  const SliderScale s(10, 5000, TaperKind::kLog);
  EXPECT_EQ(s.Span(), 8453);
  EXPECT_EQ(s.Offset(), -285);
  EXPECT_EQ(s.Linearize(1000), 3588);
  // About 72 % of the travel.
  EXPECT_EQ(s.OffsetOf(1000, 1000), 717);
}

TEST(SliderTaper, WorkedNumbersOfTheLevelTaper) {
  EXPECT_EQ(mw::TaperValue(TaperKind::kFader, -800), -966);
  const SliderScale s(-800, 0, TaperKind::kFader);
  EXPECT_EQ(s.Span(), 966);
  EXPECT_EQ(s.Offset(), 0);
  EXPECT_EQ(s.Linearize(-60), -331);   // -6.0 dB
  EXPECT_EQ(s.Linearize(-200), -464);  // -20.0 dB
  EXPECT_EQ(s.OffsetOf(-60, 100), 58);  // 469 / 800 of the travel: 59 % when rounded
  EXPECT_EQ(s.OffsetOf(-60, 1000), 586);
  // The top quarter of the travel covers 0 to about -3 dB.
  const std::int32_t quarter = s.ValueAtOffset(750, 1000);
  EXPECT_GE(quarter, -35);
  EXPECT_LE(quarter, -25);
}

TEST(SliderTaper, SignAndTableEnds) {
  for (TaperKind k : {TaperKind::kFader, TaperKind::kLog}) {
    for (std::int64_t v = 0; v <= 200000; v += 7) {
      EXPECT_EQ(mw::TaperValue(k, -v), -mw::TaperValue(k, v));
      if (v > 0) {
        EXPECT_GE(mw::TaperValue(k, v), mw::TaperValue(k, v - 7)) << v;
      }
    }
  }
  EXPECT_EQ(mw::TaperValue(TaperKind::kFader, 1001), 1001);    // beyond the table: unchanged
  EXPECT_EQ(mw::TaperValue(TaperKind::kLog, 163841), 163841);
  EXPECT_EQ(mw::UntaperValue(TaperKind::kLog, 14001), 14001);
  EXPECT_EQ(mw::UntaperValue(TaperKind::kLog, 8953), 4999);
  EXPECT_EQ(mw::TaperValue(TaperKind::kLinear, -12345), -12345);
}

TEST(SliderDefault, RangeRule) {
  EXPECT_EQ(mw::DefaultPositionForRange(-800, 0), -800);
  EXPECT_EQ(mw::DefaultPositionForRange(-800, 100), 0);
  EXPECT_EQ(mw::DefaultPositionForRange(-50, 50), 0);
  EXPECT_EQ(mw::DefaultPositionForRange(1, 5000), 2500);
  EXPECT_EQ(mw::DefaultPositionForRange(-5, -2), -3);  // truncated toward zero
  EXPECT_EQ(mw::DefaultPositionForRange(0, 100), 50);
  EXPECT_EQ(mw::DefaultPositionForRange(INT32_MIN, INT32_MIN + 1), INT32_MIN + 1);
}

TEST(SliderScrollRule, TrackbarBothOrientations) {
  // Horizontal: 0/2 decrease, 1/3 increase, 6 goes to the minimum, 7 to the maximum.
  EXPECT_EQ(mw::TrackbarScrollRule(0, 1, 5000, 100, 1, 100, false, false), 99);
  EXPECT_EQ(mw::TrackbarScrollRule(3, 1, 5000, 100, 1, 100, false, false), 200);
  EXPECT_EQ(mw::TrackbarScrollRule(3, 1, 5000, 100, 1, 100, true, false), 1100);
  EXPECT_EQ(mw::TrackbarScrollRule(3, 1, 5000, 100, 1, 0, false, false), 600);
  EXPECT_EQ(mw::TrackbarScrollRule(6, 1, 5000, 100, 1, 100, false, false), 1);
  EXPECT_EQ(mw::TrackbarScrollRule(7, 1, 5000, 100, 1, 100, false, false), 5000);
  // Inverted: the mirror image.
  EXPECT_EQ(mw::TrackbarScrollRule(0, 1, 5000, 100, 1, 100, false, true), 101);
  EXPECT_EQ(mw::TrackbarScrollRule(2, 1, 5000, 100, 1, 100, false, true), 200);
  EXPECT_EQ(mw::TrackbarScrollRule(6, 1, 5000, 100, 1, 100, false, true), 5000);
  EXPECT_EQ(mw::TrackbarScrollRule(7, 1, 5000, 100, 1, 100, false, true), 1);
  EXPECT_EQ(mw::TrackbarScrollRule(5, 1, 5000, 100, 1, 100, false, true), 100);
  EXPECT_EQ(mw::TrackbarScrollRule(9, 1, 5000, 9999, 1, 100, false, true), 5000);
}

TEST(SliderScrollRule, FaderHomeSpansZero) {
  EXPECT_EQ(mw::FaderScrollRule(6, -100, 100, 40, 1, 10, false), 0);
  EXPECT_EQ(mw::FaderScrollRule(6, -100, 100, 40, 1, 10, true), 100);
  EXPECT_EQ(mw::FaderScrollRule(6, -800, 0, -400, 1, 10, false), 0);  // max < 1
  EXPECT_EQ(mw::FaderScrollRule(7, -800, 0, -400, 1, 10, false), -800);
  EXPECT_EQ(mw::FaderScrollRule(0, -800, 0, -60, 1, 10, false), -59);
  EXPECT_EQ(mw::FaderScrollRule(3, -800, 0, -60, 1, 10, true), -160);
  EXPECT_EQ(mw::FaderScrollRule(2, -800, 0, -5, 1, 10, false), 0);
}

TEST(SliderScrollRule, ResultsStayInEveryPageRange) {
  std::mt19937 rng(7);
  for (const auto& r : mwtest::kPageRanges) {
    for (int code = -1; code <= 10; ++code) {
      for (int k = 0; k < 40; ++k) {
        const std::int32_t pos = r.minimum + static_cast<std::int32_t>(
                                                 rng() % (r.maximum - r.minimum + 1));
        const std::int32_t line = 1 + rng() % 100, page = rng() % 200;
        for (bool ctrl : {false, true}) {
          const auto t = mw::TrackbarScrollRule(code, r.minimum, r.maximum, pos, line, page,
                                                ctrl, k % 2);
          const auto f = mw::FaderScrollRule(code, r.minimum, r.maximum, pos, line, page, ctrl);
          for (std::int32_t v : {t, f}) {
            EXPECT_GE(v, r.minimum) << r.control << " code " << code;
            EXPECT_LE(v, r.maximum) << r.control << " code " << code;
          }
        }
      }
    }
  }
}

// Value -> pixel and pixel -> value over the travel of a real layout, for every page range and
// every travel length from 2 to 600 pixels.
TEST(SliderMapping, MonotonicAndEndsFixedOverEveryPageRange) {
  for (const auto& r : mwtest::kPageRanges) {
    const SliderScale s(r.minimum, r.maximum, r.taper);
    const std::int64_t span = std::int64_t{r.maximum} - r.minimum;
    const std::int64_t stride = span > 1000 ? span / 1000 : 1;
    for (int L = 2; L <= 600; ++L) {
      const mw::SliderLayout l =
          r.fader ? mw::LayoutFader(30, L + 18, mw::kFaderVertical, 1)
                  : mw::LayoutTrackbar(L + 12, 20, 0);
      ASSERT_EQ(l.travel, L);
      ASSERT_TRUE(l.valid);
      // Ends of the range on the ends of the travel.
      EXPECT_EQ(l.OffsetAt(l.PixelAt(s.OffsetOf(r.minimum, L))), 0);
      EXPECT_EQ(l.OffsetAt(l.PixelAt(s.OffsetOf(r.maximum, L))), L);
      EXPECT_EQ(s.ValueAtOffset(l.OffsetAt(l.PixelAt(0)), L), r.minimum);
      EXPECT_EQ(s.ValueAtOffset(l.OffsetAt(l.PixelAt(L)), L), r.maximum);
      int previous = -1;
      for (std::int64_t v = r.minimum; v <= r.maximum; v += stride) {
        const int off = s.OffsetOf(v, L);
        ASSERT_GE(off, previous) << r.control << " L=" << L << " v=" << v;
        previous = off;
      }
      std::int32_t last = r.minimum;
      for (int off = -3; off <= L + 3; ++off) {
        const std::int32_t v = s.ValueAtOffset(off, L);
        ASSERT_GE(v, last) << r.control << " L=" << L << " offset " << off;
        ASSERT_LE(v, r.maximum);
        last = v;
        // On a linear scale with no more pixels than values, the value's pixel is within one
        // pixel of the pixel it came from; with more pixels than values, the value taken
        // back from its own pixel is within one value.
        if (r.taper == TaperKind::kLinear && off >= 0 && off <= L) {
          if (L <= span) {
            EXPECT_LE(std::abs(s.OffsetOf(v, L) - off), 1) << r.control << " L=" << L;
          } else {
            const std::int32_t back = s.ValueAtOffset(s.OffsetOf(v, L), L);
            EXPECT_LE(std::abs(back - v), 1) << r.control << " L=" << L;
          }
        }
      }
    }
  }
}

TEST(SliderMapping, DegenerateRanges) {
  const SliderScale flat(7, 7, TaperKind::kLinear);
  EXPECT_EQ(flat.OffsetOf(7, 100), 0);
  EXPECT_EQ(flat.ValueAtOffset(50, 100), 7);
  const SliderScale one(0, 100, TaperKind::kLinear);
  EXPECT_EQ(one.ValueAtOffset(1, 1), 0);  // travel shorter than 2: the minimum
  // Extreme ranges neither overflow nor leave the range.
  for (TaperKind k : {TaperKind::kLinear, TaperKind::kFader, TaperKind::kLog}) {
    const SliderScale wide(INT32_MIN, INT32_MAX, k);
    for (int off = 0; off <= 600; off += 37) {
      const std::int32_t v = wide.ValueAtOffset(off, 600);
      EXPECT_EQ(wide.OffsetOf(INT32_MIN, 600), 0);
      EXPECT_EQ(wide.OffsetOf(INT32_MAX, 600), 600);
      EXPECT_GE(wide.OffsetOf(v, 600), 0);
    }
    const SliderScale inverted(100, -100, k);  // minimum above maximum
    for (int off = 0; off <= 50; ++off) {
      const std::int32_t v = inverted.ValueAtOffset(off, 50);
      EXPECT_GE(v, -100);
      EXPECT_LE(v, 100);
    }
  }
}

TEST(SliderMapping, MulDivIsExactAndSaturates) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 20000; ++i) {
    const std::int64_t a = static_cast<std::int64_t>(rng()) >> (rng() % 40);
    const std::int64_t b = static_cast<std::int64_t>(rng()) >> (rng() % 40 + 24);
    std::int64_t c = static_cast<std::int64_t>(rng()) >> (rng() % 62);
    if (c == 0) c = 1;
#ifdef __SIZEOF_INT128__
    const __int128 q = static_cast<__int128>(a) * b / c;
    const std::int64_t expected =
        q > INT64_MAX ? INT64_MAX : (q < INT64_MIN ? INT64_MIN : static_cast<std::int64_t>(q));
    ASSERT_EQ(mw::MulDivTrunc(a, b, c), expected) << a << " " << b << " " << c;
#else
    if (b == 0) continue;
    // Without 128-bit integers: check small products against plain arithmetic.
    const std::int64_t sa = a >> 32, sb = b >> 8;
    ASSERT_EQ(mw::MulDivTrunc(sa, sb, c), sa * sb / c);
#endif
  }
  EXPECT_EQ(mw::MulDivTrunc(-7, 3, 2), -10);  // truncation toward zero
  EXPECT_EQ(mw::MulDivTrunc(7, -3, -2), 10);
  EXPECT_EQ(mw::MulDivTrunc(INT64_MAX, INT64_MAX, 1), INT64_MAX);
  EXPECT_EQ(mw::MulDivTrunc(INT64_MIN, INT64_MAX, 1), INT64_MIN);
  EXPECT_EQ(mw::MulDivTrunc(INT64_MIN, 1, -1), INT64_MAX);
  EXPECT_EQ(mw::MulDivTrunc(5, 5, 0), 0);
}

}  // namespace
