// Prints digests of the core's outputs over a matrix of formats, channel counts, rates,
// presets and buffer sizes, and of the exact elementary functions over their working
// domains. The native and the Windows builds must print the same lines.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../core/test_util.h"
#include "core/dsp/exact_math.h"
#include "core/effects/multitap/tap_graph.h"
#include "core/effects/pitch/pitch_page_math.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/effects/stretch/stretch_page_math.h"
#include "core/ui/time_text.h"

namespace {

class Fnv {
 public:
  void Add(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < n; ++i) h_ = (h_ ^ p[i]) * 1099511628211ull;
  }
  void Add(double v) { Add(&v, sizeof v); }
  std::uint64_t Value() const { return h_; }

 private:
  std::uint64_t h_ = 1469598103934665603ull;
};

}  // namespace

int main() {
  Fnv math;
  for (int v = -800; v <= 4000; ++v) math.Add(mw::ExactPow(10.0, v * 0.005));
  for (int i = 1; i < 20000; ++i) {
    math.Add(mw::ExactPow(0.0316, 10.0 / i));
    math.Add(mw::ExactExp(-i * 0.00037));
    math.Add(mw::ExactSin(i * 0.000314159));
    math.Add(mw::ExactCos(i * 0.000314159));
    math.Add(mw::ExactTan(i * 0.0000714));
    math.Add(mw::ExactLog(i * 0.731));
    math.Add(mw::ExactSin(i * 104729.13));
  }
  std::printf("math %016" PRIx64 "\n", math.Value());

  for (const auto& f : mwtest::AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, 3000, 1234);
      for (std::uint32_t rate : {8000u, 11025u, 44100u}) {
        for (std::int32_t preset = 0; preset < 7; ++preset) {
          for (std::uint32_t frames : {1u, 333u, 4096u}) {
            auto e = mwtest::NewDelay();
            e->ApplyPreset(preset);
            if (rate == 8000) e->Params().Put(0, 40);  // DryOut above unity: clipping
            const auto out = mwtest::RunThrough(*e, f, ch, rate, input, frames);
            Fnv h;
            h.Add(out.data(), out.size());
            std::printf("delay %u/%u ch%u %5u preset %d buf %4u: %zu bytes %016" PRIx64 "\n",
                        f.tag, f.bits, ch, rate, preset, frames, out.size(), h.Value());
          }
        }
      }
    }
  }

  // The other effects: every preset, every format, mono and stereo, a low and a common rate.
  for (const char* name : {"reverb", "chorus", "multitap"}) {
    const mw::EffectDescription& entry = *mw::FindEffect(name);
    for (const auto& f : mwtest::AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        const auto input = mwtest::MakeSignal(f, ch, 3000, 4321);
        for (std::uint32_t rate : {8000u, 44100u}) {
          for (std::int32_t preset = 0; preset < entry.presets.Count(); ++preset) {
            const std::uint32_t frames = rate == 8000 ? 333u : 4096u;
            auto e = mw::CreateEffect(entry);
            e->ApplyPreset(preset);
            const auto out = mwtest::RunThrough(*e, f, ch, rate, input, frames);
            Fnv h;
            h.Add(out.data(), out.size());
            std::printf("%s %u/%u ch%u %5u preset %2d buf %4u: %zu bytes %016" PRIx64 "\n", name,
                        f.tag, f.bits, ch, rate, preset, frames, out.size(), h.Value());
          }
        }
      }
    }
  }
  // The effects that change the length: every preset and a few settings that reach the
  // splice search, the drain, the anti-alias filter and each interpolator.
  struct LengthCase {
    const char* effect;
    const char* field;
    double value;
  };
  const LengthCase lengthCases[] = {
      {"stretch", "FinalLength", 5000.0},  {"stretch", "FinalLength", 23456.0},
      {"stretch", "Mode", 15},             {"pitch", "PreserveDuration", 1},
      {"pitch", "AntiAlias", 1},           {"pitch", "Accuracy", 3},
      {"pitch", "Accuracy", 1},
  };
  for (const char* name : {"stretch", "pitch"}) {
    const mw::EffectDescription& entry = *mw::FindEffect(name);
    for (const auto& f : mwtest::AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        const auto input = mwtest::MakeSignal(f, ch, 20000, 8765);
        for (std::uint32_t rate : {8000u, 44100u}) {
          const std::int32_t presets = entry.presets.Count();
          for (std::int32_t k = 0; k < presets + 7; ++k) {
            auto e = mw::CreateEffect(entry);
            const LengthCase& c = lengthCases[k < presets ? 0 : k - presets];
            if (k < presets) {
              e->ApplyPreset(k);
            } else if (std::strcmp(c.effect, name) != 0) {
              continue;
            } else {
              e->ApplyPreset(3);  // a ratio away from one
              mwtest::PutField(e->Params(), c.field, c.value);
            }
            const auto out = mwtest::RunThrough(*e, f, ch, rate, input, 1500);
            Fnv h;
            h.Add(out.data(), out.size());
            std::printf("%s %u/%u ch%u %5u case %2d: %zu bytes %016" PRIx64 "\n", name, f.tag,
                        f.bits, ch, rate, k, out.size(), h.Value());
          }
        }
      }
    }
  }

  // What the pages show: time texts over lengths and rates, the pitch page's ratio, interval
  // and final time over its controls, the stretch page's texts over its range, echo patterns.
  Fnv page;
  auto addText = [&page](const std::string& t) { page.Add(t.c_str(), t.size() + 1); };
  const mw::TextServices ts;
  for (std::uint32_t rate : {1000u, 8000u, 11025u, 44100u, 48000u, 96000u}) {
    for (double n = 0; n < 4.0e9; n = n * 1.37 + 17) {
      addText(mw::SamplesToTimeText(n, rate));
      page.Add(mw::TimeTextToSamples(mw::SamplesToTimeText(n, rate).c_str(), rate));
    }
  }
  for (std::int32_t s = -50; s <= 50; ++s) {
    for (std::int32_t c = -1000; c <= 1000; c += 25) {
      const double ratio = mw::PitchRatioToStore(s, c);
      addText(mw::RatioText(ts, ratio) + mw::MusicalEquivalentText(ts, s, c, ratio));
      addText(mw::FinalTimeText(ts, 44100u, ratio, 2646000.0 + s * 7919.0));
    }
  }
  for (double length = 5000.0; length <= 50000.0; length += 12.7) {
    const auto v = mw::StretchViewOf(ts, length, static_cast<std::uint32_t>(length) % 3,
                                     static_cast<std::uint32_t>(length) * 3 % 50001,
                                     length * 617.0, 44100u);
    addText(v.finalValue + v.percent + v.finalLabel + v.initialValue);
    page.Add(mw::FinalLengthFromText({}, v.finalValue.c_str(), mw::StretchInput::kTempo, 12000,
                                     2646000.0, 44100u));
  }
  for (std::int32_t feedback = 0; feedback <= 150; feedback += 10) {
    MultiTapParams p{};
    p.TapCount = 1 + feedback % 8;
    p.Feedback = feedback;
    for (int i = 0; i < 8; ++i) {
      p.TapDelay[i] = 37 + 113 * i + feedback;
      p.TapGain[i] = 100 - 27 * i;
    }
    const auto pattern = mw::EchoPattern(p, 5000);
    page.Add(pattern.data(), pattern.size() * sizeof pattern[0]);
  }
  std::printf("pages %016" PRIx64 "\n", page.Value());
  return 0;
}
