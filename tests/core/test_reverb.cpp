// The Reverb engine: worked set-up numbers, what a change between buffers keeps,
// discontinuities, lines that cannot exist, its tail under end of stream and direct
// count-down, and independence from the buffer size: what a whole-file run against the
// reference model cannot reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/effects/reverb/reverb.h"
#include "engine_rig.h"
#include "core/frame/sample_memory.h"

namespace {

using mwtest::AllFormats;
using mwtest::FormatCase;
using mwtest::Impulse;

const FormatCase kF64 = AllFormats()[4];

// DryOut, ReverbOut, EarlyOut, ReverbMode, EarlyStyle, DecayTime, PreDelay, AttenuateBass,
// BassCutoff, AttenuateHighs, HighCutoff.
constexpr ReverbParams kDefault = {0, -350, -200, 0, 3, 25, 30, 1, 20, 1, 12000};
// Only the comb bank, straight through: no dry, no early reflections, no pre-delay.
constexpr ReverbParams kCombsOnly = {-800, 0, -800, 0, 3, 25, 0, 0, 20, 0, 12000};

int Field(const char* name) { return mw::kReverb.params.Find(name); }

ReverbParams With(const ReverbParams& p, const char* field, std::int32_t v) {
  return mwtest::With(mw::kReverb.params, p, Field(field), v);
}

struct Rig : mwtest::EngineRig<mw::ReverbEngine> {
  Rig(std::uint16_t ch, std::uint32_t rate, const ReverbParams& p, const FormatCase& f = kF64)
      : EngineRig("reverb", ch, rate, &p, f) {}
  void Put(const char* field, std::int32_t v) { EngineRig::Put(Field(field), v); }
  std::vector<std::uint8_t> Noise(std::size_t frames) {
    return Feed(mwtest::MakeSignal(kF64, Channels(), frames, 1));
  }
};

// The first frame at which channel c is not zero, or -1.
long FirstSound(const std::vector<double>& y, std::uint16_t channels, std::uint16_t c) {
  for (std::size_t i = 0; i * channels + c < y.size(); ++i) {
    if (y[i * channels + c] != 0.0) return static_cast<long>(i);
  }
  return -1;
}

bool AllZero(const std::vector<double>& y) {
  return std::all_of(y.begin(), y.end(), [](double v) { return v == 0.0; });
}

// The accessor order puts the two table indices first; they, and the pre-delay, rebuild the
// lines. A whole block keeps the indices as given but clamps the rest, and says so.
TEST(ReverbParams, AccessorOrderAndBlockRules) {
  const mw::ParamTable& t = mw::kReverb.params;
  const char* order[] = {"ReverbMode", "EarlyStyle", "DryOut", "ReverbOut", "EarlyOut",
                         "DecayTime", "PreDelay", "AttenuateBass", "AttenuateHighs",
                         "BassCutoff", "HighCutoff"};
  ASSERT_EQ(t.count, 11u);
  for (int i = 0; i < 11; ++i) {
    EXPECT_STREQ(t.fields[i].name, order[i]);
    EXPECT_EQ(t.fields[i].reinit, i == 0 || i == 1 || i == 6) << order[i];
  }
  auto e = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("reverb"));
  ReverbParams p = With(With(kDefault, "ReverbMode", 99), "EarlyStyle", -4);
  EXPECT_EQ(e->Params().SetParameters(&p), mw::S_OK);
  p.HighCutoff = 50;
  EXPECT_EQ(e->Params().SetParameters(&p), mw::E_FAIL);
  e->Params().GetParameters(&p);
  EXPECT_EQ(p.HighCutoff, 100);
  EXPECT_EQ(p.ReverbMode, 99);
}

TEST(ReverbSetup, TailIsWholeSecondsOfTheDecay) {
  const std::pair<std::int32_t, std::int64_t> cases[] = {
      {5, 0},          {7, 0},          {9, 0},           {10, 44100},
      {25, 88200},     {29, 88200},     {30, 132300},     {50, 220500}};
  for (const auto& [decay, frames] : cases) {
    Rig r(2, 44100, With(kDefault, "DecayTime", decay));
    EXPECT_EQ(r.engine.TailLength(), frames) << decay;
    EXPECT_EQ(r.engine.TailRemaining(), frames) << decay;
    EXPECT_EQ(r.engine.CountDown(), frames) << decay;
  }
}

