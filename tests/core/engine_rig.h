// An effect connected to a format and started, driven buffer by buffer through its engine's
// loops; and the small signals the engine suites feed it.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "test_util.h"

namespace mwtest {

template <class Engine>
struct EngineRig {
  std::unique_ptr<mw::InPlaceEffect> effect;
  Engine& engine;
  mw::HResult start = mw::E_UNEXPECTED;

  EngineRig(const char* name, std::uint16_t channels, std::uint32_t rate, const void* params,
            const FormatCase& f)
      : effect(std::make_unique<mw::InPlaceEffect>(*mw::FindEffect(name))),
        engine(static_cast<Engine&>(effect->Engine())) {
    effect->Params().SetParameters(params);
    const auto block = FormatBlock(f, channels, rate);
    effect->Frame().SetMediaType(mw::kPinInput, block.data());
    start = effect->Frame().StartStreaming();
  }
  std::uint16_t Channels() const { return effect->Frame().Format().nChannels; }
  // One buffer of stored frames through the format's loop; what it delivers.
  std::vector<std::uint8_t> Feed(std::vector<std::uint8_t> x, int mode = mw::kModeNormal,
                                 mw::HResult expect = mw::S_OK) {
    const mw::EffectFormat& f = effect->Frame().Format();
    std::uint32_t n = static_cast<std::uint32_t>(x.size() / f.nBlockAlign);
    EXPECT_EQ(mw::DispatchLoop(engine, f, mode, x.data(), &n), expect);
    x.resize(std::size_t{n} * f.nBlockAlign);
    return x;
  }
  // Interleaved doubles as one buffer of the 64-bit float loop; what it delivers.
  std::vector<double> Run(std::vector<double> x, int mode = mw::kModeNormal,
                          mw::HResult expect = mw::S_OK) {
    std::uint32_t n = static_cast<std::uint32_t>(x.size() / Channels());
    EXPECT_EQ(engine.ProcessFloat64(mode, x.data(), &n), expect);
    x.resize(std::size_t{n} * Channels());
    return x;
  }
  std::vector<double> Silence(std::size_t frames) {
    return Run(std::vector<double>(frames * Channels(), 0.0));
  }
  void Put(int field, std::int32_t v) { EXPECT_EQ(effect->Params().Put(field, v), mw::S_OK); }
};

inline std::vector<double> Impulse(std::size_t frames, std::uint16_t channels = 1, int c = 0,
                                   double v = 1.0) {
  std::vector<double> x(frames * channels, 0.0);
  x[c] = v;
  return x;
}

// A block with one field, by its index in the table, set to `v`.
template <class Params>
Params With(const mw::ParamTable& table, Params p, int field, std::int32_t v) {
  std::memcpy(reinterpret_cast<std::uint8_t*>(&p) + table.fields[field].offset, &v, sizeof v);
  return p;
}

// Stored silence of a format.
inline std::vector<std::uint8_t> Silence(const FormatCase& f, std::uint16_t channels,
                                         std::size_t frames) {
  return std::vector<std::uint8_t>(frames * channels * f.bits / 8,
                                   f.format == mw::SampleFormat::Pcm8 ? 0x80 : 0x00);
}

// Whole streams, tail included, of every format, mono and stereo, in buffers of each size:
// the output must not depend on the size.
inline void ExpectIndependentOfBufferSize(const char* name, const void* params,
                                          std::uint32_t rate, std::size_t frames,
                                          std::initializer_list<std::uint32_t> sizes) {
  for (const FormatCase& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = MakeSignal(f, ch, frames, 11 + ch);
      std::vector<std::uint8_t> reference;
      for (std::uint32_t size : sizes) {
        auto e = std::make_unique<mw::InPlaceEffect>(*mw::FindEffect(name));
        e->Params().SetParameters(params);
        const auto out = RunThrough(*e, f, ch, rate, input, size);
        if (reference.empty()) reference = out;
        EXPECT_TRUE(out == reference) << name << ", " << f.bits << " bits, " << ch
                                      << " channels, buffers of " << size;
      }
    }
  }
}

// In every format, mono and stereo: after `silence` frames of silence, a change of one field
// between buffers gives, from the next buffer on, what a start with the changed block gives
// after `freshSilence` frames of silence.
template <class Engine, class Params>
void ExpectChangeAfterSilence(const char* name, const Params& base, int field, std::int32_t v,
                              std::uint32_t rate, std::size_t silence, std::size_t freshSilence,
                              std::size_t frames) {
  const Params changed = With(mw::FindEffect(name)->params, base, field, v);
  for (const FormatCase& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto x = MakeSignal(f, ch, frames, 8);
      EngineRig<Engine> a(name, ch, rate, &base, f), b(name, ch, rate, &changed, f);
      if (silence > 0) a.Feed(Silence(f, ch, silence));
      if (freshSilence > 0) b.Feed(Silence(f, ch, freshSilence));
      a.Put(field, v);
      EXPECT_TRUE(a.Feed(x) == b.Feed(x)) << name << ", " << f.bits << " bits, " << ch
                                          << " channels, field " << field << " = " << v;
    }
  }
}

}  // namespace mwtest
