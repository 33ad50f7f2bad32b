// The Multi-Tap Delay page in the system's property frame, driven as a person does: the tap
// buttons and the tap count, the pans of a mono and of a stereo stream, and the tap graph,
// whose every pixel is checked against the echo pattern and bar places the core computes.
//
// The graph helpers come first: they name the core's status constants, which the platform
// headers would turn into macros.
#include "graph_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/effects/multitap/tap_graph.h"
#include "mwppack1/mwppack1.h"
#include "page_harness.h"
#include "win/ui/controls/control_messages.h"
#include "win/ui/util/sys_colors.h"

namespace uitest {
namespace {

using namespace mw::ui;

constexpr int kGraph = 4042;
constexpr int kFirstTapButton = 4018;
constexpr int kCountTrackbar = 4014;
constexpr int kPanControls[] = {4031, 4038, 4039, 4040, 4041};

MultiTapParams ParamsOf(IUnknown* filter) {
  Ref<IMultiTapParams> params(Query<IMultiTapParams>(filter, IID_IMultiTapParams));
  MultiTapParams p{};
  if (params.Get() != nullptr) params->GetParameters(&p);
  return p;
}

void Change(IUnknown* filter, const std::function<void(MultiTapParams&)>& change) {
  Ref<IMultiTapParams> params(Query<IMultiTapParams>(filter, IID_IMultiTapParams));
  ASSERT_NE(params.Get(), nullptr);
  MultiTapParams p{};
  ASSERT_EQ(params->GetParameters(&p), S_OK);
  change(p);
  ASSERT_EQ(params->SetParameters(&p), S_OK);
}

// Eight different taps, echoes by feedback, on the 1,000 ms span: taps 6 to 8 lie beyond it.
void SeveralTaps(MultiTapParams& p) {
  for (int i = 0; i < 8; ++i) {
    p.TapDelay[i] = 90 + 160 * i;
    p.TapGain[i] = i % 3 == 1 ? -35 - 5 * i : 95 - 10 * i;
    p.TapPan[i] = 25 * i - 100;
  }
  p.TapCount = 8;
  p.Feedback = 110;
  p.CurrentTap = 2;
  p.GraphResolution = 1;
}

// The graph as it must look for `p`: the background everywhere, the black axes, then the
// core's bars in their module colours, each over what was drawn before. Returns the pixels
// that differ, and describes the first one.
int GraphMismatches(const Picture& shot, const MultiTapParams& p, std::string* first) {
  const int w = shot.width, h = shot.height;
  // The top right pixel is never a bar: the bars end a pixel left of the right edge.
  std::vector<std::uint32_t> expected(static_cast<std::size_t>(w) * h, shot.At(w - 1, 0));
  auto fill = [&](const mw::UiRect& r, std::uint32_t colour) {
    for (int y = std::max(r.top, 0); y < std::min(r.bottom, h); ++y) {
      for (int x = std::max(r.left, 0); x < std::min(r.right, w); ++x) {
        expected[static_cast<std::size_t>(y) * w + x] = colour;
      }
    }
  };
  const mw::TapGraphFrame frame = mw::TapGraphFrameOf({0, 0, w, h});
  fill(frame.vertical, 0);
  fill(frame.horizontal, 0);
  for (const mw::TapGraphBarItem& bar : mw::TapGraphBars(frame, p)) {
    fill(bar.rect, FromColorRef(GetSysColorEx(bar.colour)));
  }
  int wrong = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t want = expected[static_cast<std::size_t>(y) * w + x];
      if (shot.At(x, y) == want) continue;
      if (wrong++ == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "(%d, %d) is %06X, not %06X", x, y, shot.At(x, y), want);
        *first = text;
      }
    }
  }
  return wrong;
}

// The graph repainted (by its own thread) shows the filter's parameters.
void ExpectGraphShows(HWND graph, IUnknown* filter, const std::string& when) {
  InvalidateRect(graph, nullptr, TRUE);
  Pump(150);
  const Picture shot = Capture(graph);
  ASSERT_GT(shot.width, 100) << when;
  std::string first;
  EXPECT_EQ(GraphMismatches(shot, ParamsOf(filter), &first), 0) << when << ": first " << first;
}

bool Enabled(const FrameOnThread& frame, int id) { return IsWindowEnabled(frame.Item(id)) != 0; }
// Drags a trackbar's thumb from its position to past the left end of its groove.
void DragToLeftEnd(HWND trackbar) {
  const LRESULT span = SendMessageA(trackbar, SLM_GETCHANNELSPAN, 0, 0);
  const int start = HIWORD(span), travel = LOWORD(span);
  const auto minimum = SendMessageA(trackbar, SLM_GETRANGEMIN, 0, 0);
  const auto maximum = SendMessageA(trackbar, SLM_GETRANGEMAX, 0, 0);
  const auto at = SendMessageA(trackbar, SLM_GETPOS, 0, 0);
  RECT r;
  GetClientRect(trackbar, &r);
  POINT thumb{static_cast<LONG>(start + 1 + (at - minimum) * travel / (maximum - minimum)),
              (r.bottom - r.top) / 2};
  ClientToScreen(trackbar, &thumb);
  MoveTo(thumb);
  Press();
  MoveInSteps(thumb, POINT{thumb.x - travel - 10, thumb.y}, 6);
  Release();
}

