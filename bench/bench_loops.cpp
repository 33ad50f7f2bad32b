// Throughput of every effect's engine, per sample format and channel count: buffers of
// 4096 frames at 48 kHz through the effect's streaming frame (its per-buffer work
// included), with the settings run_benchmarks.sh compares against other programs.
//
// Counters: items_per_second is samples per second; `load` is the share of one processor
// core that one stream of that format and channel count takes in real time at 48 kHz
// (seconds of processing per second of sound), so the stereo rows give the load of one
// stereo 48 kHz stream.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/effects/catalog.h"
#include "core/effects/copying_effect.h"
#include "core/effects/inplace_effect.h"
#include "core/frame/le_bytes.h"
#include "core/frame/stream_host.h"

namespace {

struct Format {
  std::uint16_t tag, bits;
  const char* name;
};
constexpr Format kFormats[] = {
    {1, 8, "pcm8"}, {1, 16, "pcm16"}, {1, 32, "pcm32"}, {3, 32, "float32"}, {3, 64, "float64"}};

// The effects and their settings (as in run_benchmarks.sh).
struct Setting {
  const char* effect;
  std::int32_t preset;     // applied first
  const char* field;       // then up to two fields, or null
  double value;
  const char* field2;
  double value2;
};
constexpr Setting kSettings[] = {
    {"delay", 2, nullptr, 0, nullptr, 0},  // Echo chamber
    {"chorus", 0, nullptr, 0, nullptr, 0},
    {"reverb", 0, nullptr, 0, nullptr, 0},
    {"multitap", 0, nullptr, 0, nullptr, 0},
    {"stretch", 0, "FinalLength", 12500, nullptr, 0},
    {"pitch", 0, "Semitones", 4, "PreserveDuration", 1},
};

constexpr std::uint32_t kFrames = 4096;
constexpr std::uint32_t kRate = 48000;

void Put(mw::ParamStore& p, const char* field, double value) {
  const int i = p.Table().Find(field);
  if (p.Table().fields[i].type == mw::FieldType::Float64) {
    p.PutDouble(i, value);
  } else {
    p.Put(i, static_cast<std::int32_t>(value));
  }
}

// A signal that keeps every effect busy: a slow sweep in integer codes, or finite floats.
std::vector<std::uint8_t> Signal(const Format& f, std::uint16_t channels) {
  const std::size_t samples = std::size_t{kFrames} * channels;
  std::vector<std::uint8_t> out(samples * f.bits / 8);
  for (std::size_t i = 0; i < samples; ++i) {
    const double v = ((static_cast<int>(i * 7919 % 2001)) - 1000) * 0.0005;
    std::uint8_t* p = out.data() + i * f.bits / 8;
    if (f.tag == 3 && f.bits == 32) {
      const float x = static_cast<float>(v);
      std::memcpy(p, &x, 4);
    } else if (f.tag == 3) {
      std::memcpy(p, &v, 8);
    } else if (f.bits == 8) {
      *p = static_cast<std::uint8_t>(128 + static_cast<int>(v * 127));
    } else if (f.bits == 16) {
      const auto x = static_cast<std::int16_t>(v * 32767);
      std::memcpy(p, &x, 2);
    } else {
      const auto x = static_cast<std::int32_t>(v * 2147483647.0);
      std::memcpy(p, &x, 4);
    }
  }
  return out;
}

template <class Frame>
void Stream(benchmark::State& state, Frame& frame, const std::vector<std::uint8_t>& signal,
            std::size_t outBytes) {
  mw::HeapBuffer input(signal.size());
  mw::SinkDownstream downstream(outBytes, [](const std::uint8_t*, std::size_t) {
    return mw::S_OK;
  });
  frame.StartStreaming();
  bool first = true;
  for (auto _ : state) {
    // A host fills each buffer afresh; the in-place effects overwrite theirs.
    std::memcpy(input.Data(), signal.data(), signal.size());
    input.SetActualLength(static_cast<std::int32_t>(signal.size()));
    input.SetDiscontinuity(first);
    first = false;
    benchmark::DoNotOptimize(frame.Receive(input, downstream));
    benchmark::ClobberMemory();
  }
  frame.StopStreaming();
}

void BM_Effect(benchmark::State& state) {
  const Setting& s = kSettings[state.range(0)];
  const Format& f = kFormats[state.range(1)];
  const auto channels = static_cast<std::uint16_t>(state.range(2));

  std::unique_ptr<mw::Effect> effect = mw::CreateEffect(*mw::FindEffect(s.effect));
  effect->ApplyPreset(s.preset);
  if (s.field != nullptr) Put(effect->Params(), s.field, s.value);
  if (s.field2 != nullptr) Put(effect->Params(), s.field2, s.value2);
  std::uint8_t block[16] = {};
  const std::uint16_t align = static_cast<std::uint16_t>(channels * f.bits / 8);
  mw::PutLe16(block, f.tag);
  mw::PutLe16(block + 2, channels);
  mw::PutLe32(block + 4, kRate);
  mw::PutLe32(block + 8, kRate * align);
  mw::PutLe16(block + 12, align);
  mw::PutLe16(block + 14, f.bits);
  if (mw::Failed(effect->Connect(block, sizeof block))) {
    state.SkipWithError("the effect refused the format");
    return;
  }
  const auto signal = Signal(f, channels);
  if (auto* inPlace = dynamic_cast<mw::InPlaceEffect*>(effect.get())) {
    Stream(state, inPlace->Frame(), signal, signal.size());
  } else if (auto* copying = dynamic_cast<mw::CopyingEffect*>(effect.get())) {
    Stream(state, copying->Frame(), signal, 4 * signal.size());
  }

  const double frames = static_cast<double>(state.iterations()) * kFrames;
  state.SetItemsProcessed(static_cast<std::int64_t>(frames) * channels);
  // Seconds of sound processed per second, inverted: processing time per second of sound.
  state.counters["load"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate |
                                                                  benchmark::Counter::kInvert);
  state.SetLabel(std::string(s.effect) + " " + f.name + (channels == 1 ? " mono" : " stereo"));
}

BENCHMARK(BM_Effect)->ArgsProduct({{0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4}, {1, 2}});

}  // namespace

BENCHMARK_MAIN();
