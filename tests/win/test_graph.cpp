// The filters from mwppack1.dll streaming under Wine. Real graphs (File Source (Async) ->
// WAVE parser -> the filter -> WavSink) for every format and channel count, run to
// EC_COMPLETE: what reaches the sink is what the portable core makes, tail included; the
// copying filters deliver buffers four times the parser's, the first one stamped; seeks and
// restarts start afresh; an empty file completes. A rig of our own in place of the parser
// then sets flags, times, buffer sizes and media types as no parser would.
#include <cstring>
#include <string>
#include <vector>

#include "graph_util.h"

namespace {

using mwtest::EffectCase;
using mwtest::EffectGraph;
using mwtest::FormatCase;
using mwtest::HoldingWriter;
using mwtest::Ptr;
using mwtest::PushFlags;
using mwtest::PushRig;
using mwtest::ScratchDir;
using mwtest::SeenSample;
using mwtest::Slice;
using mwtest::WaveType;

constexpr DWORD kTimeout = 30000;

// Audible echoes with feedback, so that history left in the engine would show.
const EffectCase kDelay = {"delay", &CLSID_MwSimpleDelay,
                           {{"Feedback", 1}, {"DelayTime", 120}, {"DecayTime", 3},
                            {"DelayOut", -20}, {"DryOut", -10}}};
const EffectCase kStretch = {"stretch", &CLSID_MwTimeStretch,
                             {{"FinalLength", 13000.0}, {"Mode", 5}}};
// A shift down that keeps the duration: the output has exactly the input's length.
const EffectCase kPitchDown = {"pitch", &CLSID_MwPitchShift,
                               {{"Ratio", 0.8909}, {"PreserveDuration", 1}, {"Mode", 3}}};
// A shift up, filtered against aliasing: the output is shorter, and there is no tail.
const EffectCase kPitchUp = {"pitch", &CLSID_MwPitchShift,
                             {{"Ratio", 1.3}, {"AntiAlias", 1}, {"Accuracy", 3}}};
// The same without the filter, whose history a discontinuity does not clear before the
// buffer that carries it has been filtered.
const EffectCase kPitchUpUnfiltered = {"pitch", &CLSID_MwPitchShift,
                                       {{"Ratio", 1.3}, {"Accuracy", 1}}};

bool Copying(const EffectCase& e) { return e.clsid != &CLSID_MwSimpleDelay; }

const IID& ParamsIid(const EffectCase& e) {
  return std::strcmp(e.cliName, "stretch") == 0 ? IID_ITimeStretchParams : IID_IPitchShiftParams;
}

// Each side's format as a copying filter reports it: the connected samples' format.
void ExpectFormats(IBaseFilter* filter, const EffectCase& e, const FormatCase& f,
                   std::uint16_t channels, std::uint32_t rate) {
  for (DWORD which : {0u, 1u}) {
    WAVEFORMATEX wf{};
    ASSERT_EQ(mwtest::GetFormat(filter, ParamsIid(e), which, &wf), S_OK) << which;
    const WORD align = static_cast<WORD>(f.bits / 8 * channels);
    EXPECT_EQ(std::vector<DWORD>({wf.wFormatTag, wf.nChannels, wf.nSamplesPerSec, wf.wBitsPerSample,
                                  wf.nBlockAlign, wf.nAvgBytesPerSec, wf.cbSize}),
              std::vector<DWORD>({f.tag, channels, rate, f.bits, align, rate * align, 0}));
  }
  WAVEFORMATEX wf{};
  EXPECT_EQ(mwtest::GetFormat(filter, ParamsIid(e), 2, &wf), VFW_E_NOT_CONNECTED);
}

class Graphs : public mwtest::ComTest {};

TEST_F(Graphs, EveryFormatMatchesTheCore) {
  ScratchDir dir;
  const std::uint32_t rate = 8000;
  int n = 0;
  for (const EffectCase* e : {&kDelay, &kStretch, &kPitchDown, &kPitchUp}) {
    for (const FormatCase& f : mwtest::AllFormats()) {
      for (std::uint16_t channels : {1, 2}) {
        const bool extensible = ++n % 3 == 0;  // both shapes of fmt chunk reach the parser
        SCOPED_TRACE(testing::Message() << e->cliName << " " << e->settings[0].second << ", "
                                        << f.bits << "-bit tag " << f.tag << ", " << channels
                                        << " channel(s)" << (extensible ? ", extensible" : ""));
        // 1.3 s: more than one of the parser's one-second buffers.
        const auto input = mwtest::MakeSignal(f, channels, 10400, 40 + n);
        const std::wstring file = dir.Path(L"in" + std::to_wstring(n) + L".wav");
        mwtest::WriteWav(file, f, channels, rate, input, extensible);
        EffectGraph g;
        Ptr<IBaseFilter> filter;
        mwtest::NewFilter(*e, filter);
        ASSERT_TRUE(g.Build(file, filter.Get()));
        const std::vector<BYTE> format = g.Sink()->ConnectedFormat();
        ASSERT_GE(format.size(), sizeof(WAVEFORMATEX));
        const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(format.data());
        EXPECT_EQ(wf->nChannels, channels);
        EXPECT_EQ(wf->nSamplesPerSec, rate);
        EXPECT_EQ(wf->wBitsPerSample, f.bits);
        const LONG inputBytes = mwtest::AllocatorBytes(mwtest::PinOf(filter.Get(), L"Input"));
        std::vector<SeenSample> seen;
        mwtest::InspectSamples(g.Sink(), &seen);
        ASSERT_EQ(g.RunFrom(0, kTimeout), S_OK);

        const std::vector<BYTE> got = g.Sink()->TakeData();
        const auto want = mwtest::CoreOutput(*e, f, channels, rate, input);
        EXPECT_TRUE(got == want) << got.size() << " bytes, the core made " << want.size();
        if (!Copying(*e)) {
          EXPECT_GT(want.size(), input.size());  // the echoes' tail follows the input
          continue;
        }
        if (e == &kPitchDown) {
          EXPECT_EQ(got.size(), input.size());
        }
        ExpectFormats(filter.Get(), *e, f, channels, rate);
        // Buffers four times the parser's; only the first carries the stream's start.
        ASSERT_GE(seen.size(), 2u);
        EXPECT_TRUE(seen[0].discontinuity && seen[0].hasTime && seen[0].start == 0);
        for (std::size_t i = 0; i < seen.size(); ++i) {
          EXPECT_EQ(seen[i].size, 4 * inputBytes) << i;
          EXPECT_LE(seen[i].actual, seen[i].size) << i;
          EXPECT_TRUE(i == 0 || !(seen[i].discontinuity || seen[i].hasTime)) << i;
        }
      }
    }
  }
}

TEST_F(Graphs, AnEmptyFileCompletesWithNothingReceived) {
  ScratchDir dir;
  for (const EffectCase* e : {&kDelay, &kStretch}) {
    for (const FormatCase& f : {mwtest::AllFormats()[0], mwtest::AllFormats()[3]}) {
      SCOPED_TRACE(testing::Message() << e->cliName << " " << f.bits);
      const std::wstring file = dir.Path(L"empty" + std::to_wstring(f.bits) + L".wav");
      mwtest::WriteWav(file, f, 2, 8000, {}, false);
      EffectGraph g;
      Ptr<IBaseFilter> filter;
      mwtest::NewFilter(*e, filter);
      ASSERT_TRUE(g.Build(file, filter.Get()));
      EXPECT_EQ(g.RunFrom(0, kTimeout), S_OK);
      EXPECT_TRUE(g.Sink()->TakeData().empty());
    }
  }
}

// Sought back to 0.5 s while the second buffer is being received (running or paused):
// after the seek the output is that of a fresh engine fed from 0.5 s. Stopped in mid-stream
// and run again from the start: each run is the whole file from a fresh engine.
TEST_F(Graphs, SeeksAndRestartsStartAfresh) {
  ScratchDir dir;
  const FormatCase& f = mwtest::AllFormats()[3];  // 32-bit float
  const std::uint32_t rate = 8000;
  const auto input = mwtest::MakeSignal(f, 2, 3 * rate, 5);
  const std::size_t align = f.bits / 8 * 2;
  mwtest::WriteWav(dir.Path(L"in.wav"), f, 2, rate, input, true);
  const auto rest = Slice(input, rate / 2 * align, input.size());
  for (const auto& [e, pauseFirst] : {std::pair{&kDelay, false}, std::pair{&kDelay, true},
                                      std::pair{&kStretch, false}, std::pair{&kPitchDown, false}}) {
    SCOPED_TRACE(testing::Message() << e->cliName << (pauseFirst ? ", paused" : ""));
    const auto whole = mwtest::CoreOutput(*e, f, 2, rate, input);
    EffectGraph g;
    Ptr<IBaseFilter> filter;
    mwtest::NewFilter(*e, filter);
    ASSERT_TRUE(g.Build(dir.Path(L"in.wav"), filter.Get()));
    {
      HoldingWriter writer(g, 2, kTimeout);
      ASSERT_EQ(g.Control()->Run(), S_OK);
      ASSERT_TRUE(writer.WaitHeld());
      if (pauseFirst) {
        ASSERT_EQ(g.Control()->Pause(), S_OK);
      }
      ASSERT_EQ(g.RunFrom(10000000 / 2, kTimeout), S_OK);
      const std::size_t before = writer.HeldBytes();
      ASSERT_LT(before, whole.size());
      EXPECT_TRUE(Slice(writer.Bytes(), 0, before) == Slice(whole, 0, before));
      EXPECT_TRUE(Slice(writer.Bytes(), before, writer.Bytes().size()) ==
                  mwtest::CoreOutput(*e, f, 2, rate, rest));
      g.Sink()->SetWriter(nullptr);
    }
    {
      HoldingWriter writer(g, 1, kTimeout);
      LONGLONG zero = 0;
      ASSERT_EQ(g.Seeking()->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning), S_OK);
      ASSERT_EQ(g.Control()->Run(), S_OK);
      ASSERT_TRUE(writer.WaitHeld());
      ASSERT_EQ(g.Control()->Stop(), S_OK);
      g.Sink()->SetWriter(nullptr);
    }
    for (int run = 2; run <= 3; ++run) {
      ASSERT_EQ(g.RunFrom(0, kTimeout), S_OK) << run;
      EXPECT_TRUE(g.Sink()->TakeData() == whole) << run;
    }
  }
}

