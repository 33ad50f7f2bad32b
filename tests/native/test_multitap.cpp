// The Multi-Tap Delay engine: its set-up numbers, its taps, what a change keeps, its tail,
// and its output against a plain frame-by-frame rendering of the formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "effects/multitap/multi_tap_delay.h"
#include "frame/exact_math.h"
#include "frame/memory_stream.h"
#include "test_util.h"
#include "ui/util/builtin_strings.h"

namespace {

using mwtest::AllFormats;
using mwtest::FormatCase;

const FormatCase kF64 = AllFormats()[4];

std::unique_ptr<mw::InPlaceEffect> NewMultiTap() {
  return mw::CreateEffect(*mw::FindEffect("multitap"));
}

MultiTapParams Preset(int index) {
  auto e = NewMultiTap();
  e->ApplyPreset(index);
  MultiTapParams p;
  e->Params().GetParameters(&p);
  return p;
}

// One tap of gain 100 % at `delayMs`, dry silent, wet and input at 0 dB, nothing else.
MultiTapParams OneTap(std::int32_t delayMs) {
  MultiTapParams p = Preset(0);
  p.TapDelay[0] = delayMs;
  p.WetOut = 0;
  p.DryOut = -800;
  return p;
}

struct Rig {
  std::unique_ptr<mw::InPlaceEffect> effect = NewMultiTap();
  mw::MultiTapEngine& engine = static_cast<mw::MultiTapEngine&>(effect->Engine());
  mw::HResult start = mw::E_UNEXPECTED;

  Rig(std::uint16_t channels, std::uint32_t rate, const MultiTapParams& p,
      const FormatCase& f = kF64) {
    effect->Params().SetParameters(&p);
    const auto block = mwtest::FormatBlock(f, channels, rate);
    effect->Frame().SetMediaType(mw::kPinInput, block.data());
    start = effect->Frame().StartStreaming();
  }
  std::uint16_t Channels() const { return effect->Frame().Format().nChannels; }
  // Runs interleaved doubles through the engine as one buffer.
  std::vector<double> Run(std::vector<double> x, int mode = mw::kModeNormal,
                          mw::HResult expect = mw::S_OK) {
    std::uint32_t frames = static_cast<std::uint32_t>(x.size() / Channels());
    EXPECT_EQ(engine.ProcessFloat64(mode, x.data(), &frames), expect);
    x.resize(frames * Channels());
    return x;
  }
  void Put(int field, std::int32_t v) { effect->Params().Put(field, v); }
};

std::vector<double> Impulse(std::size_t frames, std::uint16_t channels = 1, std::uint16_t c = 0,
                            double v = 1.0) {
  std::vector<double> x(frames * channels, 0.0);
  x[c] = v;
  return x;
}

// Frames (after the first) at which channel c is not zero.
std::vector<int> Echoes(const std::vector<double>& y, std::uint16_t channels, int c = 0) {
  std::vector<int> at;
  for (std::size_t i = 1; i * channels + c < y.size(); ++i) {
    if (y[i * channels + c] != 0.0) at.push_back(static_cast<int>(i));
  }
  return at;
}

double Level(std::int32_t v) { return v > -800 ? mw::ExactPow(10.0, v * 0.005) : 0.0; }

// ---------------------------------------------------------------------------------------
// A plain rendering of the formulas, one frame at a time with the exact sine every frame,
// from a fresh buffer. Reads sit at D_i modulo L like the engine's (a delay of exactly L
// reads the slot about to be written).
class Plain {
 public:
  Plain(const MultiTapParams& p, int channels, std::uint32_t rateHz) : ch_(channels) {
    const double rate = rateHz;
    static const double kOffset[8] = {0.123, 0.377, -0.411, 0.095, -0.301, -0.253, 0.457, 0.179};
    static const double kFactor[8] = {0.7, 0.9, 0.4, 0.6, 0.8, 0.9, 0.1, 0.9};
    n_ = p.TapCount;
    step_ = 6.28318530718 / ((10.0 / p.ModRate) * rate);
    const double base = p.ModDepth * 3e-5 * rate;
    double sum = 0.0;
    long longest = 0;
    for (int i = 0; i < n_; ++i) {
      e_[i] = base * kFactor[i];
      const double g = p.TapGain[i] * 0.01;
      gl_[i] = gr_[i] = g;
      if (ch_ == 2 && p.TapPan[i] <= 0) gr_[i] = (p.TapPan[i] + 100) * 0.01 * g;
      if (ch_ == 2 && p.TapPan[i] > 0) gl_[i] = (100 - p.TapPan[i]) * 0.01 * g;
      sum += ch_ == 1 ? g : gl_[i] + gr_[i];
      d_[i] = static_cast<long>(std::trunc(rate * kOffset[i] * 0.001)) +
              p.TapDelay[i] * static_cast<long>(std::trunc(rate * 0.001));
      longest = std::max(longest, d_[i]);
    }
    fb_ = p.Feedback / (std::max(sum, 1.0) * 100.0);
    in_ = Level(p.InputGain);
    dry_ = Level(p.DryOut);
    wet_ = Level(p.WetOut);
    if (p.LowPassOn != 0 && p.LowPassStart <= static_cast<std::int32_t>(rateHz / 2)) {
      a_ = mw::ExactExp(-6.283185307179586 * p.LowPassStart / rate);
    }
    len_ = std::max(1L, static_cast<long>(std::trunc(longest * 1.05 + base * 4.0)));
    buf_.assign(static_cast<std::size_t>(len_), 0.0);
    for (int i = 0; i < n_; ++i) rd_[i] = d_[i] % len_;
  }

