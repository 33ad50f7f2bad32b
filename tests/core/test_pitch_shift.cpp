// Pitch Shift: the ratio and the virtual rate, the anti-alias filter's response, the
// interpolation kernel, output lengths with and without PreserveDuration, and output that
// does not depend on how input and output are cut into buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "core/effects/pitch/pitch_shift.h"
#include "core/effects/pitch/sinc_kernel_build.h"
#include "test_util.h"

namespace {

using mwtest::AllFormats;

struct Settings {
  double ratio = 1.0;
  std::uint32_t preserve = 0;
  std::uint32_t accuracy = 2;
  std::uint32_t antiAlias = 0;
  std::uint32_t mode = 0;
};

std::unique_ptr<mw::Effect> Pitch(const Settings& s) {
  auto e = mw::CreateEffect(*mw::FindEffect("pitch"));
  mw::ParamStore& p = e->Params();
  const mw::ParamTable& t = p.Table();
  EXPECT_EQ(p.PutDouble(t.Find("Ratio"), s.ratio), mw::S_OK);
  p.Put(t.Find("PreserveDuration"), static_cast<std::int32_t>(s.preserve));
  p.Put(t.Find("Accuracy"), static_cast<std::int32_t>(s.accuracy));
  p.Put(t.Find("AntiAlias"), static_cast<std::int32_t>(s.antiAlias));
  p.Put(t.Find("Mode"), static_cast<std::int32_t>(s.mode));
  return e;
}

mw::PitchShiftEngine& EngineOf(mw::Effect& e) {
  return static_cast<mw::PitchShiftEngine&>(static_cast<mw::CopyingEffect&>(e).Engine());
}

// Starts streaming at `rate` (16-bit mono) so that the engine sets up.
mw::PitchShiftEngine& Started(mw::Effect& e, std::uint32_t rate) {
  const auto block = mwtest::FormatBlock(AllFormats()[1], 1, rate);
  e.Connect(block.data(), 16);
  EXPECT_EQ(static_cast<mw::CopyingEffect&>(e).Frame().StartStreaming(), mw::S_OK);
  return EngineOf(e);
}

TEST(PitchShift, RatioFromInterval) {
  EXPECT_NEAR(mw::PitchRatioFor(12, 0), 2.0, 1e-9);
  EXPECT_NEAR(mw::PitchRatioFor(-12, 0), 0.5, 1e-9);
  EXPECT_NEAR(mw::PitchRatioFor(0, 1000), 1.0612, 1e-4);  // the cent's base is not 2^(1/1200)
  EXPECT_NEAR(mw::PitchRatioFor(0, -1000), 1 / 1.0612, 1e-4);
  EXPECT_EQ(mw::PitchRatioFor(0, 0), 1.0);
  for (int s = -50; s < 50; ++s) EXPECT_LT(mw::PitchRatioFor(s, 0), mw::PitchRatioFor(s + 1, 0));
}

TEST(PitchShift, VirtualRateAndAntiAliasThreshold) {
  struct Case {
    std::uint32_t rate;
    double ratio;
    std::uint32_t virtualRate;
    bool filtered;
  };
  const Case cases[] = {
      {44100, 1.0, 44100, false},
      {8000, 1.0, 8000, false},
      {44100, std::pow(2.0, 1.0 / 12), 41624, false},
      {44100, 1.1, 40090, true},     // r = 1.100025: strictly above 1.1
      {11000, 1.0999, 10000, false},  // r = 1.1 exactly is not filtered
      {44100, 44100.0, 1, true},
      {44100, 1e9, 1, true},          // never a rate of 0
  };
  for (const Case& c : cases) {
    auto e = Pitch({c.ratio, 0, 2, 1, 0});
    mw::PitchShiftEngine& engine = Started(*e, c.rate);
    EXPECT_EQ(engine.VirtualRate(), c.virtualRate) << c.ratio;
    EXPECT_EQ(engine.EffectiveRatio(), c.rate / static_cast<double>(c.virtualRate));
    EXPECT_EQ(engine.Filtering(), c.filtered) << c.ratio;
  }
  // PreserveDuration keeps the effective ratio at or above one half.
  auto low = Pitch({0.25, 1, 2, 0, 0});
  EXPECT_EQ(Started(*low, 44100).EffectiveRatio(), 0.5);
  for (std::uint32_t a : {0u, 1u, 2u, 3u, 4u, 99u}) {
    auto e = Pitch({1.0, 0, a, 0, 0});
    EXPECT_EQ(Started(*e, 44100).Taps(), a == 1 ? 2 : a == 3 ? 15 : 9) << a;
  }
}

// |H| of the designed section at a frequency given as a fraction of the rate.
double Gain(const mw::AntiAliasCoefficients& c, double f) {
  const std::complex<double> z1 = std::polar(1.0, -2 * 3.14159265358979323846 * f);
  std::complex<double> num = 0, den = 1, zk = 1;
  for (int k = 0; k <= 8; ++k) {
    num += c.b[k] * zk;
    if (k > 0) den -= c.feedback[k - 1] * zk;
    zk *= z1;
  }
  return std::abs(num / den);
}

TEST(PitchShift, AntiAliasResponse) {
  for (double r : {1.100025, 1.5, 2.0, 4.0, 19.0}) {
    const auto c = mw::DesignAntiAlias(0.5 / r);
    const double dc = 20 * std::log10(Gain(c, 0.0));
    EXPECT_NEAR(dc, 0.1, 1e-6) << r;
    // The pass band, up to 0.45 / r, stays between +0.1 and +0.2 dB; far above it the
    // filter stops.
    for (double f = 0.0; f <= 0.45 / r; f += 0.45 / r / 50) {
      const double g = 20 * std::log10(Gain(c, f));
      EXPECT_GE(g, 0.1 - 1e-3) << r << " " << f;
      EXPECT_LE(g, 0.2 + 1e-3) << r << " " << f;
    }
    EXPECT_LT(20 * std::log10(Gain(c, std::min(0.75 / r, 0.49))), -40.0) << r;
  }
}

TEST(PitchShift, KernelIsAWindowedSinc) {
  for (int h : {4, 7}) {
    const auto& k = mw::SincKernel(h);
    ASSERT_EQ(k.size(), 4003u);
    const std::vector<double> built = mw::BuildSincKernel(h);  // the stored table is current
    EXPECT_EQ(std::memcmp(k.data(), built.data(), sizeof(double) * 4003), 0);
    EXPECT_EQ(k[0], 1.0);
    EXPECT_EQ(k[4000], k[3999]);
    EXPECT_EQ(k[4001], 0.0);
    const double scale = 4000.0 / (h + 1);
    // Zero crossings at whole distances, decaying towards the edge.
    for (int d = 1; d <= h; ++d) EXPECT_NEAR(k[static_cast<int>(d * scale)], 0.0, 1e-9) << d;
    EXPECT_LT(std::fabs(k[3999]), 1e-3);
  }
}

std::size_t Frames(const std::vector<std::uint8_t>& bytes, const mwtest::FormatCase& f,
                   std::uint16_t ch) {
  return bytes.size() / (f.bits / 8 * ch);
}

// Output lengths: resampling alone gives about (N - h) / r frames with no tail; with
// PreserveDuration exactly N frames for r < 1 (trimmed) and for short inputs (padded).
TEST(PitchShift, OutputLengths) {
  const auto& f = AllFormats()[1];
  const std::size_t n = 20000;
  const auto input = mwtest::MakeSignal(f, 2, n, 11);
  for (double ratio : {0.5, 0.8, 1.0, 1.26, 2.0}) {
    auto plain = Pitch({ratio, 0, 2, 0, 0});
    const auto out = mwtest::RunThrough(*plain, f, 2, 22050, input, 1024);
    const double r = 22050 / std::trunc(22050 / ratio);
    EXPECT_NEAR(static_cast<double>(Frames(out, f, 2)), (n - 4) / r, 1.5) << ratio;

    auto kept = Pitch({ratio, 1, 2, 0, 5});
    const auto same = mwtest::RunThrough(*kept, f, 2, 22050, input, 1024);
    if (ratio <= 1.0) {
      EXPECT_EQ(Frames(same, f, 2), n) << ratio;
    } else {
      EXPECT_GE(Frames(same, f, 2), n) << ratio;
    }
  }
  for (std::size_t shortN : {std::size_t{0}, std::size_t{1}, std::size_t{500}}) {
    for (double ratio : {0.7, 1.5}) {
      auto e = Pitch({ratio, 1, 2, 0, 0});
      const auto out =
          mwtest::RunThrough(*e, f, 1, 44100, mwtest::MakeSignal(f, 1, shortN, 2), 64);
      EXPECT_EQ(Frames(out, f, 1), shortN) << ratio << " " << shortN;
    }
  }
}

// Ratio 1 at any rate passes the sound through unchanged when resampling linearly.
TEST(PitchShift, UnitRatioIsTransparent) {
  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, 3000, 21);
      auto e = Pitch({1.0, 0, 1, 0, 0});
      const auto out = mwtest::RunThrough(*e, f, ch, 32000, input, 500);
      ASSERT_EQ(out.size(), input.size() - f.bits / 8 * ch) << f.bits;  // the last frame waits
      EXPECT_TRUE(std::equal(out.begin(), out.end(), input.begin())) << f.bits << " " << ch;
    }
  }
}