// The output pin takes only its input's rate; the input pin, with the output connected,
// takes another rate only when downstream accepts it.
TEST_F(Graphs, TwoRatesAreNoTransform) {
  ScratchDir dir;
  const FormatCase& f = mwtest::AllFormats()[1];
  mwtest::WriteWav(dir.Path(L"in.wav"), f, 2, 22050, mwtest::MakeSignal(f, 2, 3000, 1), false);
  for (const EffectCase* e : {&kStretch, &kPitchUp}) {
    EffectGraph g;
    Ptr<IBaseFilter> filter;
    mwtest::NewFilter(*e, filter);
    ASSERT_TRUE(g.Build(dir.Path(L"in.wav"), filter.Get()));
    WaveType same(f, 2, 22050), other(f, 2, 44100), mono(f, 1, 22050);
    IPin* out = mwtest::PinOf(filter.Get(), L"Output");
    EXPECT_EQ(out->QueryAccept(&same.Get()), S_OK) << e->cliName;
    EXPECT_EQ(out->QueryAccept(&other.Get()), S_FALSE) << e->cliName;
    EXPECT_EQ(out->QueryAccept(&mono.Get()), S_FALSE) << e->cliName;
    EXPECT_EQ(mwtest::PinOf(filter.Get(), L"Input")->QueryAccept(&other.Get()), S_OK);
  }
}

