// Shared helpers of the core tests: formats, deterministic test signals, a run of a whole
// stream through an effect's frame, and a rig that drives an in-place effect buffer by
// buffer.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <random>
#include <utility>
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

// Field writes by name, in order.
using Sets = std::vector<std::pair<const char*, double>>;

// One field written by name through the accessor of its type (allocating nothing).
inline mw::HResult PutField(mw::ParamStore& p, const char* name, double v) {
  const int i = p.Table().Find(name);
  if (i < 0) return mw::E_INVALIDARG;
  return p.Table().fields[i].type == mw::FieldType::Float64
             ? p.PutDouble(i, v)
             : p.Put(i, static_cast<std::int32_t>(v));
}

inline void Apply(mw::Effect& e, const Sets& sets) {
  for (const auto& [name, v] : sets) {
    ASSERT_GE(e.Params().Table().Find(name), 0) << name;
    EXPECT_EQ(PutField(e.Params(), name, v), mw::S_OK) << name;
  }
}

// A new effect of either kind with a preset and then the writes applied.
inline std::unique_ptr<mw::Effect> NewEffect(const char* name, int preset = 0,
                                             const Sets& sets = {}) {
  auto e = mw::CreateEffect(*mw::FindEffect(name));
  e->ApplyPreset(preset);
  Apply(*e, sets);
  return e;
}

// Stored silence of a format.
inline std::vector<std::uint8_t> Silence(const FormatCase& f, std::uint16_t channels,
                                         std::size_t frames) {
  return std::vector<std::uint8_t>(frames * channels * f.bits / 8,
                                   f.format == mw::SampleFormat::Pcm8 ? 0x80 : 0x00);
}

// An in-place effect connected to a format and started, fed buffer by buffer through its
// frame as the filter feeds it.
struct Rig {
  std::unique_ptr<mw::InPlaceEffect> effect;
  mw::HResult start = mw::E_UNEXPECTED;

  Rig(const char* name, std::uint16_t channels, std::uint32_t rate, const Sets& sets = {},
      const FormatCase& f = AllFormats()[4], int preset = 0)
      : effect(std::make_unique<mw::InPlaceEffect>(*mw::FindEffect(name))) {
    effect->ApplyPreset(preset);
    Apply(*effect, sets);
    Connect(channels, rate, f);
    start = effect->Frame().StartStreaming();
  }
  void Connect(std::uint16_t channels, std::uint32_t rate, const FormatCase& f) {
    const auto block = FormatBlock(f, channels, rate);
    effect->Frame().SetMediaType(mw::kPinInput, block.data());
  }
  // One buffer of stored frames through Transform; what it leaves for delivery.
  std::vector<std::uint8_t> Feed(std::vector<std::uint8_t> x, bool discontinuity = false,
                                 mw::HResult expect = mw::S_OK) {
    mw::HeapBuffer b(x.size());
    std::memcpy(b.Data(), x.data(), x.size());
    b.SetActualLength(static_cast<std::int32_t>(x.size()));
    b.SetDiscontinuity(discontinuity);
    EXPECT_EQ(effect->Frame().Transform(b), expect);
    std::memcpy(x.data(), b.Data(), x.size());
    x.resize(static_cast<std::size_t>(b.ActualLength()));
    return x;
  }
  // Interleaved doubles as one buffer (the stream must be 64-bit float).
  std::vector<double> Run(const std::vector<double>& x, bool discontinuity = false,
                          mw::HResult expect = mw::S_OK) {
    std::vector<std::uint8_t> bytes(x.size() * 8);
    std::memcpy(bytes.data(), x.data(), bytes.size());
    bytes = Feed(bytes, discontinuity, expect);
    std::vector<double> y(bytes.size() / 8);
    std::memcpy(y.data(), bytes.data(), bytes.size());
    return y;
  }
  std::vector<double> Silence(std::size_t frames) {
    return Run(std::vector<double>(frames * effect->Frame().Format().nChannels, 0.0));
  }
  void Put(const char* field, double v) { Apply(*effect, {{field, v}}); }
};

inline std::vector<double> Impulse(std::size_t frames, std::uint16_t channels = 1, int c = 0) {
  std::vector<double> x(frames * channels, 0.0);
  x[c] = 1.0;
  return x;
}

}  // namespace mwtest