  long Length() const { return len_; }

  void Frame(double* u) {
    double x[2], p[2], acc[2] = {0.0, 0.0}, w[2];
    for (int c = 0; c < ch_; ++c) {
      x[c] = u[c] * in_;
      p[c] = Flush((1.0 - a_) * x[c] + a_ * ps_[c]);
      ps_[c] = p[c];
    }
    const double m = mw::ExactSin(phase_) + 1.0;
    phase_ += step_;
    for (int i = 0; i < n_; ++i) {
      const long k = static_cast<long>(std::trunc(ch_ == 1 ? m * e_[i] + 0.5 : m * e_[i]));
      long pos = rd_[i] - k;
      if (pos < 0) pos += len_;
      acc[0] += buf_[pos] * gl_[i];
      acc[1] += buf_[pos] * gr_[i];
      if (--rd_[i] == -1) rd_[i] = len_ - 1;
    }
    for (int c = 0; c < ch_; ++c) {
      w[c] = Flush((1.0 - a_) * acc[c] + a_ * ws_[c]);
      ws_[c] = w[c];
      u[c] = Flush(w[c] * wet_ + x[c] * dry_);
    }
    const double v = ch_ == 1 ? w[0] * fb_ + p[0] : ((w[0] + w[1]) * fb_ + p[0] + p[1]) * 0.5;
    buf_[wr_] = std::min(16777216.0, std::max(-16777216.0, v));
    if (--wr_ == -1) wr_ = len_ - 1;
  }

