#include "core/effects/chorus/chorus.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/effects/chorus/chorus_voices.h"
#include "core/effects/chorus/oscillator_sine.h"
#include "core/dsp/exact_math.h"
#include "core/dsp/lanes.h"
#include "core/dsp/levels.h"
#include "core/dsp/one_pole.h"
#include "core/frame/sample_format.h"

namespace mw {
namespace {

using namespace chorus;

// The parameter interface's accessors follow the block order.
constexpr FieldInfo kFields[] = {
    {"InputGain", offsetof(ChorusParams, InputGain), FieldType::Int32, true, -600, 0, false},
    {"DryOut", offsetof(ChorusParams, DryOut), FieldType::Int32, true, -600, 0, false},
    {"ChorusOut", offsetof(ChorusParams, ChorusOut), FieldType::Int32, true, -600, 0, false},
    {"ChorusSize", offsetof(ChorusParams, ChorusSize), FieldType::Int32, true, 1, 3, true},
    {"Feedback", offsetof(ChorusParams, Feedback), FieldType::Int32, true, 0, 100, false},
    {"InvertChorusPhase", offsetof(ChorusParams, InvertChorusPhase), FieldType::Int32, false,
     0, 0, false},
    {"ChorusOutDelay", offsetof(ChorusParams, ChorusOutDelay), FieldType::Int32, true, 1, 1000,
     true},
    {"ModulationRate", offsetof(ChorusParams, ModulationRate), FieldType::Int32, true, 1,
     20000, false},
    {"ModulationDepth", offsetof(ChorusParams, ModulationDepth), FieldType::Int32, true, 1, 100,
     false},
    {"AttenuateHighs", offsetof(ChorusParams, AttenuateHighs), FieldType::Int32, false, 0, 0,
     false},
    {"HighCutoff", offsetof(ChorusParams, HighCutoff), FieldType::Int32, true, 100, 10000,
     false},
    {"InvertFeedbackPhase", offsetof(ChorusParams, InvertFeedbackPhase), FieldType::Int32,
     false, 0, 0, false},
};
constexpr ParamTable kTable = {kFields, sizeof kFields / sizeof kFields[0],
                               sizeof(ChorusParams)};

// InputGain, DryOut, ChorusOut, ChorusSize, Feedback, InvertChorusPhase, ChorusOutDelay,
// ModulationRate, ModulationDepth, AttenuateHighs, HighCutoff, InvertFeedbackPhase.
constexpr PresetRow<ChorusParams> kPresetRows[] = {
    {1020, {0, -60, -44, 3, 0, 0, 400, 800, 3, 0, 5000, 0}},        // (Default)
    {1021, {0, -60, -44, 3, 0, 0, 400, 800, 3, 0, 5000, 0}},        // Default all parameters
    {1025, {0, -34, -34, 1, 32, 0, 12, 700, 100, 0, 5000, 0}},      // Fast flange 1
    {1026, {0, -57, -57, 1, 70, 0, 50, 2300, 16, 0, 5000, 0}},      // Fast flange 2
    {1027, {0, -49, -57, 1, 50, 0, 8, 500, 75, 0, 5000, 0}},        // Slow flange 1
    {1028, {-20, -80, -44, 1, 60, 0, 12, 500, 100, 0, 5000, 0}},    // Slow flange 2
    {1029, {0, -80, -31, 1, 20, 0, 5, 700, 80, 0, 5000, 0}},        // Slow flange 3
    {1030, {0, -44, -31, 1, 0, 0, 6, 200, 75, 0, 5000, 0}},         // Slow flange 4
    {1031, {0, -37, -37, 1, 57, 0, 100, 500, 100, 0, 5000, 0}},     // Chorus/vibrato 1
    {1032, {0, -37, -69, 1, 37, 0, 292, 7000, 8, 0, 5000, 0}},      // Chorus/vibrato 2
    {1033, {0, -60, -44, 3, 0, 0, 400, 800, 3, 0, 5000, 0}},        // Chorus 1
    {1034, {0, -60, -60, 2, 15, 0, 300, 500, 8, 0, 5000, 0}},       // Chorus 2
    {1035, {0, -60, -60, 3, 16, 0, 405, 500, 8, 0, 5000, 0}},       // Chorus 3
    {1036, {0, -49, -52, 2, 26, 0, 90, 500, 26, 0, 5000, 0}},       // Chorus 4
    {1037, {0, -49, -77, 2, 37, 0, 292, 2100, 12, 0, 5000, 0}},     // Chorus 5
    {1038, {-20, 0, 0, 2, 0, 1, 1, 100, 100, 0, 5000, 0}},          // Cheap TV
    {1039, {0, -92, -140, 2, 15, 0, 1000, 6000, 8, 0, 5000, 0}},    // Echo-vibrato 1
    {1040, {0, -92, -60, 1, 0, 0, 1000, 6000, 5, 0, 5000, 0}},      // Echo-vibrato 2
    {1041, {0, -92, -80, 3, 50, 0, 1000, 20000, 1, 0, 5000, 0}},    // Echo-vibrato 3
    {1042, {0, -92, -60, 1, 50, 0, 1000, 20000, 1, 0, 5000, 0}},    // Echo-vibrato 4
    {1043, {0, -92, -140, 1, 60, 0, 1000, 5000, 1, 0, 5000, 0}},    // Vibrato-verb 1
    {1044, {0, -92, -91, 3, 50, 0, 1000, 7000, 1, 0, 5000, 0}},     // Vibrato-verb 2
    {1045, {0, -92, -60, 3, 60, 0, 1000, 5600, 3, 0, 5000, 0}},     // Vibrato-verb 3
    {1046, {-20, -31, -31, 1, 90, 0, 8, 500, 75, 0, 5000, 0}},      // Hard flange
};
constexpr PresetTable kPresets(kPresetRows);

// Each voice's share of the base delay and of the oscillator period.
constexpr double kVoiceMultiplier[ChorusEngine::kVoices] = {1.0, 0.811731, 1.132329};
// Left and right weights of the wet voices, scaled by the chorus level.
constexpr double kPanLeft = 0.9;
constexpr double kPanRight = 0.95;
// Each voice's wet gain is the previous one's times this (the first: the level's).
constexpr double kVoiceDecay = 0.9;
// The oscillators' full turn, as the phase step is defined.
constexpr double kOscillatorTurn = 6.28318530718;
// 2 pi for the high-cut filter's corner.
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

const EffectDescription kChorus = {
    "chorus",
    MW_FILTER_NAME("Chorus"),
    "DuZeradi Property Page",
    ids::CLSID_MwChorus,
    ids::CLSID_MwChorusPage,
    {ids::IID_IChorusParams},
    kTable,
    kPresets,
    EffectKind::kInPlace,
    &NewEngine<ChorusEngine>,
    nullptr,
};

ChorusEngine::ChorusEngine() : EffectEngine(kTable, kBufferPolicy) {}

std::int64_t ChorusEngine::PeriodOf(int voice, std::int32_t modulationRate) const {
  const double rate = format_->nSamplesPerSec;
  return static_cast<std::int64_t>(rate * kVoiceMultiplier[voice] * 1000.0 /
                                   Clamp(modulationRate, 1, 20000));
}

bool ChorusEngine::Allocate(const ChorusParams& p) {
  lines_.reset(AllocateSamples(std::size_t{kVoices} * kLineStride));
  if (lines_ == nullptr) return false;
  std::int64_t lengths[kVoices];
  std::int64_t total = 0;
  for (int v = 0; v < kVoices; ++v) {
    const std::int64_t period = PeriodOf(v, p.ModulationRate);
    lengths[v] = period < 0 ? 0 : period > kMaxSineTable ? kMaxSineTable : period;
    total += lengths[v];
  }
  // The sine tables only save time: without them the oscillators compute every value.
  sines_.reset(total > 0 ? AllocateSamples(static_cast<std::size_t>(total)) : nullptr);
  std::int64_t offset = 0;
  for (int v = 0; v < kVoices; ++v) {
    Voice& voice = voices_[v];
    voice.line = lines_.get() + std::size_t{kLineStride} * v;
    voice.sines = sines_ != nullptr && lengths[v] > 0 ? sines_.get() + offset : nullptr;
    voice.sinesLength = voice.sines != nullptr ? lengths[v] : 0;
    voice.sinesUsed = 0;
    voice.sinesFilled = 0;
    voice.sinesStep = 0.0;
    offset += lengths[v];
  }
  return true;
}

void ChorusEngine::DeriveCommon(const ChorusParams& p) {
  gIn_ = LevelToGain(p.InputGain, kLevelFloor);
  gDry_ = LevelToGain(p.DryOut, kLevelFloor);
  level_ = LevelToGain(p.ChorusOut, kLevelFloor);
  if (p.InvertChorusPhase != 0) level_ = -level_;

  fb_ = Clamp(p.Feedback, 0, 100) * 0.01;
  if (p.InvertFeedbackPhase != 0) fb_ = -fb_;

  const std::int64_t rate = format_->nSamplesPerSec;
  const std::int32_t cutoff = Clamp(p.HighCutoff, 100, 10000);
  highCut_ = p.AttenuateHighs != 0 && cutoff < rate / 2
                 ? OnePole::At(kTwoPi, cutoff, static_cast<double>(rate))
                 : OnePole{};

  panL_ = kPanLeft * level_;
  panR_ = kPanRight * level_;
  wet_[0] = kVoiceDecay * level_;
  wet_[1] = kVoiceDecay * wet_[0];
  wet_[2] = kVoiceDecay * wet_[1];
}

void ChorusEngine::DeriveOscillators(const ChorusParams& p) {
  for (int v = 0; v < kVoices; ++v) {
    Voice& voice = voices_[v];
    voice.period = PeriodOf(v, p.ModulationRate);
    // A period below one frame (only at absurdly low sample rates) holds the oscillator at
    // phase 0 instead of dividing by zero.
    voice.step = voice.period > 0 ? kOscillatorTurn / static_cast<double>(voice.period) : 0.0;
    if (voice.step != voice.sinesStep) {
      if (voice.sines != nullptr && voice.sinesUsed > 0) {
        std::memset(voice.sines, 0, sizeof(double) * static_cast<std::size_t>(voice.sinesUsed));
      }
      voice.sinesUsed = 0;
      voice.sinesFilled = 0;
      voice.sinesStep = voice.step;
    }
  }
}

HResult ChorusEngine::Initialise(const ChorusParams& p) {
  if (format_ == nullptr) {
    valid_ = false;
    return E_UNEXPECTED;
  }
  if (lines_ == nullptr && !Allocate(p)) {
    valid_ = false;
    return E_OUTOFMEMORY;
  }
  std::memset(lines_.get(), 0, sizeof(double) * kVoices * kLineStride);

  voiceCount_ = Clamp(p.ChorusSize, 1, kVoices);
  DeriveCommon(p);
  const double rate = format_->nSamplesPerSec;
  delay_ = static_cast<std::int64_t>(rate * Clamp(p.ChorusOutDelay, 1, 1000) * 0.0001);
  depth_ = static_cast<std::int64_t>(Clamp(p.ModulationDepth, 1, 100) * 0.01 *
                                     static_cast<double>(delay_));
  for (int v = 0; v < kVoices; ++v) {
    Voice& voice = voices_[v];
    voice.write = 0;
    voice.state = 0.0;
    voice.baseDelay = static_cast<std::int64_t>(static_cast<double>(delay_) * kVoiceMultiplier[v]);
  }
  DeriveOscillators(p);

  appliedSize_ = p.ChorusSize;
  appliedDelay_ = p.ChorusOutDelay;
  valid_ = true;
  return S_OK;
}

void ChorusEngine::Update(const ChorusParams& p) {
  DeriveCommon(p);
  depth_ = static_cast<std::int64_t>(Clamp(p.ModulationDepth, 1, 100) * 0.01 *
                                     static_cast<double>(delay_));
  DeriveOscillators(p);
}

HResult ChorusEngine::ApplySnapshot(bool keep) {
  const bool reinit = params_.TakeReinit();
  if (!keep || reinit || !valid_ || lines_ == nullptr || taken_.ChorusSize != appliedSize_ ||
      taken_.ChorusOutDelay != appliedDelay_) {
    return Initialise(taken_);
  }
  Update(taken_);
  return S_OK;
}

HResult ChorusEngine::Reset() {
  // The oscillators restart too; a full initialisation leaves them alone.
  for (Voice& voice : voices_) voice.counter = 0;
  return EffectEngine::Reset();
}

HResult ChorusEngine::Free() {
  for (Voice& voice : voices_) {
    voice.line = nullptr;
    voice.sines = nullptr;
    voice.sinesLength = 0;
    voice.sinesUsed = 0;
    voice.sinesFilled = 0;
    voice.sinesStep = 0.0;
  }
  lines_.reset();
  sines_.reset();
  valid_ = false;
  return S_OK;
}

// The decoded input of a block times the input gain, into one array per channel; with
// kVector two samples a step (one stereo frame, or two mono frames).
template <class Codec, int kChannels, bool kVector>
void DecodeBlock(const typename Codec::Stored* s, std::uint32_t n, double gIn, double* left,
                 double* right) {
  using Codec2 = LaneCodec<Codec, F64x2>;
  std::uint32_t i = 0;
  if constexpr (kVector) {
    const F64x2 g = {gIn, gIn};
    for (; i + 2 <= n; i += 2) {
      if constexpr (kChannels == 2) {
        F64x2 l, r;
        StereoPairs<Codec>::Decode(s + 2 * i, &l, &r);
        Lanes<F64x2>::Store(left + i, l * g);
        Lanes<F64x2>::Store(right + i, r * g);
      } else {
        Lanes<F64x2>::Store(left + i, Codec2::Decode(s + i) * g);
      }
    }
  }
  for (; i < n; ++i) {
    left[i] = Codec::Decode(s[i * kChannels]) * gIn;
    if (kChannels == 2) right[i] = Codec::Decode(s[i * kChannels + 1]) * gIn;
  }
}

// The block's chain values encoded back into the buffer; with kVector two samples a step.
template <class Codec, int kChannels, bool kVector>
void EncodeBlock(typename Codec::Stored* s, std::uint32_t n, const double* left,
                 const double* right) {
  using Codec2 = LaneCodec<Codec, F64x2>;
  std::uint32_t i = 0;
  if constexpr (kVector) {
    for (; i + 2 <= n; i += 2) {
      if constexpr (kChannels == 2) {
        StereoPairs<Codec>::Encode(s + 2 * i, Lanes<F64x2>::Load(left + i),
                                   Lanes<F64x2>::Load(right + i));
      } else {
        Codec2::Encode(s + i, Lanes<F64x2>::Load(left + i));
      }
    }
  }
  for (; i < n; ++i) {
    s[i * kChannels] = Codec::Encode(left[i]);
    if (kChannels == 2) s[i * kChannels + 1] = Codec::Encode(right[i]);
  }
}

template <class Codec, int kChannels>
void ChorusEngine::Run(typename Codec::Stored* buffer, std::uint32_t frames) {
  // The voices run in series but share no state, so each voice can take a whole block of
  // frames before the next one does: the results are those of running the voices frame by
  // frame, and each loop keeps its one voice in registers.
  constexpr std::uint32_t kBlock = 256;
  // Integer samples decode to finite values; float samples may hold infinities and NaNs.
  constexpr bool kFiniteInput = Codec::kFormat == SampleFormat::Pcm8 ||
                                Codec::kFormat == SampleFormat::Pcm16 ||
                                Codec::kFormat == SampleFormat::Pcm32;
  double left[kBlock];
  double right[kBlock];
  double sines[kBlock];
  double reads[kBlock];
  const bool plain = PlainKernels();
  const double gIn = gIn_;
  const VoiceCoefficients c = {static_cast<double>(depth_), highCut_.a, highCut_.oneMinusA,
                               fb_};
  for (std::uint32_t done = 0; done < frames;) {
    const std::uint32_t n = frames - done < kBlock ? frames - done : kBlock;
    typename Codec::Stored* s = buffer + std::size_t{done} * kChannels;
    if (plain) {
      DecodeBlock<Codec, kChannels, false>(s, n, gIn, left, right);
    } else {
      DecodeBlock<Codec, kChannels, true>(s, n, gIn, left, right);
    }
    // The first voice weighs the input with the dry gain; the later ones pass the chain's
    // output on unchanged (times 1.0, which is exact).
    for (int v = 0; v < voiceCount_; ++v) {
      Voice& voice = voices_[v];
      VoiceRun run = {voice.line, voice.write, static_cast<double>(voice.write),
                      static_cast<double>(voice.baseDelay), voice.state};
      const double carry = v == 0 ? gDry_ : 1.0;
      const bool filter = highCut_.a != 0.0;
      const double pL = kChannels == 1 ? wet_[v] : panL_;
      // The block kernel over frames [at, at + m) with the sines of those frames.
      auto block = [&](const double* sine, std::uint32_t at, std::uint32_t m) {
        double* r = kChannels == 1 ? nullptr : right + at;
        if (filter) {
          RunVoiceBlock<true, kFiniteInput>(run, sine, left + at, r, m, c, carry, pL, panR_,
                                            reads);
        } else {
          RunVoiceBlock<false, kFiniteInput>(run, sine, left + at, r, m, c, carry, pL, panR_,
                                             reads);
        }
      };
      const bool clear = !plain && BlockReadsClear(run.baseDelay, c.depth, n);
      const std::int64_t period = voice.period;
      if (clear && voice.sines != nullptr && period <= voice.sinesLength &&
          voice.sinesFilled == period - 1 && voice.counter < period) {
        // Every sine of the period is in the table: the kernel reads them where they lie,
        // in runs that end where the period does.
        for (std::uint32_t at = 0; at < n;) {
          const std::int64_t rest = period - voice.counter;
          const std::uint32_t m = rest < n - at ? static_cast<std::uint32_t>(rest) : n - at;
          block(voice.sines + voice.counter, at, m);
          voice.counter += m;
          if (voice.counter == period) voice.counter = 0;
          at += m;
        }
        voice.write = run.write;
        voice.state = run.state;
        continue;
      }
      OscillatorRun osc = {voice.sines, voice.sinesLength, voice.sinesUsed, voice.sinesFilled,
                           voice.counter, voice.period, voice.step};
      RunOscillator(osc, sines, n);
      voice.sinesUsed = osc.used;
      voice.sinesFilled = osc.filled;
      voice.counter = osc.counter;
      if (clear) {
        block(sines, 0, n);
      } else if (kChannels == 1) {
        if (filter) {
          RunVoiceMono<true, kFiniteInput>(run, sines, left, n, c, carry, wet_[v]);
        } else {
          RunVoiceMono<false, kFiniteInput>(run, sines, left, n, c, carry, wet_[v]);
        }
      } else if (filter) {
        RunVoiceStereo<true, kFiniteInput>(run, sines, left, right, n, c, carry, panL_, panR_);
      } else {
        RunVoiceStereo<false, kFiniteInput>(run, sines, left, right, n, c, carry, panL_,
                                            panR_);
      }
      voice.write = run.write;
      voice.state = run.state;
    }
    if (plain) {
      EncodeBlock<Codec, kChannels, false>(s, n, left, right);
    } else {
      EncodeBlock<Codec, kChannels, true>(s, n, left, right);
    }
    done += n;
  }
}

template <class Codec>
HResult ChorusEngine::Loop(int mode, typename Codec::Stored* buffer, std::uint32_t* frames,
                           bool limited) {
  const LoopStart start = BeginLoop(mode, buffer, frames, limited, false);
  if (!start.run) return start.result;
  if (format_->nChannels == 1) {
    Run<Codec, 1>(buffer, start.count);
  } else {
    Run<Codec, 2>(buffer, start.count);
  }
  return S_OK;
}

MW_DEFINE_FORMAT_LOOPS(ChorusEngine)

}  // namespace mw