TEST(ReverbSetup, LinesPreDelayAndEarlyTaps) {
  Rig m6(1, 44100, With(kDefault, "ReverbMode", 6));
  EXPECT_EQ(m6.engine.LineLength(6), 172065u);  // 3901.707 ms, not 39 ms
  EXPECT_EQ(m6.engine.LineLength(9), 1395u);    // 1394.75 rounds up
  EXPECT_EQ(Rig(2, 44100, With(kDefault, "ReverbMode", 1)).engine.LineCount(), 8);
  Rig stereo(2, 44100, kDefault);
  EXPECT_EQ(stereo.engine.LineLength(0), 1040u);                              // 1040.01
  EXPECT_EQ(stereo.engine.LineLength(mw::ReverbEngine::kExtraLeft), 967u);    // 21.93 ms
  EXPECT_EQ(stereo.engine.LineLength(mw::ReverbEngine::kExtraRight), 2199u);  // 49.87 ms
  // Style 3 at 44100 Hz: 16.062, 30.209 and 55.091 ms.
  const auto& e = stereo.engine;
  EXPECT_EQ(std::vector<std::uint32_t>({e.TapDelay(0), e.TapDelay(1), e.TapDelay(2)}),
            std::vector<std::uint32_t>({708, 1332, 2429}));
  // Through the output: the shortest line of mode 0 (19.941 ms: 879 frames) sounds first;
  // a pre-delay of 1 ms at 44100 Hz adds 43 frames.
  EXPECT_EQ(FirstSound(Rig(1, 44100, kCombsOnly).Run(Impulse(1000)), 1, 0), 879);
  EXPECT_EQ(FirstSound(Rig(1, 44100, With(kCombsOnly, "PreDelay", 1)).Run(Impulse(1000)), 1, 0),
            879 + 43);
}

TEST(ReverbOutput, StereoRoutingAndEarlyReflectionsFromBothChannels) {
  // Mode 17 at 44100 Hz: line 0 (3.101 ms, 137 frames) is the shortest that feeds the
  // left, the extra line of 2.884 ms (127 frames) the shortest that feeds the right.
  const auto y = Rig(2, 44100, With(kCombsOnly, "ReverbMode", 17)).Run(Impulse(400, 2));
  EXPECT_EQ(FirstSound(y, 2, 0), 137);
  EXPECT_EQ(FirstSound(y, 2, 1), 127);
  // Everything wet is fed by both channels alike.
  const ReverbParams q = With(With(kDefault, "DryOut", -800), "EarlyOut", 0);
  const auto a = Rig(2, 8000, q).Run(Impulse(3000, 2, 0));
  EXPECT_EQ(a, Rig(2, 8000, q).Run(Impulse(3000, 2, 1)));
  EXPECT_FALSE(AllZero(a));
  // Inputs below the flush level (2^-32 after the high cut) never reach the lines.
  const ReverbParams h = With(kCombsOnly, "AttenuateHighs", 1);
  EXPECT_TRUE(AllZero(Rig(1, 8000, h).Run(std::vector<double>(3000, 2.0e-10))));
  EXPECT_FALSE(AllZero(Rig(1, 8000, h).Run(std::vector<double>(3000, 3.0e-10))));
}

TEST(ReverbOutput, IndependentOfBufferSize) {
  const ReverbParams p = {-60, 0, 0, 17, 8, 12, 1, 1, 400, 1, 3000};
  mwtest::ExpectIndependentOfBufferSize("reverb", &p, 11025, 1200, {4096, 1, 7, 333});
}

// Levels, decay and filters are applied to the running lines, without new memory; a new
// mode, style or pre-delay, or a whole block even of the same values, restarts silent.
TEST(ReverbChanges, WhatKeepsTheSound) {
  const ReverbParams p = With(kDefault, "AttenuateBass", 0);
  const std::tuple<const char*, std::int32_t, bool> changes[] = {
      {"DryOut", -100, true},     {"ReverbOut", -100, true},     {"EarlyOut", -300, true},
      {"DecayTime", 10, true},    {"AttenuateBass", 1, true},    {"BassCutoff", 200, true},
      {"AttenuateHighs", 0, true}, {"HighCutoff", 3000, true},   {"ReverbMode", 0, true},
      {"ReverbMode", 5, false},   {"ReverbMode", 40, false},     {"EarlyStyle", 1, false},
      {"PreDelay", 31, false},    {nullptr, 0, false}};
  for (const auto& [field, value, keeps] : changes) {
    Rig r(2, 8000, p);
    r.Noise(400);
    const std::uint64_t allocations = mw::SampleAllocationCount();
    if (field != nullptr) r.Put(field, value);
    if (field == nullptr) r.effect->Params().SetParameters(&p);  // the same, as a block
    const char* what = field != nullptr ? field : "the whole block";
    EXPECT_EQ(!AllZero(r.Silence(3000)), keeps) << what;
    EXPECT_TRUE(!keeps || mw::SampleAllocationCount() == allocations) << what;
  }
  // A dry level change in silence changes nothing at all: every line and state is kept.
  Rig a(2, 8000, p), b(2, 8000, p);
  a.Noise(400);
  b.Noise(400);
  b.Put("DryOut", -300);
  EXPECT_EQ(a.Silence(3000), b.Silence(3000));
  // A new decay reaches the running lines at the next buffer: what they hold comes out as
  // it was written.
  b.Put("DecayTime", 5);
  const auto before = a.Silence(1000), after = b.Silence(1000);
  const std::size_t shortest = 2 * 160;  // 19.941 ms at 8000 Hz
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + shortest, after.begin()));
  EXPECT_NE(before, after);
  EXPECT_EQ(b.engine.TailLength(), 0);
}

