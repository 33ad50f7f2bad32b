// Time Stretch, Pitch Shift and their splice engine where a whole-file run against the
// reference models cannot reach: the vectorised search against the plain one, reads that
// stay inside the frame for every mode and rate, changes and discontinuities in mid-stream,
// the anti-alias filter's response, the stored interpolation kernel, and parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "core/dsp/splice_engine.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/effects/pitch/sinc_kernel_build.h"
#include "core/effects/stretch/time_stretch.h"
#include "core/frame/memory_stream.h"
#include "test_util.h"

namespace {

using mw::kSpliceModes;
using mwtest::AllFormats;
using mwtest::Sets;

// Every mode at every rate keeps each read of a frame inside the input buffer.
TEST(Splice, ReadsStayInsideTheFrame) {
  for (const mw::SpliceMode& m : kSpliceModes) {
    for (std::uint32_t fs : {100u, 1000u, 8000u, 11025u, 22050u, 31999u, 44100u, 96000u,
                             192000u}) {
      const mw::SpliceSizes s = mw::SpliceSizesFor(m, fs);
      if (s.outputHop < 1) continue;
      EXPECT_LE(s.crossfade, s.outputHop - 1);
      EXPECT_LE(s.range, s.outputHop - s.crossfade);
      EXPECT_GE(s.step, 1);
      EXPECT_LE(s.range - 1 + s.crossfade + s.outputHop, s.frame) << m.frameMs << " " << fs;
    }
  }
}

// The vectorised search always picks what the plain sequential search picks: random
// frames, near-silent references (early acceptance) and equal candidates (ties).
template <class T>
void CheckSearch(std::uint32_t channels) {
  std::mt19937 rng(77 + channels);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  for (std::uint32_t m = 0; m < mw::kSpliceModeCount; ++m) {
    for (std::uint32_t fs : {8000u, 22050u, 44100u}) {
      mw::SpliceCore<T> core;
      ASSERT_EQ(core.Configure(kSpliceModes[m], fs, 1.0, channels), mw::S_OK);
      for (int trial = 0; trial < 4; ++trial) {
        const double level = trial == 0 ? 1e-6 : 1.0;
        for (std::uint32_t c = 0; c < channels; ++c) {
          T* x = core.InputChannel(static_cast<int>(c));
          T* y = core.AccumulationChannel(static_cast<int>(c));
          for (std::int32_t k = 0; k < core.Sizes().frame; ++k) {
            x[k] = static_cast<T>(trial == 3 ? 0.25 : noise(rng));
            y[k] = static_cast<T>(level * noise(rng));
          }
        }
        EXPECT_EQ(core.FindSpliceOffset(), core.FindSpliceOffsetPlain())
            << "mode " << m << " rate " << fs << " trial " << trial << " ch " << channels;
      }
    }
  }
}

TEST(Splice, VectorSearchAgreesWithPlainSearch) {
  CheckSearch<float>(1);
  CheckSearch<float>(2);
  CheckSearch<double>(1);
  CheckSearch<double>(2);
}

// The stream through the copying frame in input buffers of 2000 bytes, the first flagged
// as a discontinuity and, when `restartAt` is not 0, the one at that byte too; `change` is
// applied before the buffer at `changeAt`.
std::vector<std::uint8_t> Stream(const char* effect, const Sets& sets,
                                 const std::vector<std::uint8_t>& input, std::size_t restartAt,
                                 const Sets& change = {}, std::size_t changeAt = 0) {
  auto e = mwtest::NewEffect(effect, 0, sets);
  auto& frame = static_cast<mw::CopyingEffect&>(*e).Frame();
  const auto block = mwtest::FormatBlock(AllFormats()[1], 1, 22050);
  e->Connect(block.data(), 16);
  std::vector<std::uint8_t> out;
  mw::SinkDownstream down(8192, [&](const std::uint8_t* d, std::size_t n) {
    out.insert(out.end(), d, d + n);
    return mw::S_OK;
  });
  EXPECT_EQ(frame.StartStreaming(), mw::S_OK);
  mw::HeapBuffer buffer(2000);
  for (std::size_t at = 0; at < input.size(); at += 2000) {
    const std::size_t n = std::min<std::size_t>(2000, input.size() - at);
    std::memcpy(buffer.Data(), input.data() + at, n);
    buffer.SetActualLength(static_cast<std::int32_t>(n));
    buffer.SetDiscontinuity(at == 0 || at == restartAt);
    if (at == changeAt) mwtest::Apply(*e, change);
    EXPECT_EQ(frame.Receive(buffer, down), mw::S_OK);
  }
  EXPECT_EQ(frame.EndOfStream(&down), mw::S_OK);
  frame.StopStreaming();
  return out;
}

// A discontinuity in mid-stream starts afresh: what follows is what a new stream of the
// rest gives. (Pitch Shift's anti-alias filter clears its history only after filtering the
// buffer that carries the discontinuity, so the filtered shift is left out.) A new Time
// Stretch length keeps the held sound: the output up to the change is the unchanged one's.
TEST(CopyingStreams, DiscontinuityStartsAfreshAndChangesKeepTheSound) {
  const auto input = mwtest::MakeSignal(AllFormats()[1], 1, 30000, 8);
  const std::vector<std::uint8_t> rest(input.begin() + 30000, input.end());
  const Sets settings[] = {{{"FinalLength", 10000.0}},
                           {{"FinalLength", 17000.0}, {"Mode", 6}},
                           {{"Ratio", 0.8}, {"PreserveDuration", 1}, {"Mode", 3}},
                           {{"Ratio", 1.3}, {"Accuracy", 1}}};
  for (const Sets& s : settings) {
    const char* effect = s[0].first == std::string("FinalLength") ? "stretch" : "pitch";
    const auto plain = Stream(effect, s, input, 0);
    const auto restarted = Stream(effect, s, input, 30000);
    const auto fresh = Stream(effect, s, rest, 0);
    ASSERT_GE(restarted.size(), fresh.size()) << effect << " " << s[0].second;
    EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), restarted.end() - fresh.size()))
        << effect << " " << s[0].second;
    EXPECT_NE(restarted, plain) << effect << " " << s[0].second;
  }
  const auto plain = Stream("stretch", settings[0], input, 0);
  const auto longer = Stream("stretch", settings[0], input, 0, {{"FinalLength", 30000.0}}, 30000);
  EXPECT_GT(longer.size(), plain.size() + 20000);
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 10000, longer.begin()));
}

