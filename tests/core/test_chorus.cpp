// The Chorus engine: its worked set-up numbers and echoes, what a change between buffers
// keeps, discontinuities, direct processing, independence from the buffer size, and the
// oscillators' sine. Whole outputs of fresh streams are checked by the reference models
// through the command line; these tests cover what such a run cannot reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "core/effects/chorus/chorus.h"
#include "core/effects/chorus/oscillator_sine.h"
#include "engine_rig.h"
#include "core/dsp/exact_math.h"

namespace {

using mwtest::AllFormats;
using mwtest::FormatCase;
using mwtest::Impulse;

const FormatCase kF64 = AllFormats()[4];

// Field indices, in the accessor (and block) order.
enum Field { kInputGain, kDryOut, kChorusOut, kChorusSize, kFeedback, kInvertChorusPhase,
             kChorusOutDelay, kModulationRate, kModulationDepth, kAttenuateHighs, kHighCutoff,
             kInvertFeedbackPhase };

constexpr ChorusParams kDefault = {0, -60, -44, 3, 0, 0, 400, 800, 3, 0, 5000, 0};
// One still voice (1 % of 4 samples truncates to no depth), no dry signal, level 0 dB and
// feedback 50 %: at 44.1 kHz its echoes come every 4 samples.
constexpr ChorusParams kEcho = {0, -600, 0, 1, 50, 0, 1, 800, 1, 0, 5000, 0};

ChorusParams With(ChorusParams p, Field f, std::int32_t v) {
  reinterpret_cast<std::int32_t*>(&p)[f] = v;
  return p;
}

struct Rig : mwtest::EngineRig<mw::ChorusEngine> {
  Rig(std::uint16_t ch, std::uint32_t rate, const ChorusParams& p, const FormatCase& f = kF64)
      : EngineRig("chorus", ch, rate, &p, f) {}
};

TEST(ChorusInterface, FieldOrderBlockClampAndPresets) {
  const mw::ParamTable& t = mw::kChorus.params;
  const char* names[] = {"InputGain", "DryOut", "ChorusOut", "ChorusSize", "Feedback",
                         "InvertChorusPhase", "ChorusOutDelay", "ModulationRate",
                         "ModulationDepth", "AttenuateHighs", "HighCutoff",
                         "InvertFeedbackPhase"};
  ASSERT_EQ(t.count, 12u);
  for (std::size_t i = 0; i < 12; ++i) {
    EXPECT_STREQ(t.fields[i].name, names[i]);
    EXPECT_EQ(t.fields[i].offset, 4 * i);
  }
  auto e = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("chorus"));
  ChorusParams p = With(kDefault, kChorusSize, 4);
  EXPECT_EQ(e->Params().SetParameters(&p), mw::E_FAIL);  // clamped, and said so
  e->Params().GetParameters(&p);
  EXPECT_EQ(p.ChorusSize, 3);
  p = With(kDefault, kInvertFeedbackPhase, 77);  // flags are stored as given
  EXPECT_EQ(e->Params().SetParameters(&p), mw::S_OK);
  ASSERT_EQ(e->PresetCount(), 24);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(e->ApplyPreset(i), mw::S_OK) << i;  // all in range
  EXPECT_EQ(e->ApplyPreset(24), mw::E_INVALIDARG);
  EXPECT_EQ(e->ApplyPreset(-1), mw::E_INVALIDARG);
}