 private:
  static double Flush(double v) { return std::fabs(v) < 0x1p-32 ? 0.0 : v; }
  int ch_, n_;
  double e_[8], gl_[8], gr_[8], fb_, in_, dry_, wet_, a_ = 0.0, step_, phase_ = 0.0;
  double ps_[2] = {}, ws_[2] = {};
  long d_[8], rd_[8], len_, wr_ = 0;
  std::vector<double> buf_;
};

// Stored samples to working values and back, by the format's codec.
template <class Codec>
double Decode(const std::uint8_t* p) {
  typename Codec::Stored v;
  std::memcpy(&v, p, sizeof v);
  return Codec::Decode(v);
}
template <class Codec>
void Encode(double y, std::uint8_t* p) {
  const typename Codec::Stored v = Codec::Encode(y);
  std::memcpy(p, &v, sizeof v);
}
struct Codecs {
  double (*decode)(const std::uint8_t*);
  void (*encode)(double, std::uint8_t*);
};
const Codecs kCodecs[] = {{Decode<mw::Pcm8Codec>, Encode<mw::Pcm8Codec>},
                          {Decode<mw::Pcm16Codec>, Encode<mw::Pcm16Codec>},
                          {Decode<mw::Pcm32Codec>, Encode<mw::Pcm32Codec>},
                          {Decode<mw::Float32Codec>, Encode<mw::Float32Codec>},
                          {Decode<mw::Float64Codec>, Encode<mw::Float64Codec>}};

// What the whole stream (input, then the tail of L frames) should be, by the plain rendering.
std::vector<std::uint8_t> Expected(const MultiTapParams& p, const FormatCase& f,
                                   std::uint16_t channels, std::uint32_t rate,
                                   const std::vector<std::uint8_t>& input) {
  Plain model(p, channels, rate);
  const Codecs& codec = kCodecs[static_cast<int>(f.format)];
  const std::size_t bytes = f.bits / 8, inFrames = input.size() / bytes / channels;
  std::vector<std::uint8_t> out(input.size() + model.Length() * channels * bytes);
  for (std::size_t i = 0; i < inFrames + static_cast<std::size_t>(model.Length()); ++i) {
    double u[2] = {0.0, 0.0};
    for (int c = 0; c < channels; ++c) {
      if (i < inFrames) u[c] = codec.decode(input.data() + (i * channels + c) * bytes);
    }
    model.Frame(u);
    for (int c = 0; c < channels; ++c) codec.encode(u[c], out.data() + (i * channels + c) * bytes);
  }
  return out;
}

// ---------------------------------------------------------------------------------------

TEST(MultiTapSetup, DefaultAt44100) {
  for (std::uint16_t ch : {1, 2}) {
    Rig r(ch, 44100, Preset(0));
    ASSERT_EQ(r.start, mw::S_OK);
    EXPECT_EQ(r.engine.TapsInUse(), 1);
    EXPECT_EQ(r.engine.TapDelaySamples(0), 4405);  // trunc(5.4243) + 100 x 44
    EXPECT_EQ(r.engine.BufferLength(), 4625u);     // trunc(4405 x 1.05)
    EXPECT_EQ(r.engine.TailRemaining(), 4625u);
    EXPECT_EQ(r.engine.Wet(), mw::ExactPow(10.0, -0.3));
    EXPECT_EQ(r.engine.InputFactor(), 1.0);
    EXPECT_EQ(r.engine.Fb(), 0.0);
    EXPECT_EQ(r.engine.TapDepth(0), 0.0);
    const auto input = mwtest::MakeSignal(kF64, ch, 1000, 5);
    auto e = NewMultiTap();
    EXPECT_EQ(mwtest::RunThrough(*e, kF64, ch, 44100, input, 512).size(),
              input.size() + 4625u * 8 * ch);
  }
}

TEST(MultiTapSetup, DelaysDepthsAndLength) {
  MultiTapParams p = Preset(0);
  p.TapCount = 3;
  p.TapDelay[1] = 2;
  p.TapDelay[2] = 1;  // offset -0.411 ms: trunc(-18.1251) = -18
  p.ModDepth = 100;
  p.ModRate = 100;
  Rig r(1, 44100, p);
  EXPECT_EQ(r.engine.TapDelaySamples(1), 16 + 88);
  EXPECT_EQ(r.engine.TapDelaySamples(2), -18 + 44);
  const double base = 100 * 3e-5 * 44100.0;
  EXPECT_EQ(r.engine.TapDepth(0), base * 0.7);
  EXPECT_EQ(r.engine.TapDepth(2), base * 0.4);
  EXPECT_EQ(r.engine.BufferLength(), 5154u);  // trunc(4625.25 + 529.2)
  EXPECT_EQ(r.engine.Step(), 6.28318530718 / ((10.0 / 100) * 44100.0));
  EXPECT_EQ(r.engine.ReadIndex(0), 4405u);

  // At 8000 Hz a 1 ms tap is 8 samples and so is the buffer: the echo still comes after 8.
  Rig s(1, 8000, OneTap(1));
  EXPECT_EQ(s.engine.BufferLength(), 8u);
  EXPECT_EQ(Echoes(s.Run(Impulse(40)), 1), (std::vector<int>{8}));
  // Below 1000 Hz the delay is 0 samples; the buffer has one, which the tap reads.
  Rig t(1, 500, OneTap(1));
  EXPECT_EQ(t.engine.BufferLength(), 1u);
  EXPECT_EQ(Echoes(t.Run(Impulse(3)), 1), (std::vector<int>{1}));
}

TEST(MultiTapSetup, GainsPansAndFeedbackNormalisation) {
  MultiTapParams p = Preset(0);
  p.TapCount = 3;
  p.TapGain[0] = 80, p.TapGain[1] = -40, p.TapGain[2] = 50;
  p.TapPan[0] = -100, p.TapPan[1] = 50, p.TapPan[2] = 0;
  p.Feedback = 150;
  Rig st(2, 8000, p);
  const double g0 = 80 * 0.01, g1 = -40 * 0.01, g2 = 50 * 0.01;
  EXPECT_EQ(st.engine.TapGainLeft(0), g0);
  EXPECT_EQ(st.engine.TapGainRight(0), 0.0);  // fully left
  EXPECT_EQ(st.engine.TapGainRight(1), g1);
  EXPECT_EQ(st.engine.TapGainLeft(1), 50 * 0.01 * g1);
  EXPECT_EQ(st.engine.TapGainLeft(2), g2);
  EXPECT_EQ(st.engine.TapGainRight(2), 100 * 0.01 * g2);
  const double sum = 0.0 + (g0 + 0.0) + (50 * 0.01 * g1 + g1) + (g2 + g2);  // 1.2
  EXPECT_EQ(st.engine.Fb(), 150 / (sum * 100.0));
  Rig mono(1, 8000, p);  // 0.8 - 0.4 + 0.5: below 1, taken as 1
  EXPECT_EQ(mono.engine.TapGainLeft(1), g1);
  EXPECT_EQ(mono.engine.Fb(), 1.5);
  for (int i = 0; i < 8; ++i) p.TapGain[i] = -100;
  Rig neg(2, 8000, p);
  EXPECT_EQ(neg.engine.Fb(), 1.5);
}

TEST(MultiTapSetup, LowPassOnlyUpToHalfTheRate) {
  MultiTapParams p = Preset(0);
  p.LowPassOn = 7;  // any non-zero value
  p.LowPassStart = 5512;
  Rig on(1, 11025, p);
  EXPECT_EQ(on.engine.LowPassA(), mw::ExactExp(-6.283185307179586 * 5512 / 11025.0));
  EXPECT_EQ(on.engine.LowPassOneMinusA(), 1.0 - on.engine.LowPassA());
  p.LowPassStart = 5513;
  Rig off(1, 11025, p);
  EXPECT_EQ(off.engine.LowPassA(), 0.0);
  EXPECT_EQ(off.engine.LowPassOneMinusA(), 1.0);
  p.LowPassStart = 100;
  p.LowPassOn = 0;
  EXPECT_EQ(Rig(1, 11025, p).engine.LowPassA(), 0.0);
}

TEST(MultiTapSetup, BufferThatCannotExistIsRefusedAndRetried) {
  MultiTapParams p = Preset(0);
  p.TapDelay[0] = 2500;
  Rig r(2, 4000000000u, p);  // about 10^10 samples
  EXPECT_EQ(r.start, mw::E_OUTOFMEMORY);
  EXPECT_FALSE(r.engine.HasBuffer());
  std::vector<double> x(4, 0.5);
  std::uint32_t frames = 2;
  EXPECT_EQ(r.engine.ProcessFloat64(mw::kModeNormal, x.data(), &frames), mw::E_OUTOFMEMORY);
  EXPECT_EQ(x, std::vector<double>(4, 0.5));
  std::vector<double> tail(4, 0.25);
  std::uint32_t n = 2;
  EXPECT_EQ(r.engine.ProcessFloat64(mw::kModeTail, tail.data(), &n), mw::kTailFinished);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tail, std::vector<double>(4, 0.25));
  r.Put(mw::kMtTapDelay1, 1);  // a buffer of about 4.7 million samples
  EXPECT_EQ(r.Run(x).size(), 4u);
  EXPECT_TRUE(r.engine.HasBuffer());
}