// |H| of the designed anti-alias section at a frequency given as a fraction of the rate.
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

// d.c. gain +0.1 dB, the pass band up to 0.45 / r between +0.1 and +0.2 dB, far down above.
TEST(PitchShift, AntiAliasResponse) {
  for (double r : {1.100025, 1.5, 2.0, 4.0, 19.0}) {
    const auto c = mw::DesignAntiAlias(0.5 / r);
    EXPECT_NEAR(20 * std::log10(Gain(c, 0.0)), 0.1, 1e-6) << r;
    for (double f = 0.0; f <= 0.45 / r; f += 0.45 / r / 50) {
      const double g = 20 * std::log10(Gain(c, f));
      EXPECT_TRUE(g >= 0.1 - 1e-3 && g <= 0.2 + 1e-3) << r << " " << f << ": " << g;
    }
    EXPECT_LT(20 * std::log10(Gain(c, std::min(0.75 / r, 0.49))), -40.0) << r;
  }
}

// The stored kernel tables are the built ones: a windowed sinc, 1 at 0, zero at whole
// distances, small at the edge.
TEST(PitchShift, StoredKernelsAreTheBuiltWindowedSinc) {
  for (int h : {4, 7}) {
    const auto& k = mw::SincKernel(h);
    ASSERT_EQ(k.size(), 4003u);
    const std::vector<double> built = mw::BuildSincKernel(h);
    EXPECT_EQ(std::memcmp(k.data(), built.data(), sizeof(double) * 4003), 0);
    EXPECT_EQ(k[0], 1.0);
    EXPECT_EQ(k[4000], k[3999]);
    EXPECT_EQ(k[4001], 0.0);
    for (int d = 1; d <= h; ++d) EXPECT_NEAR(k[static_cast<int>(d * 4000.0 / (h + 1))], 0.0, 1e-9);
    EXPECT_LT(std::fabs(k[3999]), 1e-3);
  }
}

