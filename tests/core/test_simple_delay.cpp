// The Simple Delay engine: its set-up numbers, its echoes, and what survives a change.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/dsp/exact_math.h"
#include "test_util.h"

namespace {

using mwtest::AllFormats;

const mwtest::FormatCase kF64 = AllFormats()[4];

struct Rig {
  std::unique_ptr<mw::InPlaceEffect> effect = mwtest::NewDelay();
  mw::SimpleDelayEngine& engine = mwtest::DelayEngine(*effect);
  mw::HResult start = mw::E_UNEXPECTED;

  Rig(std::uint16_t channels, std::uint32_t rate, SimpleDelayParams p,
      const mwtest::FormatCase& f = kF64) {
    mwtest::SetDelay(*effect, p);
    const auto block = mwtest::FormatBlock(f, channels, rate);
    effect->Frame().SetMediaType(mw::kPinInput, block.data());
    start = effect->Frame().StartStreaming();
  }
  // Runs frames of doubles through the engine as one ordinary buffer.
  std::vector<double> Run(std::vector<double> x, int mode = mw::kModeNormal) {
    std::uint32_t frames = static_cast<std::uint32_t>(x.size() / effect->Frame().Format().nChannels);
    EXPECT_EQ(engine.ProcessFloat64(mode, x.data(), &frames), mw::S_OK);
    return x;
  }
};

// An impulse on channel `c` of an interleaved buffer.
std::vector<double> Impulse(std::size_t frames, std::uint16_t channels, std::uint16_t c = 0) {
  std::vector<double> x(frames * channels, 0.0);
  x[c] = 1.0;
  return x;
}

// Frames after which the first non-zero sample appears on channel c (not counting frame 0).
int FirstEcho(const std::vector<double>& y, std::uint16_t channels, std::uint16_t c) {
  for (std::size_t i = 1; i * channels + c < y.size(); ++i) {
    if (y[i * channels + c] != 0.0) return static_cast<int>(i);
  }
  return -1;
}

TEST(SimpleDelaySetup, LineLengthRoundsHalfUpAndNeverFallsBelowTwo) {
  EXPECT_EQ(Rig(1, 8000, {0, 1, 1, -60, -60}).engine.LineLength(), 8u);
  EXPECT_EQ(Rig(1, 100, {0, 1, 1, -60, -60}).engine.LineLength(), 2u);
  EXPECT_EQ(Rig(2, 44100, {0, 100, 1, -60, -60}).engine.LineLength(), 8820u);
  EXPECT_EQ(Rig(2, 11025, {0, 10, 1, -60, -60}).engine.LineLength(), 221u);  // 220.5
  EXPECT_EQ(Rig(1, 11025, {0, 10, 1, -60, -60}).engine.LineLength(), 110u);  // 110.25
  EXPECT_EQ(Rig(2, 0, {0, 10, 1, -60, -60}).engine.LineLength(), 2u);
}

TEST(SimpleDelaySetup, FeedbackGainAndTail) {
  Rig a(1, 44100, {1, 400, 20, -60, -60});
  EXPECT_EQ(a.engine.LineLength(), 17640u);
  EXPECT_EQ(a.engine.TailSamples(), 88200u);
  EXPECT_EQ(a.engine.Fb(), mw::ExactPow(0.0316, 0.2));
  EXPECT_NEAR(a.engine.Fb(), 0.501, 0.001);
  EXPECT_EQ(a.engine.TailRemaining(0), 17640u + 88200u);

  Rig b(1, 44100, {1, 5000, 1, -60, -60});  // ratio 0.02: a single echo, longer tail
  EXPECT_EQ(b.engine.Fb(), 0.0);
  EXPECT_EQ(b.engine.TailSamples(), 4410u);
  EXPECT_EQ(b.engine.TailRemaining(0), 220500u + 4410u);

  Rig c(2, 44100, {0, 400, 20, -60, -60});  // feedback off: no tail beyond the delay
  EXPECT_EQ(c.engine.TailSamples(), 0u);
  EXPECT_EQ(c.engine.Fb(), 0.0);
  EXPECT_EQ(c.engine.TailRemaining(0), 35280u / 2);
  EXPECT_EQ(c.engine.TailRemaining(1), 35280u / 2);

  Rig d(1, 8000, {-3, 100, 10, -60, -60});  // any non-zero Feedback is on
  EXPECT_EQ(d.engine.TailSamples(), 8000u);
}

TEST(SimpleDelaySetup, Gains) {
  Rig a(1, 8000, {0, 100, 1, -60, 60});
  EXPECT_EQ(a.engine.Wet(), mw::ExactPow(10.0, -60 * 0.005));
  EXPECT_EQ(a.engine.Dry(), mw::ExactPow(10.0, 60 * 0.005));
  Rig b(1, 8000, {0, 100, 1, -800, -800});
  EXPECT_EQ(b.engine.Wet(), 0.0);
  EXPECT_EQ(b.engine.Dry(), 0.0);
  Rig c(1, 8000, {0, 100, 1, -799, -12000});
  EXPECT_GT(c.engine.Wet(), 0.0);
  EXPECT_EQ(c.engine.Dry(), 0.0);
}

TEST(SimpleDelayEcho, EachChannelEchoesAfterItsOwnSlots) {
  {
    Rig r(2, 44100, {0, 100, 1, 0, -800});
    EXPECT_EQ(FirstEcho(r.Run(Impulse(5000, 2, 0)), 2, 0), 4410);
  }
  {
    Rig r(2, 11025, {0, 10, 1, 0, -800});  // odd line: channel 0 has one slot more
    EXPECT_EQ(FirstEcho(r.Run(Impulse(300, 2, 0)), 2, 0), 111);
    Rig s(2, 11025, {0, 10, 1, 0, -800});
    EXPECT_EQ(FirstEcho(s.Run(Impulse(300, 2, 1)), 2, 1), 110);
  }
  {
    Rig r(1, 8000, {0, 1, 1, 0, -800});
    EXPECT_EQ(FirstEcho(r.Run(Impulse(50, 1)), 1, 0), 8);
  }
}

TEST(SimpleDelayEcho, FeedbackRepeatsEveryDelayScaledByFb) {
  Rig r(1, 1000, {1, 10, 5, 0, 0});  // D = 10 frames, tail 500 samples: ratio 50
  const double fb = r.engine.Fb();
  EXPECT_EQ(fb, mw::ExactPow(0.0316, 1.0 / 50.0));
  const std::vector<double> y = r.Run(Impulse(100, 1));
  EXPECT_EQ(y[0], 1.0);
  double expected = 1.0;
  for (int k = 1; k < 10; ++k) {
    EXPECT_EQ(y[k * 10], expected) << k;
    for (int j = 1; j < 10; ++j) EXPECT_EQ(y[k * 10 - 10 + j], 0.0);
    expected = fb * expected;
  }
}

TEST(SimpleDelayEcho, DryGainAboveUnityClipsIntegerFormats) {
  for (const auto& f : AllFormats()) {
    Rig r(1, 8000, {0, 100, 1, -800, 60}, f);
    auto x = mwtest::MakeSignal(f, 1, 64, 3);
    auto input = x;
    std::uint32_t frames = 64;
    EXPECT_EQ(mw::DispatchLoop(r.engine, r.effect->Frame().Format(), mw::kModeNormal, x.data(),
                               &frames),
              mw::S_OK);
    if (f.format == mw::SampleFormat::Pcm16) {
      const auto* in = reinterpret_cast<const std::int16_t*>(input.data());
      const auto* out = reinterpret_cast<const std::int16_t*>(x.data());
      const double g = mw::ExactPow(10.0, 0.3);
      for (int i = 0; i < 64; ++i) {
        const double t = in[i] * (1.0 / 32768) * g * 32768.0;
        const int expect = t >= 32767.0 ? 32767 : t <= -32768.0 ? -32768 : static_cast<int>(t);
        EXPECT_EQ(out[i], expect);
      }
    }
  }
}

TEST(SimpleDelayChanges, LevelChangesKeepTheEchoButANewDelayRestartsSilent) {
  Rig r(1, 1000, {0, 10, 1, 0, -800});
  r.Run(Impulse(5, 1));  // the impulse is in the line, 5 frames before its echo
  r.effect->Params().Put(1, -60);  // DelayOut: keeps history
  std::vector<double> y = r.Run(std::vector<double>(10, 0.0));
  EXPECT_EQ(y[5], mw::ExactPow(10.0, -0.3));

  r.Run(Impulse(5, 1));
  r.effect->Params().Put(3, 20);  // DelayTime: a new, silent line
  y = r.Run(std::vector<double>(30, 0.0));
  for (double v : y) EXPECT_EQ(v, 0.0);
  EXPECT_EQ(r.engine.LineLength(), 20u);
}

TEST(SimpleDelayChanges, DiscontinuityClearsHistoryOnlyAfterTheFirstBuffer) {
  Rig r(1, 1000, {0, 10, 1, 0, 0});
  // First buffer after the start: flagged, but the engine was just reset; nothing is lost.
  std::vector<double> y = r.Run(Impulse(5, 1), mw::kModeDiscontinuity);
  EXPECT_EQ(y[0], 1.0);
  y = r.Run(std::vector<double>(10, 0.0));
  EXPECT_EQ(y[5], 1.0);

  r.Run(Impulse(5, 1));
  std::vector<double> x(20, 0.25);
  y = r.Run(x, mw::kModeDiscontinuity);  // mid-stream: the echo of the impulse is gone
  for (int i = 0; i < 10; ++i) EXPECT_EQ(y[i], 0.25) << i;
  for (int i = 10; i < 20; ++i) EXPECT_EQ(y[i], 0.5) << i;
}

TEST(SimpleDelayChanges, FreedEngineSetsUpAgainBeforeTouchingMemory) {
  Rig r(1, 1000, {0, 10, 1, 0, 0});
  r.effect->Frame().StopStreaming();
  EXPECT_FALSE(r.engine.HasLine());
  std::vector<double> y = r.Run(Impulse(20, 1));
  EXPECT_EQ(y[10], 1.0);
}

TEST(SimpleDelayChanges, LineThatCannotExistIsOutOfMemoryAndRetried) {
  Rig r(2, 4000000000u, {0, 5000, 1, 0, 0});  // 4e10 samples
  EXPECT_EQ(r.start, mw::E_OUTOFMEMORY);
  EXPECT_FALSE(r.engine.Valid());
  std::vector<double> x(4, 0.5);
  std::uint32_t frames = 2;
  EXPECT_EQ(r.engine.ProcessFloat64(mw::kModeNormal, x.data(), &frames), mw::E_OUTOFMEMORY);
  EXPECT_EQ(x[0], 0.5);  // untouched
  r.effect->Params().Put(3, 1);
  EXPECT_EQ(r.engine.ProcessFloat64(mw::kModeNormal, x.data(), &frames), mw::S_OK);
}

}  // namespace
