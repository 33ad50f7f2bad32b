// Throughput of the per-format loops: samples per second for each format and channel
// count, through the Simple Delay engine with feedback on.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/effects/catalog.h"
#include "core/frame/le_bytes.h"
#include "mwppack1/params.h"

namespace {

struct Format {
  std::uint16_t tag, bits;
};
constexpr Format kFormats[] = {{1, 8}, {1, 16}, {1, 32}, {3, 32}, {3, 64}};

void BM_SimpleDelayLoop(benchmark::State& state) {
  const Format f = kFormats[state.range(0)];
  const auto channels = static_cast<std::uint16_t>(state.range(1));
  constexpr std::uint32_t kFrames = 4096;

  auto effect = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("delay"));
  const SimpleDelayParams p{1, 400, 20, -30, -90};
  effect->Params().SetParameters(&p);
  std::uint8_t block[16] = {};
  mw::PutLe16(block, f.tag);
  mw::PutLe16(block + 2, channels);
  mw::PutLe32(block + 4, 44100);
  mw::PutLe16(block + 14, f.bits);
  effect->Frame().SetMediaType(mw::kPinInput, block);
  effect->Frame().StartStreaming();

  const std::size_t bytes = std::size_t{kFrames} * channels * f.bits / 8;
  std::vector<std::uint8_t> buffer(bytes);
  for (std::size_t i = 0; i < bytes; ++i) buffer[i] = static_cast<std::uint8_t>(i * 37 + 11);
  if (f.tag == 3) {  // finite floats
    if (f.bits == 32) {
      for (std::size_t i = 0; i < bytes / 4; ++i) {
        const float v = static_cast<float>((static_cast<int>(i % 2001) - 1000) * 0.001);
        std::memcpy(buffer.data() + 4 * i, &v, 4);
      }
    } else {
      for (std::size_t i = 0; i < bytes / 8; ++i) {
        const double v = (static_cast<int>(i % 2001) - 1000) * 0.001;
        std::memcpy(buffer.data() + 8 * i, &v, 8);
      }
    }
  }
  for (auto _ : state) {
    std::uint32_t frames = kFrames;
    benchmark::DoNotOptimize(mw::DispatchLoop(effect->Engine(), effect->Frame().Format(),
                                              mw::kModeNormal, buffer.data(), &frames));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kFrames * channels);
  static const char* kNames[] = {"pcm8", "pcm16", "pcm32", "float32", "float64"};
  state.SetLabel(std::string(kNames[state.range(0)]) + (channels == 1 ? " mono" : " stereo"));
}

BENCHMARK(BM_SimpleDelayLoop)->ArgsProduct({{0, 1, 2, 3, 4}, {1, 2}});

}  // namespace

BENCHMARK_MAIN();
