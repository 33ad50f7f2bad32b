// The four in-place engines where a whole-file run against the reference models cannot
// reach: changes between buffers, discontinuities in mid-stream, stops, memory that cannot
// be had, the tail and the direct count-down, as tables over the effects; and the fast
// paths of the oscillators against the exact sine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <tuple>

#include "core/dsp/exact_math.h"
#include "core/effects/chorus/oscillator_sine.h"
#include "core/effects/multitap/multi_tap_delay.h"
#include "core/frame/sample_memory.h"
#include "test_util.h"

namespace {

using mwtest::AllFormats;
using mwtest::FormatCase;
using mwtest::Impulse;
using mwtest::Rig;
using mwtest::Sets;

const FormatCase kF64 = AllFormats()[4];

bool Silent(const std::vector<double>& y) {
  return std::all_of(y.begin(), y.end(), [](double v) { return v == 0.0; });
}

// The fields of every effect in the order of its parameter interface's accessors, which
// hosts call by slot: the filters bind each accessor to the table's index.
TEST(FieldTables, FollowThePublishedAccessorOrder) {
  const std::pair<const char*, const char*> orders[] = {
      {"delay", "DryOut DelayOut Feedback DelayTime DecayTime"},
      {"chorus", "InputGain DryOut ChorusOut ChorusSize Feedback InvertChorusPhase "
                 "ChorusOutDelay ModulationRate ModulationDepth AttenuateHighs HighCutoff "
                 "InvertFeedbackPhase"},
      {"reverb", "ReverbMode EarlyStyle DryOut ReverbOut EarlyOut DecayTime PreDelay "
                 "AttenuateBass AttenuateHighs BassCutoff HighCutoff"},
      {"multitap", "InputGain DryOut WetOut ModRate ModDepth Feedback LowPassOn LowPassStart "
                   "TapCount CurrentTap GraphResolution TapGain1 TapGain2 TapGain3 TapGain4 "
                   "TapGain5 TapGain6 TapGain7 TapGain8 TapDelay1 TapDelay2 TapDelay3 "
                   "TapDelay4 TapDelay5 TapDelay6 TapDelay7 TapDelay8 TapPan1 TapPan2 TapPan3 "
                   "TapPan4 TapPan5 TapPan6 TapPan7 TapPan8"},
      {"pitch", "Semitones Cents Accuracy PreserveDuration Mode Ratio AntiAlias InitialTime"},
      {"stretch", "FinalLength Mode InitialTempo InitialTime InputFormat"},
  };
  for (const auto& [effect, order] : orders) {
    const mw::ParamTable& t = mw::FindEffect(effect)->params;
    std::string names;
    for (std::size_t i = 0; i < t.count; ++i) {
      names += (i ? " " : "") + std::string(t.fields[i].name);
    }
    EXPECT_EQ(names, order) << effect;
  }
}

// After silence a change between buffers gives, from the next buffer on, what a start with
// the new settings gives after the same silence (or after none, where the change makes new
// memory): history kept or cleared as the change asks, derived values all taken afresh,
// oscillators running on. At 8000 Hz the Chorus's 6500 frames of silence bring its write
// positions back to the start while its oscillators' periods outlast them.
TEST(Changes, AfterSilenceEqualAStartWithTheNewSettings) {
  struct Row {
    const char* effect;
    int preset;
    Sets base;
    std::size_t silence;
    std::vector<std::tuple<const char*, double, bool>> changes;  // bool: same silence
  };
  const Row rows[] = {
      {"delay", 0, {{"Feedback", 1}, {"DelayTime", 20}, {"DecayTime", 3}}, 500,
       {{"DryOut", 0, true}, {"DelayOut", -20, true}, {"DecayTime", 9, true},
        {"Feedback", 0, true}, {"DelayTime", 35, false}}},
      {"chorus", 0, {{"InputGain", -10}, {"DryOut", -30}, {"ChorusOut", -20}, {"Feedback", 40},
                     {"ChorusOutDelay", 30}, {"ModulationRate", 900},
                     {"ModulationDepth", 60}, {"AttenuateHighs", 1}, {"HighCutoff", 3000}},
       6500,
       {{"InputGain", -60, true}, {"DryOut", 0, true}, {"ChorusOut", -5, true},
        {"ChorusSize", 1, true}, {"Feedback", 90, true}, {"InvertChorusPhase", 1, true},
        {"ChorusOutDelay", 80, true}, {"ModulationRate", 950, true},
        {"ModulationRate", 300, true}, {"ModulationDepth", 100, true},
        {"AttenuateHighs", 0, true}, {"HighCutoff", 1000, true},
        {"InvertFeedbackPhase", 1, true}}},
      {"reverb", 0, {}, 700,
       {{"ReverbMode", 17, true}, {"EarlyStyle", 8, true}, {"DryOut", -100, true},
        {"ReverbOut", 0, true}, {"EarlyOut", -500, true}, {"DecayTime", 12, true},
        {"PreDelay", 5, true}, {"AttenuateBass", 0, true}, {"BassCutoff", 300, true},
        {"AttenuateHighs", 0, true}, {"HighCutoff", 2000, true}}},
      {"multitap", 11, {}, 500,     // five taps up to 424 ms, a sweep, feedback
       {{"InputGain", -100, true}, {"DryOut", 0, true}, {"WetOut", -5, true},
        {"Feedback", 150, true}, {"LowPassOn", 0, true}, {"LowPassStart", 2000, true},
        {"TapGain2", 100, true}, {"TapPan3", 90, true}, {"TapDelay1", 100, true},
        {"CurrentTap", 5, true}, {"TapCount", 8, false},
        {"TapDelay5", 450, false}, {"ModDepth", 60, false}, {"ModDepth", 0, false}}},
  };
  for (const Row& row : rows) {
    for (const auto& [field, value, same] : row.changes) {
      Sets changed = row.base;
      changed.push_back({field, value});
      for (const FormatCase& f : AllFormats()) {
        for (std::uint16_t ch : {1, 2}) {
          const auto x = mwtest::MakeSignal(f, ch, 2000, 8);
          Rig a(row.effect, ch, 8000, row.base, f, row.preset);
          Rig b(row.effect, ch, 8000, changed, f, row.preset);
          a.Feed(mwtest::Silence(f, ch, row.silence));
          if (same) b.Feed(mwtest::Silence(f, ch, row.silence));
          a.Put(field, value);
          EXPECT_TRUE(a.Feed(x) == b.Feed(x))
              << row.effect << " " << field << " = " << value << ", " << f.bits << " bits, "
              << ch << " channels";
        }
      }
    }
  }
}

// After sound, a change between buffers either keeps what the engine holds (and then needs
// no new memory) or starts again from silence: new lengths, a new Chorus size or delay, a
// new Reverb mode, style or pre-delay, and for those two a whole block written again even
// with the same values.
TEST(Changes, KeepTheSoundOrRestartSilent) {
  using Change = std::tuple<const char*, double, bool>;  // field (null: the whole block)
  const std::tuple<const char*, Sets, std::vector<Change>> rows[] = {
      {"delay", {{"DelayTime", 10}, {"DelayOut", 0}, {"DryOut", -800}},
       {{"DelayOut", -60, true}, {"DecayTime", 9, true}, {"DelayTime", 20, false}}},
      {"chorus", {{"DryOut", -600}, {"ChorusOut", 0}, {"ChorusSize", 1}, {"Feedback", 50},
                  {"ChorusOutDelay", 10}, {"ModulationDepth", 1}},
       {{"ChorusOut", -60, true}, {"Feedback", 30, true}, {"ModulationRate", 900, true},
        {"ModulationDepth", 50, true}, {"InvertChorusPhase", 1, true},
        {"AttenuateHighs", 1, true}, {"ChorusSize", 2, false}, {"ChorusOutDelay", 2, false},
        {nullptr, 0, false}}},
      {"reverb", {{"AttenuateBass", 0}},
       {{"ReverbOut", -100, true}, {"EarlyOut", -300, true}, {"DecayTime", 10, true},
        {"AttenuateBass", 1, true}, {"BassCutoff", 200, true}, {"HighCutoff", 3000, true},
        {"ReverbMode", 0, true}, {"ReverbMode", 5, false}, {"ReverbMode", 40, false},
        {"EarlyStyle", 1, false}, {"PreDelay", 31, false}, {nullptr, 0, false}}},
      {"multitap",
       {{"TapCount", 2}, {"TapDelay1", 4}, {"TapDelay2", 1}, {"WetOut", 0}, {"DryOut", -800}},
       {{"TapGain1", -50, true}, {"TapDelay2", 2, true}, {"ModRate", 50, true},
        {"TapDelay1", 5, false}}},
  };
  for (const auto& [effect, sets, changes] : rows) {
    for (const auto& [field, value, keeps] : changes) {
      for (std::uint16_t ch : {1, 2}) {
        Rig r(effect, ch, 8000, sets);
        r.Feed(mwtest::MakeSignal(kF64, ch, 40, 1));
        const std::uint64_t allocations = mw::SampleAllocationCount();
        if (field != nullptr) {
          r.Put(field, value);
        } else {
          std::vector<std::uint8_t> block(r.effect->Params().Table().blockSize);
          r.effect->Params().GetParameters(block.data());
          r.effect->Params().SetParameters(block.data());
        }
        const char* what = field != nullptr ? field : "the whole block";
        EXPECT_EQ(!Silent(r.Silence(3000)), keeps) << effect << " " << what << " " << ch;
        EXPECT_TRUE(!keeps || mw::SampleAllocationCount() == allocations) << effect << " " << what;
      }
    }
  }
}

// A discontinuity after the first buffer starts afresh, with a waiting change applied or
// none: the rest is what a new stream gives. (A stream's first buffer may carry the flag.)
TEST(Discontinuity, InMidStreamStartsAfresh) {
  const std::tuple<const char*, Sets, const char*, double> rows[] = {
      {"delay", {{"Feedback", 1}, {"DelayTime", 30}, {"DecayTime", 5}}, "DryOut", -20},
      {"chorus", {{"Feedback", 70}, {"ChorusOutDelay", 20}, {"ModulationRate", 5000},
                  {"ModulationDepth", 80}, {"AttenuateHighs", 1}, {"HighCutoff", 2000}},
       "Feedback", 20},
      {"reverb", {{"DecayTime", 12}}, "EarlyOut", -800},
  };
  for (const auto& [effect, sets, field, value] : rows) {
    for (bool change : {false, true}) {
      Sets changed = sets;
      if (change) changed.push_back({field, value});
      for (const FormatCase& f : AllFormats()) {
        for (std::uint16_t ch : {1, 2}) {
          const auto x = mwtest::MakeSignal(f, ch, 3000, 3), y = mwtest::MakeSignal(f, ch, 900, 4);
          Rig a(effect, ch, 22050, sets, f), b(effect, ch, 22050, changed, f);
          a.Feed(x, true);
          if (change) a.Put(field, value);
          EXPECT_TRUE(a.Feed(y, true) == b.Feed(y))
              << effect << (change ? " with a change, " : ", ") << f.bits << " " << ch;
        }
      }
    }
  }
}

// A new sweep rate applies at the next buffer without restarting the sweep, as does a change
// that keeps the buffer's length.
TEST(Changes, MultiTapSweepRunsOn) {
  Rig r("multitap", 1, 8000, {{"TapDelay1", 2}, {"ModDepth", 20}, {"ModRate", 50}});
  auto& e = static_cast<mw::MultiTapEngine&>(r.effect->Engine());
  r.Silence(7);
  const double phase = e.Phase();
  r.Put("ModRate", 10);
  r.Silence(1);
  EXPECT_EQ(e.Step(), 6.28318530718 / ((10.0 / 10) * 8000.0));
  EXPECT_EQ(e.Phase(), phase + e.Step());
  r.Put("Feedback", 20);
  r.Silence(1);
  EXPECT_EQ(e.Phase(), (phase + e.Step()) + e.Step());
}

// A stop frees the sample memory; the next buffer sets up again before touching any, and
// starts as a new stream does.
TEST(Stop, NextBufferStartsFromFreshMemory) {
  const std::pair<const char*, Sets> rows[] = {
      {"delay", {{"Feedback", 1}, {"DelayTime", 3}, {"DryOut", 0}}},
      {"chorus", {{"Feedback", 50}, {"ChorusOutDelay", 10}, {"ModulationDepth", 1}}},  // still
      {"reverb", {}},
      {"multitap", {{"TapDelay1", 2}, {"Feedback", 100}}},
  };
  for (const auto& [effect, sets] : rows) {
    const auto x = mwtest::MakeSignal(kF64, 2, 500, 6);
    Rig a(effect, 2, 8000, sets), b(effect, 2, 8000, sets);
    a.Feed(mwtest::MakeSignal(kF64, 2, 300, 5));
    EXPECT_EQ(a.effect->Frame().StopStreaming(), mw::S_OK);
    EXPECT_TRUE(a.Feed(x) == b.Feed(x)) << effect;
  }
}

// Memory an engine cannot have is reported before any sample is touched and tried again at
// every buffer; a format that allows it works at once.
TEST(Memory, ImpossibleLinesAreReportedAndRetried) {
  const std::tuple<const char*, Sets, std::uint16_t, std::uint32_t> rows[] = {
      {"delay", {{"DelayTime", 5000}}, 2, 4000000000u},      // 4e10 samples
      {"reverb", {{"ReverbMode", 6}}, 1, 4294967295u},       // a line of 3.9 s
      {"multitap", {{"TapDelay1", 2500}}, 2, 4000000000u},   // about 1e10 samples
  };
  for (const auto& [effect, sets, ch, rate] : rows) {
    Rig r(effect, ch, rate, sets);
    EXPECT_EQ(r.start, mw::E_OUTOFMEMORY) << effect;
    const std::vector<double> x(2 * ch, 0.5);
    EXPECT_EQ(r.Run(x, false, mw::E_OUTOFMEMORY), x) << effect;
    EXPECT_EQ(r.Run(x, true, mw::E_OUTOFMEMORY), x) << effect;
    std::vector<std::uint8_t> tail;  // the tail ends at once, in silence
    mw::SinkDownstream down(64, [&](const std::uint8_t* d, std::size_t n) {
      tail.insert(tail.end(), d, d + n);
      return mw::S_OK;
    });
    EXPECT_EQ(r.effect->Frame().EndOfStream(&down), mw::S_OK);
    EXPECT_LE(tail.size(), 64u) << effect;
    EXPECT_TRUE(std::all_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b == 0; }));
    r.Connect(ch, 8000, kF64);
    EXPECT_EQ(r.Run(x).size(), x.size()) << effect;
  }
}