// ---------------------------------------------------------------------------------------
// The rig

class CopyingRig : public mwtest::ComTest {
 protected:
  // The case's filter between the rig's source and sink, running.
  void Start(PushRig& rig, Ptr<IBaseFilter>& filter, const EffectCase& e, const WaveType& type,
             LONG bufferBytes) {
    mwtest::NewFilter(e, filter);
    ASSERT_EQ(rig.ConnectInput(filter.Get(), type.Get(), bufferBytes), S_OK);
    ASSERT_EQ(rig.ConnectOutput(), S_OK);
    ASSERT_EQ(rig.Run(), S_OK);
  }
};

// Input buffers with times and flags of the test's choosing, a second discontinuity in
// mid-stream, every format and channel count: output buffers four times the input's, the
// first one after each discontinuity stamped with that input's times and flags and no
// other, the engine started afresh at the second, the tail drained at end of stream.
TEST_F(CopyingRig, StampsRestartsAndDrains) {
  const std::uint32_t rate = 11025;
  int n = 0;
  for (const EffectCase* e : {&kStretch, &kPitchDown, &kPitchUpUnfiltered}) {
    for (const FormatCase& f : mwtest::AllFormats()) {
      for (std::uint16_t channels : {1, 2}) {
        SCOPED_TRACE(testing::Message() << e->cliName << " " << e->settings[0].second << ", "
                                        << f.bits << "-bit tag " << f.tag << ", " << channels);
        const std::size_t align = f.bits / 8 * channels;
        const std::uint32_t bufferFrames = 700 + 37 * ++n;  // a size of its own every time
        const LONG bufferBytes = static_cast<LONG>(bufferFrames * align);
        const std::size_t buffers = 12, restartAt = 5;
        const auto input = mwtest::MakeSignal(f, channels, buffers * bufferFrames - 123, n);
        PushRig rig;
        Ptr<IBaseFilter> filter;
        Start(rig, filter, *e, WaveType(f, channels, rate), bufferBytes);
        for (std::size_t b = 0; b < buffers; ++b) {
          PushFlags flags;
          flags.times = true;
          flags.start = 1000003 * static_cast<REFERENCE_TIME>(b) + 17;
          flags.stop = flags.start + 999983;
          flags.mediaStart = 7 * static_cast<LONGLONG>(b) + 1;
          flags.mediaStop = flags.mediaStart + 5;
          flags.discontinuity = flags.syncPoint = b == 0 || b == restartAt;
          const std::size_t at = b * bufferBytes;
          ASSERT_EQ(rig.Push(input.data() + at,
                             std::min<std::size_t>(bufferBytes, input.size() - at), flags), S_OK);
        }
        const std::uint64_t beforeEnd = rig.Sink()->BytesReceived();
        ASSERT_EQ(rig.EndOfStream(), S_OK);
        EXPECT_TRUE(rig.Sink()->EndOfStreamReceived());
        const std::uint64_t drained = rig.Sink()->BytesReceived() - beforeEnd;
        ASSERT_EQ(rig.Stop(), S_OK);
        const std::vector<BYTE> got = rig.Sink()->TakeData();

        const std::vector<SeenSample>& seen = rig.Seen();
        std::vector<std::size_t> stamped;
        for (std::size_t i = 0; i < seen.size(); ++i) {
          EXPECT_EQ(seen[i].size, 4 * bufferBytes);
          EXPECT_EQ(seen[i].hasTime, seen[i].discontinuity) << i;
          EXPECT_EQ(seen[i].hasMediaTime, seen[i].discontinuity) << i;
          EXPECT_EQ(seen[i].syncPoint, seen[i].discontinuity) << i;
          if (seen[i].discontinuity) stamped.push_back(i);
        }
        ASSERT_EQ(stamped.size(), 2u);
        EXPECT_EQ(stamped[0], 0u);
        for (std::size_t k = 0; k < 2; ++k) {
          const SeenSample& s = seen[stamped[k]];
          const REFERENCE_TIME b = k == 0 ? 0 : static_cast<REFERENCE_TIME>(restartAt);
          EXPECT_EQ(std::vector<LONGLONG>({s.start, s.stop, s.mediaStart, s.mediaStop}),
                    std::vector<LONGLONG>({1000003 * b + 17, 1000003 * b + 1000000, 7 * b + 1,
                                           7 * b + 6}));
        }
        // Before the restart: what the engine had made of the first buffers; after it: a
        // fresh engine's output of the rest, tail included.
        const std::size_t split = static_cast<std::size_t>(seen[stamped[1]].offset);
        const auto firstAlone = mwtest::CoreOutput(
            *e, f, channels, rate, Slice(input, 0, restartAt * bufferBytes), bufferFrames);
        ASSERT_LE(split, firstAlone.size());
        EXPECT_TRUE(Slice(got, 0, split) == Slice(firstAlone, 0, split));
        EXPECT_TRUE(Slice(got, split, got.size()) ==
                    mwtest::CoreOutput(*e, f, channels, rate,
                                       Slice(input, restartAt * bufferBytes, input.size()),
                                       bufferFrames));
        // Time Stretch holds sound until the end; Pitch Shift without its splice has none.
        EXPECT_EQ(drained > 0, e != &kPitchUpUnfiltered);
      }
    }
  }
}

