// The static control's styles and picture placement, and window placing.
#include <gtest/gtest.h>

#include "core/ui/placement.h"
#include "core/ui/static_layout.h"

namespace mw {
namespace {

TEST(StaticStyle, AlignmentWrapFrameAndFlags) {
  for (unsigned low = 0; low < 16; ++low) {
    const StaticTextStyle s = DecodeStaticStyle(low);
    const TextAlign align = low == 1 ? TextAlign::kCentre : low == 2 ? TextAlign::kRight
                                                                     : TextAlign::kLeft;
    EXPECT_EQ(s.align, align) << low;
    EXPECT_EQ(s.wordWrap, low != 2 && low != 12) << low;
    EXPECT_EQ(s.frame, low >= 4 && low <= 9) << low;
    EXPECT_FALSE(s.link || s.singleLine || s.ellipsis || s.noPrefix) << low;
  }
  const StaticTextStyle link = DecodeStaticStyle(0x0050);
  EXPECT_TRUE(link.link);
  EXPECT_TRUE(link.wordWrap);
  for (unsigned single : {0x0100u, 0x0800u, 0x0F00u}) {
    const StaticTextStyle s = DecodeStaticStyle(single | 1);
    EXPECT_TRUE(s.singleLine);
    EXPECT_FALSE(s.wordWrap);
    EXPECT_EQ(s.align, TextAlign::kCentre);
  }
  EXPECT_TRUE(DecodeStaticStyle(0x1000).ellipsis);
  EXPECT_TRUE(DecodeStaticStyle(0x0080).noPrefix);
}

const UiRect kContent{10, 20, 110, 70};  // 100 x 50

TEST(StaticPicture, WithoutPlacementStylesCentredAtOwnSize) {
  for (bool dib : {false, true}) {
    EXPECT_EQ(PlaceStaticPicture(0, dib, kContent, 20, 10), (UiRect{50, 40, 70, 50}));
    // Larger than the control: still its own size, centred (cut by the control).
    EXPECT_EQ(PlaceStaticPicture(0, dib, kContent, 200, 60), (UiRect{-40, 15, 160, 75}));
    EXPECT_TRUE(PlaceStaticPicture(0xE020, dib, kContent, 0, 10).Empty());
  }
}

TEST(StaticPicture, BitmapStretchAndShrink) {
  EXPECT_EQ(PlaceStaticPicture(0x8000, false, kContent, 20, 10), kContent);
  EXPECT_EQ(PlaceStaticPicture(0x4000, false, kContent, 200, 10), kContent);
  EXPECT_EQ(PlaceStaticPicture(0x4000, false, kContent, 20, 10), (UiRect{50, 40, 70, 50}));
}

TEST(StaticPicture, DibFitKeepsAspectAndAtMostDoubles) {
  // 60 x 15 fits 100 x 25, centred; smaller pictures stop at twice their size.
  EXPECT_EQ(PlaceStaticPicture(0x0020, true, kContent, 60, 15), (UiRect{10, 32, 110, 57}));
  EXPECT_EQ(PlaceStaticPicture(0x0020, true, kContent, 40, 10), (UiRect{20, 35, 100, 55}));
  EXPECT_EQ(PlaceStaticPicture(0x0020, true, kContent, 10, 20), (UiRect{50, 25, 70, 65}));
  EXPECT_EQ(PlaceStaticPicture(0x0020, true, kContent, 5, 5), (UiRect{55, 40, 65, 50}));
  // Larger pictures shrink to fit either dimension.
  EXPECT_EQ(PlaceStaticPicture(0x0020, true, kContent, 400, 100), (UiRect{10, 32, 110, 57}));
  EXPECT_EQ(PlaceStaticPicture(0x0020, true, kContent, 100, 500), (UiRect{55, 20, 65, 70}));
}

TEST(StaticPicture, DibFitsTheWidthUnderShrinkAndStretch) {
  // Wider than the control: fitted to the width keeping the aspect ratio.
  EXPECT_EQ(PlaceStaticPicture(0x4000, true, kContent, 200, 40), (UiRect{10, 35, 110, 55}));
  EXPECT_EQ(PlaceStaticPicture(0x8000, true, kContent, 200, 40), (UiRect{10, 35, 110, 55}));
  // Never enlarged.
  EXPECT_EQ(PlaceStaticPicture(0x8000, true, kContent, 50, 20), (UiRect{35, 35, 85, 55}));
}

TEST(StaticPicture, FittedPicturesStayInsideForEveryShape) {
  for (int w = 1; w <= 300; w += 7) {
    for (int h = 1; h <= 300; h += 11) {
      const UiRect r = PlaceStaticPicture(0x0020, true, kContent, w, h);
      ASSERT_GE(r.left, kContent.left);
      ASSERT_GE(r.top, kContent.top);
      ASSERT_LE(r.right, kContent.right);
      ASSERT_LE(r.bottom, kContent.bottom);
      ASSERT_LE(r.Width(), 2 * w);
      ASSERT_LE(r.Height(), 2 * h);
      // One side touches the control unless the doubling limit stopped it.
      if (r.Width() < 2 * w) {
        ASSERT_TRUE(r.Width() == kContent.Width() || r.Height() == kContent.Height());
      }
    }
  }
}

const UiRect kScreen{0, 0, 1280, 1024};

TEST(PlaceWindow, CentredAndUpperThird) {
  int l = 0;
  int t = 0;
  PlaceRect(200, 100, {100, 100, 501, 401}, PlaceMode::kCentred, 0, 0, &l, &t);
  EXPECT_EQ(l, 100 + (401 - 200) / 2);  // integer halves of the free room
  EXPECT_EQ(t, 100 + (301 - 100) / 2);
  PlaceRect(200, 100, {100, 100, 500, 400}, PlaceMode::kUpperThird, 0, 0, &l, &t);
  EXPECT_EQ(l, 200);
  EXPECT_EQ(t, 100 + 200 / 3);
  PlaceRect(200, 100, {}, PlaceMode::kOnPoint, 640, 300, &l, &t);
  EXPECT_EQ(l, 540);
  EXPECT_EQ(t, 250);
}

TEST(PlaceWindow, KeptInsideTheWorkArea) {
  const UiRect work{0, 0, 1280, 994};
  for (int x = -300; x <= 1600; x += 37) {
    for (int y = -300; y <= 1300; y += 41) {
      int l = 0;
      int t = 0;
      PlaceRect(300, 200, {}, PlaceMode::kOnPoint, x, y, &l, &t);
      KeepInside(300, 200, work, &l, &t);
      ASSERT_GE(l, work.left);
      ASSERT_GE(t, work.top);
      ASSERT_LE(l + 300, work.right);
      ASSERT_LE(t + 200, work.bottom);
      if (x - 150 >= 0 && x + 150 <= 1280) {
        ASSERT_EQ(l, x - 150);  // moved only when needed
      }
    }
  }
  // Larger than the work area: its top-left corner stays visible.
  int l = 0;
  int t = 0;
  PlaceRect(2000, 2000, kScreen, PlaceMode::kCentred, 0, 0, &l, &t);
  KeepInside(2000, 2000, work, &l, &t);
  EXPECT_EQ(l, 0);
  EXPECT_EQ(t, 0);
}

}  // namespace
}  // namespace mw