// A channel count changed under a running engine never reads memory that was not made for
// it; Reverb builds its lines again.
TEST(Memory, ChannelCountChangedWhileStreaming) {
  for (const char* effect : {"delay", "chorus", "reverb", "multitap"}) {
    Rig r(effect, 1, 8000);
    r.Feed(mwtest::MakeSignal(kF64, 1, 500, 1));
    r.Connect(2, 8000, kF64);
    const auto y = r.Run(Impulse(400, 2, 1));
    ASSERT_EQ(y.size(), 800u) << effect;
    for (double v : y) EXPECT_TRUE(std::isfinite(v)) << effect;
    if (std::string(effect) == "reverb") {
      EXPECT_EQ(y, Rig(effect, 2, 8000).Run(Impulse(400, 2, 1)));
    }
  }
}

// Direct processing: limited calls process no more than the count-down (the tail length;
// for Simple Delay the decay alone, while its collected tail adds the line) and then refuse
// until an unlimited call re-arms it; the tail is then collected. A change taken by a
// limited call waits for an unlimited one or an update. The Chorus has no tail: its limited
// calls are finished at once.
TEST(Direct, LimitedCallsCountDownTheTail) {
  const std::tuple<const char*, Sets, std::uint32_t, std::uint32_t, std::uint32_t> rows[] = {
      {"delay", {{"Feedback", 1}, {"DelayTime", 10}, {"DecayTime", 1}, {"DryOut", 0}}, 1000,
       100, 110},
      {"reverb", {}, 1000, 2000, 2000},                      // two whole seconds
      {"multitap", {{"TapDelay1", 2}, {"WetOut", 0}}, 8000, 16, 16},
  };
  for (const auto& [effect, sets, rate, countDown, tail] : rows) {
    auto e = mwtest::NewEffect(effect, 0, sets);
    mw::InPlaceFrame& frame = static_cast<mw::InPlaceEffect&>(*e).Frame();
    ASSERT_EQ(frame.Initialize(1, rate), mw::S_OK);
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<float> x(countDown + 10, 0.5f);
      x[0] = 1.0f;
      EXPECT_EQ(frame.Process(x.data(), countDown - 3, true), mw::S_OK);
      EXPECT_EQ(frame.Process(x.data() + countDown - 3, 13, true), mw::S_OK);
      EXPECT_EQ(x[countDown - 1] == 0.5f, false) << effect;
      EXPECT_EQ(x[countDown], 0.5f) << effect;      // beyond the count-down: untouched
      EXPECT_EQ(frame.Process(x.data(), 1, true), mw::kTailFinished) << effect;
      EXPECT_EQ(frame.Process(x.data(), 1, false), mw::S_OK);  // re-armed
    }
    std::vector<float> t(tail + 5, 0.0f);
    std::uint32_t n = tail + 5;
    EXPECT_EQ(frame.ProcessTail(t.data(), &n), mw::kTailFinished) << effect;
    EXPECT_EQ(n, tail) << effect;
    EXPECT_FALSE(std::all_of(t.begin(), t.begin() + n, [](float v) { return v == 0.0f; }));
    mwtest::Apply(*e, {{"DryOut", -800}});
    EXPECT_EQ(frame.Process(t.data(), 4, true), mw::S_OK);
    EXPECT_EQ(frame.ParametersChanged(), mw::S_OK) << effect;
    EXPECT_EQ(frame.UpdateParameters(false), mw::S_OK);
    EXPECT_EQ(frame.ParametersChanged(), mw::S_FALSE) << effect;
    EXPECT_EQ(frame.UpdateParameters(false), mw::S_FALSE) << effect;
  }
  auto chorus = mwtest::NewEffect("chorus");
  mw::InPlaceFrame& frame = static_cast<mw::InPlaceEffect&>(*chorus).Frame();
  ASSERT_EQ(frame.Initialize(1, 8000), mw::S_OK);
  std::vector<float> x = {0.5f, 0.25f, 0.125f};
  EXPECT_EQ(frame.Process(x.data(), 3, true), mw::kTailFinished);
  EXPECT_EQ(x[0], 0.5f);
  std::uint32_t n = 3;
  EXPECT_EQ(frame.ProcessTail(x.data(), &n), mw::kTailFinished);
  EXPECT_EQ(n, 0u);
}