// Five times the input's length in buffers four times an input buffer: an input buffer
// whose output does not fit one output buffer fills it, and goes on in fresh ones.
TEST_F(CopyingRig, FiveTimesTheLengthFillsWholeBuffers) {
  const FormatCase& f = mwtest::AllFormats()[1];
  const EffectCase longest = {"stretch", &CLSID_MwTimeStretch, {{"FinalLength", 50000.0}}};
  const std::uint32_t bufferFrames = 2000, buffers = 20, rate = 8000;
  const LONG bufferBytes = bufferFrames * 4;
  const auto input = mwtest::MakeSignal(f, 2, buffers * bufferFrames, 3);
  PushRig rig;
  Ptr<IBaseFilter> filter;
  Start(rig, filter, longest, WaveType(f, 2, rate), bufferBytes);
  int overflowing = 0;
  for (std::uint32_t b = 0; b < buffers; ++b) {
    const std::size_t seenBefore = rig.Seen().size();
    const std::uint64_t bytesBefore = rig.Sink()->BytesReceived();
    PushFlags flags;
    flags.discontinuity = b == 0;
    ASSERT_EQ(rig.Push(input.data() + b * bufferBytes, bufferBytes, flags), S_OK);
    if (rig.Sink()->BytesReceived() - bytesBefore <= 4u * bufferBytes) continue;
    ++overflowing;
    ASSERT_GE(rig.Seen().size(), seenBefore + 2) << b;
    EXPECT_EQ(rig.Seen()[seenBefore].actual, rig.Seen()[seenBefore].size) << b;
  }
  EXPECT_GE(overflowing, 1);  // the property was put to the test
  ASSERT_EQ(rig.EndOfStream(), S_OK);
  ASSERT_EQ(rig.Stop(), S_OK);
  EXPECT_TRUE(rig.Sink()->TakeData() ==
              mwtest::CoreOutput(longest, f, 2, rate, input, bufferFrames));
}