// Delays, depth and periods in whole samples, each truncated from its product in the
// written order (29 x 0.01 x 100 is 28.999999999999996; 48000 x 1.132329 x 1000 / 792 lies
// just below 68626).
TEST(ChorusSetup, WorkedNumbers) {
  struct Case {
    std::uint32_t rate;
    std::int32_t delay, depth, modRate;
    std::vector<std::int64_t> want;  // D_0, D_1, D_2, E, P_0, P_1, P_2
  };
  const Case cases[] = {
      {44100, 1, 3, 800, {4, 3, 4, 0, 55125, 44746, 62419}},  // 0.1 ms: 4.41 samples
      {44100, 400, 3, 800, {1764, 1431, 1997, 52, 55125, 44746, 62419}},
      {44100, 22, 1, 800, {97, 78, 109, 0, 55125, 44746, 62419}},  // 1 % of 97: nothing
      {44100, 23, 1, 800, {101, 81, 114, 1, 55125, 44746, 62419}},
      {8000, 125, 29, 800, {100, 81, 113, 28, 10000, 8117, 11323}},
      {48000, 400, 3, 792, {1920, 1558, 2174, 57, 60606, 49195, 68625}},
  };
  for (const Case& c : cases) {
    ChorusParams p = With(With(kDefault, kChorusOutDelay, c.delay), kModulationDepth, c.depth);
    Rig r(2, c.rate, With(p, kModulationRate, c.modRate));
    const mw::ChorusEngine& e = r.engine;
    const std::vector<std::int64_t> got = {e.VoiceDelay(0), e.VoiceDelay(1), e.VoiceDelay(2),
                                           e.Depth(),       e.Period(0),     e.Period(1),
                                           e.Period(2)};
    EXPECT_EQ(got, c.want) << c.rate << " Hz, " << c.delay << " x 0.1 ms";
  }
  // A period below one frame (a rate of 1 Hz) holds the oscillator still.
  Rig still(1, 1, With(kDefault, kModulationRate, 20000));
  EXPECT_EQ(still.engine.Period(0), 0);
  EXPECT_EQ(still.engine.Step(0), 0.0);
  for (double v : still.Run(std::vector<double>(50, 0.25))) EXPECT_TRUE(std::isfinite(v));
  // The high cut's corner must lie below half the rate, halved as an integer.
  const std::tuple<std::uint32_t, std::int32_t, bool> corners[] = {
      {10000, 5000, false}, {10001, 5000, false}, {10002, 5000, true}, {10000, 4999, true}};
  for (const auto& [rate, cutoff, on] : corners) {
    Rig r(1, rate, With(With(kDefault, kAttenuateHighs, 1), kHighCutoff, cutoff));
    EXPECT_EQ(r.engine.HighCut() > 0.0, on) << rate << " " << cutoff;
  }
}

TEST(ChorusVoices, EchoesOfAnImpulse) {
  const double fb = 50 * 0.01;
  std::vector<double> y = Rig(1, 44100, kEcho).Run(Impulse(13));
  for (int n = 0; n < 13; ++n) {
    EXPECT_EQ(y[n], n == 4 ? 0.9 : n == 8 ? 0.9 * fb : n == 12 ? 0.9 * (fb * fb) : 0.0) << n;
  }
  EXPECT_EQ(Rig(1, 44100, With(kEcho, kInvertFeedbackPhase, 1)).Run(Impulse(9))[8], -(0.9 * fb));
  // Two voices in series, at 4 and 3 samples: the second hears the first one's output.
  y = Rig(1, 44100, With(With(With(kEcho, kChorusSize, 2), kFeedback, 0), kDryOut, 0))
          .Run(Impulse(10));
  const double expect[10] = {1.0, 0, 0, 0.9 * 0.9, 0.9, 0, 0, 0.9 * (0.9 * 0.9), 0, 0};
  for (int n = 0; n < 10; ++n) EXPECT_EQ(y[n], expect[n]) << n;
  // Stereo: the line hears the mean of both sides; the wet read goes out 0.9 left and 0.95
  // right, inverted with the chorus phase.
  y = Rig(2, 44100, With(With(kEcho, kFeedback, 0), kInvertChorusPhase, 1)).Run(Impulse(10, 2, 1));
  for (std::size_t i = 0; i < y.size(); ++i) {
    EXPECT_EQ(y[i], i == 8 ? 0.5 * -0.9 : i == 9 ? 0.5 * -0.95 : 0.0) << i;
  }
}

