// The trackbar and the fader from the module's classes: their messages, the notifications the
// parent gets under real input, and their pictures checked against the slider model.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ui/slider_model.h"
#include "ui_harness.h"
#include "win/ui/controls/control_messages.h"

namespace uitest {
namespace {

using namespace mw::ui;

constexpr DWORD kPageTrackbar = 0x0222;
constexpr DWORD kLogTrackbar = 0x02C2;
constexpr DWORD kPageFader = 0x1281;
constexpr DWORD kTwoThumbs = 0x0040;

// What the parent got, reduced to what the tests compare.
struct Signal {
  UINT message;  // WM_HSCROLL, WM_VSCROLL, WM_NOTIFY, WM_COMMAND or WM_CONTEXTMENU
  int code;      // scroll code; notification code (a fader's record: its scroll code); command
  int value;     // the scroll position word (codes 4, 5); a key; a fader record's first thumb
  int second;    // a fader record's second thumb; a key's repeat count
  bool operator==(const Signal& o) const {
    return message == o.message && code == o.code && value == o.value && second == o.second;
  }
};

std::ostream& operator<<(std::ostream& out, const Signal& s) {
  return out << "{" << s.message << ", " << s.code << ", " << s.value << ", " << s.second << "}";
}

bool IsFader(HWND w) {
  char name[64] = "";
  GetClassNameA(w, name, sizeof name);
  return std::string(name) == kFaderClass;
}

std::int32_t Get(HWND w, UINT message, WPARAM wParam = 0) {
  return static_cast<std::int32_t>(SendMessageA(w, message, wParam, 0));
}

// A slider model with the window's style, size, range and positions: where it should look.
mw::SliderModel ModelOf(HWND w) {
  const bool fader = IsFader(w);
  mw::SliderModel m(fader ? mw::SliderKind::kFader : mw::SliderKind::kTrackbar,
                    static_cast<std::uint32_t>(GetWindowLongA(w, GWL_STYLE)), false, 0);
  RECT r;
  GetClientRect(w, &r);
  m.Resize(r.right, r.bottom);
  m.SetRange(Get(w, SLM_GETRANGEMIN), Get(w, SLM_GETRANGEMAX), false);
  for (int i = 1; i <= m.ThumbCount(); ++i) {
    if (fader) m.SetChannelPos(i, Get(w, FDM_GETCHANNELPOS, MAKEWPARAM(0, i)), false, nullptr);
  }
  if (!fader) m.SetPos(Get(w, SLM_GETPOS), false, nullptr);
  return m;
}

// The bounding box of every straight run of at least `minRun` pixels of `colour`, down the
// columns or along the rows: a thumb's frame.
mw::Rect FrameBox(const Picture& p, std::uint32_t colour, bool columns, int minRun) {
  mw::Rect box{p.width, p.height, 0, 0};
  const int lines = columns ? p.width : p.height, length = columns ? p.height : p.width;
  for (int i = 0; i < lines; ++i) {
    int run = 0;
    for (int j = 0; j < length; ++j) {
      run = p.At(columns ? i : j, columns ? j : i) == colour ? run + 1 : 0;
      if (run < minRun) continue;
      const int from = j - run + 1;
      const int x0 = columns ? i : from, y0 = columns ? from : i;
      const int x1 = columns ? i + 1 : j + 1, y1 = columns ? j + 1 : i + 1;
      box = {std::min(box.left, x0), std::min(box.top, y0), std::max(box.right, x1),
             std::max(box.bottom, y1)};
    }
  }
  return box.Empty() ? mw::Rect{} : box;
}

const std::uint32_t kDark = FromColorRef(GetSysColor(COLOR_3DDKSHADOW));

// Finds each thumb's frame in the control's picture (a fader's per thumb, in its half).
void ExpectThumbsWhereTheModelPutsThem(HWND w, Picture p) {
  const mw::SliderModel m = ModelOf(w);
  const mw::Rect& b = m.Layout().buttons;  // framed like the thumb: left out of the search
  for (int y = b.top; y < b.bottom; ++y) {
    for (int x = b.left; x < b.right; ++x) p.pixels[static_cast<std::size_t>(y) * p.width + x] = 0;
  }
  const bool vertical = m.Layout().vertical;
  for (int i = 0; i < m.ThumbCount(); ++i) {
    const int half = p.width / m.ThumbCount();
    const RECT part{i * half, 0, (i + 1) * half, p.height};
    mw::Rect found = FrameBox(p.Crop(part), kDark, !vertical, 8);
    found = {found.left + i * half, found.top, found.right + i * half, found.bottom};
    const mw::Rect want = m.ThumbRect(i);
    EXPECT_TRUE(found == want) << "thumb " << i << " found at " << found.left << "," << found.top
                               << "-" << found.right << "," << found.bottom << ", the model has "
                               << want.left << "," << want.top << "-" << want.right << ","
                               << want.bottom;
  }
}

class Sliders : public ModuleSuite {
 protected:
  void SetUp() override {
    ModuleSuite::SetUp();
    if (HasFatalFailure()) return;
    host_ = std::make_unique<Host>(460, 250, "Trackbars and faders");
    host_->onNote = [this](UINT m, WPARAM w, LPARAM l) { Record(m, w, l); };
  }