// A sample carrying a new type: a new rate alone is taken and passed on with the next
// output buffer; a new channel count or sample format is refused while streaming, and so
// is a type the filter does not take at all; streaming goes on in the old format.
TEST_F(CopyingRig, MediaTypeChangesWhileStreaming) {
  for (const EffectCase* e : {&kStretch, &kPitchUp}) {
    SCOPED_TRACE(e->cliName);
    const FormatCase& f = mwtest::AllFormats()[1];
    const LONG bufferBytes = 4000;
    const auto input = mwtest::MakeSignal(f, 2, 6000, 9);
    PushRig rig;
    Ptr<IBaseFilter> filter;
    Start(rig, filter, *e, WaveType(f, 2, 22050), bufferBytes);
    PushFlags first;
    first.discontinuity = true;
    ASSERT_EQ(rig.Push(input.data(), bufferBytes, first), S_OK);
    const WaveType mono(f, 1, 22050), wider(mwtest::AllFormats()[2], 2, 22050), three(f, 3, 22050);
    for (const auto& [type, status] : {std::pair{&mono, VFW_E_TYPE_NOT_ACCEPTED},
                                       std::pair{&wider, VFW_E_TYPE_NOT_ACCEPTED},
                                       std::pair{&three, VFW_E_INVALIDMEDIATYPE}}) {
      PushFlags flags;
      flags.type = &type->Get();
      EXPECT_EQ(rig.Push(input.data(), bufferBytes, flags), status);
      WAVEFORMATEX wf{};
      ASSERT_EQ(mwtest::GetFormat(filter.Get(), ParamsIid(*e), 0, &wf), S_OK);
      EXPECT_EQ(wf.nChannels, 2);
      EXPECT_EQ(wf.wBitsPerSample, 16);
    }
    const std::size_t seenBefore = rig.Seen().size();
    WaveType faster(f, 2, 32000);
    PushFlags change;
    change.type = &faster.Get();
    ASSERT_EQ(rig.Push(input.data() + bufferBytes, bufferBytes, change), S_OK);
    for (int i = 2; i < 6; ++i) {
      ASSERT_EQ(rig.Push(input.data() + i * bufferBytes, bufferBytes), S_OK);
    }
    ASSERT_EQ(rig.EndOfStream(), S_OK);
    ASSERT_EQ(rig.Stop(), S_OK);
    for (DWORD which : {0u, 1u}) {
      WAVEFORMATEX wf{};
      ASSERT_EQ(mwtest::GetFormat(filter.Get(), ParamsIid(*e), which, &wf), S_OK);
      EXPECT_EQ(wf.nSamplesPerSec, 32000u) << which;
      EXPECT_EQ(wf.nAvgBytesPerSec, 128000u) << which;
    }
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(rig.EffectPin(PINDIR_OUTPUT)->ConnectionMediaType(&connected), S_OK);
    EXPECT_EQ(reinterpret_cast<WAVEFORMATEX*>(connected.pbFormat)->nSamplesPerSec, 32000u);
    mw::ds::FreeMediaTypeContents(connected);
    // The first buffer delivered after the change carries the new type, and only it.
    std::vector<std::size_t> typed;
    for (std::size_t i = 0; i < rig.Seen().size(); ++i) {
      if (rig.Seen()[i].typeRate == 0) continue;
      typed.push_back(i);
      EXPECT_EQ(rig.Seen()[i].typeRate, 32000u);
    }
    EXPECT_EQ(typed, std::vector<std::size_t>{seenBefore});
  }
}