// A change made while the tail is being collected waits: the tail keeps the settings it
// started with (Simple Delay ends its tail instead; see the frame's tests).
TEST(Tail, KeepsTheSettingsItStartedWith) {
  const std::tuple<const char*, Sets, const char*> rows[] = {
      {"reverb", {{"DecayTime", 20}}, "ReverbOut"},
      {"multitap", {{"TapDelay1", 300}, {"Feedback", 150}}, "WetOut"},
  };
  for (const auto& [effect, sets, field] : rows) {
    std::vector<std::uint8_t> outputs[2];
    for (int change = 0; change < 2; ++change) {
      Rig r(effect, 2, 1000, sets, AllFormats()[1]);
      const auto x = mwtest::MakeSignal(AllFormats()[1], 2, 100, 2);
      outputs[change] = r.Feed(x);
      mw::SinkDownstream down(400, [&](const std::uint8_t* d, std::size_t n) {
        if (change) r.Put(field, -800);
        outputs[change].insert(outputs[change].end(), d, d + n);
        return mw::S_OK;
      });
      EXPECT_EQ(r.effect->Frame().EndOfStream(&down), mw::S_OK);
    }
    EXPECT_GT(outputs[0].size(), 800u) << effect;
    EXPECT_TRUE(outputs[0] == outputs[1]) << effect;
  }
}

