// Shared helpers of the core tests: formats, deterministic test signals and a run of a
// whole stream through an effect's frame.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "core/effects/catalog.h"
#include "core/effects/delay/simple_delay.h"
#include "core/frame/le_bytes.h"
#include "core/frame/stream_host.h"

namespace mwtest {

struct FormatCase {
  mw::SampleFormat format;
  std::uint16_t tag;
  std::uint16_t bits;
};

inline const std::array<FormatCase, 5>& AllFormats() {
  static const std::array<FormatCase, 5> kAll = {{
      {mw::SampleFormat::Pcm8, 1, 8},
      {mw::SampleFormat::Pcm16, 1, 16},
      {mw::SampleFormat::Pcm32, 1, 32},
      {mw::SampleFormat::Float32, 3, 32},
      {mw::SampleFormat::Float64, 3, 64},
  }};
  return kAll;
}

inline std::array<std::uint8_t, 16> FormatBlock(const FormatCase& f, std::uint16_t channels,
                                                std::uint32_t rate) {
  std::array<std::uint8_t, 16> b{};
  const std::uint16_t align = static_cast<std::uint16_t>(f.bits / 8 * channels);
  mw::PutLe16(b.data(), f.tag);
  mw::PutLe16(b.data() + 2, channels);
  mw::PutLe32(b.data() + 4, rate);
  mw::PutLe32(b.data() + 8, align * rate);
  mw::PutLe16(b.data() + 12, align);
  mw::PutLe16(b.data() + 14, f.bits);
  return b;
}

// Noise with the format's extreme codes mixed in, as raw little-endian bytes.
inline std::vector<std::uint8_t> MakeSignal(const FormatCase& f, std::uint16_t channels,
                                            std::size_t frames, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  const std::size_t samples = frames * channels;
  std::vector<std::uint8_t> out(samples * (f.bits / 8));
  for (std::size_t i = 0; i < samples; ++i) {
    const double v = noise(rng);
    const bool extreme = (i % 97) == 5;
    const bool high = (i % 2) == 0;
    std::uint8_t* p = out.data() + i * (f.bits / 8);
    switch (f.format) {
      case mw::SampleFormat::Pcm8:
        *p = extreme ? (high ? 0xFF : 0x00) : static_cast<std::uint8_t>(rng() & 0xFF);
        break;
      case mw::SampleFormat::Pcm16: {
        const std::int16_t s = extreme ? (high ? INT16_MAX : INT16_MIN)
                                       : static_cast<std::int16_t>(rng() & 0xFFFF);
        std::memcpy(p, &s, sizeof s);
        break;
      }
      case mw::SampleFormat::Pcm32: {
        const std::int32_t s = extreme ? (high ? INT32_MAX : INT32_MIN)
                                       : static_cast<std::int32_t>(rng());
        std::memcpy(p, &s, sizeof s);
        break;
      }
      case mw::SampleFormat::Float32: {
        const float s = extreme ? (high ? 1.5f : -2.0f) : static_cast<float>(v);
        std::memcpy(p, &s, sizeof s);
        break;
      }
      case mw::SampleFormat::Float64: {
        const double s = extreme ? (high ? 3.0 : -1.25) : v;
        std::memcpy(p, &s, sizeof s);
        break;
      }
    }
  }
  return out;
}

inline std::unique_ptr<mw::InPlaceEffect> NewDelay() {
  return std::make_unique<mw::InPlaceEffect>(*mw::FindEffect("delay"));
}

inline mw::SimpleDelayEngine& DelayEngine(mw::InPlaceEffect& e) {
  return static_cast<mw::SimpleDelayEngine&>(e.Engine());
}

inline void SetDelay(mw::InPlaceEffect& e, const SimpleDelayParams& p) {
  e.Params().SetParameters(&p);
}

// Connects the effect for the format and runs the whole input through it in buffers of
// `bufferFrames` frames (output buffers of `outFrames`, for the effects that change the
// length; 0: four times as many), returning every delivered byte (the tail included).
inline std::vector<std::uint8_t> RunThrough(mw::Effect& e, const FormatCase& f,
                                            std::uint16_t channels, std::uint32_t rate,
                                            const std::vector<std::uint8_t>& input,
                                            std::uint32_t bufferFrames,
                                            mw::HResult* status = nullptr,
                                            std::uint32_t outFrames = 0) {
  const auto block = FormatBlock(f, channels, rate);
  e.Connect(block.data(), 16);
  std::size_t offset = 0;
  std::vector<std::uint8_t> out;
  const mw::HResult hr = e.RunWholeStream(
      bufferFrames, outFrames != 0 ? outFrames : bufferFrames * 4,
      [&](std::uint8_t* buffer, std::size_t bytes) -> std::int64_t {
        const std::size_t n = std::min(bytes, input.size() - offset);
        if (n > 0) std::memcpy(buffer, input.data() + offset, n);
        offset += n;
        return static_cast<std::int64_t>(n);
      },
      [&](const std::uint8_t* data, std::size_t bytes) {
        out.insert(out.end(), data, data + bytes);
        return mw::S_OK;
      });
  if (status != nullptr) *status = hr;
  return out;
}

// Records the change notices posted to windows that "exist".
class RecordingSink : public mw::NotifySink {
 public:
  struct Posted {
    std::uintptr_t window;
    std::uint32_t wparam;
  };
  bool WindowExists(std::uintptr_t window) override {
    for (std::uintptr_t dead : dead_) {
      if (dead == window) return false;
    }
    return true;
  }
  void Post(std::uintptr_t window, std::uint32_t wparam) override {
    posted.push_back({window, wparam});
  }
  void Destroy(std::uintptr_t window) { dead_.push_back(window); }
  std::vector<Posted> posted;

 private:
  std::vector<std::uintptr_t> dead_;
};

}  // namespace mwtest