TEST(MultiTapEcho, FeedbackRepeatsThroughTheSum) {
  MultiTapParams p = OneTap(1);  // 1 ms at 8000 Hz: 8 frames
  p.TapCount = 2;
  p.TapDelay[1] = 3;  // 3 x 8 + trunc(3.016) = 27 frames
  p.TapGain[1] = -50;
  p.Feedback = 100;  // S = 0.5, taken as 1: fb = 1
  Rig r(1, 8000, p);
  EXPECT_EQ(r.engine.BufferLength(), 28u);
  const std::vector<double> y = r.Run(Impulse(40));
  EXPECT_EQ(Echoes(y, 1), (std::vector<int>{8, 16, 24, 27, 32, 35}));
  EXPECT_EQ(y[8], 1.0);
  EXPECT_EQ(y[16], 1.0);  // the echo of the echo
  EXPECT_EQ(y[24], 1.0);
  EXPECT_EQ(y[27], -0.5);  // the second tap
  EXPECT_EQ(y[32], 1.0);
  EXPECT_EQ(y[35], -1.0);  // the first tap's echo of the second, and the second's of the first
}

TEST(MultiTapEcho, StereoPansAndTheMixedWrite) {
  MultiTapParams p = OneTap(1);
  p.TapPan[0] = -100;
  Rig r(2, 8000, p);
  const std::vector<double> y = r.Run(Impulse(12, 2, 1, 0.5));  // right channel only
  EXPECT_EQ(Echoes(y, 2, 0), (std::vector<int>{8}));
  EXPECT_EQ(y[16], 0.25);                // (0 + 0.5) x 0.5, full left gain
  EXPECT_TRUE(Echoes(y, 2, 1).empty());  // nothing to the right
  p.TapPan[0] = 60;
  Rig s(2, 8000, p);
  const std::vector<double> z = s.Run(Impulse(12, 2, 0, 1.0));
  EXPECT_EQ(z[17], 0.5);
  EXPECT_EQ(z[16], 40 * 0.01 * 1.0 * 0.5);
  Rig m(1, 8000, p);  // mono: pans mean nothing
  EXPECT_EQ(m.Run(Impulse(12))[8], 1.0);
}

TEST(MultiTapEcho, LowPassLimitAndFlush) {
  MultiTapParams p = OneTap(1);
  p.LowPassOn = 1;
  p.LowPassStart = 1000;
  p.InputGain = -60;
  p.DryOut = 0;
  Rig r(1, 8000, p);
  const double a = r.engine.LowPassA(), in = Level(-60);
  const std::vector<double> y = r.Run(Impulse(10));
  EXPECT_EQ(y[0], 1.0 * in);
  EXPECT_EQ(y[1], 0.0);
  const double p0 = (1.0 - a) * in;  // the input low-pass of the impulse, then its tail
  EXPECT_EQ(y[8], (1.0 - a) * p0);
  EXPECT_EQ(y[9], (1.0 - a) * (a * p0) + a * ((1.0 - a) * p0));

  Rig big(1, 8000, OneTap(1));
  const std::vector<double> z = big.Run(Impulse(9, 1, 0, 1e9));
  EXPECT_EQ(z[8], 16777216.0);  // the buffer never holds more than 2^24
  MultiTapParams q = OneTap(1);
  q.DryOut = 0;
  Rig tiny(1, 8000, q);
  std::vector<double> t(9, 1e-10);
  t[0] = 2e-10;
  for (double v : tiny.Run(t)) EXPECT_EQ(v, 0.0);  // below 2^-32 every value is 0
}

