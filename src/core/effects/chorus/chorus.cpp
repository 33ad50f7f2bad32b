#include "core/effects/chorus/chorus.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/effects/chorus/oscillator_sine.h"
#include "core/dsp/exact_math.h"
#include "core/dsp/levels.h"
#include "core/dsp/one_pole.h"
#include "core/frame/sample_format.h"

namespace mw {
namespace {

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
// Filter outputs smaller than this are flushed to zero.
constexpr double kFlush = 2e-11;

constexpr double kLine = ChorusEngine::kLineLength;

// The per-sample helpers must be inlined into the loops; the compiler's size heuristics
// would otherwise leave a call per voice and frame.
#if defined(__GNUC__)
#define MW_CHORUS_INLINE inline __attribute__((always_inline))
#else
#define MW_CHORUS_INLINE inline
#endif

std::int32_t Clamp(std::int32_t v, std::int32_t lo, std::int32_t hi) {
  return v < lo ? lo : v > hi ? hi : v;
}

// Brings a read position into [0, 6500). Whole turns are removed exactly (fmod is exact,
// and so is a single subtraction of 6500 from a position below 13000); only a negative
// position rounds, once, when 6500 is added, and a result that rounds up to 6500 itself
// is the start of the line.
MW_CHORUS_INLINE double WrapPosition(double pos) {
  if (pos >= kLine) {
    pos -= kLine;
    if (pos >= kLine) pos = std::fmod(pos, kLine);
  } else if (pos < 0.0) {
    pos += kLine;
    if (pos < 0.0) pos = std::fmod(pos, kLine) + kLine;
    if (pos >= kLine) pos = 0.0;
  }
  return pos;
}

// One voice's streaming state, held in locals for the length of a block.
struct VoiceRun {
  double* line;  // with the guard sample after its end
  std::uint32_t write;
  double writePosition;  // the write index as a double
  double baseDelay;  // D_v
  double state;      // the high-cut filter's last output
};

// The oscillator of a voice over a block: sin(counter x step) for each of the next n frames,
// advancing the counter as each frame does (back to 0 once it reaches the period). Values
// come from the voice's table, computed on first use; counters beyond the table are
// computed each time.
struct OscillatorRun {
  double* table;  // null: no table
  std::int64_t length;
  std::int64_t used;
  std::int64_t counter;
  std::int64_t period;
  double step;
};

void RunOscillator(OscillatorRun& o, double* out, std::uint32_t n) {
  double* const table = o.table;
  std::int64_t k = o.counter;
  const std::int64_t period = o.period;
  if (table != nullptr && period <= o.length && k < period) {
    // Every counter of the period has its place in the table. The sine at k = 0 is zero
    // and costs nothing to recompute.
    for (std::uint32_t i = 0; i < n; ++i) {
      double s = table[k];
      if (s == 0.0) {
        s = OscillatorSine(static_cast<double>(k) * o.step);
        table[k] = s;
        if (k >= o.used) o.used = k + 1;
      }
      out[i] = s;
      if (++k == period) k = 0;
    }
    o.counter = k;
    return;
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    double s;
    if (table != nullptr && k < o.length) {
      s = table[k];
      // A stored 0.0 means "not computed yet": the sine of a non-zero double is never
      // zero, and the sine at k = 0 is zero.
      if (s == 0.0 && k != 0) {
        s = OscillatorSine(static_cast<double>(k) * o.step);
        table[k] = s;
        if (k >= o.used) o.used = k + 1;
      }
    } else {
      s = OscillatorSine(static_cast<double>(k) * o.step);
    }
    out[i] = s;
    if (++k >= o.period) k = 0;
  }
  o.counter = k;
}

// Steps 1 to 3 of a voice, with the oscillator's value for the frame: the modulated,
// interpolated read and the high-cut filter. Returns the filtered read.
//
// With the filter off (kFilter false: a = 0, complement 1) the filter's formula gives the
// read itself whenever the previous output is finite: 1.0 x r is r, and adding the zero
// a x state changes at most the sign of a zero read, which the flush to +0.0 then removes.
// Taking the read directly spares the loop the serial chain through the filter state. A
// non-finite state can only come from non-finite input (from integer samples every value
// stays bounded by the gains, which are at most 1, times the number of frames), so with
// kFiniteInput the test is skipped; otherwise such a state still goes through the formula.
template <bool kFilter, bool kFiniteInput>
MW_CHORUS_INLINE double ReadVoice(VoiceRun& v, double sine, double depth, double a,
                                  double a1) {
  const double d = v.baseDelay + depth * sine;
  const double pos = WrapPosition(v.writePosition + d);
  const std::uint32_t i = static_cast<std::uint32_t>(pos);
  // The guard sample after the end repeats the start, so i + 1 needs no wrap.
  const double r = v.line[i] + (v.line[i + 1] - v.line[i]) * (pos - static_cast<double>(i));
  double s;
  if (kFilter || (!kFiniteInput && !(v.state - v.state == 0.0))) {
    s = a1 * r + a * v.state;  // the one-pole high-cut, written out for the register use
  } else {
    s = r;
  }
  s = FlushBelow(s, kFlush);
  v.state = s;
  return s;
}

// Step 6: the line takes the voice's input (the start also into the guard sample); the
// write position moves down.
MW_CHORUS_INLINE void WriteVoice(VoiceRun& v, double in) {
  v.line[v.write] = in;
  if (v.write == 0) {
    v.line[ChorusEngine::kLineLength] = in;
    v.write = ChorusEngine::kLineLength - 1;
    v.writePosition = ChorusEngine::kLineLength - 1;
  } else {
    v.write -= 1;
    v.writePosition -= 1.0;
  }
}

// What every voice of a chain shares.
struct VoiceCoefficients {
  double depth;  // E
  double a;      // high-cut coefficient
  double a1;     // its complement
  double fb;
};

// One voice over a block of a mono chain: x is the chain's value arriving at the voice;
// the line takes x + s fb and the chain goes on with s w + x carry.
template <bool kFilter, bool kFiniteInput>
void RunVoiceMono(VoiceRun& voice, const double* sines, double* x, std::uint32_t n,
                  const VoiceCoefficients& c, double carry, double w) {
  // Copies in locals: the line stores could otherwise alias them, forcing a reload of the
  // voice's state and the coefficients at every frame.
  VoiceRun v = voice;
  const double depth = c.depth, a = c.a, a1 = c.a1, fb = c.fb;
  for (std::uint32_t i = 0; i < n; ++i) {
    const double in = x[i];
    const double s = ReadVoice<kFilter, kFiniteInput>(v, sines[i], depth, a, a1);
    x[i] = s * w + in * carry;
    WriteVoice(v, in + s * fb);
  }
  voice = v;
}

// One voice over a block of a stereo chain: the line takes the mean of the arriving left
// and right values plus s fb; each side goes on with its value times carry plus s times its
// pan factor.
template <bool kFilter, bool kFiniteInput>
void RunVoiceStereo(VoiceRun& voice, const double* sines, double* left, double* right,
                    std::uint32_t n, const VoiceCoefficients& c, double carry, double pL,
                    double pR) {
  VoiceRun v = voice;
  const double depth = c.depth, a = c.a, a1 = c.a1, fb = c.fb;
  for (std::uint32_t i = 0; i < n; ++i) {
    const double l = left[i];
    const double r = right[i];
    const double s = ReadVoice<kFilter, kFiniteInput>(v, sines[i], depth, a, a1);
    left[i] = l * carry + s * pL;
    right[i] = r * carry + s * pR;
    WriteVoice(v, (l + r) * 0.5 + s * fb);
  }
  voice = v;
}

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
    voice.sinesStep = 0.0;
  }
  lines_.reset();
  sines_.reset();
  valid_ = false;
  return S_OK;
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
  const double gIn = gIn_;
  const VoiceCoefficients c = {static_cast<double>(depth_), highCut_.a, highCut_.oneMinusA,
                               fb_};
  for (std::uint32_t done = 0; done < frames;) {
    const std::uint32_t n = frames - done < kBlock ? frames - done : kBlock;
    typename Codec::Stored* s = buffer + std::size_t{done} * kChannels;
    for (std::uint32_t i = 0; i < n; ++i) {
      left[i] = Codec::Decode(s[i * kChannels]) * gIn;
      if (kChannels == 2) right[i] = Codec::Decode(s[i * kChannels + 1]) * gIn;
    }
    // The first voice weighs the input with the dry gain; the later ones pass the chain's
    // output on unchanged (times 1.0, which is exact).
    for (int v = 0; v < voiceCount_; ++v) {
      Voice& voice = voices_[v];
      OscillatorRun osc = {voice.sines, voice.sinesLength, voice.sinesUsed, voice.counter,
                           voice.period, voice.step};
      RunOscillator(osc, sines, n);
      voice.sinesUsed = osc.used;
      voice.counter = osc.counter;

      VoiceRun run = {voice.line, voice.write, static_cast<double>(voice.write),
                      static_cast<double>(voice.baseDelay), voice.state};
      const double carry = v == 0 ? gDry_ : 1.0;
      const bool filter = highCut_.a != 0.0;
      if (kChannels == 1) {
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
    for (std::uint32_t i = 0; i < n; ++i) {
      s[i * kChannels] = Codec::Encode(left[i]);
      if (kChannels == 2) s[i * kChannels + 1] = Codec::Encode(right[i]);
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
