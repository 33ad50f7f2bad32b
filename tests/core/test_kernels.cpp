// Every vector kernel against its plain twin: each effect runs the same input once with the
// vector kernels and once with the plain ones, over every format, mono and stereo, buffer
// sizes from one frame up, and input that reaches the encoders' limits (clipping, and for
// float formats infinities and NaNs); the delivered bytes must be the same.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/dsp/lanes.h"
#include "core/effects/catalog.h"
#include "test_util.h"

namespace {

// The signal with a few non-finite samples placed in it (float formats only).
std::vector<std::uint8_t> WithNonFinite(const mwtest::FormatCase& f, std::vector<std::uint8_t> in,
                                        std::size_t at) {
  const double values[] = {std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(), 1e300};
  const std::size_t width = f.bits / 8;
  for (std::size_t k = 0; k < 4 && (at + k) * width < in.size(); ++k) {
    std::uint8_t* p = in.data() + (at + k * 7) * width;
    if (f.format == mw::SampleFormat::Float32) {
      const float v = static_cast<float>(values[k]);
      std::memcpy(p, &v, sizeof v);
    } else if (f.format == mw::SampleFormat::Float64) {
      std::memcpy(p, &values[k], sizeof values[k]);
    }
  }
  return in;
}

struct PlainGuard {
  ~PlainGuard() { mw::UsePlainKernels(false); }
};

// Settings beyond the presets that reach other kernels: the longest interpolator, the
// splice engine behind Pitch Shift, a splice mode with another search step.
struct Extra {
  const char* effect;
  std::int32_t preset;
  const char* field;
  std::int32_t value;
  const char* field2;
  std::int32_t value2;
};
constexpr Extra kExtras[] = {
    {"pitch", 3, "Accuracy", 3, "PreserveDuration", 1},
    {"pitch", 2, "PreserveDuration", 1, nullptr, 0},
    {"pitch", 5, "Accuracy", 3, nullptr, 0},
    {"stretch", 0, "Mode", 15, nullptr, 0},
};

std::vector<std::uint8_t> RunWith(bool plain, const mw::EffectDescription& entry, int preset,
                              const mwtest::FormatCase& f, std::uint16_t ch, std::uint32_t rate,
                              const std::vector<std::uint8_t>& input, std::uint32_t frames,
                              const Extra* extra = nullptr) {
  PlainGuard guard;
  mw::UsePlainKernels(plain);
  auto e = mw::CreateEffect(entry);
  e->ApplyPreset(preset);
  if (extra != nullptr) {
    e->Params().Put(e->Params().Table().Find(extra->field), extra->value);
    if (extra->field2 != nullptr) {
      e->Params().Put(e->Params().Table().Find(extra->field2), extra->value2);
    }
  }
  return mwtest::RunThrough(*e, f, ch, rate, input, frames);
}

// Equal bytes, except that any NaN matches any NaN: which operand's NaN an operation passes
// on (and so its sign) is the compiler's choice of operand order, not the arithmetic's.
bool SameSamples(const mwtest::FormatCase& f, const std::vector<std::uint8_t>& a,
                 const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size()) return false;
  const std::size_t width = f.bits / 8;
  for (std::size_t i = 0; i < a.size(); i += width) {
    if (std::memcmp(&a[i], &b[i], width) == 0) continue;
    double x = 0.0, y = 0.0;
    if (f.format == mw::SampleFormat::Float32) {
      float u, v;
      std::memcpy(&u, &a[i], 4);
      std::memcpy(&v, &b[i], 4);
      x = u;
      y = v;
    } else if (f.format == mw::SampleFormat::Float64) {
      std::memcpy(&x, &a[i], 8);
      std::memcpy(&y, &b[i], 8);
    }
    if (!(std::isnan(x) && std::isnan(y))) return false;
  }
  return true;
}

class KernelTwins : public ::testing::TestWithParam<const char*> {};