// The Chorus oscillators' fast sine gives ExactSin's value: every phase of periods the
// voices use, wide and negative arguments, and the neighbours of multiples of pi/2; and a
// period below one frame holds an oscillator still.
TEST(Oscillators, ChorusSineEqualsExactSin) {
  for (long long period : {1LL, 2LL, 3LL, 7LL, 1789LL, 44746LL, 62419LL}) {
    const double step = 6.28318530718 / period;
    for (long long k = 0; k < period; ++k) {
      ASSERT_EQ(mw::OscillatorSine(k * step), mw::ExactSin(k * step)) << period << " " << k;
    }
  }
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> wide(-1.0e5, 1.0e5);
  for (int i = 0; i < 20000; ++i) {
    const double a = wide(rng);
    ASSERT_EQ(mw::OscillatorSine(a), mw::ExactSin(a)) << a;
  }
  for (int q = -8; q <= 8; ++q) {
    double x = q * 1.5707963267948966;
    for (int i = 0; i < 40; ++i, x = std::nextafter(x, 1e9)) {
      ASSERT_EQ(mw::OscillatorSine(x), mw::ExactSin(x)) << x;
    }
  }
  for (double x : {1e-300, 5e-324, -0.0, 6.5, 2e5, 1e300}) {
    ASSERT_EQ(mw::OscillatorSine(x), mw::ExactSin(x)) << x;
  }
  Rig still("chorus", 1, 1, {{"ModulationRate", 20000}});
  for (double v : still.Run(std::vector<double>(50, 0.25))) EXPECT_TRUE(std::isfinite(v));
}

// The shifts the Multi-Tap Delay's loops use, and the frames for which they hold them, are
// those of the exact sine at every frame: at random phases, near the quarter turns, near a
// whole shift, and where the fast sine gives way to the exact one.
TEST(Oscillators, MultiTapShiftsAndTheirHoldAreExact) {
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
