// The Multi-Tap Delay engine: worked set-up numbers and echoes, what a change between
// buffers keeps, discontinuities, its tail and direct count-down, a buffer that cannot exist,
// independence from the buffer size, and the sweep's shifts: what a whole-file run against
// the reference model cannot reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/effects/multitap/multi_tap_delay.h"
#include "engine_rig.h"
#include "core/dsp/exact_math.h"

namespace {

using mwtest::AllFormats;
using mwtest::FormatCase;
using mwtest::Impulse;

const FormatCase kF64 = AllFormats()[4];

struct Rig : mwtest::EngineRig<mw::MultiTapEngine> {
  Rig(std::uint16_t ch, std::uint32_t rate, const MultiTapParams& p, const FormatCase& f = kF64)
      : EngineRig("multitap", ch, rate, &p, f) {}
};

MultiTapParams Preset(int i) {
  return *static_cast<const MultiTapParams*>(mw::kMultiTap.presets.Block(i));
}

// One tap of gain 100 % at `delayMs`, dry silent, wet and input at 0 dB, nothing else.
MultiTapParams OneTap(std::int32_t delayMs) {
  MultiTapParams p = Preset(0);
  p.TapDelay[0] = delayMs, p.WetOut = 0, p.DryOut = -800;
  return p;
}

// Frames (after the first) at which the first channel is not zero.
std::vector<int> Echoes(const std::vector<double>& y, std::uint16_t channels) {
  std::vector<int> at;
  for (std::size_t i = 1; i * channels < y.size(); ++i) {
    if (y[i * channels] != 0.0) at.push_back(static_cast<int>(i));
  }
  return at;
}

// The accessor order (not the block's), and which fields call for a full initialisation:
// depth, feedback, count and every tap.
TEST(MultiTapParams, FieldOrderAndFullInitialisations) {
  const mw::ParamTable& t = mw::kMultiTap.params;
  ASSERT_EQ(t.count, 35u);
  std::vector<std::string> names = {"InputGain", "DryOut",    "WetOut",       "ModRate",
                                    "ModDepth",  "Feedback",  "LowPassOn",    "LowPassStart",
                                    "TapCount",  "CurrentTap", "GraphResolution"};
  for (const char* tap : {"TapGain", "TapDelay", "TapPan"}) {
    for (int i = 1; i <= 8; ++i) names.push_back(tap + std::to_string(i));
  }
  for (int i = 0; i < 35; ++i) EXPECT_EQ(t.fields[i].name, names[i]);
  EXPECT_EQ(t.fields[mw::kMtTapPan1 + 7].offset, offsetof(MultiTapParams, TapPan) + 28);
  for (int i = 0; i < 35; ++i) {
    const bool full = i == mw::kMtModDepth || i == mw::kMtFeedback || i == mw::kMtTapCount ||
                      i >= mw::kMtTapGain1;
    EXPECT_EQ(t.fields[i].reinit, full) << t.fields[i].name;
  }
}

TEST(MultiTapSetup, WorkedNumbers) {
  for (std::uint16_t ch : {1, 2}) {
    Rig r(ch, 44100, Preset(0));
    EXPECT_EQ(r.engine.TapDelaySamples(0), 4405);  // trunc(5.4243) + 100 x 44
    EXPECT_EQ(r.engine.BufferLength(), 4625u);     // trunc(4405 x 1.05)
    EXPECT_EQ(r.engine.TailRemaining(), 4625u);
  }
  MultiTapParams p = Preset(0);
  p.TapCount = 3, p.TapDelay[1] = 2, p.TapDelay[2] = 1, p.ModDepth = 100;
  Rig r(1, 44100, p);  // the third tap's offset of -0.411 ms: trunc(-18.1251) = -18
  EXPECT_EQ(r.engine.TapDelaySamples(1), 16 + 88);
  EXPECT_EQ(r.engine.TapDelaySamples(2), -18 + 44);
  EXPECT_EQ(r.engine.BufferLength(), 5154u);  // trunc(4625.25 + 529.2)
  // At 8000 Hz a 1 ms tap is 8 samples and so is the buffer: the echo still comes after 8.
  Rig s(1, 8000, OneTap(1));
  EXPECT_EQ(s.engine.BufferLength(), 8u);
  EXPECT_EQ(Echoes(s.Run(Impulse(40)), 1), (std::vector<int>{8}));
  // Below 1000 Hz the delay is 0 samples; the buffer has one, which the tap reads.
  Rig t(1, 500, OneTap(1));
  EXPECT_EQ(t.engine.BufferLength(), 1u);
  EXPECT_EQ(Echoes(t.Run(Impulse(3)), 1), (std::vector<int>{1}));
  // The low-pass works up to half the rate, halved as an integer.
  p = Preset(0);
  p.LowPassOn = 7, p.LowPassStart = 5512;  // the flag: any non-zero value
  EXPECT_GT(Rig(1, 11025, p).engine.LowPassA(), 0.0);
  p.LowPassStart = 5513;
  EXPECT_EQ(Rig(1, 11025, p).engine.LowPassA(), 0.0);
}

TEST(MultiTapSetup, EchoesOfAnImpulse) {
  // Taps of 8 frames (1 ms at 8000 Hz) and 27 (3 x 8 + trunc(3.016)); the gains sum to 0.5,
  // taken as 1: the feedback is 1.
  MultiTapParams p = OneTap(1);
  p.TapCount = 2, p.TapDelay[1] = 3, p.TapGain[1] = -50, p.Feedback = 100;
  std::vector<double> y = Rig(1, 8000, p).Run(Impulse(36));
  EXPECT_EQ(Echoes(y, 1), (std::vector<int>{8, 16, 24, 27, 32, 35}));
  EXPECT_EQ(std::vector<double>({y[8], y[16], y[24], y[27], y[32], y[35]}),
            std::vector<double>({1.0, 1.0, 1.0, -0.5, 1.0, -1.0}));
  // 2 ms with depth 10 %: E_1 = 1.68, and the slowest sweep keeps m within 0.003 of 1 at
  // first. The shift is trunc(1.68 m + 0.5) = 2 in mono, trunc(1.68 m) = 1 in stereo.
  p = OneTap(2);
  p.ModDepth = 10;
  Rig mono(1, 8000, p);
  EXPECT_EQ(mono.engine.BufferLength(), 26u);  // trunc(16.8 + 9.6)
  EXPECT_EQ(Echoes(mono.Run(Impulse(30)), 1), (std::vector<int>{14}));
  EXPECT_EQ(Echoes(Rig(2, 8000, p).Run(Impulse(30, 2)), 2), (std::vector<int>{15}));
}

TEST(MultiTapSetup, BufferThatCannotExistIsRefusedAndRetried) {
  MultiTapParams p = Preset(0);
  p.TapDelay[0] = 2500;
  Rig r(2, 4000000000u, p);  // about 10^10 samples
  EXPECT_EQ(r.start, mw::E_OUTOFMEMORY);
  EXPECT_FALSE(r.engine.HasBuffer());
  const std::vector<double> x(4, 0.5);
  EXPECT_EQ(r.Run(x, mw::kModeNormal, mw::E_OUTOFMEMORY), x);  // tried again, untouched
  EXPECT_TRUE(r.Run(x, mw::kModeTail, mw::kTailFinished).empty());
  r.Put(mw::kMtTapDelay1, 1);  // a buffer of about 4.7 million samples
  EXPECT_EQ(r.Run(x).size(), 4u);
  EXPECT_TRUE(r.engine.HasBuffer());
}

TEST(MultiTapChanges, SameLengthKeepsTheSoundNewLengthRestartsSilent) {
  MultiTapParams p = OneTap(4);  // 32 frames at 8000 Hz, L = 33; the second tap 11 frames
  p.TapCount = 2, p.TapDelay[1] = 1;
  Rig r(1, 8000, p);
  r.Run(Impulse(10));
  r.Put(mw::kMtTapGain1, -50);     // full initialisations of the same length
  r.Put(mw::kMtTapDelay1 + 1, 2);  // 19 frames
  std::vector<double> y = r.Silence(30);
  EXPECT_EQ(Echoes(y, 1), (std::vector<int>{9, 22}));  // frames 19 and 32 of the impulse
  EXPECT_EQ(std::make_pair(y[9], y[22]), std::make_pair(1.0, -0.5));
  r.Run(Impulse(10));
  r.Put(mw::kMtTapDelay1, 5);  // the longest changes: a new, silent buffer
  for (double v : r.Silence(60)) EXPECT_EQ(v, 0.0);
  EXPECT_EQ(r.engine.BufferLength(), 42u);
  EXPECT_EQ(r.engine.TailRemaining(), 42u);
}

// After silence a change between buffers gives, from the next buffer on, what a start with
// the new settings gives: after the same silence when the buffer keeps its length (the
// sweep's phase runs on), at once when a new buffer is made.
TEST(MultiTapChanges, ChangeAfterSilenceEqualsAStartWithTheNewSettings) {
  const MultiTapParams base = Preset(11);  // five taps up to 424 ms, a sweep, feedback
  const std::tuple<int, std::int32_t, bool> changes[] = {
      {mw::kMtInputGain, -100, true}, {mw::kMtDryOut, 0, true},  {mw::kMtWetOut, -5, true},
      {mw::kMtFeedback, 150, true},   {mw::kMtLowPassOn, 0, true},
      {mw::kMtLowPassStart, 2000, true}, {mw::kMtTapGain1 + 1, 100, true},
      {mw::kMtTapPan1 + 2, 90, true}, {mw::kMtTapDelay1, 100, true},
      {mw::kMtCurrentTap, 5, true},   {mw::kMtTapCount, 8, false},
      {mw::kMtTapDelay1 + 4, 450, false}, {mw::kMtModDepth, 60, false},
      {mw::kMtModDepth, 0, false}};
  for (const auto& [field, value, keeps] : changes) {
    mwtest::ExpectChangeAfterSilence<mw::MultiTapEngine>("multitap", base, field, value, 8000,
                                                         500, keeps ? 500 : 0, 2000);
  }
}

TEST(MultiTapChanges, PartialUpdatesKeepThePhase) {
  MultiTapParams p = OneTap(2);
  p.ModDepth = 20, p.ModRate = 50;
  Rig r(1, 8000, p);
  r.Silence(7);
  const double phase = r.engine.Phase();
  r.Put(mw::kMtModRate, 10);  // partial: the sweep continues from here at the new rate
  r.Silence(1);
  EXPECT_EQ(r.engine.Step(), 6.28318530718 / ((10.0 / 10) * 8000.0));
  EXPECT_EQ(r.engine.Phase(), phase + r.engine.Step());
  r.Put(mw::kMtFeedback, 20);  // full, same length: the phase still carries on
  r.Silence(1);
  EXPECT_EQ(r.engine.Phase(), (phase + r.engine.Step()) + r.engine.Step());
}

TEST(MultiTapChanges, DiscontinuityKeepsTheBufferAndAppliesAWaitingChange) {
  Rig r(1, 8000, OneTap(2));
  r.Run(Impulse(4), mw::kModeDiscontinuity);  // the first buffer: nothing to reset
  r.Run(Impulse(4), mw::kModeDiscontinuity);  // mid-stream
  EXPECT_EQ(Echoes(r.Silence(20), 1), (std::vector<int>{8, 12}));
  r.Put(mw::kMtTapCount, 2);
  r.Run(std::vector<double>(1, 0.0), mw::kModeDiscontinuity);
  EXPECT_EQ(r.engine.TapsInUse(), 2);
  // A stop frees the buffer; the next buffer starts from silence.
  r.Run(Impulse(8));
  r.effect->Frame().StopStreaming();
  EXPECT_FALSE(r.engine.HasBuffer());
  EXPECT_EQ(Echoes(r.Silence(20), 1), std::vector<int>{});
}

TEST(MultiTapTail, LastsTheBufferLengthAndChangesWaitForTheNextBuffer) {
  MultiTapParams p = OneTap(2);  // 16 frames at 8000 Hz
  p.Feedback = 150;
  Rig r(1, 8000, p);
  r.Run(Impulse(4));
  r.Put(mw::kMtWetOut, -800);  // taken during the tail: not applied, the tail goes on
  EXPECT_EQ(r.Run(std::vector<double>(10, 0.0), mw::kModeTail).size(), 10u);
  const std::vector<double> t = r.Run(std::vector<double>(10, 0.0), mw::kModeTail, 1);
  EXPECT_EQ(t.size(), 6u);  // 16 frames in all
  EXPECT_EQ(t[2], 1.0);     // frame 16: the echo, at the wet level from before the change
  EXPECT_TRUE(r.Run(std::vector<double>(10, 0.0), mw::kModeTail, 1).empty());
  EXPECT_EQ(r.engine.Wet(), 1.0);
  r.Silence(1);  // the next ordinary buffer applies it
  EXPECT_EQ(r.engine.Wet(), 0.0);
  // Under end of stream the default's tail is its buffer length, 4625 frames at 44100 Hz.
  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      auto e = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("multitap"));
      const auto input = mwtest::MakeSignal(f, ch, 1000, 3);
      EXPECT_EQ(mwtest::RunThrough(*e, f, ch, 44100, input, 999).size(),
                input.size() + 4625u * ch * f.bits / 8) << f.bits << " " << ch;
    }
  }
}