// A ratio that is not a positive finite number is refused, alone or in a block, and leaves
// everything as it was; other fields clamp; floating-point fields have no 32-bit accessor.
TEST(CopyingParameters, RatiosLengthsAndTheEarlierStretchRecord) {
  auto pitch = mwtest::NewEffect("pitch");
  mw::ParamStore& p = pitch->Params();
  const int ratio = p.Table().Find("Ratio");
  for (double bad : {0.0, -1.0, std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_EQ(p.PutDouble(ratio, bad), mw::E_INVALIDARG) << bad;
  }
  PitchShiftParams block{60, -2000, 7, 1, 30, 0, 0.0, 1, 0, -4.0}, got{};
  EXPECT_EQ(p.SetParameters(&block), mw::E_INVALIDARG);
  p.GetParameters(&got);
  EXPECT_EQ(got.Semitones, 0);
  EXPECT_EQ(got.Ratio, 1.0);
  p.ClearDirty();
  EXPECT_EQ(p.PutDouble(ratio, 1.0), mw::S_OK);
  EXPECT_FALSE(p.Dirty());  // an equal value changes nothing
  std::int32_t v = 0;
  EXPECT_EQ(p.Get(ratio, &v), mw::E_INVALIDARG);

  auto stretch = mwtest::NewEffect("stretch");
  mw::ParamStore& s = stretch->Params();
  double d = 0;
  s.PutDouble(s.Table().Find("FinalLength"), std::nan(""));
  s.GetDouble(s.Table().Find("FinalLength"), &d);
  EXPECT_EQ(d, 5000.0);
  TimeStretchParams t{12000.0, 40, 100, -5.0, 9, 0}, tg{};
  EXPECT_EQ(s.SetParameters(&t), mw::E_FAIL);
  s.GetParameters(&tg);
  EXPECT_EQ(tg.Mode, 18u);
  EXPECT_EQ(tg.InputFormat, 2u);
  EXPECT_EQ(tg.InitialTime, 0.0);
  // A record under the earlier tag holds the length and the tempo in tenths; it is saved
  // back under today's.
  const std::uint8_t older[16] = {0x43, 0x9C, 0x7E, 0x1B, 0xD3, 0x92, 0xD0, 0x11,
                                  0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F};
  const TimeStretchParams tenths{1100.0, 0, 1200, 100.0, 0, 0};
  std::vector<std::uint8_t> record(20 + sizeof tenths);
  mw::PutLe32(record.data(), 52);
  std::memcpy(&record[4], older, 16);
  std::memcpy(&record[20], &tenths, sizeof tenths);
  mw::MemoryStream in(record.data(), record.size());
  ASSERT_EQ(stretch->Load(in), mw::S_OK);
  s.GetParameters(&tg);
  EXPECT_EQ(tg.FinalLength, 11000.0);
  EXPECT_EQ(tg.InitialTempo, 12000u);
  EXPECT_EQ(tg.InitialTime, 100.0);
  mw::MemoryStream out;
  ASSERT_EQ(stretch->Save(out, true), mw::S_OK);
  ASSERT_EQ(out.Bytes().size(), 52u);
  EXPECT_NE(std::memcmp(out.Bytes().data() + 4, older, 16), 0);
}

}  // namespace
