// The banner's layout and hit test.
#include <gtest/gtest.h>

#include <vector>

#include "core/ui/logo_layout.h"

namespace mw {
namespace {

constexpr int kAbout = 41001;
constexpr int kHelp = 41000;
constexpr int kBanner = 2;

std::vector<LogoItemBox> PageItems(int aboutWidth, int helpWidth) {
  std::vector<LogoItemBox> items(2);
  items[0].command = kAbout;
  items[0].textWidth = aboutWidth;
  items[1].command = kHelp;
  items[1].textWidth = helpWidth;
  return items;
}

TEST(LogoLayout, PageBannerPutsHelpAtTheRightAndAboutToItsLeft) {
  auto items = PageItems(27, 5);
  const LogoLayout l = LayOutLogo(400, 22, 119, true, items.data(), items.size());
  EXPECT_EQ(l.picture, (UiRect{0, 0, 119, 22}));
  EXPECT_EQ(items[1].rect, (UiRect{400 - 2 - 13, 1, 398, 21}));  // "?": 5 + 8 wide
  EXPECT_EQ(items[0].rect, (UiRect{385 - 35, 1, 385, 21}));      // "About": 27 + 8 wide
  EXPECT_EQ(l.items, (UiRect{350, 1, 399, 21}));
  EXPECT_EQ(l.caption, (UiRect{120, 1, 350, 21}));
}

TEST(LogoLayout, ItemsNeverOverlapAndNeverPassThePicture) {
  for (int width = 0; width <= 260; width += 3) {
    for (int pictureWidth : {0, 119}) {
      auto items = PageItems(40, 60);
      LogoItemBox third;
      third.command = 7;
      third.textWidth = 90;
      items.push_back(third);
      const LogoLayout l = LayOutLogo(width, 20, pictureWidth, true, items.data(), items.size());
      int right = std::max(width - 2, l.picture.right + 1);
      for (std::size_t i = items.size(); i-- > 0;) {
        const UiRect& r = items[i].rect;
        EXPECT_EQ(r.right, right) << width;
        EXPECT_LE(r.Width(), items[i].textWidth + 8);
        EXPECT_GE(r.left, l.picture.right + 1) << width;  // never wider than the room left
        if (r.left > l.picture.right + 1) {
          EXPECT_EQ(r.Width(), items[i].textWidth + 8);
        }
        right = r.left;
      }
      EXPECT_LE(l.picture.right, std::max(width, 0));
      if (!l.caption.Empty()) {
        EXPECT_EQ(l.caption.left, l.picture.right + 1);
        EXPECT_EQ(l.caption.right, items[0].rect.left);
      }
    }
  }
}

TEST(LogoLayout, CaptionIsEmptyWithoutTextOrRoom) {
  auto items = PageItems(27, 5);
  EXPECT_TRUE(LayOutLogo(400, 22, 119, false, items.data(), 2).caption.Empty());
  // Items taking everything right of the picture leave no caption.
  EXPECT_TRUE(LayOutLogo(119 + 1 + 48 + 2, 22, 119, true, items.data(), 2).caption.Empty());
  EXPECT_FALSE(LayOutLogo(119 + 1 + 49 + 2, 22, 119, true, items.data(), 2).caption.Empty());
  // No items: the caption runs to two pixels from the right edge.
  const LogoLayout bare = LayOutLogo(300, 22, 119, true, nullptr, 0);
  EXPECT_EQ(bare.caption, (UiRect{120, 1, 298, 21}));
  EXPECT_TRUE(bare.items.Empty());
  // A banner narrower than its picture shows a cut picture and nothing else.
  const LogoLayout narrow = LayOutLogo(80, 22, 119, true, items.data(), 2);
  EXPECT_EQ(narrow.picture.right, 80);
  EXPECT_TRUE(narrow.caption.Empty());
  EXPECT_TRUE(items[0].rect.Empty() && items[1].rect.Empty());
}

// Items first, then the picture (the banner's own id), then the caption (0); elsewhere,
// the frame's pixels included, nothing (-1). Only the item hit is hot.
TEST(LogoLayout, EveryPixelHitsExactlyThePartThatContainsIt) {
  auto items = PageItems(27, 5);
  const LogoLayout l = LayOutLogo(300, 20, 119, true, items.data(), items.size());
  for (int y = -1; y <= 20; ++y) {
    for (int x = -1; x <= 300; ++x) {
      const int hit = HitTestLogo(l, items.data(), 2, x, y, kBanner);
      int expected = -1;
      if (items[0].rect.Contains(x, y)) {
        expected = kAbout;
      } else if (items[1].rect.Contains(x, y)) {
        expected = kHelp;
      } else if (l.picture.Contains(x, y)) {
        expected = kBanner;
      } else if (l.caption.Contains(x, y)) {
        expected = 0;
      }
      ASSERT_EQ(hit, expected) << x << "," << y;
      ASSERT_EQ(items[0].hot, hit == kAbout) << x << "," << y;
      ASSERT_EQ(items[1].hot, hit == kHelp) << x << "," << y;
    }
  }
}

TEST(LogoLayout, OverlappingItemsReportTheFirstInListOrder) {
  // Two items with the same rectangle (as a caller could force): both are hot, the first
  // one's command is the result.
  std::vector<LogoItemBox> items(2);
  items[0].command = 5;
  items[1].command = 6;
  items[0].rect = items[1].rect = {10, 0, 20, 10};
  const LogoLayout l{};
  EXPECT_EQ(HitTestLogo(l, items.data(), 2, 15, 5, 1), 5);
  EXPECT_TRUE(items[0].hot && items[1].hot);
}

}  // namespace
}  // namespace mw