TEST(ChorusChanges, SizeOrDelayRestartSilentOtherChangesKeepTheSound) {
  const std::tuple<Field, std::int32_t, bool> steps[] = {
      {kChorusOut, -60, true},     {kFeedback, 30, true},         {kModulationRate, 900, true},
      {kModulationDepth, 50, true}, {kInvertChorusPhase, 1, true}, {kDryOut, 0, true},
      {kAttenuateHighs, 1, true},  {kChorusSize, 2, false},       {kChorusOutDelay, 2, false},
  };
  for (const auto& [field, value, keeps] : steps) {
    Rig r(1, 44100, kEcho);
    r.Run(std::vector<double>(100, 0.0));
    const std::int64_t counter = r.engine.Counter(0);
    r.Run(Impulse(2));  // the impulse is in the line, two frames before its echo
    r.Put(field, value);
    double peak = 0.0;
    for (double v : r.Run(std::vector<double>(6, 0.0))) peak = std::max(peak, std::fabs(v));
    EXPECT_EQ(peak > 0.0, keeps) << field;
    // The oscillators run on through every change.
    EXPECT_EQ(r.engine.Counter(0), (counter + 8) % r.engine.Period(0)) << field;
  }
  // A whole block written again re-initialises even when nothing differs.
  Rig r(1, 44100, kEcho);
  r.Run(Impulse(2));
  r.effect->Params().SetParameters(&kEcho);
  for (double v : r.Run(std::vector<double>(6, 0.0))) EXPECT_EQ(v, 0.0);
  // The size set from 3 to 1 and back clears the lines each time.
  Rig t(1, 44100, With(kEcho, kChorusSize, 3));
  t.Run(Impulse(2));
  t.Put(kChorusSize, 1);
  t.Run(Impulse(2));
  t.Put(kChorusSize, 3);
  for (double v : t.Run(std::vector<double>(10, 0.0))) EXPECT_EQ(v, 0.0);
}

// After silence a change between buffers gives, from the next buffer on, exactly what a
// start with the new settings gives after the same silence: a partial update derives every
// value afresh (the sine tables sized at the start too), a full one clears the lines, and
// the oscillators run on. At 0.9 Hz and 8000 Hz the periods (8888, 7215 and 10065 frames)
// outlast the 6500 frames of silence, which bring the write positions back to the start.
TEST(ChorusChanges, ChangeAfterSilenceEqualsAStartWithTheNewSettings) {
  const ChorusParams base = {-10, -30, -20, 3, 40, 0, 30, 900, 60, 1, 3000, 0};
  const std::pair<Field, std::int32_t> changes[] = {
      {kInputGain, -60},   {kDryOut, 0},           {kChorusOut, -5},
      {kChorusSize, 1},    {kFeedback, 90},        {kInvertChorusPhase, 1},
      {kChorusOutDelay, 80}, {kModulationRate, 950}, {kModulationRate, 300},
      {kModulationDepth, 100}, {kAttenuateHighs, 0}, {kHighCutoff, 1000},
      {kInvertFeedbackPhase, 1}};
  for (const auto& [field, value] : changes) {
    mwtest::ExpectChangeAfterSilence<mw::ChorusEngine>("chorus", base, field, value, 8000, 6500,
                                                       6500, 3500);
  }
}

// A discontinuity after the first buffer starts afresh: lines, filters and oscillators as at
// the start, with a waiting change applied.
TEST(ChorusChanges, DiscontinuityStartsAfresh) {
  const ChorusParams p = {0, -30, -10, 3, 70, 0, 20, 5000, 80, 1, 2000, 0};
  for (const FormatCase& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto x = mwtest::MakeSignal(f, ch, 3000, 3), y = mwtest::MakeSignal(f, ch, 900, 4);
      Rig a(ch, 22050, p, f), b(ch, 22050, With(p, kFeedback, 20), f);
      a.Feed(x, mw::kModeDiscontinuity);  // a stream's first buffer may carry the flag
      a.Put(kFeedback, 20);
      EXPECT_TRUE(a.Feed(y, mw::kModeDiscontinuity) == b.Feed(y)) << f.bits << " " << ch;
    }
  }
}

