// The Pitch Shift and Time Stretch pages in the system's property frame, driven as a person
// does: their layout, the "Need input pin" texts without an input and the times with one (the
// filter connected in a graph with a WAV file), Preserve duration narrowing the semitones,
// the input-format list switching the Time Stretch page's labels and edit boxes, and a page
// changing a streaming filter's output from the next buffer on.
//
// The graph helpers come first: they name the core's status constants, which the platform
// headers would turn into macros.
#include "graph_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/effects/catalog.h"
#include "mwppack1/mwppack1.h"
#include "page_harness.h"
#include "page_streamer.h"
#include "win/ui/controls/control_messages.h"

namespace uitest {
namespace {

using namespace mw::ui;

constexpr std::uint32_t kRate = 44100;

PitchShiftParams PitchBlock(IUnknown* filter) {
  Ref<IPitchShiftParams> p(Query<IPitchShiftParams>(filter, IID_IPitchShiftParams));
  PitchShiftParams block{};
  if (p.Get() != nullptr) p->GetParameters(&block);
  return block;
}

TimeStretchParams StretchBlock(IUnknown* filter) {
  Ref<ITimeStretchParams> p(Query<ITimeStretchParams>(filter, IID_ITimeStretchParams));
  TimeStretchParams block{};
  if (p.Get() != nullptr) p->GetParameters(&block);
  return block;
}

class LengthPageSuite : public ModuleSuite {
 protected:
  // A picture of the whole frame, the pointer parked away from it.
  static void Picture(const FrameOnThread& frame, const std::string& name) {
    Park();
    Pump(200);
    SavePng(Capture(frame.Frame(), true), name);
  }
};

class LengthPages : public LengthPageSuite,
                    public ::testing::WithParamInterface<const PageKind*> {};

// Opened on a filter without an input: the template's layout, the tab and the banner, the
// ratio the Pitch Shift page writes, and "Need input pin" for the times, for there is no
// sample rate to convert with.
TEST_P(LengthPages, OpenWithTheTemplatesLayoutAndNeedInputPin) {
  const PageKind& kind = *GetParam();
  OpenPage page(Module(), kind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  EXPECT_EQ(page.frame->Text(2), kind.title);
  ExpectTemplateLayout(Module(), *page.frame, kind.dialog);
  ExpectShowsFilter(*page.frame, page.filter.Get(), kind, "at opening");
  if (&kind == &kPitchShiftKind) {
    EXPECT_EQ(page.frame->Text(2029), "Need input pin");
    EXPECT_EQ(PitchBlock(page.filter.Get()).Ratio, 1.000001);
    Picture(*page.frame, "pitch-shift-default");
  } else {
    Picture(*page.frame, "time-stretch-default");
    ChooseEntry(*page.frame, 1015, 2);  // Time
    EXPECT_TRUE(PumpUntil([&] { return page.frame->Text(1002) == "Need input pin"; }, 5000));
    EXPECT_EQ(page.frame->Text(1007), "00:00:00.000");
    EXPECT_EQ(page.frame->Text(1008), "00:00:00.000");
    EXPECT_EQ(StretchBlock(page.filter.Get()).InputFormat, 2u);
  }
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// The filter connected in a graph with a WAV file at 44100 Hz: the times appear.
TEST_P(LengthPages, ShowTheTimesWithAConnectedInput) {
  const PageKind& kind = *GetParam();
  const ComScope com;
  mwtest::ScratchDir dir;
  const std::wstring file = dir.Path(L"minute.wav");
  const mwtest::FormatCase& format = mwtest::AllFormats()[1];
  mwtest::WriteWav(file, format, 2, kRate, mwtest::MakeSignal(format, 2, kRate / 10, 3), false);
  Ref<IUnknown> filter(CreateFromModule(Module(), *kind.filter));
  ASSERT_NE(filter.Get(), nullptr);
  Ref<IBaseFilter> base(Query<IBaseFilter>(filter.Get(), IID_IBaseFilter));
  mwtest::EffectGraph graph;
  ASSERT_TRUE(graph.Build(file, base.Get()));
  FrameOnThread frame(Module(), filter.Get(), *kind.page, kind.filterName);
  ASSERT_TRUE(frame.Open());
  if (&kind == &kPitchShiftKind) {
    // The presets' initial time, 2646000 samples, is a minute at 44100 Hz.
    EXPECT_EQ(frame.Text(2027), "00:01:00.000");
    EXPECT_EQ(frame.Text(2029), "Final time (00:00:03.148 to 00:19:03.540):");
    EXPECT_EQ(frame.Text(2028), "00:00:59.999");
    TypeInto(frame, 2027, "1:30.");
    EXPECT_TRUE(PumpUntil([&] { return PitchBlock(filter.Get()).InitialTime == 3969000.0; }, 5000));
    EXPECT_EQ(frame.Text(2027), "00:01:30.000");
    Picture(frame, "pitch-shift-connected");
  } else {
    ChooseEntry(frame, 1015, 2);  // Time
    EXPECT_TRUE(PumpUntil(
        [&] { return frame.Text(1002) == "&Final Time (00:00:30.000 to 00:05:00.000):"; }, 5000));
    EXPECT_EQ(frame.Text(1016), "&Initial Time (hr:mn:sc.xxx):");
    EXPECT_EQ(frame.Text(1008), "00:01:00.000");
    EXPECT_EQ(frame.Text(1007), "00:01:00.000");
    TypeInto(frame, 1007, "00:02:00.000");
    EXPECT_TRUE(PumpUntil([&] { return StretchBlock(filter.Get()).FinalLength == 20000.0; }, 5000));
    EXPECT_EQ(frame.Text(1018), "200.00 %");
    Picture(frame, "time-stretch-connected");
  }
  EXPECT_EQ(frame.Close(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Pages, LengthPages,
                         ::testing::Values(&kPitchShiftKind, &kTimeStretchKind),
                         [](const ::testing::TestParamInfo<const PageKind*>& info) {
                           return std::string(info.param == &kPitchShiftKind ? "PitchShift"
                                                                             : "TimeStretch");
                         });

class PitchShiftPageWindow : public LengthPageSuite {};

// A host wrote Semitones -20 while the page showed 0 (so Preserve duration could still be
// ticked); ticking it writes -12 back and narrows the trackbar to -12..12.
TEST_F(PitchShiftPageWindow, TickingPreserveDurationWithMinus20WritesMinus12AndNarrows) {
  OpenPage page(Module(), kPitchShiftKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  HWND trackbar = page.frame->Item(2022);
  Ref<IPitchShiftParams> params(Query<IPitchShiftParams>(page.filter.Get(), IID_IPitchShiftParams));
  ASSERT_EQ(params->put_Semitones(-20), S_OK);
  ASSERT_TRUE(IsWindowEnabled(page.frame->Item(2004)));
  ClickAt(page.frame->Centre(2004));
  ASSERT_TRUE(PumpUntil([&] { return PitchBlock(page.filter.Get()).PreserveDuration != 0; }, 5000));
  EXPECT_TRUE(PumpUntil([&] { return PitchBlock(page.filter.Get()).Semitones == -12; }, 5000));
  EXPECT_EQ(SendMessageA(trackbar, SLM_GETRANGEMIN, 0, 0), -12);
  EXPECT_EQ(SendMessageA(trackbar, SLM_GETRANGEMAX, 0, 0), 12);
  ExpectShowsFilter(*page.frame, page.filter.Get(), kPitchShiftKind, "Preserve duration ticked");
  Picture(*page.frame, "pitch-shift-preserve");
  // Cleared: the whole range again.
  Pump(static_cast<int>(GetDoubleClickTime()) + 50);
  ClickAt(page.frame->Centre(2004));
  EXPECT_TRUE(PumpUntil([&] { return SendMessageA(trackbar, SLM_GETRANGEMAX, 0, 0) == 50; }, 5000));
  EXPECT_EQ(SendMessageA(trackbar, SLM_GETRANGEMIN, 0, 0), -50);
  ExpectShowsFilter(*page.frame, page.filter.Get(), kPitchShiftKind, "Preserve duration cleared");
  EXPECT_EQ(page.frame->Close(), S_OK);
}

class TimeStretchPageWindow : public LengthPageSuite {};

// The input-format list switches the labels and the contents of both edit boxes; a final
// tempo typed in Tempo is kept as its length.
TEST_F(TimeStretchPageWindow, TheInputFormatListSwitchesLabelsAndEditContents) {
  OpenPage page(Module(), kTimeStretchKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  FrameOnThread& f = *page.frame;
  EXPECT_FALSE(IsWindowEnabled(f.Item(1008)));
  ChooseEntry(f, 1015, 1);  // Tempo
  EXPECT_TRUE(PumpUntil([&] { return StretchBlock(page.filter.Get()).InputFormat == 1; }, 5000));
  EXPECT_EQ(f.Text(1016), "&Initial Tempo (bpm):");
  ExpectShowsFilter(f, page.filter.Get(), kTimeStretchKind, "in Tempo");
  TypeInto(f, 1007, "60");
  EXPECT_TRUE(
      PumpUntil([&] { return StretchBlock(page.filter.Get()).FinalLength == 20000.0; }, 5000));
  EXPECT_EQ(f.Text(1007), "60.00");
  ExpectShowsFilter(f, page.filter.Get(), kTimeStretchKind, "60 bpm typed");
  Picture(f, "time-stretch-tempo");

  ChooseEntry(f, 1015, 0);  // Percentage
  EXPECT_TRUE(PumpUntil([&] { return StretchBlock(page.filter.Get()).InputFormat == 0; }, 5000));
  EXPECT_EQ(f.Text(1007), "200.00");
  ExpectShowsFilter(f, page.filter.Get(), kTimeStretchKind, "back in Percentage");
  EXPECT_EQ(f.Close(), S_OK);
}

}  // namespace
}  // namespace uitest