TEST(MultiTapEcho, ModulationShortensTheDelay) {
  // 2 ms at 8000 Hz is 16 samples; depth 10 % gives B = 2.4 and E_1 = 1.68. The slowest
  // sweep keeps m within 0.003 of 1 for the first frames: k = trunc(1.68 m + 0.5) = 2 in
  // mono, trunc(1.68 m) = 1 in stereo.
  MultiTapParams p = OneTap(2);
  p.ModDepth = 10;
  Rig mono(1, 8000, p);
  EXPECT_EQ(mono.engine.BufferLength(), 26u);  // trunc(16.8 + 9.6)
  EXPECT_EQ(Echoes(mono.Run(Impulse(30)), 1), (std::vector<int>{14}));
  Rig stereo(2, 8000, p);
  EXPECT_EQ(Echoes(stereo.Run(Impulse(30, 2)), 2), (std::vector<int>{15}));
  p.ModDepth = 0;
  Rig still(1, 8000, p);
  EXPECT_EQ(Echoes(still.Run(Impulse(30)), 1), (std::vector<int>{16}));
}

// ---------------------------------------------------------------------------------------

TEST(MultiTapChanges, TapGainKeepsTheSoundAndEveryDelay) {
  MultiTapParams p = OneTap(2);  // 16 frames at 8000 Hz
  p.TapCount = 2;
  p.TapDelay[1] = 1;  // 8 frames
  Rig r(1, 8000, p);
  r.Run(Impulse(4));
  r.Put(mw::kMtTapGain1, -50);  // full initialisation, same length
  const std::vector<double> y = r.Run(std::vector<double>(20, 0.0));
  EXPECT_EQ(Echoes(y, 1), (std::vector<int>{7, 12}));
  EXPECT_EQ(y[7], 1.0);    // tap 2 at frame 11
  EXPECT_EQ(y[12], -0.5);  // tap 1 at frame 16, with its new gain
  EXPECT_EQ(r.engine.BufferLength(), 16u);
}

TEST(MultiTapChanges, ShorterTapKeepsHistoryLongerDelayRestartsSilent) {
  MultiTapParams p = OneTap(4);  // 32 frames, L = 33
  p.TapCount = 2;
  p.TapDelay[1] = 1;  // 11 frames
  Rig r(1, 8000, p);
  r.Run(Impulse(10));
  r.Put(mw::kMtTapDelay1 + 1, 2);  // 19 frames; the longest is unchanged
  std::vector<double> y = r.Run(std::vector<double>(30, 0.0));
  EXPECT_EQ(Echoes(y, 1), (std::vector<int>{9, 22}));  // frames 19 and 32 of the impulse
  EXPECT_EQ(r.engine.BufferLength(), 33u);

  r.Run(Impulse(10));
  r.Put(mw::kMtTapDelay1, 5);  // the longest changes: a new, silent buffer
  y = r.Run(std::vector<double>(60, 0.0));
  for (double v : y) EXPECT_EQ(v, 0.0);
  EXPECT_EQ(r.engine.BufferLength(), 42u);
  EXPECT_EQ(r.engine.TailRemaining(), 42u);
}

TEST(MultiTapChanges, PartialUpdatesKeepPhaseAndSound) {
  MultiTapParams p = OneTap(2);
  p.ModDepth = 20;
  p.ModRate = 50;
  Rig r(1, 8000, p);
  r.Run(std::vector<double>(7, 0.0));
  const double phase = r.engine.Phase();
  EXPECT_EQ(phase, [&] {
    double ph = 0.0;
    for (int i = 0; i < 7; ++i) ph += r.engine.Step();
    return ph;
  }());
  r.Put(mw::kMtModRate, 10);  // partial: the sweep continues from here
  r.Put(mw::kMtWetOut, -60);
  r.Run(std::vector<double>(1, 0.0));
  EXPECT_EQ(r.engine.Step(), 6.28318530718 / ((10.0 / 10) * 8000.0));
  EXPECT_EQ(r.engine.Phase(), phase + r.engine.Step());
  EXPECT_EQ(r.engine.Wet(), Level(-60));
  r.Put(mw::kMtFeedback, 20);  // full, same length: the phase still carries on
  r.Run(std::vector<double>(1, 0.0));
  EXPECT_EQ(r.engine.Phase(), (phase + r.engine.Step()) + r.engine.Step());
  EXPECT_EQ(r.engine.Fb(), 0.2);
}

