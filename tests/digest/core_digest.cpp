// Prints digests of the core's outputs over a matrix of formats, channel counts, rates,
// presets and buffer sizes, and of the exact elementary functions over their working
// domains. The native and the Windows builds must print the same lines.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "../native/test_util.h"
#include "frame/exact_math.h"

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
    const mw::CatalogEntry& entry = *mw::FindEffect(name);
    for (const auto& f : mwtest::AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        const auto input = mwtest::MakeSignal(f, ch, 3000, 4321);
        for (std::uint32_t rate : {8000u, 44100u}) {
          for (std::int32_t preset = 0; preset < entry.info->presets.Count(); ++preset) {
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
  return 0;
}