  HWND Add(bool fader, DWORD style, int x, int y, int width, int height, int id = 10) {
    HWND w = host_->Add(fader ? kFaderClass : kTrackbarClass, "", style | WS_TABSTOP, x, y, width,
                        height, id, Module());
    EXPECT_NE(w, nullptr);
    return w;
  }

  // A level fader: -800 to 0 tenths of a decibel, the page's default -60.
  HWND LevelFader(DWORD style, int x, int y, int width = 40, std::int32_t second = -300) {
    HWND f = Add(true, style, x, y, width, 200, 20);
    FaderSetupRecord setup{-800, 0, -60, 1, 10, 0, 0, {-60, second}};
    EXPECT_EQ(SendMessageA(f, FDM_SETUP, 0, reinterpret_cast<LPARAM>(&setup)), 1);
    return f;
  }

  // The parent's side: record, and move the control as a page does (scroll rules, line 1,
  // page 10 for faders and a tenth of the range for trackbars).
  void Record(UINT message, WPARAM wParam, LPARAM lParam) {
    Signal s{message, LOWORD(wParam), 0, 0};
    if (message == WM_HSCROLL || message == WM_VSCROLL) {
      s.value = static_cast<short>(HIWORD(wParam));
      HWND w = reinterpret_cast<HWND>(lParam);
      const bool ctrl = GetKeyState(VK_CONTROL) < 0;
      const std::int32_t lo = Get(w, SLM_GETRANGEMIN), hi = Get(w, SLM_GETRANGEMAX);
      if (IsFader(w)) {
        SendMessageA(w, FDM_SETCHANNELPOS, MAKEWPARAM(1, 1),
                     mw::FaderScrollRule(s.code, lo, hi, Get(w, SLM_GETPOS), 1, 10, ctrl));
      } else {
        SendMessageA(w, SLM_SETPOS, 1,
                     mw::TrackbarScrollRule(s.code, lo, hi, Get(w, SLM_GETPOS), 1, 0, ctrl,
                                            message == WM_VSCROLL));
      }
    } else if (message == WM_COMMAND) {
      s.code = HIWORD(wParam);
    } else if (message == WM_NOTIFY) {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      s.code = static_cast<int>(header->code);
      if (header->code == kFaderScroll) {
        const auto* r = reinterpret_cast<const FaderScrollNotify*>(lParam);
        s = {WM_NOTIFY, r->scrollCode, r->positions[0], r->thumbCount == 2 ? r->positions[1] : 0};
      } else if (header->code == kSliderUnusedKey) {
        const auto* r = reinterpret_cast<const SliderKeyNotify*>(lParam);
        s.value = r->key;
        s.second = r->repeat;
      }
    }
    signals_.push_back(s);
  }

  // The scroll codes the parent got (a fader's records too).
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const Signal& s : signals_) {
      const bool scroll = s.message == WM_HSCROLL || s.message == WM_VSCROLL;
      if (scroll || (s.message == WM_NOTIFY && s.code >= 0)) codes.push_back(s.code);
    }
    return codes;
  }

