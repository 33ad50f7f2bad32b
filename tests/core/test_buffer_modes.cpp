// The buffer-mode rules of the four in-place effects, one row per effect: what a tail buffer
// does with a change, what a limited direct call does with one, how far the direct count-down
// runs, and what a discontinuity in mid-stream keeps. Every effect runs with its default
// preset at 8000 Hz, through its public loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/dsp/exact_math.h"
#include "core/effects/chorus/chorus.h"
#include "core/effects/multitap/multi_tap_delay.h"
#include "core/effects/reverb/reverb.h"
#include "test_util.h"

namespace {

using mwtest::AllFormats;
using mwtest::FormatCase;

constexpr std::uint32_t kRate = 8000;
constexpr std::int32_t kNewDry = -300;  // in every effect's DryOut range

template <class Engine>
double DryOf(const mw::EffectEngine& e) {
  return static_cast<const Engine&>(e).Dry();
}
double ChorusDry(const mw::EffectEngine& e) {
  return static_cast<const mw::ChorusEngine&>(e).DryGain();
}

struct Row {
  const char* effect;
  mw::ResetRule reset;
  // A tail buffer that finds a change: its result, whether it leaves the buffer untouched
  // (false: processed), and the frames it reports.
  mw::HResult tailResult;
  bool tailUntouched;
  std::uint32_t tailFrames;  // of a request of 16; the tail is far longer than that
  // A limited direct call that finds a change: its result and frames (of 16).
  mw::HResult limitedResult;
  std::uint32_t limitedFrames;
  // Frames the limited calls process before they refuse, in stereo.
  std::int64_t countDown;
  double (*dry)(const mw::EffectEngine&);
};

const Row kRows[] = {
    // The tail ends at a change; the line counts interleaved samples: 2 x 800 in stereo.
    {"delay", mw::ResetRule::kDropsHistory,  //
     1, true, 16, mw::S_OK, 16, 1600, DryOf<mw::SimpleDelayEngine>},
    // The tail runs on; the count-down is the tail, trunc(2.5 s) x 8000 frames.
    {"reverb", mw::ResetRule::kDropsHistory,  //
     mw::S_OK, false, 16, mw::S_OK, 16, 16000, DryOf<mw::ReverbEngine>},
    // The tail runs on; the count-down is the buffer, trunc(800 x 1.05) frames.
    {"multitap", mw::ResetRule::kKeepsHistory,  //
     mw::S_OK, false, 16, mw::S_OK, 16, 840, DryOf<mw::MultiTapEngine>},
    // No tail: tail buffers and limited calls are finished at once, with no frames.
    {"chorus", mw::ResetRule::kDropsHistory,  //
     1, true, 0, 1, 0, 0, ChorusDry},
};

struct Rig {
  std::unique_ptr<mw::InPlaceEffect> effect;
  mw::EffectEngine& engine;
  FormatCase format;
  std::uint16_t channels;

  Rig(const char* name, const FormatCase& f, std::uint16_t ch)
      : effect(std::make_unique<mw::InPlaceEffect>(*mw::FindEffect(name))),
        engine(effect->Engine()),
        format(f),
        channels(ch) {
    const auto block = mwtest::FormatBlock(f, ch, kRate);
    effect->Frame().SetMediaType(mw::kPinInput, block.data());
    EXPECT_EQ(effect->Frame().StartStreaming(), mw::S_OK);
  }
  // One buffer through the format's loop; the frames it reports.
  mw::HResult Feed(std::vector<std::uint8_t>& x, int mode, std::uint32_t* frames) {
    *frames = static_cast<std::uint32_t>(x.size() / (format.bits / 8 * channels));
    return mw::DispatchLoop(engine, effect->Frame().Format(), mode, x.data(), frames);
  }
  void ChangeDry() {
    const int field = effect->Params().Table().Find("DryOut");
    ASSERT_EQ(effect->Params().Put(static_cast<std::size_t>(field), kNewDry), mw::S_OK);
  }
};

// A change taken by a tail buffer is never applied there; it waits for the next ordinary
// buffer, which applies it.
TEST(BufferModes, ChangeDuringTheTail) {
  const double newDry = mw::ExactPow(10.0, kNewDry * 0.005);
  for (const Row& row : kRows) {
    for (const FormatCase& f : AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        Rig r(row.effect, f, ch);
        auto signal = mwtest::MakeSignal(f, ch, 64, 3);
        std::uint32_t n;
        ASSERT_EQ(r.Feed(signal, mw::kModeNormal, &n), mw::S_OK);
        const double oldDry = row.dry(r.engine);
        r.ChangeDry();

        auto tail = mwtest::MakeSignal(f, ch, 16, 4);  // not silence, to see it untouched
        const auto before = tail;
        EXPECT_EQ(r.Feed(tail, mw::kModeTail, &n), row.tailResult) << row.effect;
        EXPECT_EQ(n, row.tailFrames) << row.effect;
        if (row.tailUntouched) {
          EXPECT_TRUE(tail == before) << row.effect;
        }
        EXPECT_EQ(row.dry(r.engine), oldDry) << row.effect;
        EXPECT_TRUE(r.engine.ChangePending()) << row.effect;

        auto next = mwtest::MakeSignal(f, ch, 8, 5);
        EXPECT_EQ(r.Feed(next, mw::kModeNormal, &n), mw::S_OK) << row.effect;
        EXPECT_EQ(row.dry(r.engine), newDry) << row.effect;
        EXPECT_FALSE(r.engine.ChangePending()) << row.effect;
      }
    }
  }
}