class MultiTapPage : public ModuleSuite {};

// A Multi-Tap Delay filter, set up by `change`, with its page open in the property frame.
struct TapPage {
  TapPage(HMODULE module, const std::function<void(MultiTapParams&)>& change)
      : filter(CreateFromModule(module, CLSID_MwMultiTapDelay)) {
    if (filter.Get() == nullptr) return;
    Change(filter.Get(), change);
    frame = std::make_unique<FrameOnThread>(module, filter.Get(), CLSID_MwMultiTapDelayPage,
                                            L"Marrowind Multi-Tap Delay");
  }
  bool Open() const { return frame != nullptr && frame->Open(); }
  MultiTapParams Params() const { return ParamsOf(filter.Get()); }
  Ref<IUnknown> filter;
  std::unique_ptr<FrameOnThread> frame;
};

TEST_F(MultiTapPage, FromEightTapsToOneWithTheEighthCurrent) {
  TapPage page(Module(), SeveralTaps);
  ASSERT_TRUE(page.Open());
  FrameOnThread& frame = *page.frame;
  IUnknown* filter = page.filter.Get();
  ClickAt(frame.Centre(kFirstTapButton + 7));
  ASSERT_TRUE(PumpUntil([&] { return ParamsOf(filter).CurrentTap == 7; }, 5000));
  ExpectShowsFilter(frame, filter, kMultiTapKind, "the eighth tap current");

  DragToLeftEnd(frame.Item(kCountTrackbar));
  Park();
  ASSERT_TRUE(PumpUntil([&] { return ParamsOf(filter).TapCount == 1; }, 5000));
  ASSERT_TRUE(PumpUntil([&] { return ParamsOf(filter).CurrentTap == 0; }, 5000));
  EXPECT_FALSE(Enabled(frame, kFirstTapButton + 7));
  ExpectShowsFilter(frame, filter, kMultiTapKind, "one tap left");
  ExpectGraphShows(frame.Item(kGraph), filter, "one tap left");
  EXPECT_EQ(frame.Close(), S_OK);
}

TEST_F(MultiTapPage, SelectingATapShowsItAndHighlightsItInTheGraph) {
  TapPage page(Module(), SeveralTaps);
  ASSERT_TRUE(page.Open());
  FrameOnThread& frame = *page.frame;
  IUnknown* filter = page.filter.Get();
  ExpectShowsFilter(frame, filter, kMultiTapKind, "at opening");
  ExpectGraphShows(frame.Item(kGraph), filter, "at opening");
  for (int tap : {0, 4, 1, 6}) {
    Pump(static_cast<int>(GetDoubleClickTime()) + 50);
    ClickAt(frame.Centre(kFirstTapButton + tap));
    ASSERT_TRUE(PumpUntil([&] { return ParamsOf(filter).CurrentTap == tap; }, 5000))
        << "tap " << tap + 1;
    Park();
    Pump(100);
    ExpectShowsFilter(frame, filter, kMultiTapKind, "tap " + std::to_string(tap + 1));
    // The current tap's bar in its own colour; taps 7 and 8 lie beyond the span.
    ExpectGraphShows(frame.Item(kGraph), filter, "tap " + std::to_string(tap + 1));
    if (tap == 1) SavePng(Capture(frame.Frame(), true), "multi-tap-several-taps");
  }
  EXPECT_EQ(frame.Close(), S_OK);
}

// One tap at half feedback: the graph draws its echoes (their values and places are the
// core's, compared pixel by pixel). With the feedback dragged to 0 the page's own repaint
// leaves the tap alone.
TEST_F(MultiTapPage, TheEchoesOfOneTapAtHalfFeedback) {
  TapPage page(Module(), [](MultiTapParams& p) {
    p.TapCount = 1;
    p.TapGain[0] = 100;
    p.TapDelay[0] = 100;
    p.Feedback = 50;
    p.GraphResolution = 0;
  });
  ASSERT_TRUE(page.Open());
  FrameOnThread& frame = *page.frame;
  IUnknown* filter = page.filter.Get();
  ExpectGraphShows(frame.Item(kGraph), filter, "half feedback");
  const std::uint32_t echo = FromColorRef(GetSysColorEx(mw::kTapGraphEchoColour));
  EXPECT_GT(Capture(frame.Item(kGraph)).Count([&](std::uint32_t c) { return c == echo; }), 0);
  SavePng(Capture(frame.Frame(), true), "multi-tap-half-feedback");

  // The feedback trackbar dragged to its left end: the graph repaints with the tap alone.
  DragToLeftEnd(frame.Item(4013));
  Park();
  ASSERT_TRUE(PumpUntil([&] { return ParamsOf(filter).Feedback == 0; }, 5000));
  Pump(150);
  EXPECT_EQ(Capture(frame.Item(kGraph)).Count([&](std::uint32_t c) { return c == echo; }), 0)
      << "the page's own repaint left echoes";
  ExpectGraphShows(frame.Item(kGraph), filter, "no feedback");
  EXPECT_EQ(frame.Close(), S_OK);
}