  bool Got(UINT message) const {
    for (const Signal& s : signals_) {
      if (s.message == message) return true;
    }
    return false;
  }

  static POINT ThumbOnScreen(HWND w, int thumb = 0, int acrossShift = 0) {
    const mw::Rect r = ModelOf(w).ThumbRect(thumb);
    return Host::OnScreen(w, (r.left + r.right) / 2 + acrossShift, (r.top + r.bottom) / 2);
  }

  std::unique_ptr<Host> host_;
  std::vector<Signal> signals_;
};

// Driven by the pointer: these run again with X events from xdotool.
class SliderPointer : public Sliders {};

TEST_F(Sliders, TrackbarAndFaderMessages) {
  HWND t = Add(false, kPageTrackbar, 10, 10, 200, 20);
  EXPECT_EQ(Get(t, SLM_GETRANGEMIN), 0);
  EXPECT_EQ(Get(t, SLM_GETRANGEMAX), 100);
  EXPECT_EQ(Get(t, SLM_GETPOS), 50);
  EXPECT_EQ(SendMessageA(t, SLM_SETRANGE, 0, MAKELPARAM(-50, 50)), 0);
  EXPECT_EQ(Get(t, SLM_GETRANGEMIN), -50);
  EXPECT_EQ(SendMessageA(t, SLM_SETPOS, 1, 500), 50);  // clamped
  EXPECT_EQ(SendMessageA(t, SLM_SETDEFAULTPOS, 0, -80), -50);
  EXPECT_EQ(static_cast<DWORD>(Get(t, SLM_GETCHANNELSPAN)), (5u << 16) | (200u - 12u));
  EXPECT_EQ(SendMessageA(t, SLM_SETFILLFROMDEFAULT, 0, 1), -1);
  EXPECT_EQ(SendMessageA(t, SLM_SETSHADEDFILL, 0, 0), 0);
  EXPECT_EQ(static_cast<COLORREF>(Get(t, SLM_GETCOLOR)), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(Get(t, FDM_GETFLAG), 0);  // not a trackbar message: 0 like any unlisted one
  EXPECT_EQ(Get(t, 0x7000), 0);
  EXPECT_EQ(Get(t, WM_GETDLGCODE), DLGC_WANTARROWS | DLGC_WANTCHARS);
  // The creation data is the notification data.
  HWND d = CreateWindowExA(0, kTrackbarClass, "", WS_CHILD, 0, 0, 100, 20, host_->window(),
                           nullptr, Module(), reinterpret_cast<void*>(1234));
  EXPECT_EQ(Get(d, SLM_GETNOTIFYDATA), 1234);

  HWND f = Add(true, kPageFader, 220, 10, 40, 200);
  EXPECT_EQ(Get(f, SLM_GETCHANNELSPAN), 0);  // trackbar-only
  FaderSetupRecord setup{-800, 0, -1000, 1, 0, kTwoThumbs, kTwoThumbs, {-60, 5}};
  EXPECT_EQ(SendMessageA(f, FDM_SETUP, 0, reinterpret_cast<LPARAM>(&setup)), 1);
  EXPECT_EQ(Get(f, FDM_GETCHANNELPOS, MAKEWPARAM(0, 1)), -60);
  EXPECT_EQ(Get(f, FDM_GETCHANNELPOS, MAKEWPARAM(0, 2)), 0);  // clamped
  EXPECT_EQ(SendMessageA(f, FDM_SETACTIVECHANNELS, 0, 4), 1);  // no such thumb: the first
  EXPECT_EQ(SendMessageA(f, FDM_SETCHANNELPOS, MAKEWPARAM(1, 2), -300), -300);
  const INT32 both[2] = {-10, -20};
  EXPECT_EQ(SendMessageA(f, FDM_SETCHANNELPOS, 1, reinterpret_cast<LPARAM>(both)), 0);
  INT32 read[2] = {};
  SendMessageA(f, FDM_GETCHANNELPOS, 0, reinterpret_cast<LPARAM>(read));
  EXPECT_EQ(read[1], -20);
  EXPECT_EQ(SendMessageA(f, FDM_SETFLAG, 0, 1), -1);
  EXPECT_EQ(Get(f, FDM_GETFLAG), -1);
  EXPECT_EQ(SendMessageA(f, SLM_SETPOS, 1, 99), 99);  // unclamped until the next range change
  SendMessageA(f, SLM_SETRANGEMAX, 1, 0);
  EXPECT_EQ(Get(f, SLM_GETPOS), 0);
  EXPECT_EQ(SendMessageA(f, FDM_SETUP, 0, 0), 0);
  EXPECT_TRUE(signals_.empty());
}

TEST_F(SliderPointer, TrackbarDragReportsTrackAndFinalPositions) {
  HWND t = Add(false, kPageTrackbar | 0x8000, 20, 20, 200, 20);
  host_->Settle();
  const POINT start = ThumbOnScreen(t);
  MoveTo(start);
  Press();
  EXPECT_EQ(GetFocus(), t);
  MoveInSteps(start, {start.x + 60, start.y + 3}, 4);
  SavePng(Capture(t), "trackbar_dragging");
  ExpectThumbsWhereTheModelPutsThem(t, Capture(t));
  MoveInSteps({start.x + 60, start.y + 3}, {start.x + 400, start.y}, 4);
  Release();
  ASSERT_GE(signals_.size(), 5u);
  EXPECT_EQ(signals_[0], (Signal{WM_COMMAND, 1, 0, 0}));  // focus
  EXPECT_EQ(signals_[1], (Signal{WM_COMMAND, 3, 0, 0}));  // press
  EXPECT_EQ(signals_[2].code, 9);
  int last = 50;
  for (std::size_t i = 3; i + 3 < signals_.size(); ++i) {
    EXPECT_EQ(signals_[i].code, 5);
    EXPECT_GE(signals_[i].value, last);
    EXPECT_LE(signals_[i].value, 100);
    last = signals_[i].value;
  }
  EXPECT_EQ(last, 100);
  const std::size_t n = signals_.size();
  EXPECT_EQ(signals_[n - 3], (Signal{WM_HSCROLL, 4, 100, 0}));
  EXPECT_EQ(signals_[n - 2], (Signal{WM_HSCROLL, 8, 0, 0}));
  EXPECT_EQ(signals_[n - 1], (Signal{WM_COMMAND, 4, 0, 0}));
  EXPECT_EQ(Get(t, SLM_GETPOS), 100);
  EXPECT_EQ(GetCapture(), nullptr);
  Park();
}

// A 150-pixel trackbar over 1 to 5000: a normal move of 20 pixels jumps hundreds of values;
// in fine mode it is 10 values, and the pointer goes back onto the thumb.
TEST_F(SliderPointer, FineModeByRestingCtrlAndRightButtonOpensNoMenu) {
  HWND t = Add(false, kPageTrackbar, 20, 20, 150, 20);
  SendMessageA(t, SLM_SETRANGE, 0, MAKELPARAM(1, 5000));
  SendMessageA(t, SLM_SETPOS, 1, 2500);
  host_->Settle();
  const POINT thumb = ThumbOnScreen(t);
  MoveTo(thumb);
  Press();
  Pump(80);  // resting
  MoveTo({thumb.x + 4, thumb.y});
  EXPECT_EQ(Get(t, SLM_GETPOS), 2502);
  POINT p{};
  GetCursorPos(&p);
  EXPECT_EQ(p.x, ThumbOnScreen(t).x) << "the pointer is put back onto the thumb";
  auto step = [&](int dx) {
    const std::int32_t before = Get(t, SLM_GETPOS);
    GetCursorPos(&p);
    MoveTo({p.x + dx, p.y});
    return Get(t, SLM_GETPOS) - before;
  };
  KeyDown(VK_CONTROL);
  EXPECT_EQ(step(20), 10);
  EXPECT_EQ(step(-21), -11);  // (d - 1) / 2
  KeyUp(VK_CONTROL);
  PressRight();
  EXPECT_EQ(step(20), 10);
  ReleaseRight();
  EXPECT_GT(step(20), 300);  // normal again
  Release();
  Pump(30);
  EXPECT_FALSE(Got(WM_CONTEXTMENU));
  EXPECT_EQ(Codes().back(), 8);
  Park();
}

TEST_F(SliderPointer, EscapeRestoresAndDoubleClickGoesToDefault) {
  HWND t = Add(false, kPageTrackbar, 20, 20, 200, 20);
  SendMessageA(t, SLM_SETDEFAULTPOS, 0, 30);
  SendMessageA(t, SLM_SETPOS, 1, 70);
  host_->Settle();
  const POINT thumb = ThumbOnScreen(t);
  MoveTo(thumb);
  Press();
  MoveInSteps(thumb, {thumb.x - 80, thumb.y}, 4);
  EXPECT_LT(Get(t, SLM_GETPOS), 50);
  Tap(VK_ESCAPE);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(Get(t, SLM_GETPOS), 70);
  Release();
  ASSERT_GE(signals_.size(), 2u);
  EXPECT_EQ(signals_[signals_.size() - 2], (Signal{WM_HSCROLL, 4, 70, 0}));
  EXPECT_EQ(signals_.back(), (Signal{WM_HSCROLL, 8, 0, 0}));

  signals_.clear();
  Pump(600);  // the drag's press is no first click of a double click
  ClickAt(thumb);
  ClickAt(thumb);
  const std::vector<Signal> want{{WM_HSCROLL, 9, 0, 0}, {WM_HSCROLL, 4, 70, 0},
                                 {WM_HSCROLL, 8, 0, 0}, {WM_HSCROLL, 4, 30, 0}};
  EXPECT_EQ(signals_, want);
  EXPECT_EQ(Get(t, SLM_GETPOS), 30);
  Park();
}

TEST_F(SliderPointer, FaderThumbsCursorsDoubleClicksAndRightClick) {
  HWND f = LevelFader(0x00C1, 40, 20, 40);  // vertical, tapered, two thumbs
  host_->Settle();
  // The cursor tells which thumb the keys and the wheel move.
  const HCURSOR left = LoadCursorA(Module(), MAKEINTRESOURCEA(27));
  const HCURSOR right = LoadCursorA(Module(), MAKEINTRESOURCEA(28));
  const std::pair<LPARAM, HCURSOR> cursors[] = {
      {1, left}, {2, right}, {3, LoadCursorA(nullptr, IDC_ARROW)}};
  int nudge = 0;
  for (const auto& [mask, cursor] : cursors) {
    SendMessageA(f, FDM_SETACTIVECHANNELS, 0, mask);
    MoveTo(ThumbOnScreen(f, 1, nudge++ % 2));  // a move makes the window set its cursor
    EXPECT_TRUE(PumpUntil([&] {
      CURSORINFO info{};
      info.cbSize = sizeof info;
      return GetCursorInfo(&info) && info.hCursor == cursor;
    }, 500)) << "mask " << mask;
  }
  // A double click on the outer half of the first thumb: the other one joins it.
  ClickAt(ThumbOnScreen(f, 0, -4));
  ClickAt(ThumbOnScreen(f, 0, -4));
  EXPECT_EQ(Get(f, FDM_GETCHANNELPOS, MAKEWPARAM(0, 2)), -60);
  EXPECT_EQ(signals_.back(), (Signal{WM_NOTIFY, 4, -60, -60}));
  // On the inner half both are active: both go to the default.
  const INT32 apart[2] = {-200, -500};
  SendMessageA(f, FDM_SETCHANNELPOS, 1, reinterpret_cast<LPARAM>(apart));
  Pump(600);  // not a third click of the same double click
  ClickAt(ThumbOnScreen(f, 1, -4));
  ClickAt(ThumbOnScreen(f, 1, -4));
  EXPECT_EQ(signals_.back(), (Signal{WM_NOTIFY, 4, -60, -60}));

  // A drag of the second thumb alone, with a right click in the middle: fine mode, no menu.
  signals_.clear();
  const POINT thumb = ThumbOnScreen(f, 1, 4);
  MoveTo(thumb);
  Press();
  MoveInSteps(thumb, {thumb.x, thumb.y + 40}, 4);
  const std::int32_t coarse = Get(f, FDM_GETCHANNELPOS, MAKEWPARAM(0, 2));
  EXPECT_LT(coarse, -60);
  PressRight();
  MoveTo({thumb.x, thumb.y + 60});
  ReleaseRight();
  EXPECT_EQ(Get(f, FDM_GETCHANNELPOS, MAKEWPARAM(0, 2)), coarse - 10);
  SavePng(Capture(f), "fader_two_thumbs_dragging");
  Release();
  Pump(30);
  EXPECT_FALSE(Got(WM_CONTEXTMENU));
  EXPECT_EQ(signals_.back(), (Signal{WM_NOTIFY, 8, -60, coarse - 10}));
  EXPECT_EQ(Get(f, SLM_GETPOS), -60);
  Park();
}

// A page's level fader set up by range messages: the default follows each range change, then
// the page's own default; a double click returns there, a drag reports its track upward.
TEST_F(SliderPointer, FaderDefaultFromRangeMessagesDoubleClickAndDrag) {
  HWND f = Add(true, kPageFader, 40, 20, 40, 200);
  host_->Settle();
  auto doubleClickThumb = [&] {
    Pump(600);  // no double click with an earlier click
    signals_.clear();
    ClickAt(ThumbOnScreen(f));
    ClickAt(ThumbOnScreen(f));
    return Get(f, SLM_GETPOS);
  };
  SendMessageA(f, SLM_SETRANGEMIN, 1, -800);
  EXPECT_EQ(doubleClickThumb(), 0);
  SendMessageA(f, SLM_SETRANGEMAX, 1, 0);
  EXPECT_EQ(doubleClickThumb(), -800);
  EXPECT_EQ(SendMessageA(f, SLM_SETDEFAULTPOS, 0, -60), -60);
  SendMessageA(f, SLM_SETPOS, 1, -400);
  EXPECT_EQ(doubleClickThumb(), -60);
  const std::vector<Signal> want{{WM_VSCROLL, 9, 0, 0}, {WM_VSCROLL, 4, -400, 0},
                                 {WM_VSCROLL, 8, 0, 0}, {WM_VSCROLL, 4, -60, 0}};
  EXPECT_EQ(signals_, want);

  // A drag up past the top: rising track positions, then 0 (0 dB) as the final one.
  Pump(600);
  signals_.clear();
  const POINT thumb = ThumbOnScreen(f);
  MoveTo(thumb);
  Press();
  MoveInSteps(thumb, {thumb.x + 2, thumb.y - 140}, 6);
  SavePng(Capture(f), "fader_dragging");
  Release();
  const std::vector<int> codes = Codes();
  ASSERT_GE(codes.size(), 4u);
  EXPECT_EQ(codes.front(), 9);
  int last = -60;
  for (std::size_t i = 1; i + 2 < signals_.size(); ++i) {
    EXPECT_EQ(signals_[i].code, 5) << i;
    EXPECT_GT(signals_[i].value, last) << i;
    last = signals_[i].value;
  }
  EXPECT_EQ(last, 0);
  EXPECT_EQ(signals_[signals_.size() - 2], (Signal{WM_VSCROLL, 4, 0, 0}));
  EXPECT_EQ(signals_.back(), (Signal{WM_VSCROLL, 8, 0, 0}));
  // A digit key: three tenths of the range up from the bottom.
  signals_.clear();
  Tap('3');
  EXPECT_EQ(Get(f, SLM_GETPOS), -560);
  EXPECT_EQ(signals_, (std::vector<Signal>{{WM_VSCROLL, 4, -560, 0}}));
  Park();
}

TEST_F(SliderPointer, WheelStepsAndRouting) {
  HWND t = Add(false, kPageTrackbar, 20, 20, 200, 20);
  HWND f = LevelFader(kPageFader, 260, 20);
  host_->Settle();
  // One message of two notches, as a message: 9, 3, 3, 8 (the page moves two pages).
  SetFocus(t);
  const POINT over = Host::OnScreen(t, 100, 10);
  MoveTo(over);
  signals_.clear();
  EXPECT_EQ(SendMessageA(t, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), MAKELPARAM(over.x, over.y)), 105);
  EXPECT_EQ(Codes(), (std::vector<int>{9, 3, 3, 8}));
  EXPECT_EQ(Get(t, SLM_GETPOS), 70);
  // Real notches, with Shift and Ctrl one line.
  signals_.clear();
  Wheel(-120);
  KeyDown(VK_SHIFT);
  KeyDown(VK_CONTROL);
  Wheel(-120);
  KeyUp(VK_CONTROL);
  KeyUp(VK_SHIFT);
  EXPECT_EQ(Codes(), (std::vector<int>{9, 2, 8, 9, 0, 8}));
  EXPECT_EQ(Get(t, SLM_GETPOS), 59);
  // The fader moves itself: 1.0 dB a notch, 0.1 dB with Shift and Ctrl.
  SetFocus(f);
  MoveTo(Host::OnScreen(f, 20, 100));
  signals_.clear();
  Wheel(120);
  EXPECT_EQ(Get(f, SLM_GETPOS), -50);
  EXPECT_EQ(signals_, (std::vector<Signal>{{WM_VSCROLL, 9, 0, 0}, {WM_VSCROLL, 5, -50, 0},
                                           {WM_VSCROLL, 8, 0, 0}}));
  SendMessageA(f, SLM_SETPOS, 1, -60);
  KeyDown(VK_SHIFT);
  KeyDown(VK_CONTROL);
  Wheel(120);
  KeyUp(VK_CONTROL);
  KeyUp(VK_SHIFT);
  EXPECT_EQ(Get(f, SLM_GETPOS), -59);
  // Over the trackbar while the fader has the focus: the trackbar moves, the fader stays.
  MoveTo(over);
  Wheel(120);
  EXPECT_EQ(Get(t, SLM_GETPOS), 69);
  EXPECT_EQ(SendMessageA(f, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(over.x, over.y)), 105);
  EXPECT_EQ(Get(t, SLM_GETPOS), 79);
  EXPECT_EQ(Get(f, SLM_GETPOS), -59);
  EXPECT_EQ(GetFocus(), f);
  Park();
}