TEST(MultiTapChanges, DiscontinuityKeepsTheBuffer) {
  Rig r(1, 8000, OneTap(2));
  std::vector<double> y = r.Run(Impulse(4), mw::kModeDiscontinuity);  // first: nothing
  y = r.Run(Impulse(4), mw::kModeDiscontinuity);                      // mid-stream
  EXPECT_EQ(Echoes(r.Run(std::vector<double>(20, 0.0)), 1), (std::vector<int>{8, 12}));
  r.Put(mw::kMtTapCount, 2);  // a pending full initialisation is applied by the reset
  r.Run(std::vector<double>(1, 0.0), mw::kModeDiscontinuity);
  EXPECT_EQ(r.engine.TapsInUse(), 2);
}

TEST(MultiTapChanges, FreedEngineStartsAgainFromSilence) {
  Rig r(1, 8000, OneTap(2));
  r.Run(Impulse(8));
  r.effect->Frame().StopStreaming();
  EXPECT_FALSE(r.engine.HasBuffer());
  EXPECT_EQ(Echoes(r.Run(std::vector<double>(20, 0.0)), 1), std::vector<int>{});
  EXPECT_EQ(r.engine.TailRemaining(), 16u);
}

// ---------------------------------------------------------------------------------------

TEST(MultiTapTail, LastsTheBufferLengthAndChangesWaitForTheNextBuffer) {
  MultiTapParams p = OneTap(2);
  p.Feedback = 150;
  Rig r(1, 8000, p);
  r.Run(Impulse(4));
  r.Put(mw::kMtWetOut, -800);  // taken during the tail: not applied, tail goes on
  std::vector<double> t(10, 0.0);
  std::uint32_t n = 10;
  EXPECT_EQ(r.engine.ProcessFloat64(mw::kModeTail, t.data(), &n), mw::S_OK);
  EXPECT_EQ(n, 10u);
  n = 10;
  EXPECT_EQ(r.engine.ProcessFloat64(mw::kModeTail, t.data(), &n), mw::kTailFinished);
  EXPECT_EQ(n, 6u);      // 16 frames in all
  EXPECT_EQ(t[2], 1.0);  // frame 16: the echo, at the wet level from before the change
  n = 10;
  EXPECT_EQ(r.engine.ProcessFloat64(mw::kModeTail, t.data(), &n), mw::kTailFinished);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(r.engine.Wet(), 1.0);
  r.Run(std::vector<double>(1, 0.0));  // the next ordinary buffer applies it
  EXPECT_EQ(r.engine.Wet(), 0.0);

  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      auto e = NewMultiTap();
      e->Params().SetParameters(&p);
      const auto input = mwtest::MakeSignal(f, ch, 100, 3);
      const auto out = mwtest::RunThrough(*e, f, ch, 8000, input, 7);
      EXPECT_EQ(out.size(), input.size() + 16u * ch * f.bits / 8);
    }
  }
}

TEST(MultiTapTail, DirectProcessingCountsDownTheBufferLength) {
  auto e = NewMultiTap();
  const MultiTapParams p = OneTap(2);
  e->Params().SetParameters(&p);
  auto& engine = static_cast<mw::MultiTapEngine&>(e->Engine());
  ASSERT_EQ(e->Frame().Initialize(1, 8000), mw::S_OK);
  EXPECT_EQ(engine.CountDown(), 16);
  std::vector<float> x(10, 0.0f);
  EXPECT_EQ(e->Frame().Process(x.data(), 10, true), mw::S_OK);
  e->Params().Put(mw::kMtDryOut, 0);  // taken by the next call, applied by an unlimited one
  std::vector<float> y(10, 0.5f);
  EXPECT_EQ(e->Frame().Process(y.data(), 10, true), mw::S_OK);  // the 6 frames left
  EXPECT_EQ(y[5], 0.0f);
  EXPECT_EQ(y[6], 0.5f);
  EXPECT_EQ(e->Frame().Process(y.data(), 10, true), mw::kTailFinished);
  EXPECT_EQ(y[0], 0.0f);
  std::vector<float> z(2, 0.5f);
  EXPECT_EQ(e->Frame().Process(z.data(), 2, false), mw::S_OK);  // re-armed, change applied
  EXPECT_EQ(z[0], 0.5f);
  EXPECT_EQ(engine.CountDown(), 16);
  std::vector<float> t(40, 0.0f);
  std::uint32_t n = 40;
  EXPECT_EQ(e->Frame().ProcessTail(t.data(), &n), mw::kTailFinished);
  EXPECT_EQ(n, 16u);
  EXPECT_EQ(t[14], 0.5f);  // frame 26 echoes frame 10
}

// ---------------------------------------------------------------------------------------