TEST(ChorusStreaming, NoTailAndLimitedCallsFinishAtOnce) {
  for (const FormatCase& f : AllFormats()) {
    auto e = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("chorus"));
    const auto input = mwtest::MakeSignal(f, 2, 1000, 5);
    EXPECT_EQ(mwtest::RunThrough(*e, f, 2, 8000, input, 300).size(), input.size());
  }
  auto e = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("chorus"));
  mw::InPlaceFrame& frame = e->Frame();
  auto& engine = static_cast<mw::ChorusEngine&>(e->Engine());
  ASSERT_EQ(frame.Initialize(1, 8000), mw::S_OK);
  std::vector<float> x = {0.5f, 0.25f, 0.125f};
  e->Params().Put(kDryOut, -100);
  EXPECT_EQ(frame.Process(x.data(), 3, true), 1);  // untouched, the change left waiting
  EXPECT_EQ(x[0], 0.5f);
  EXPECT_EQ(frame.ParametersChanged(), mw::S_OK);
  std::uint32_t n = 3;
  EXPECT_EQ(frame.ProcessTail(x.data(), &n), 1);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(frame.Process(x.data(), 3, false), mw::S_OK);
  EXPECT_EQ(x[0], static_cast<float>(0.5 * mw::ExactPow(10.0, -100 * 0.005)));
  EXPECT_EQ(frame.UpdateParameters(false), mw::S_FALSE);
  EXPECT_EQ(frame.Stop(), mw::S_OK);
  EXPECT_FALSE(engine.HasLines());
  // A buffer after the stop sets up again before it touches any sample memory.
  EXPECT_EQ(frame.Process(x.data(), 3, false), mw::S_OK);
  EXPECT_TRUE(engine.HasLines());
}

TEST(ChorusStreaming, OutputIndependentOfBufferSize) {
  const ChorusParams p = {-10, -30, -20, 3, 60, 0, 40, 5000, 80, 1, 3000, 0};
  mwtest::ExpectIndependentOfBufferSize("chorus", &p, 16000, 2100, {4096, 1, 7, 256, 257, 1000});
}

// The oscillators' fast sine gives ExactSin's value: every phase of a few periods the voices
// use, arguments past a full turn and negative ones, and the neighbours of multiples of pi/2.
TEST(OscillatorSine, EqualsExactSin) {
  for (long long period : {1LL, 2LL, 3LL, 7LL, 1789LL, 2205LL, 44746LL, 62419LL}) {
    const double step = 6.28318530718 / period;
    for (long long k = 0; k < period; ++k) {
      ASSERT_EQ(mw::OscillatorSine(k * step), mw::ExactSin(k * step)) << period << " " << k;
    }
  }
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> wide(-1.0e5, 1.0e5), turn(0.0, 7.0);
  for (int i = 0; i < 20000; ++i) {
    const double a = wide(rng), b = turn(rng);
    ASSERT_EQ(mw::OscillatorSine(a), mw::ExactSin(a)) << a;
    ASSERT_EQ(mw::OscillatorSine(b), mw::ExactSin(b)) << b;
  }
  for (int q = -8; q <= 8; ++q) {
    double x = q * 1.5707963267948966;
    for (int i = 0; i < 40; ++i, x = std::nextafter(x, 1e9)) {
      ASSERT_EQ(mw::OscillatorSine(x), mw::ExactSin(x)) << x;
    }
  }
  for (double x : {1e-300, 5e-324, 1e-9, -0.0, 0.0, 6.5, 2e5, 1e300}) {
    ASSERT_EQ(mw::OscillatorSine(x), mw::ExactSin(x)) << x;
  }
}

}  // namespace