TEST_F(Sliders, KeysNotifyCodesAndDigitsMove) {
  HWND t = Add(false, kPageTrackbar, 20, 20, 200, 20);
  SendMessageA(t, SLM_SETRANGE, 0, MAKELPARAM(0, 200));
  HWND f = Add(true, kPageFader, 260, 20, 40, 200, 20);
  HWND pair = Add(true, kPageFader | kTwoThumbs, 320, 20, 40, 200, 30);
  for (HWND w : {f, pair}) SendMessageA(w, SLM_SETRANGE, 0, MAKELPARAM(-100, 100));
  host_->Settle();
  SetFocus(t);
  Tap('5');
  Tap(VK_END);
  Tap(VK_PRIOR);
  Tap(VK_HOME);
  Tap(VK_NUMPAD5);  // ignored
  Tap('A');
  std::vector<Signal> want{{WM_HSCROLL, 4, 100, 0}, {WM_HSCROLL, 7, 0, 0}, {WM_HSCROLL, 8, 0, 0},
                           {WM_HSCROLL, 2, 0, 0}, {WM_HSCROLL, 8, 0, 0}, {WM_HSCROLL, 6, 0, 0},
                           {WM_HSCROLL, 8, 0, 0}, {WM_NOTIFY, -102, 'A', 1}};
  EXPECT_EQ(signals_, want);
  EXPECT_EQ(Get(t, SLM_GETPOS), 0);
  // Home on a fader over -100 to 100: 0, with Ctrl the top. The single thumb is moved by its
  // parent's scroll rule, the pair moves itself (its active thumb).
  for (HWND w : {f, pair}) {
    SetFocus(w);
    Tap(VK_HOME);
    EXPECT_EQ(Get(w, SLM_GETPOS), 0);
    KeyDown(VK_CONTROL);
    Tap(VK_HOME);
    KeyUp(VK_CONTROL);
    EXPECT_EQ(Get(w, SLM_GETPOS), 100);
  }
  Tap('R');
  Tap(VK_END);
  EXPECT_EQ(Get(pair, FDM_GETCHANNELPOS, MAKEWPARAM(0, 2)), -100);
  EXPECT_EQ(Get(pair, SLM_GETPOS), 100);
  signals_.clear();
  SetFocus(host_->window());
  ASSERT_EQ(signals_.size(), 1u);
  EXPECT_EQ(signals_[0].code, static_cast<int>(kSliderKillFocus));
}