// However input and output are cut into buffers, every sample is the same: all formats,
// both channel counts, up and down, with and without PreserveDuration and the filter.
TEST(PitchShift, BufferSizesChangeNothing) {
  const Settings settings[] = {
      {0.6, 0, 2, 0, 0}, {1.7, 0, 3, 1, 0}, {0.6, 1, 2, 0, 16}, {1.3, 1, 1, 1, 8},
      {0.51, 1, 3, 0, 2},
  };
  for (const Settings& s : settings) {
    for (const auto& f : AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        const auto input = mwtest::MakeSignal(f, ch, 9000, 31);
        auto ref = Pitch(s);
        const auto expected = mwtest::RunThrough(*ref, f, ch, 22050, input, 4096);
        for (const auto& [in, out] : {std::pair<std::uint32_t, std::uint32_t>{1, 1},
                                      {5, 3}, {2047, 2049}, {9000, 40000}}) {
          auto e = Pitch(s);
          EXPECT_EQ(mwtest::RunThrough(*e, f, ch, 22050, input, in, nullptr, out), expected)
              << s.ratio << " pd" << s.preserve << " " << f.bits << " ch" << ch << " in " << in
              << " out " << out;
        }
      }
    }
  }
}

TEST(PitchShift, Parameters) {
  auto e = Pitch({1.0, 0, 2, 0, 0});
  mw::ParamStore& p = e->Params();
  const mw::ParamTable& t = p.Table();
  const std::size_t ratio = t.Find("Ratio");
  for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_EQ(p.PutDouble(ratio, bad), mw::E_INVALIDARG) << bad;
  }
  double d = 0;
  p.GetDouble(ratio, &d);
  EXPECT_EQ(d, 1.0);
  p.ClearDirty();
  EXPECT_EQ(p.PutDouble(ratio, 1.0), mw::S_OK);
  EXPECT_FALSE(p.Dirty());  // an equal value changes nothing

  PitchShiftParams block{60, -2000, 7, 1, 30, 0, 0.0, 1, 0, -4.0};
  EXPECT_EQ(p.SetParameters(&block), mw::E_INVALIDARG);  // a bad ratio refuses the block
  PitchShiftParams got{};
  p.GetParameters(&got);
  EXPECT_EQ(got.Semitones, 0);
  block.Ratio = 1.5;
  EXPECT_EQ(p.SetParameters(&block), mw::E_FAIL);
  p.GetParameters(&got);
  EXPECT_EQ(got.Semitones, 50);
  EXPECT_EQ(got.Cents, -1000);
  EXPECT_EQ(got.Accuracy, 7u);  // stored as given
  EXPECT_EQ(got.Mode, 18u);
  EXPECT_EQ(got.InitialTime, 0.0);
  EXPECT_EQ(got.Ratio, 1.5);
  std::int32_t v = 0;
  EXPECT_EQ(p.Get(ratio, &v), mw::E_INVALIDARG);  // a floating-point field
}

}  // namespace
