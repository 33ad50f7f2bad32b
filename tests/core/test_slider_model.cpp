// The trackbar's and fader's state machine: range messages, thumbs, keys, wheel, zones and
// the drag with its fine mode, driven as the window procedures drive it.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/ui/slider_model.h"
#include "slider_testing.h"

namespace {

using namespace mwtest;

constexpr std::uint32_t kPageTrackbar = 0x0222;
constexpr std::uint32_t kPageFader = 0x1281;

std::vector<int> ScrollCodes(const SliderActions& a) {
  std::vector<int> codes;
  for (const SliderNote& n : a.notes)
    if (n.kind == NoteKind::kScroll) codes.push_back(n.code);
  return codes;
}

Point ThumbCentre(const SliderModel& m, int thumb = 0) { return Centre(m.ThumbRect(thumb)); }

SliderModel PageFader(int thumbs = 1) {
  SliderModel m(SliderKind::kFader, kPageFader | (thumbs == 2 ? 0x0040u : 0u), false, 0);
  m.Resize(40, 200);
  m.SetRangeMin(-800, false);
  m.SetRangeMax(0, false);
  m.SetDefaultPos(-60);
  return m;
}

TEST(SliderRange, NewControlsAndDefaultRules) {
  SliderModel t(SliderKind::kTrackbar, kPageTrackbar, false, 0);
  EXPECT_EQ(t.Minimum(), 0);
  EXPECT_EQ(t.Maximum(), 100);
  EXPECT_EQ(t.Position(), 50);
  EXPECT_EQ(t.DefaultPosition(), 50);
  t.SetRange(1, 5000, false);  // the range rule, whose cases the scale tests check
  EXPECT_EQ(t.DefaultPosition(), 2500);

  SliderModel f(SliderKind::kFader, kPageFader, false, 0);
  f.Resize(40, 200);
  f.SetRangeMin(-800, false);
  EXPECT_EQ(f.DefaultPosition(), 0);  // -800..100 spans zero
  f.SetRangeMax(0, false);
  EXPECT_EQ(f.DefaultPosition(), -800);
  EXPECT_EQ(f.SetDefaultPos(-60), -60);
  const SliderActions a = f.DoubleClick(ThumbCentre(f), kNone, 0);
  EXPECT_EQ(f.Position(), -60);
  EXPECT_EQ(a.notes, (std::vector<SliderNote>{{NoteKind::kScroll, 4, -60}}));
}

TEST(SliderRange, SetPosClampsOnTheTrackbarOnly) {
  SliderModel t(SliderKind::kTrackbar, kPageTrackbar, false, 0);
  t.Resize(160, 20);
  bool repaint = true;
  EXPECT_EQ(t.SetPos(500, false, &repaint), 100);
  EXPECT_FALSE(repaint);
  EXPECT_EQ(t.SetPos(0, true, &repaint), 0);
  EXPECT_TRUE(repaint);
  EXPECT_EQ(t.SetPos(0, true, &repaint), 0);
  EXPECT_FALSE(repaint);  // same pixel

  SliderModel f = PageFader();
  EXPECT_EQ(f.SetPos(-2000, true, &repaint), -2000);
  EXPECT_EQ(f.Position(), -2000);
  f.SetRangeMin(-600, false);  // the next range change clamps it
  EXPECT_EQ(f.Position(), -600);
}

TEST(SliderRange, ChannelSpanAndTicks) {
  SliderModel t(SliderKind::kTrackbar, kPageTrackbar | 0x1000, false, 0);
  t.Resize(160, 20);
  EXPECT_EQ(t.ChannelSpan(), (5u << 16) | 148u);
  t.SetRange(-100, 100, false);
  int ticks[3];
  ASSERT_TRUE(t.TickPixels(ticks));
  EXPECT_EQ(ticks[0], 6);
  EXPECT_EQ(ticks[1], 6 + 74);
  EXPECT_EQ(ticks[2], 6 + 148);
  t.Resize(10, 20);  // too small: no ticks, no zones
  EXPECT_FALSE(t.TickPixels(ticks));
  EXPECT_EQ(t.ZoneAt({5, 10}), mw::kNoZone);

  // A fader draws its scale with the variant 0x1000 and one thumb: 0 dB at the top end.
  SliderModel f = PageFader();
  ASSERT_TRUE(f.TickPixels(ticks));
  EXPECT_EQ(ticks[0], 200 - 8 - 1);
  EXPECT_EQ(ticks[2], 8 + 1);
  EXPECT_EQ(ticks[1], (ticks[0] + ticks[2] + 1) / 2);
  EXPECT_FALSE(PageFader(2).TickPixels(ticks));
  SliderModel plain(SliderKind::kFader, 0x0081, false, 0);
  plain.Resize(40, 200);
  EXPECT_FALSE(plain.TickPixels(ticks));
}

TEST(FaderThumbs, ActiveMaskSetupAndChannelPositions) {
  SliderModel f = PageFader(2);
  EXPECT_EQ(f.ThumbCount(), 2);
  EXPECT_TRUE(f.Style() & mw::kFaderNotifyRecords);  // set by itself for two thumbs
  f.SetActiveMask(4);  // names no thumb: the first becomes active
  EXPECT_EQ(f.ActiveMask(), 1u);
  f.SetActiveMask(3);
  EXPECT_EQ(f.FirstActive(), 0);
  f.SetActiveMask(2);
  EXPECT_EQ(f.FirstActive(), 1);

  bool repaint = false;
  EXPECT_EQ(f.SetChannelPos(2, -5000, true, &repaint), -5000);  // unclamped
  EXPECT_TRUE(repaint);
  EXPECT_EQ(f.ChannelPos(2), -5000);
  EXPECT_EQ(f.SetChannelPos(3, 7, true, &repaint), 0);
  EXPECT_FALSE(repaint);
  const std::int32_t both[2] = {-10, -20};
  EXPECT_TRUE(f.SetChannelPositions(both, true));
  EXPECT_FALSE(f.SetChannelPositions(both, true));
  std::int32_t out[2] = {};
  f.ChannelPositions(out);
  EXPECT_EQ(out[0], -10);
  EXPECT_EQ(out[1], -20);

  mw::FaderSetup s;
  s.minimum = -600;
  s.maximum = 0;
  s.defaultPosition = 50;  // clamped
  s.pageSize = 0;
  s.styleValue = 0;
  s.styleMask = 0x0040;  // back to one thumb
  s.positions[0] = -700;
  f.Setup(s);
  EXPECT_EQ(f.ThumbCount(), 1);
  EXPECT_EQ(f.DefaultPosition(), 0);
  EXPECT_EQ(f.PageSize(), 60);
  EXPECT_EQ(f.Position(), -600);
  EXPECT_EQ(f.ActiveMask(), 1u);
}

TEST(FaderThumbs, PressSelectsThumbsAndDoubleClickJoins) {
  SliderModel f = PageFader(2);
  f.SetLinked(false);
  const mw::Rect left = f.ThumbRect(0);
  // The outer half of the left thumb: only it.
  f.ButtonDown({left.left + 1, (left.top + left.bottom) / 2}, kNone, 0);
  f.ButtonUp();
  EXPECT_EQ(f.ActiveMask(), 1u);
  EXPECT_EQ(f.CursorAt(ThumbCentre(f, 1)), mw::FaderCursor::kLeftThumb);
  // The inner half: both.
  f.ButtonDown({left.right - 1, (left.top + left.bottom) / 2}, kNone, 0);
  f.ButtonUp();
  EXPECT_EQ(f.ActiveMask(), 3u);
  EXPECT_EQ(f.CursorAt(ThumbCentre(f, 0)), mw::FaderCursor::kArrow);
  EXPECT_EQ(f.CursorAt({0, 0}), mw::FaderCursor::kDefault);

  const std::int32_t pos[2] = {-100, -300};
  f.SetChannelPositions(pos, false);
  f.SetActiveMask(2);
  f.DoubleClick(ThumbCentre(f, 1), kNone, 0);
  EXPECT_EQ(f.ThumbPosition(0), -300);  // the other thumb joins the active one
  f.SetActiveMask(3);
  f.DoubleClick(ThumbCentre(f, 0), kNone, 0);
  EXPECT_EQ(f.ThumbPosition(0), -60);
  EXPECT_EQ(f.ThumbPosition(1), -60);

  f.SetLinked(true);
  f.ButtonDown({left.left + 1, ThumbCentre(f, 0).y}, kNone, 0);
  EXPECT_EQ(f.ActiveMask(), 3u);
}

TEST(SliderKeys, TrackbarCodesDigitsAndUnusedKeys) {
  SliderModel t(SliderKind::kTrackbar, kPageTrackbar, false, 0);
  t.Resize(160, 20);
  t.SetRange(1, 5000, false);
  const std::pair<int, int> horizontal[] = {{mw::vk::kPrior, 2}, {mw::vk::kNext, 3},
                                            {mw::vk::kEnd, 7},   {mw::vk::kHome, 6},
                                            {mw::vk::kLeft, 0},  {mw::vk::kUp, 1},
                                            {mw::vk::kRight, 1}, {mw::vk::kDown, 0}};
  for (auto [key, code] : horizontal) {
    EXPECT_EQ(ScrollCodes(t.KeyDown(key, kNone)), std::vector<int>{code}) << key;
    EXPECT_EQ(ScrollCodes(t.KeyUp(key)), std::vector<int>{8});
  }
  SliderModel v(SliderKind::kTrackbar, kPageTrackbar | 1, false, 0);
  EXPECT_EQ(ScrollCodes(v.KeyDown(mw::vk::kUp, kNone)), std::vector<int>{0});
  EXPECT_EQ(ScrollCodes(v.KeyDown(mw::vk::kDown, kNone)), std::vector<int>{1});
  EXPECT_EQ(ScrollCodes(v.KeyDown(mw::vk::kLeft, kNone)), std::vector<int>{0});

  const SliderActions five = t.KeyDown('5', kNone);
  EXPECT_EQ(t.Position(), 2500);  // 1 + 4999 * 5 / 10
  EXPECT_EQ(five.notes, (std::vector<SliderNote>{{NoteKind::kScroll, 4, 2500}}));
  EXPECT_TRUE(t.KeyDown(mw::vk::kNumpad0 + 5, kNone).notes.empty());
  EXPECT_TRUE(t.KeyDown(mw::vk::kClear, kNone).notes.empty());
  EXPECT_EQ(t.KeyDown('Q', kNone).notes,
            (std::vector<SliderNote>{{NoteKind::kUnusedKey, 'Q', 0}}));
  EXPECT_TRUE(t.KeyUp('Q').notes.empty());
}

TEST(SliderKeys, FaderSelfMovesWithNotifyRecords) {
  SliderModel single = PageFader();
  single.SetRange(-100, 100, false);
  single.SetPos(40, false, nullptr);
  EXPECT_EQ(ScrollCodes(single.KeyDown(mw::vk::kHome, kNone)), std::vector<int>{6});
  EXPECT_EQ(single.Position(), 40);  // the page moves a single thumb with the scroll rule
  EXPECT_EQ(ScrollCodes(single.KeyDown(mw::vk::kUp, kNone)), std::vector<int>{0});
  EXPECT_EQ(ScrollCodes(single.KeyDown(mw::vk::kLeft, kNone)), std::vector<int>{1});
  EXPECT_EQ(single.KeyDown('L', kNone).notes[0].kind, NoteKind::kUnusedKey);

  SliderModel f = PageFader(2);
  f.SetRange(-100, 100, false);
  const std::int32_t pos[2] = {40, 40};
  f.SetChannelPositions(pos, false);
  EXPECT_TRUE(f.KeyDown('R', kNone).notes.empty());
  EXPECT_EQ(f.ActiveMask(), 2u);
  f.KeyDown(mw::vk::kHome, kNone);
  EXPECT_EQ(f.ThumbPosition(1), 0);
  EXPECT_EQ(f.ThumbPosition(0), 40);
  f.KeyDown(mw::vk::kHome, kCtrl);
  EXPECT_EQ(f.ThumbPosition(1), 100);
  f.KeyDown('B', kNone);
  EXPECT_EQ(f.ActiveMask(), 3u);
  f.KeyDown(mw::vk::kNext, kNone);  // the page size from creation: (100 - 0 + 5) / 10
  EXPECT_EQ(f.PageSize(), 10);
  EXPECT_EQ(f.ThumbPosition(0), 30);
  EXPECT_EQ(f.ThumbPosition(1), 90);
  f.KeyDown(mw::vk::kEnd, kNone);
  EXPECT_EQ(f.ThumbPosition(0), -100);
  EXPECT_EQ(f.ThumbPosition(1), -100);
  f.KeyDown('7', kNone);
  EXPECT_EQ(f.ThumbPosition(0), 40);
  EXPECT_EQ(f.ThumbPosition(1), 40);
}

TEST(SliderWheel, TrackbarCodes) {
  SliderModel t(SliderKind::kTrackbar, kPageTrackbar, false, 0);
  EXPECT_EQ(ScrollCodes(t.Wheel(240, kNone)), (std::vector<int>{9, 3, 3, 8}));
  EXPECT_EQ(ScrollCodes(t.Wheel(-120, kNone)), (std::vector<int>{9, 2, 8}));
  EXPECT_EQ(ScrollCodes(t.Wheel(-360, kShiftCtrl)), (std::vector<int>{9, 0, 0, 0, 8}));
  EXPECT_EQ(ScrollCodes(t.Wheel(130, kShiftCtrl)), (std::vector<int>{9, 1, 8}));
  EXPECT_EQ(ScrollCodes(t.Wheel(60, kNone)), (std::vector<int>{9, 8}));
  EXPECT_EQ(t.Wheel(1 << 20, kNone).notes.size(), 2u + 273u);  // a 16-bit delta at most
}

TEST(SliderWheel, FaderMovesItself) {
  SliderModel f = PageFader();
  f.SetPos(-60, false, nullptr);
  const SliderActions a = f.Wheel(120, kNone);
  EXPECT_EQ(f.Position(), -50);
  EXPECT_EQ(a.notes, (std::vector<SliderNote>{{NoteKind::kScroll, 9, 0},
                                              {NoteKind::kScroll, 5, -50},
                                              {NoteKind::kScroll, 8, 0}}));
  f.SetPos(-60, false, nullptr);
  f.Wheel(120, kShiftCtrl);
  EXPECT_EQ(f.Position(), -59);
  f.Wheel(-120 * 200, kNone);
  EXPECT_EQ(f.Position(), -800);
  f.Wheel(60, kNone);
  EXPECT_EQ(f.Position(), -795);
}

TEST(SliderZones, GrooveRepeatStepsTowardThePointer) {
  SliderModel t(SliderKind::kTrackbar, kPageTrackbar, false, 0);
  t.Resize(160, 20);
  t.SetRange(0, 100, false);
  t.SetPos(50, false, nullptr);
  const Point target{20, 10};  // left of the thumb: zone 2
  ASSERT_EQ(t.ZoneAt(target), 2);
  SliderActions a = t.ButtonDown(target, kNone, 0);
  EXPECT_TRUE(a.takeFocus);
  EXPECT_EQ(a.capture, SliderActions::Capture::kSet);
  EXPECT_EQ(a.timer, SliderActions::Timer::kStart);
  EXPECT_EQ(ScrollCodes(a), (std::vector<int>{9, 2}));
  int steps = 0;
  for (std::uint32_t time = 250; time < 10000; time += 250) {
    // The parent applies each page step with its scroll rule.
    t.SetPos(mw::TrackbarScrollRule(2, 0, 100, t.Position(), 1, 10, false, false),
             true, nullptr);
    a = t.Timer(target, kNone, time);
    if (ScrollCodes(a).empty()) break;
    ++steps;
  }
  EXPECT_LT(steps, 10);
  EXPECT_EQ(t.ZoneAt(target), mw::kThumbZone);  // stopped under the pointer
  a = t.ButtonUp();
  EXPECT_EQ(ScrollCodes(a), std::vector<int>{8});
  EXPECT_EQ(a.timer, SliderActions::Timer::kStop);
  EXPECT_EQ(a.capture, SliderActions::Capture::kRelease);
}

TEST(SliderZones, LineButtonsAndFaderZones) {
  SliderModel t(SliderKind::kTrackbar, kPageTrackbar | 0x0800, false, 0);
  t.Resize(160, 20);
  EXPECT_EQ(t.ZoneAt({160 - 5 - 17, 10}), 0);
  EXPECT_EQ(t.ZoneAt({160 - 5 - 10, 10}), 0);
  EXPECT_EQ(t.ZoneAt({160 - 5 - 9, 10}), 1);
  EXPECT_EQ(t.ZoneAt({160 - 6, 10}), 1);
  // The groove stops where the thumb at the maximum meets the buttons; they are as wide
  // across as the thumb. Vertical: the same at the top.
  EXPECT_EQ(t.Layout().travel, 160 - 10 - 17 - 5 - 2);
  for (std::uint32_t vertical : {0u, 1u}) {
    SliderModel b(SliderKind::kTrackbar, kPageTrackbar | 0x0800 | vertical, false, 0);
    b.Resize(vertical ? 20 : 160, vertical ? 160 : 20);
    b.SetPos(100, false, nullptr);
    const mw::Rect th = b.ThumbRect(0), bt = b.Layout().buttons;
    EXPECT_EQ(vertical ? th.top : th.right, vertical ? bt.bottom : bt.left) << vertical;
    EXPECT_EQ(vertical ? bt.left : bt.top, vertical ? th.left : th.top) << vertical;
    EXPECT_EQ(vertical ? bt.right : bt.bottom, vertical ? th.right : th.bottom) << vertical;
    EXPECT_EQ(b.ZoneAt({bt.left, bt.top}), 0) << vertical;
    EXPECT_EQ(b.ZoneAt({bt.right - 1, bt.bottom - 1}), 1) << vertical;
  }

  SliderModel f = PageFader();
  f.SetPos(-400, false, nullptr);
  const mw::Rect th = f.ThumbRect(0);
  const int gx = f.Layout().groove.left + 1;
  EXPECT_EQ(f.ZoneAt({gx, th.top - 3}), 2);
  EXPECT_EQ(f.ZoneAt({gx, th.bottom + 3}), 3);
  EXPECT_EQ(f.ZoneAt({1, th.top - 3}), 0);
  EXPECT_EQ(f.ZoneAt({1, th.bottom + 3}), 1);
  EXPECT_EQ(f.ZoneAt({1, (th.top + th.bottom) / 2}), 1);
  EXPECT_EQ(f.ZoneAt({1, 2}), 0);  // beside the groove's end
  SliderModel off = PageFader();
  off.Enable(false);
  EXPECT_EQ(off.ZoneAt({gx, th.top - 3}), mw::kNoZone);
  EXPECT_TRUE(off.ButtonDown(ThumbCentre(off), kNone, 0).notes.empty());
}

}  // namespace