// The pans are greyed while the filter's stream is mono or absent, and enabled for stereo;
// a format that arrives while the page is open refreshes them.
TEST_F(MultiTapPage, PansFollowTheChannelsOfTheStream) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const mwtest::FormatCase& format = mwtest::AllFormats()[1];
  for (std::uint16_t channels : {1, 2}) {
    TapPage page(Module(), [](MultiTapParams&) {});
    ASSERT_TRUE(page.Open());
    FrameOnThread& frame = *page.frame;
    Ref<IBaseFilter> base(Query<IBaseFilter>(page.filter.Get(), IID_IBaseFilter));
    ASSERT_NE(base.Get(), nullptr);
    for (int id : kPanControls) EXPECT_FALSE(Enabled(frame, id)) << "unconnected: " << id;
    mwtest::PushRig rig;
    mwtest::WaveType type(format, channels, 44100);
    ASSERT_EQ(rig.ConnectInput(base.Get(), type.Get(), 4410), S_OK);
    const bool stereo = channels == 2;
    EXPECT_TRUE(PumpUntil([&] { return Enabled(frame, 4031) == stereo; }, 5000));
    Pump(100);
    for (int id : kPanControls) EXPECT_EQ(Enabled(frame, id), stereo) << channels << ": " << id;
    Park();
    Pump(100);
    SavePng(Capture(frame.Frame(), true),
            std::string("multi-tap-") + (stereo ? "stereo" : "mono"));
    EXPECT_EQ(frame.Close(), S_OK);
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

// The graph draws from the filter the page is connected to: another filter connected while
// the window exists replaces the first, which the page then no longer holds, and without a
// filter the graph is background only.
TEST_F(MultiTapPage, TheGraphDrawsFromTheConnectedFilterOnly) {
  Ref<IUnknown> object(CreateFromModule(Module(), CLSID_MwMultiTapDelayPage));
  ASSERT_NE(object.Get(), nullptr);
  Ref<IPropertyPage> page(Query<IPropertyPage>(object.Get(), IID_IPropertyPage));
  ASSERT_NE(page.Get(), nullptr);
  Ref<IUnknown> first(CreateFromModule(Module(), CLSID_MwMultiTapDelay));
  Ref<IUnknown> second(CreateFromModule(Module(), CLSID_MwMultiTapDelay));
  ASSERT_TRUE(first.Get() != nullptr && second.Get() != nullptr);
  Change(first.Get(), SeveralTaps);
  Change(second.Get(), [](MultiTapParams& p) {
    p.TapCount = 2;
    p.TapDelay[1] = 300;
    p.TapGain[1] = -80;
    p.Feedback = 90;
  });
  IUnknown* connected = first.Get();
  ASSERT_EQ(page->SetObjects(1, &connected), S_OK);
  Host host(640, 520, "page");
  RECT place{0, 0, 600, 500};
  ASSERT_EQ(page->Activate(host.window(), &place, FALSE), S_OK);
  host.Settle();
  HWND graph = GetDlgItem(FindPageDialog(host.window()), kGraph);
  ASSERT_NE(graph, nullptr);
  {
    Ref<IMultiTapParams> params(Query<IMultiTapParams>(first.Get(), IID_IMultiTapParams));
    EXPECT_EQ(GetPropA(graph, "TapGraph"), params.Get());
  }
  ExpectGraphShows(graph, first.Get(), "first filter");

  connected = second.Get();
  ASSERT_EQ(page->SetObjects(1, &connected), S_OK);
  first->AddRef();
  EXPECT_EQ(first->Release(), 1u) << "the page still holds the first filter";
  first.Reset();
  ExpectGraphShows(graph, second.Get(), "second filter");

  ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
  EXPECT_EQ(GetPropA(graph, "TapGraph"), nullptr);
  InvalidateRect(graph, nullptr, TRUE);
  Pump(150);
  const Picture empty = Capture(graph);
  EXPECT_EQ(empty.Count([&](std::uint32_t c) { return c != empty.At(0, 0); }), 0)
      << "more than the background without a filter";
  EXPECT_EQ(page->Deactivate(), S_OK);
}

}  // namespace
}  // namespace uitest