// Formats before and after each connection; output buffers under 512 bytes refused.
TEST_F(CopyingRig, FormatsFollowTheConnectionsAndTinyBuffersAreRefused) {
  const FormatCase& f = mwtest::AllFormats()[0];  // 8-bit mono: one byte a frame
  for (const EffectCase* e : {&kStretch, &kPitchUp}) {
    for (LONG bytes : {127, 128}) {
      SCOPED_TRACE(testing::Message() << e->cliName << " " << bytes);
      PushRig rig;
      Ptr<IBaseFilter> filter;
      mwtest::NewFilter(*e, filter);
      WAVEFORMATEX wf{};
      EXPECT_EQ(mwtest::GetFormat(filter.Get(), ParamsIid(*e), 0, &wf), VFW_E_NOT_CONNECTED);
      ASSERT_EQ(rig.ConnectInput(filter.Get(), WaveType(f, 1, 16000).Get(), bytes), S_OK);
      EXPECT_EQ(mwtest::GetFormat(filter.Get(), ParamsIid(*e), 0, &wf), S_OK);
      EXPECT_EQ(wf.nSamplesPerSec, 16000u);
      EXPECT_EQ(mwtest::GetFormat(filter.Get(), ParamsIid(*e), 1, &wf), VFW_E_NOT_CONNECTED);
      const HRESULT hr = rig.ConnectOutput();
      if (bytes * 4 < 512) {
        EXPECT_TRUE(FAILED(hr));
      } else {
        EXPECT_EQ(hr, S_OK);
        EXPECT_EQ(mwtest::AllocatorBytes(rig.Sink()->GetPin(0)), 512);
        ExpectFormats(filter.Get(), *e, f, 1, 16000);
      }
    }
  }
}