// A limited direct call never sets up: it runs on the old settings and leaves the change
// for an unlimited call.
TEST(BufferModes, ChangeDuringALimitedCall) {
  const double newDry = mw::ExactPow(10.0, kNewDry * 0.005);
  for (const Row& row : kRows) {
    Rig r(row.effect, AllFormats()[3], 2);
    std::vector<float> x(32, 0.25f);
    std::uint32_t n = 16;
    ASSERT_EQ(r.engine.ProcessFloat32(mw::kModeNormal, x.data(), &n, false), mw::S_OK);
    const double oldDry = row.dry(r.engine);
    r.ChangeDry();
    n = 16;
    EXPECT_EQ(r.engine.ProcessFloat32(mw::kModeNormal, x.data(), &n, true), row.limitedResult)
        << row.effect;
    EXPECT_EQ(n, row.limitedFrames) << row.effect;
    EXPECT_EQ(row.dry(r.engine), oldDry) << row.effect;
    EXPECT_TRUE(r.engine.ChangePending()) << row.effect;
    n = 16;
    EXPECT_EQ(r.engine.ProcessFloat32(mw::kModeNormal, x.data(), &n, false), mw::S_OK);
    EXPECT_EQ(row.dry(r.engine), newDry) << row.effect;
  }
}

// Limited calls process exactly the count-down, then refuse until an unlimited call re-arms
// it to the same length.
TEST(BufferModes, LimitedCountDown) {
  for (const Row& row : kRows) {
    for (std::uint32_t size : {1u, 7u, 512u}) {
      Rig r(row.effect, AllFormats()[3], 2);
      std::vector<float> x(2 * std::size_t{size}, 0.0f);
      std::int64_t processed = 0;
      mw::HResult hr = mw::S_OK;
      for (int calls = 0; hr == mw::S_OK && calls < 40000; ++calls) {
        std::uint32_t n = size;
        hr = r.engine.ProcessFloat32(mw::kModeNormal, x.data(), &n, true);
        processed += n;
      }
      EXPECT_EQ(hr, 1) << row.effect;
      EXPECT_EQ(processed, row.countDown) << row.effect << ", calls of " << size;
      std::uint32_t n = size;
      EXPECT_EQ(r.engine.ProcessFloat32(mw::kModeNormal, x.data(), &n, true), 1);
      EXPECT_EQ(n, 0u);
      n = size;
      EXPECT_EQ(r.engine.ProcessFloat32(mw::kModeNormal, x.data(), &n, false), mw::S_OK);
      EXPECT_EQ(r.engine.CountDown(), row.countDown) << row.effect;
    }
  }
}

// A discontinuity in mid-stream drops the sound held, except where the reset rule keeps it:
// after a short burst, a silent discontinuity buffer is then silent, else it carries the same
// echoes as an ordinary buffer.
TEST(BufferModes, DiscontinuityInMidStream) {
  for (const Row& row : kRows) {
    for (const FormatCase& f : AllFormats()) {
      std::vector<std::uint8_t> out[2];
      for (int mode : {mw::kModeNormal, mw::kModeDiscontinuity}) {
        Rig r(row.effect, f, 1);
        auto burst = mwtest::MakeSignal(f, 1, 4, 6);
        std::uint32_t n;
        ASSERT_EQ(r.Feed(burst, mw::kModeNormal, &n), mw::S_OK);
        out[mode] = mwtest::Silence(f, 1, kRate);
        ASSERT_EQ(r.Feed(out[mode], mode, &n), mw::S_OK);
      }
      const auto silence = mwtest::Silence(f, 1, kRate);
      EXPECT_NE(out[mw::kModeNormal], silence) << row.effect;  // the echoes are there
      if (row.reset == mw::ResetRule::kKeepsHistory) {
        EXPECT_EQ(out[mw::kModeDiscontinuity], out[mw::kModeNormal]) << row.effect;
      } else {
        EXPECT_EQ(out[mw::kModeDiscontinuity], silence) << row.effect;
      }
    }
  }
}

}  // namespace
