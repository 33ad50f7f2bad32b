// The extended colour indexes: system colours, the module table and its references.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/ui/colors.h"

namespace mw {
namespace {

// A fake system palette: index i has the colour Rgb(i, 2 * i, 3 * i) except the button face.
Colour FakeSystem(int index, void* context) {
  ++*static_cast<int*>(context);
  if (index == 15) return Rgb(128, 128, 128);  // a medium grey button face
  return Rgb(index, 2 * index, 3 * index);
}

Colour Resolve(int index, bool low = false) {
  int calls = 0;
  return ResolveSysColourEx(index, FakeSystem, &calls, low);
}

TEST(SysColourEx, SystemIndexesAndRange) {
  for (int i = 0; i <= 99; ++i) {
    if (i != 15) {
      EXPECT_EQ(Resolve(i), Rgb(i, 2 * i, 3 * i));
    }
  }
  for (int bad : {156, 1000, -156, -100000, -2147483647 - 1}) EXPECT_EQ(Resolve(bad), kNoColour);
  for (int i = 100; i <= 155; ++i) {
    EXPECT_NE(Resolve(i), kNoColour) << i;
    EXPECT_NE(Resolve(-i), kNoColour) << i;
  }
}

TEST(SysColourEx, GraphColoursAreDistinctAndNotTheBackground) {
  const Colour pattern = Resolve(kColourEchoPattern);
  const Colour tap = Resolve(kColourTap);
  const Colour current = Resolve(kColourCurrentTap);
  EXPECT_NE(pattern, tap);
  EXPECT_NE(tap, current);
  EXPECT_NE(pattern, current);
  for (Colour c : {pattern, tap, current}) {
    EXPECT_EQ(c >> 24, 0u);
    EXPECT_NE(c, Rgb(255, 255, 255));
  }
  // The alternative table greys them.
  for (int i : {138, 140, 141}) {
    EXPECT_LT(RgbToHls(Resolve(-i)).saturation, RgbToHls(Resolve(i)).saturation) << i;
  }
}

TEST(SysColourEx, ReferencesFollowTheSystemColours) {
  for (int i = 100; i <= 155; ++i) {
    const std::uint32_t entry = ModuleColourEntry(i, false);
    int calls = 0;
    const Colour c = ResolveSysColourEx(i, FakeSystem, &calls, false);
    if ((entry >> 24) == 4 || (entry >> 24) == 5) {
      EXPECT_EQ(calls, 1) << i;
      EXPECT_EQ(c, FakeSystem(static_cast<int>(entry & 0xFFFF), &calls)) << i;
    } else {
      EXPECT_EQ(calls, 0) << i;
      EXPECT_EQ(c, entry) << i;
    }
  }
}

TEST(SysColourEx, LowColourDisplaysAvoidMediumGreysOnlyForSolidReferences) {
  // 102 is the button face through a solid reference: 128 grey (lightness 120) moves to 90.
  EXPECT_EQ(Resolve(102, false), Rgb(128, 128, 128));
  const Colour moved = Resolve(102, true);
  EXPECT_EQ(RgbToHls(moved).lightness, 90);
  EXPECT_LT(RgbToHls(moved).saturation, 20);
  // A plain reference keeps it.
  int calls = 0;
  EXPECT_EQ(ResolveSysColourEx(15, FakeSystem, &calls, true), Rgb(128, 128, 128));
}

TEST(Hls, RoundTripAndTheGreyRule) {
  for (int r = 0; r < 256; r += 15) {
    for (int g = 0; g < 256; g += 17) {
      for (int b = 0; b < 256; b += 13) {
        const Colour c = Rgb(r, g, b);
        const Colour back = HlsToRgb(RgbToHls(c));
        for (int shift : {0, 8, 16}) {
          const int d = static_cast<int>((c >> shift) & 0xFF) -
                        static_cast<int>((back >> shift) & 0xFF);
          ASSERT_LE(std::abs(d), 3) << r << "," << g << "," << b;
        }
        const Hls before = RgbToHls(c);
        const Hls after = RgbToHls(AvoidDitheredGrey(c));
        const bool medium = before.saturation < 20 && before.lightness >= 91 &&
                            before.lightness <= 149;
        if (!medium) {
          ASSERT_EQ(AvoidDitheredGrey(c), c);
        } else {
          const int want = before.lightness > 120 ? 150 : 90;
          ASSERT_NEAR(after.lightness, want, 1) << r << "," << g << "," << b;
        }
      }
    }
  }
  EXPECT_EQ(RgbToHls(Rgb(255, 0, 0)).hue, 0);
  EXPECT_EQ(RgbToHls(Rgb(0, 255, 0)).hue, 80);
  EXPECT_EQ(RgbToHls(Rgb(0, 0, 255)).hue, 160);
  EXPECT_EQ(RgbToHls(Rgb(255, 255, 255)).lightness, 240);
  EXPECT_EQ(RgbToHls(Rgb(255, 0, 0)).saturation, 240);
}

}  // namespace
}  // namespace mw