// Quality messages from downstream reach the filter upstream, from the effect.
TEST_F(CopyingRig, QualityMessagesGoUpstream) {
  struct Recorder : IQualityControl {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* from, Quality q) override {
      sender = from;
      late = q.Late;
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSink(IQualityControl*) override { return S_OK; }
    IBaseFilter* sender = nullptr;
    REFERENCE_TIME late = 0;
  } upstream;
  PushRig rig;
  Ptr<IBaseFilter> filter;
  mwtest::NewFilter(kStretch, filter);
  const WaveType type(mwtest::AllFormats()[1], 1, 8000);
  ASSERT_EQ(rig.ConnectInput(filter.Get(), type.Get(), 2048), S_OK);
  ASSERT_EQ(rig.ConnectOutput(), S_OK);
  Ptr<IQualityControl> source, output;
  ASSERT_EQ(rig.SourcePin()->QueryInterface(IID_IQualityControl, source.OutVoid()), S_OK);
  ASSERT_EQ(source->SetSink(&upstream), S_OK);
  IPin* out = rig.EffectPin(PINDIR_OUTPUT);
  ASSERT_EQ(out->QueryInterface(IID_IQualityControl, output.OutVoid()), S_OK);
  const Quality q{Famine, 800, 123456, 0};
  EXPECT_EQ(output->Notify(static_cast<IBaseFilter*>(rig.Sink()), q), S_OK);
  EXPECT_EQ(upstream.late, 123456);
  EXPECT_EQ(upstream.sender, filter.Get());
  source->SetSink(nullptr);
}

// An input reconnected at another rate no longer fits the connected output, which only
// the graph can reconnect: outside one, the input connection fails. At the same rate it
// stands.
TEST_F(CopyingRig, ANewInputRateNeedsTheGraphToReconnectTheOutput) {
  const FormatCase& f = mwtest::AllFormats()[3];
  for (const EffectCase* e : {&kStretch, &kPitchUp}) {
    SCOPED_TRACE(e->cliName);
    PushRig rig;
    Ptr<IBaseFilter> filter;
    mwtest::NewFilter(*e, filter);
    WaveType first(f, 2, 8000), same(f, 2, 8000), other(f, 2, 16000);
    same.Format().nAvgBytesPerSec = 1;  // not compared: the rate and the samples are
    ASSERT_EQ(rig.ConnectInput(filter.Get(), first.Get(), 4096), S_OK);
    ASSERT_EQ(rig.ConnectOutput(), S_OK);
    EXPECT_EQ(rig.ReconnectInput(same.Get()), S_OK);
    EXPECT_EQ(rig.ReconnectInput(other.Get()), VFW_E_NOT_IN_GRAPH);
    IPin* peer = nullptr;
    EXPECT_EQ(rig.EffectPin(PINDIR_INPUT)->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(rig.ReconnectInput(first.Get()), S_OK);
    ASSERT_EQ(rig.Run(), S_OK);
    ASSERT_EQ(rig.PushAll(mwtest::MakeSignal(f, 2, 5000, 4)), S_OK);
    ASSERT_EQ(rig.EndOfStream(), S_OK);
    EXPECT_TRUE(rig.Sink()->EndOfStreamReceived());
  }
}

}  // namespace