// Every format, both channel counts, rates up to 96 kHz, buffers from one frame up and
// every preset: the output is the plain rendering's, byte for byte, tail included.
TEST(MultiTapProperties, OutputFollowsThePlainFormulas) {
  MultiTapParams hard = Preset(3);  // 8 taps, feedback 150 %, the deepest, fastest sweep
  hard.ModDepth = 100;
  hard.ModRate = 100;
  hard.Feedback = 150;
  hard.LowPassOn = 1;
  hard.LowPassStart = 3000;
  for (int i = 0; i < 8; ++i) hard.TapDelay[i] = 1 + i;  // shorter than the sweep
  const std::uint32_t buffers[] = {1000, 1, 7, 333, 4096};
  int run = 0;
  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, 3000, 11);
      for (const MultiTapParams& p : {Preset(2), Preset(24), hard}) {
        for (std::uint32_t rate : {8000u, 44100u, 96000u}) {
          if (rate == 96000 && p.TapDelay[0] != 1) continue;
          const std::uint32_t frames = buffers[run++ % 5];
          auto e = NewMultiTap();
          e->Params().SetParameters(&p);
          ASSERT_TRUE(mwtest::RunThrough(*e, f, ch, rate, input, frames) ==
                      Expected(p, f, ch, rate, input))
              << f.bits << " bits, " << ch << " ch, " << rate << " Hz, buffer " << frames;
        }
      }
    }
  }
  for (std::uint16_t ch : {1, 2}) {
    const auto input = mwtest::MakeSignal(kF64, ch, 2000, 2);
    for (int i = 0; i < 26; ++i) {
      auto e = NewMultiTap();
      ASSERT_EQ(e->ApplyPreset(i), mw::S_OK);
      ASSERT_TRUE(mwtest::RunThrough(*e, kF64, ch, 11025, input, 4096) ==
                  Expected(Preset(i), kF64, ch, 11025, input))
          << "preset " << i;
    }
  }
}

// The shifts the loops use, and the frames for which they hold them, are those of the
// exact sine at every frame: at random phases, near the quarter turns, and where the fast
// sine gives way to the exact one.
TEST(MultiTapProperties, ShiftsAndTheirHoldAreExact) {
  std::mt19937_64 rng(12);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int held = 0, longest = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const bool mono = trial % 2 == 0;
    const double rate = trial % 3 == 0 ? 8000.0 : trial % 3 == 1 ? 44100.0 : 96000.0;
    const double base = (1 + trial % 100) * 3e-5 * rate;
    const int taps = 1 + trial % 8;
    double depth[8];
    for (int i = 0; i < 8; ++i) depth[i] = base * (0.1 + 0.1 * ((i + trial) % 9));
    const double step = 6.28318530718 / ((10.0 / (1 + trial % 100)) * rate);
    double phase = trial % 5 == 0   ? (trial % 40) * 1.5707963267948966
                   : trial % 5 == 1 ? 1e6 - unit(rng) * 2000.0 * step
                                    : unit(rng) * 1.1e6;
    if (trial % 5 == 2) {  // a depth that puts tap 0 within a rounding of a whole shift
      const double m = mw::ExactSin(phase) + 1.0;
      depth[0] = (3 + trial % 7 - (mono ? 0.5 : 0.0)) / m;
    }
    std::int32_t k[8];
    const std::uint32_t hold = mw::MultiTapEngine::TapShifts(mono, phase, step, depth, taps, k);
    held += hold > 0;
    longest = std::max<int>(longest, static_cast<int>(hold));
    // The frame itself, then the held frames: all of the first 64, then samples.
    for (std::uint32_t j = 0; j <= hold; ++j) {
      if (j > 64 && j != hold && rng() % 64 != 0) {
        phase += step;
        continue;
      }
      const double m = mw::ExactSin(phase) + 1.0;
      for (int i = 0; i < taps; ++i) {
        const double t = mono ? m * depth[i] + 0.5 : m * depth[i];
        ASSERT_EQ(k[i], static_cast<std::int32_t>(std::trunc(t)))
            << "trial " << trial << " frame " << j << " tap " << i;
      }
      phase += step;
    }
  }
  EXPECT_GT(held, 1000);  // the hold is what makes the sweep cheap
  EXPECT_GT(longest, 100);
}

TEST(MultiTapProperties, ApproximateSineIsFarInsideItsSlack) {
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> any(0.0, 1e6);
  double worst = 0.0;
  for (int i = 0; i < 100000; ++i) {
    const double x = i < 50000   ? any(rng)
                     : i < 60000 ? 1e6 - (i - 50000) * 0.01
                                 : (i - 60000) * 1.5707963267948966 + (i % 7 - 3) * 1e-9;
    worst = std::max(worst, std::fabs(mw::MultiTapEngine::ApproxSin(x) - mw::ExactSin(x)));
  }
  EXPECT_LT(worst, 4e-15);
  EXPECT_LT(4e-15, mw::MultiTapEngine::kSineSlack / 1000);
}

TEST(MultiTapProperties, DryAloneIsIdentity) {
  MultiTapParams p = Preset(22);
  p.DryOut = 0;
  p.WetOut = -800;
  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, 800, 9);
      auto e = NewMultiTap();
      e->Params().SetParameters(&p);
      const auto out = mwtest::RunThrough(*e, f, ch, 8000, input, 100);
      ASSERT_GE(out.size(), input.size());
      EXPECT_TRUE(std::equal(input.begin(), input.end(), out.begin())) << f.bits;
    }
  }
}