TEST_P(KernelTwins, VectorAndPlainKernelsDeliverTheSameBytes) {
  const mw::EffectDescription& entry = *mw::FindEffect(GetParam());
  const std::int32_t presets = entry.presets.Count();
  for (const auto& f : mwtest::AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto clean = mwtest::MakeSignal(f, ch, 6000, 77 + ch);
      const auto wild = WithNonFinite(f, clean, 1500);
      for (std::uint32_t rate : {8000u, 44100u}) {
        // Every preset at one buffer size; a few presets across the buffer sizes.
        for (std::int32_t preset = 0; preset < presets; ++preset) {
          for (std::uint32_t frames : {1u, 97u, 4096u}) {
            if (frames != 4096u && preset % 4 != 2) continue;
            const auto& input = preset % 2 == 0 ? clean : wild;
            const auto vector = RunWith(false, entry, preset, f, ch, rate, input, frames);
            const auto plain = RunWith(true, entry, preset, f, ch, rate, input, frames);
            ASSERT_FALSE(vector.empty());
            ASSERT_TRUE(SameSamples(f, vector, plain))
                << GetParam() << " preset " << preset << " format " << f.tag << "/" << f.bits
                << " ch" << ch << " rate " << rate << " buffer " << frames;
          }
        }
      }
    }
  }
}

// One setting, every format, mono and stereo, each buffer size: vector and plain agree.
void ExpectTwinsAgree(const Extra& x, std::uint32_t length, int seed,
                      const std::vector<std::uint32_t>& sizes) {
  const mw::EffectDescription& entry = *mw::FindEffect(x.effect);
  for (const auto& f : mwtest::AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, length, seed + ch);
      for (std::uint32_t frames : sizes) {
        const auto vector = RunWith(false, entry, x.preset, f, ch, 44100, input, frames, &x);
        const auto plain = RunWith(true, entry, x.preset, f, ch, 44100, input, frames, &x);
        ASSERT_FALSE(vector.empty());
        ASSERT_TRUE(SameSamples(f, vector, plain))
            << x.effect << " " << x.field << "=" << x.value << " format " << f.tag << "/"
            << f.bits << " ch" << ch << " buffer " << frames;
      }
    }
  }
}

TEST(KernelTwinsExtra, SettingsBeyondThePresetsDeliverTheSameBytes) {
  for (const Extra& x : kExtras) ExpectTwinsAgree(x, 9000, 31, {1u, 97u, 4096u});
}

// The widest kernels take four frames (the chorus voices) or two output frames (the sinc
// interpolator) a step and leave what remains to narrower steps, the splice search sums
// its candidates in blocks, and the reverb runs its comb pairs and its output stage over
// 256-frame blocks split where a line wraps: buffers of every size from 1 to 12 frames, and
// either side of the 256-frame blocks, meet every remainder and every split of a block.
// The reverb cases take an odd line count (mode 7 has nine lines) with a pre-delay of one
// slot, and eight lines without the bass-cut; the multi-tap case sweeps its taps through
// the low-pass.
TEST(KernelTwinsExtra, EveryRemainderOfTheWideStepsDeliversTheSameBytes) {
  constexpr Extra kCases[] = {
      {"chorus", 0, "ChorusSize", 3, nullptr, 0},
      {"chorus", 0, "ChorusSize", 1, "Feedback", 100},
      {"pitch", 0, "Semitones", 4, "PreserveDuration", 1},
      {"pitch", 0, "Semitones", -7, "Accuracy", 3},
      {"stretch", 0, "FinalLength", 12500, nullptr, 0},
      {"reverb", 0, "ReverbMode", 7, "PreDelay", 0},
      {"reverb", 0, "ReverbMode", 1, "AttenuateBass", 0},
      {"multitap", 11, "ModDepth", 100, "LowPassOn", 1},
  };
  std::vector<std::uint32_t> sizes;
  for (std::uint32_t n = 1; n <= 12; ++n) sizes.push_back(n);
  for (std::uint32_t n : {255u, 257u, 1021u}) sizes.push_back(n);
  for (const Extra& x : kCases) ExpectTwinsAgree(x, 3000, 5, sizes);
}

INSTANTIATE_TEST_SUITE_P(Effects, KernelTwins,
                         ::testing::Values("delay", "chorus", "reverb", "multitap", "stretch",
                                           "pitch"));

}  // namespace