TEST(MultiTapTail, DirectProcessingCountsDownTheBufferLength) {
  auto e = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("multitap"));
  const MultiTapParams p = OneTap(2);
  e->Params().SetParameters(&p);
  auto& engine = static_cast<mw::MultiTapEngine&>(e->Engine());
  ASSERT_EQ(e->Frame().Initialize(1, 8000), mw::S_OK);
  EXPECT_EQ(engine.CountDown(), 16);
  std::vector<float> x(10, 0.0f), y(10, 0.5f), z(2, 0.5f), t(40, 0.0f);
  EXPECT_EQ(e->Frame().Process(x.data(), 10, true), mw::S_OK);
  e->Params().Put(mw::kMtDryOut, 0);  // taken by the next call, applied by an unlimited one
  EXPECT_EQ(e->Frame().Process(y.data(), 10, true), mw::S_OK);  // the 6 frames left
  EXPECT_EQ(std::make_pair(y[5], y[6]), std::make_pair(0.0f, 0.5f));
  EXPECT_EQ(e->Frame().Process(y.data(), 10, true), mw::kTailFinished);
  EXPECT_EQ(e->Frame().Process(z.data(), 2, false), mw::S_OK);  // re-armed, change applied
  EXPECT_EQ(z[0], 0.5f);
  EXPECT_EQ(engine.CountDown(), 16);
  std::uint32_t n = 40;
  EXPECT_EQ(e->Frame().ProcessTail(t.data(), &n), mw::kTailFinished);
  EXPECT_EQ(n, 16u);
  EXPECT_EQ(t[14], 0.5f);  // frame 26 echoes frame 10
}