// ---------------------------------------------------------------------------------------

TEST(MultiTapParams, FieldsPresetsAndRecord) {
  auto e = NewMultiTap();
  const mw::ParamTable& t = e->Params().Table();
  ASSERT_EQ(t.count, 35u);
  const char* order[] = {"InputGain",       "DryOut",    "WetOut",       "ModRate",   "ModDepth",
                         "Feedback",        "LowPassOn", "LowPassStart", "TapCount",  "CurrentTap",
                         "GraphResolution", "TapGain1",  "TapGain8",     "TapDelay1", "TapDelay8",
                         "TapPan1",         "TapPan8"};
  const int at[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 18, 19, 26, 27, 34};
  for (int i = 0; i < 17; ++i) EXPECT_STREQ(t.fields[at[i]].name, order[i]);
  EXPECT_EQ(t.fields[mw::kMtTapPan1 + 7].offset, offsetof(MultiTapParams, TapPan) + 28);
  for (int i = 0; i < 35; ++i) {  // a full initialisation: depth, feedback, count, every tap
    const bool full = i == mw::kMtModDepth || i == mw::kMtFeedback || i == mw::kMtTapCount ||
                      i >= mw::kMtTapGain1;
    EXPECT_EQ(t.fields[i].reinit, full) << t.fields[i].name;
  }

  // Clamping: single fields silently, whole blocks with E_FAIL; the flag is stored as given.
  e->Params().Put(mw::kMtCurrentTap, 9);
  e->Params().Put(mw::kMtGraphResolution, -2);
  e->Params().Put(mw::kMtLowPassOn, -5);
  e->Params().Put(mw::kMtModRate, 0);
  MultiTapParams p;
  e->Params().GetParameters(&p);
  EXPECT_EQ(p.CurrentTap, 7);
  EXPECT_EQ(p.GraphResolution, 0);
  EXPECT_EQ(p.LowPassOn, -5);
  EXPECT_EQ(p.ModRate, 1);
  p.TapDelay[7] = 2501;
  EXPECT_EQ(e->Params().SetParameters(&p), mw::E_FAIL);
  e->Params().GetParameters(&p);
  EXPECT_EQ(p.TapDelay[7], 2500);

  // The record: 160 bytes under the interface's identifier; page state goes with it.
  mw::MemoryStream s;
  ASSERT_EQ(e->Save(s, true), mw::S_OK);
  const std::vector<std::uint8_t>& b = s.Bytes();
  ASSERT_EQ(b.size(), 160u);
  const std::uint8_t head[] = {0xA0, 0,    0,    0,    0xA3, 0xC5, 0xD7, 0x61, 0x19, 0x4B,
                               0xD0, 0x11, 0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F};
  EXPECT_EQ(std::memcmp(b.data(), head, 20), 0);
  auto other = NewMultiTap();
  mw::MemoryStream in(b.data(), b.size());
  EXPECT_EQ(other->Load(in), mw::S_OK);
  MultiTapParams q;
  other->Params().GetParameters(&q);
  EXPECT_EQ(std::memcmp(&p, &q, sizeof p), 0);

  // Presets: 26 named rows, all within range, 0 and 1 alike.
  EXPECT_EQ(e->PresetCount(), 26);
  const char* name = nullptr;
  EXPECT_EQ(e->PresetName(26, &name), mw::E_INVALIDARG);
  // clang-format off
  const char* names[] = {
      "(Default)", "Default all parameters", "Small room 1", "Small hall 1", "Chorus-echo",
      "Chorus-reverse verb 2", "Chorus-reverse verb 3", "Chorus-reverse verb 1",
      "Low-frequency verb", "Chorus-verb", "Stadium", "Medium hall 1", "Large hall 2",
      "Large hall 1", "Large hall 3", "Medium hall 2", "Cathedral 1", "Cathedral 2",
      "Cathedral 3", "Large hall 4", "Small hall 2", "Small room 2", "Tapped delay 1",
      "Tapped delay 2", "Tapped delay, stereo pan", "Channel delay for stereo simulation"};
  // clang-format on
  std::vector<std::uint32_t> ids;
  for (int i = 0; i < 26; ++i) {
    ASSERT_EQ(e->PresetName(i, &name), mw::S_OK);
    EXPECT_STREQ(name, names[i]);
    EXPECT_EQ(e->Params().SetParameters(mw::kMultiTapInfo.presets.Block(i)), mw::S_OK) << i;
    ids.push_back(mw::kMultiTapInfo.presets.NameId(i));
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
  const MultiTapParams d0 = Preset(0), d1 = Preset(1);
  EXPECT_EQ(std::memcmp(&d0, &d1, sizeof d0), 0);
}

}  // namespace