// After silence a change between buffers gives, from the next buffer on, what a start with
// the new settings gives after the same silence: rebuilt lines or updated running ones.
TEST(ReverbChanges, ChangeAfterSilenceEqualsAStartWithTheNewSettings) {
  const std::pair<const char*, std::int32_t> changes[] = {
      {"ReverbMode", 17}, {"EarlyStyle", 8},  {"DryOut", -100},       {"ReverbOut", 0},
      {"EarlyOut", -500}, {"DecayTime", 12},  {"PreDelay", 5},        {"AttenuateBass", 0},
      {"BassCutoff", 300}, {"AttenuateHighs", 0}, {"HighCutoff", 2000}};
  for (const auto& [field, value] : changes) {
    mwtest::ExpectChangeAfterSilence<mw::ReverbEngine>("reverb", kDefault, Field(field), value,
                                                       8000, 700, 700, 1500);
  }
}

// A discontinuity after the first buffer starts afresh, with a waiting change applied.
TEST(ReverbChanges, DiscontinuityStartsAfresh) {
  Rig r(1, 8000, kDefault);
  r.Feed(mwtest::MakeSignal(kF64, 1, 100, 1), mw::kModeDiscontinuity);  // a first buffer may
  r.Silence(1000);                                                       // carry the flag
  r.Put("EarlyOut", -800);
  Rig fresh(1, 8000, With(kDefault, "EarlyOut", -800));
  EXPECT_EQ(r.Run(Impulse(1000), mw::kModeDiscontinuity), fresh.Run(Impulse(1000)));
  EXPECT_EQ(r.engine.TailRemaining(), r.engine.TailLength());
}

TEST(ReverbChanges, FreedOrMissingLinesAreBuiltBeforeUse) {
  Rig r(1, 8000, kDefault);
  r.effect->Frame().StopStreaming();
  EXPECT_FALSE(r.engine.HasBuffers());
  EXPECT_TRUE(r.Run(std::vector<double>(10, 0.0), mw::kModeTail, mw::kTailFinished).empty());
  EXPECT_EQ(r.Run(Impulse(100))[0], 1.0);
  EXPECT_TRUE(r.engine.HasBuffers());
  // A channel count changed under the engine rebuilds rather than reading missing lines.
  const auto stereo = mwtest::FormatBlock(kF64, 2, 8000);
  r.effect->Frame().SetMediaType(mw::kPinInput, stereo.data());
  EXPECT_EQ(r.Run(Impulse(100, 2, 1))[1], 1.0);
  EXPECT_TRUE(r.engine.LineUsed(mw::ReverbEngine::kExtraRight));
}

TEST(ReverbChanges, LinesThatCannotExistAreOutOfMemoryAndRetried) {
  Rig r(1, 4294967295u, With(kDefault, "ReverbMode", 6));  // a line of 3.9 s: over 2^32
  EXPECT_EQ(r.start, mw::E_OUTOFMEMORY);
  EXPECT_FALSE(r.engine.HasBuffers());
  const std::vector<double> x(4, 0.5);
  r.Run(x, mw::kModeNormal, mw::E_OUTOFMEMORY);
  EXPECT_EQ(r.Run(x, mw::kModeNormal, mw::E_OUTOFMEMORY), x);  // tried again, untouched
  EXPECT_TRUE(r.Run(x, mw::kModeTail, mw::kTailFinished).empty());
  // The next buffer after the format allows the lines works.
  const auto block = mwtest::FormatBlock(kF64, 1, 8000);
  r.effect->Frame().SetMediaType(mw::kPinInput, block.data());
  EXPECT_EQ(r.Run(x)[0], 0.5);
}