TEST(MultiTapProperties, OutputIndependentOfBufferSize) {
  MultiTapParams p = Preset(3);  // eight taps, the deepest and fastest sweep, the low-pass
  p.ModDepth = 100, p.ModRate = 100, p.Feedback = 150, p.LowPassOn = 1, p.LowPassStart = 3000;
  for (int i = 0; i < 8; ++i) p.TapDelay[i] = 1 + i;  // shorter than the sweep
  mwtest::ExpectIndependentOfBufferSize("multitap", &p, 44100, 3000, {4096, 1, 7, 333});
}

// The shifts the loops use, and the frames for which they hold them, are those of the exact
// sine at every frame: at random phases, near the quarter turns, near a whole shift, and
// where the fast sine gives way to the exact one (which it matches far inside its slack).
TEST(MultiTapProperties, ShiftsAndTheirHoldAreExact) {
  std::mt19937_64 rng(12);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int held = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const bool mono = trial % 2 == 0;
    const double rate = trial % 3 == 0 ? 8000.0 : trial % 3 == 1 ? 44100.0 : 96000.0;
    const double step = 6.28318530718 / ((10.0 / (1 + trial % 100)) * rate);
    double phase = trial % 5 == 0   ? (trial % 40) * 1.5707963267948966
                   : trial % 5 == 1 ? 1e6 - unit(rng) * 2000.0 * step
                                    : unit(rng) * 1.1e6;
    const double base = (1 + trial % 100) * 3e-5 * rate, round = mono ? 0.5 : 0.0;
    double depth[8];
    for (int i = 0; i < 8; ++i) depth[i] = base * (0.1 + 0.1 * ((i + trial) % 9));
    if (trial % 5 == 2) depth[0] = (3 + trial % 7 - round) / (mw::ExactSin(phase) + 1.0);
    std::int32_t k[8];
    const int taps = 1 + trial % 8;
    const std::uint32_t hold = mw::MultiTapEngine::TapShifts(mono, phase, step, depth, taps, k);
    held += hold > 0;
    for (std::uint32_t j = 0; j <= hold; ++j, phase += step) {
      if (j > 64 && j != hold && rng() % 64 != 0) continue;  // the first 64, then samples
      const double m = mw::ExactSin(phase) + 1.0;
      for (int i = 0; i < taps; ++i) {
        ASSERT_EQ(k[i], static_cast<std::int32_t>(std::trunc(m * depth[i] + round)))
            << "trial " << trial << " frame " << j << " tap " << i;
      }
    }
  }
  EXPECT_GT(held, 1000);  // the hold is what makes the sweep cheap
  double worst = 0.0;
  for (int i = 0; i < 100000; ++i) {
    const double x = i < 50000 ? unit(rng) * 1e6 : i < 60000 ? 1e6 - (i - 50000) * 0.01
                     : (i - 60000) * 1.5707963267948966 + (i % 7 - 3) * 1e-9;
    worst = std::max(worst, std::fabs(mw::MultiTapEngine::ApproxSin(x) - mw::ExactSin(x)));
  }
  EXPECT_LT(worst, 4e-15);  // far inside the slack of 2^-36
}

}  // namespace