TEST_F(Sliders, PicturesOfEveryState) {
  host_ = std::make_unique<Host>(560, 250, "Trackbars and faders");
  HWND idle = Add(false, kPageTrackbar, 10, 10, 200, 20);
  HWND focused = Add(false, kPageTrackbar, 10, 40, 200, 20);
  HWND disabled = Add(false, kPageTrackbar | WS_DISABLED, 10, 70, 200, 20);
  HWND log = Add(false, kLogTrackbar | 0x1000, 10, 100, 200, 30);
  HWND buttons = Add(false, 0x0900, 10, 140, 200, 24);
  HWND vertical = Add(false, kPageTrackbar | 0x1001, 220, 10, 30, 200);
  HWND fader = LevelFader(kPageFader, 270, 10);
  HWND pair = LevelFader(0x00C1, 320, 10, 40);
  HWND off = LevelFader(kPageFader | WS_DISABLED, 370, 10);
  SendMessageA(log, SLM_SETRANGE, 0, MAKELPARAM(10, 5000));
  SendMessageA(log, SLM_SETPOS, 1, 1000);
  for (HWND w : {idle, focused, disabled}) SendMessageA(w, SLM_SETPOS, 1, 30);
  SendMessageA(vertical, SLM_SETRANGE, 0, MAKELPARAM(-50, 50));
  SendMessageA(vertical, SLM_SETPOS, 1, 20);
  SendMessageA(vertical, SLM_SETFILLFROMDEFAULT, 1, 1);
  Park();
  host_->Settle();
  for (HWND w : {idle, focused, log, buttons, vertical, fader, pair}) {
    ExpectThumbsWhereTheModelPutsThem(w, Capture(w));
  }
  // Disabled: grey shapes, no dark frame; the same geometry otherwise.
  const Picture grey = Capture(disabled);
  EXPECT_GT(CountDifferent(grey, Capture(idle)), 40);
  EXPECT_TRUE(FrameBox(grey, kDark, true, 8).Empty());
  EXPECT_TRUE(FrameBox(Capture(off), kDark, false, 8).Empty());
  // The log scale puts 1000 at about 72 % of the travel; its ticks stand at the model's pixels.
  const mw::SliderModel logModel = ModelOf(log);
  int ticks[3];
  ASSERT_TRUE(logModel.TickPixels(ticks));
  const std::uint32_t mark = FromColorRef(GetSysColor(COLOR_BTNTEXT));
  for (int x : ticks) EXPECT_EQ(Capture(log).At(x, 1), mark) << x;
  // Focused: the caret blinks in the thumb (the first active one of a fader).
  for (HWND w : {focused, pair}) {
    const Picture before = Capture(w);
    SetFocus(w);
    EXPECT_TRUE(PumpUntil([&] { return CountDifferent(Capture(w), before) > 20; }, 1500));
    if (w == focused) SavePng(Capture(w), "trackbar_focused");
  }
  SavePng(Capture(host_->window(), true), "sliders_all_states");
  const std::pair<HWND, const char*> shots[] = {
      {idle, "trackbar_idle"}, {disabled, "trackbar_disabled"}, {log, "trackbar_log_ticks"},
      {buttons, "trackbar_line_buttons"}, {vertical, "trackbar_vertical_fill_from_default"},
      {fader, "fader_level"}, {pair, "fader_two_thumbs_focused"}, {off, "fader_disabled"}};
  for (const auto& [w, name] : shots) EXPECT_FALSE(SavePng(Capture(w), name).empty());
}

}  // namespace
}  // namespace uitest