TEST(ReverbTail, EndOfStreamProducesWholeSecondsOfTailOnce) {
  const auto& f16 = AllFormats()[1];
  for (std::int32_t decay : {5, 9, 10, 25}) {
    auto e = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("reverb"));
    const ReverbParams p = With(kDefault, "DecayTime", decay);
    e->Params().SetParameters(&p);
    const auto input = mwtest::MakeSignal(f16, 2, 700, 5);
    const auto out = mwtest::RunThrough(*e, f16, 2, 1000, input, 250);
    EXPECT_EQ(out.size(), input.size() + std::size_t(decay / 10) * 1000 * 4) << decay;
  }
  // Tail buffers end exactly; the tail used up, another end of stream after new input
  // delivers one empty buffer.
  Rig r(1, 1000, kDefault, AllFormats()[3]);  // a tail of 2000 frames
  std::vector<std::size_t> lengths;
  mw::SinkDownstream down(2000, [&](const std::uint8_t*, std::size_t n) {
    lengths.push_back(n);
    return mw::S_OK;
  });
  mw::HeapBuffer in(2000);
  for (int pass = 0; pass < 2; ++pass) {
    in.SetActualLength(2000);
    ASSERT_EQ(r.effect->Frame().Receive(in, down), mw::S_OK);
    ASSERT_EQ(r.effect->Frame().EndOfStream(&down), mw::S_OK);
  }
  EXPECT_EQ(lengths, std::vector<std::size_t>(6, 2000));
  EXPECT_EQ(down.Deliveries(), 7);
  EXPECT_EQ(down.EndOfStreams(), 2);
}

TEST(ReverbTail, ChangesWaitForTheNextOrdinaryBuffer) {
  Rig t(1, 1000, kDefault);  // a tail of 2000 frames
  t.Run(Impulse(100));
  t.Put("DryOut", -800);
  EXPECT_EQ(t.Run(std::vector<double>(300, 0.0), mw::kModeTail).size(), 300u);
  EXPECT_EQ(t.engine.TailRemaining(), 1700);
  EXPECT_EQ(t.engine.Dry(), 1.0);
  EXPECT_TRUE(t.engine.ChangePending());
  t.Silence(1);  // applied now
  EXPECT_EQ(t.engine.Dry(), 0.0);
  EXPECT_FALSE(t.engine.ChangePending());
  EXPECT_EQ(t.engine.TailRemaining(), 2000);
}

TEST(ReverbDirect, CountDownStartsFromTheTailLength) {
  auto e = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("reverb"));
  mw::InPlaceFrame& frame = e->Frame();
  auto& engine = static_cast<mw::ReverbEngine&>(e->Engine());
  ASSERT_EQ(frame.Initialize(1, 1000), mw::S_OK);
  EXPECT_EQ(engine.CountDown(), 2000);
  std::vector<float> x(1500, 0.0f), y(1000, 7.0f), t(100, 0.0f);
  EXPECT_EQ(frame.Process(x.data(), 1500, true), mw::S_OK);
  EXPECT_EQ(frame.Process(y.data(), 1000, true), mw::S_OK);
  EXPECT_NE(y[499], 7.0f);
  EXPECT_EQ(y[500], 7.0f);  // beyond the count-down: untouched
  EXPECT_EQ(frame.Process(y.data(), 10, true), 1);
  // The tail of what the limited calls processed can still be collected.
  std::uint32_t n = 100;
  EXPECT_EQ(frame.ProcessTail(t.data(), &n), mw::S_OK);
  EXPECT_EQ(n, 100u);
  EXPECT_FALSE(std::all_of(t.begin(), t.end(), [](float v) { return v == 0.0f; }));
  // An unlimited call re-arms; a change taken by a limited call waits for an unlimited one.
  EXPECT_EQ(frame.Process(x.data(), 10, false), mw::S_OK);
  EXPECT_EQ(engine.CountDown(), 2000);
  e->Params().Put(Field("DryOut"), -800);
  EXPECT_EQ(frame.Process(x.data(), 4, true), mw::S_OK);
  EXPECT_EQ(engine.Dry(), 1.0);
  EXPECT_TRUE(engine.ChangePending());
  EXPECT_EQ(frame.UpdateParameters(false), mw::S_OK);
  EXPECT_EQ(engine.Dry(), 0.0);
  EXPECT_EQ(frame.UpdateParameters(false), mw::S_FALSE);
}

}  // namespace
