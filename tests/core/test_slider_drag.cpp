// The thumb drag: normal and fine mode (Ctrl, right button, resting), the pointer put back
// onto the thumb, Escape, the right button's swallowed release, and randomized event
// sequences over every page range that must never report a value outside the range.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/ui/slider_model.h"
#include "slider_testing.h"

namespace {

using namespace mwtest;

int LastTrack(const SliderActions& a) {
  for (auto n = a.notes.rbegin(); n != a.notes.rend(); ++n)
    if (n->kind == NoteKind::kScroll && n->code == 5) return n->position;
  return INT32_MIN;
}

// A 150-pixel trackbar over 1 to 5000 with the thumb grabbed at its centre.
SliderModel GrabbedTrackbar(Point* at) {
  SliderModel t(SliderKind::kTrackbar, 0x0222, false, 0);
  t.Resize(150, 20);
  t.SetRange(1, 5000, false);
  t.SetPos(2500, false, nullptr);
  *at = Centre(t.ThumbRect(0));
  const SliderActions a = t.ButtonDown(*at, kNone, 1000);
  EXPECT_EQ(a.notes.size(), 1u);  // code 9; the press itself moves nothing
  EXPECT_EQ(t.Position(), 2500);
  return t;
}

TEST(SliderDrag, NormalDragFollowsThePointer) {
  Point p;
  SliderModel t = GrabbedTrackbar(&p);
  const int pixel = t.ThumbPixel(0);
  SliderActions a = t.MouseMove({p.x + 20, p.y}, kNone, 1005);
  EXPECT_FALSE(t.FineMode());
  EXPECT_NEAR(t.ThumbPixel(0), pixel + 20, 1);  // the value's pixel, truncated
  EXPECT_EQ(LastTrack(a), t.Position());
  a = t.MouseMove({1000, p.y + 50}, kNone, 1010);  // far off: the maximum
  EXPECT_EQ(t.Position(), 5000);
  a = t.ButtonUp();
  std::vector<mw::SliderNote> expected{{NoteKind::kScroll, 4, 5000}, {NoteKind::kScroll, 8, 0}};
  EXPECT_EQ(a.notes, expected);
  EXPECT_EQ(a.caret, SliderActions::Caret::kShow);
  EXPECT_FALSE(t.Dragging());
}

TEST(SliderDrag, RestingSwitchesToFineModeAndPutsThePointerBack) {
  Point p;
  SliderModel t = GrabbedTrackbar(&p);
  // A quick move: normal mode.
  t.MouseMove({p.x + 1, p.y}, kNone, 1008);
  EXPECT_FALSE(t.FineMode());
  const std::int32_t before = t.Position();
  // After resting more than 30 ms, a small move is a fine step of (d + 1) / 2.
  SliderActions a = t.MouseMove({p.x + 4, p.y}, kNone, 1050);
  EXPECT_TRUE(t.FineMode());
  EXPECT_EQ(t.Position(), before + 2);
  ASSERT_TRUE(a.moveCursor);
  EXPECT_TRUE(t.ThumbRect(0).Contains(a.cursor));
  // The move the put-back causes is ignored.
  EXPECT_TRUE(t.MouseMove(a.cursor, kNone, 1051).notes.empty());
  // Once on, 10 ms and +-8 pixels keep it on; a step back is (d - 1) / 2.
  a = t.MouseMove({a.cursor.x - 5, a.cursor.y}, kNone, 1063);
  EXPECT_TRUE(t.FineMode());
  EXPECT_EQ(t.Position(), before + 2 - 3);
  ASSERT_TRUE(a.moveCursor);
  // A quick large move leaves fine mode.
  a = t.MouseMove({a.cursor.x + 30, a.cursor.y}, kNone, 1065);
  EXPECT_FALSE(t.FineMode());
  EXPECT_GT(t.Position(), before + 500);
}

TEST(SliderDrag, CtrlAndRightButtonFineModeAndEscape) {
  Point p;
  SliderModel t = GrabbedTrackbar(&p);
  SliderActions a = t.MouseMove({p.x + 40, p.y + 30}, kCtrl, 1001);  // anywhere, any speed
  EXPECT_TRUE(t.FineMode());
  EXPECT_EQ(t.Position(), 2520);
  ASSERT_TRUE(a.moveCursor);
  EXPECT_EQ(a.cursor.y, t.ThumbRect(0).bottom - 1);  // across: held within the thumb
  EXPECT_TRUE(t.RightButtonDown(true));
  a = t.MouseMove({a.cursor.x - 1, a.cursor.y}, kRight, 1002);
  EXPECT_EQ(t.Position(), 2519);
  EXPECT_TRUE(t.RightButtonUp());   // swallowed: no context menu
  EXPECT_FALSE(t.RightButtonUp());  // only once
  a = t.KeyDown(mw::vk::kEscape, kNone);
  EXPECT_EQ(t.Position(), 2500);
  std::vector<mw::SliderNote> expected{{NoteKind::kScroll, 4, 2500}, {NoteKind::kScroll, 8, 0}};
  EXPECT_EQ(a.notes, expected);
  EXPECT_EQ(a.capture, SliderActions::Capture::kRelease);
  EXPECT_FALSE(t.RightButtonDown(false));  // not dragging: the menu may open
}

TEST(SliderDrag, NoAutomaticFineModeWithOnePixelPerValueOrStyle) {
  for (std::uint32_t style : {0x0222u, 0x0226u}) {
    SliderModel t(SliderKind::kTrackbar, style, false, 0);
    t.Resize(150, 20);
    t.SetRange(0, style == 0x0222u ? 100 : 5000, false);  // 138 pixels for 100 values
    const Point p = Centre(t.ThumbRect(0));
    t.ButtonDown(p, kNone, 0);
    t.MouseMove({p.x + 2, p.y}, kNone, 100);
    EXPECT_FALSE(t.FineMode()) << style;
  }
}

TEST(SliderDrag, FaderDragMovesActiveThumbsTogether) {
  SliderModel f(SliderKind::kFader, 0x1281 | 0x0040, false, 0);
  f.Resize(40, 200);
  f.SetRange(-800, 0, false);
  const std::int32_t start[2] = {-300, -200};
  f.SetChannelPositions(start, false);
  f.SetLinked(true);
  const Point p = Centre(f.ThumbRect(0));
  f.ButtonDown(p, kNone, 0);
  const SliderActions a = f.MouseMove({p.x, p.y - 30}, kNone, 5);
  const std::int32_t moved = f.ThumbPosition(0) - start[0];
  EXPECT_GT(moved, 0);
  EXPECT_EQ(f.ThumbPosition(1), std::min<std::int32_t>(0, start[1] + moved));
  EXPECT_EQ(LastTrack(a), f.ThumbPosition(0));
  f.MouseMove({p.x, -500}, kNone, 10);  // to the top: the second thumb stops at 0
  EXPECT_EQ(f.ThumbPosition(0), 0);
  EXPECT_EQ(f.ThumbPosition(1), 0);
  f.MouseMove({p.x, p.y}, kNone, 15);  // back: the distance returns
  EXPECT_EQ(f.ThumbPosition(1) - f.ThumbPosition(0), 100);
  f.KeyDown(mw::vk::kEscape, kNone);
  EXPECT_EQ(f.ThumbPosition(0), -300);
  EXPECT_EQ(f.ThumbPosition(1), -200);
}

// Random presses, moves, clocks, keys and wheel turns, with a parent applying the scroll rule
// as the pages do; no notification may carry a value outside the range.
TEST(SliderDrag, RandomSequencesStayInRange) {
  std::mt19937 rng(20240611);
  for (const auto& r : kPageRanges) {
    for (int round = 0; round < 12; ++round) {
      const bool fader = r.fader;
      std::uint32_t style = fader ? 0x1281u : (r.taper == kLog ? 0x02C2u : 0x0222u);
      if (fader && round % 3 == 2) style |= 0x0040;
      if (!fader && round % 4 == 3) style |= 0x0800 | 0x0001;
      SliderModel m(fader ? SliderKind::kFader : SliderKind::kTrackbar, style, false, 0);
      const int w = 10 + rng() % 600, h = 10 + rng() % 600;
      m.Resize(w, h);
      m.SetRange(r.minimum, r.maximum, false);
      std::uint32_t clock = rng();
      auto check = [&](const SliderActions& a, const char* what) {
        for (const auto& n : a.notes) {
          if (n.kind != NoteKind::kScroll || (n.code != 4 && n.code != 5)) continue;
          ASSERT_GE(n.position, r.minimum) << r.control << " " << what;
          ASSERT_LE(n.position, r.maximum) << r.control << " " << what;
        }
        if (a.moveCursor) {
          bool onThumb = false;
          for (int i = 0; i < m.ThumbCount(); ++i) onThumb |= m.ThumbRect(i).Contains(a.cursor);
          ASSERT_TRUE(onThumb) << r.control;
        }
        // The page's reaction to a line, page or end code.
        for (const auto& n : a.notes) {
          if (n.kind != NoteKind::kScroll || n.code > 7 || n.code == 4 || n.code == 5) continue;
          const auto s = fader ? mw::FaderScrollRule(n.code, m.Minimum(), m.Maximum(),
                                                     m.Position(), 1, 10, false)
                               : mw::TrackbarScrollRule(n.code, m.Minimum(), m.Maximum(),
                                                        m.Position(), 1, 100, false,
                                                        style & 1);
          m.SetPos(s, true, nullptr);
        }
        for (int i = 0; i < m.ThumbCount(); ++i) {
          ASSERT_GE(m.ThumbPosition(i), r.minimum) << r.control << " " << what;
          ASSERT_LE(m.ThumbPosition(i), r.maximum) << r.control << " " << what;
        }
      };
      Point p{static_cast<int>(rng() % w), static_cast<int>(rng() % h)};
      for (int step = 0; step < 400; ++step) {
        clock += rng() % 60;
        const Modifiers mods{rng() % 4 == 0, rng() % 6 == 0, rng() % 8 == 0};
        switch (rng() % 12) {
          case 0:
            p = rng() % 2 ? Centre(m.ThumbRect(rng() % 2)) : Point{int(rng() % w), int(rng() % h)};
            check(m.ButtonDown(p, mods, clock), "press");
            break;
          case 1: check(m.ButtonUp(), "release"); break;
          case 2: check(m.DoubleClick(p, mods, clock), "double-click"); break;
          case 3: check(m.Timer(p, mods, clock), "timer"); break;
          case 4: check(m.KeyDown(static_cast<int>(rng() % 0x70), mods), "key"); break;
          case 5: check(m.Wheel(static_cast<int>(rng() % 2001) - 1000, mods), "wheel"); break;
          default: {
            const int spread = rng() % 5 == 0 ? 200 : 10;
            p.x += static_cast<int>(rng() % (2 * spread + 1)) - spread;
            p.y += static_cast<int>(rng() % (2 * spread + 1)) - spread;
            const SliderActions a = m.MouseMove(p, mods, clock);
            check(a, "move");
            if (a.moveCursor) {
              p = a.cursor;
              check(m.MouseMove(p, mods, clock + 1), "put-back move");
            }
          }
        }
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

}  // namespace
