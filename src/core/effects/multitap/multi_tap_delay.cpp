#include "core/effects/multitap/multi_tap_delay.h"

#include <cmath>
#include <cstddef>

#include "core/dsp/delay_line.h"
#include "core/dsp/exact_math.h"
#include "core/dsp/lanes.h"
#include "core/dsp/levels.h"
#include "core/effects/multitap/tap_shifts.h"
#include "core/frame/sample_format.h"

namespace mw {
namespace {

constexpr std::uint32_t Off(std::size_t base, int tap) {
  return static_cast<std::uint32_t>(base + sizeof(std::int32_t) * static_cast<std::size_t>(tap));
}

// clang-format off
#define MW_MT_FIELD(name, ranged, lo, hi, reinit) \
  {#name, Off(offsetof(MultiTapParams, name), 0), FieldType::Int32, ranged, lo, hi, reinit}
#define MW_MT_TAP(array, tap, lo, hi)                                                \
  {#array #tap, Off(offsetof(MultiTapParams, array), tap - 1), FieldType::Int32, true, lo, \
   hi, true}

// Accessor order of the parameter interface; every tap field forces a full
// re-initialisation, as do depth, feedback and the tap count.
constexpr FieldInfo kFields[] = {
    MW_MT_FIELD(InputGain, true, -800, 0, false),
    MW_MT_FIELD(DryOut, true, -800, 0, false),
    MW_MT_FIELD(WetOut, true, -800, 0, false),
    MW_MT_FIELD(ModRate, true, 1, 100, false),
    MW_MT_FIELD(ModDepth, true, 0, 100, true),
    MW_MT_FIELD(Feedback, true, 0, 150, true),
    MW_MT_FIELD(LowPassOn, false, 0, 0, false),
    MW_MT_FIELD(LowPassStart, true, 100, 10000, false),
    MW_MT_FIELD(TapCount, true, 1, 8, true),
    MW_MT_FIELD(CurrentTap, true, 0, 7, false),
    MW_MT_FIELD(GraphResolution, true, 0, 3, false),
    MW_MT_TAP(TapGain, 1, -100, 100), MW_MT_TAP(TapGain, 2, -100, 100),
    MW_MT_TAP(TapGain, 3, -100, 100), MW_MT_TAP(TapGain, 4, -100, 100),
    MW_MT_TAP(TapGain, 5, -100, 100), MW_MT_TAP(TapGain, 6, -100, 100),
    MW_MT_TAP(TapGain, 7, -100, 100), MW_MT_TAP(TapGain, 8, -100, 100),
    MW_MT_TAP(TapDelay, 1, 1, 2500), MW_MT_TAP(TapDelay, 2, 1, 2500),
    MW_MT_TAP(TapDelay, 3, 1, 2500), MW_MT_TAP(TapDelay, 4, 1, 2500),
    MW_MT_TAP(TapDelay, 5, 1, 2500), MW_MT_TAP(TapDelay, 6, 1, 2500),
    MW_MT_TAP(TapDelay, 7, 1, 2500), MW_MT_TAP(TapDelay, 8, 1, 2500),
    MW_MT_TAP(TapPan, 1, -100, 100), MW_MT_TAP(TapPan, 2, -100, 100),
    MW_MT_TAP(TapPan, 3, -100, 100), MW_MT_TAP(TapPan, 4, -100, 100),
    MW_MT_TAP(TapPan, 5, -100, 100), MW_MT_TAP(TapPan, 6, -100, 100),
    MW_MT_TAP(TapPan, 7, -100, 100), MW_MT_TAP(TapPan, 8, -100, 100),
};
#undef MW_MT_FIELD
#undef MW_MT_TAP
static_assert(sizeof kFields / sizeof kFields[0] == kMtFieldCount, "one entry per field");
constexpr ParamTable kTable = {kFields, sizeof kFields / sizeof kFields[0],
                               sizeof(MultiTapParams)};

// Delays (ms) of taps 1..8, gains (%), pans, then TapCount, WetOut, DryOut, Feedback,
// InputGain, LowPassOn, LowPassStart, ModDepth, ModRate, CurrentTap, GraphResolution.
constexpr PresetRow<MultiTapParams> kPresetRows[] = {
    {1020,  // (Default)
     {{100, 1, 1, 1, 1, 1, 1, 1}, {100, 100, 100, 100, 100, 100, 100, 100},
      {0, 0, 0, 0, 0, 0, 0, 0}, 1, -60, -60, 0, 0, 0, 5000, 0, 1, 0, 0}},
    {1021,  // Default all parameters
     {{100, 1, 1, 1, 1, 1, 1, 1}, {100, 100, 100, 100, 100, 100, 100, 100},
      {0, 0, 0, 0, 0, 0, 0, 0}, 1, -60, -60, 0, 0, 0, 5000, 0, 1, 0, 0}},
    {1022,  // Small room 1
     {{17, 40, 85, 197, 275, 309, 1, 1}, {-48, 16, -11, 5, -2, 1, -100, -100},
      {-24, 18, -14, -38, -6, -38, 0, 0}, 6, -25, -92, 30, 0, 0, 5000, 5, 15, 0, 0}},
    {1023,  // Small hall 1
     {{34, 57, 113, 135, 174, 214, 281, 348}, {39, 21, -8, -17, -11, 12, 5, 3},
      {0, 15, 26, 69, 31, 64, 39, 50}, 8, -37, -14, 40, 0, 0, 5000, 10, 15, 0, 0}},
    {1024,  // Chorus-echo
     {{6, 13, 19, 33, 101, 163, 191, 207}, {-26, 25, -60, 57, -24, 10, -24, 28},
      {-24, 18, -14, -38, -6, -38, 0, -18}, 8, 0, -140, 0, 0, 0, 5000, 0, 1, 0, 0}},
    {1047,  // Chorus-reverse verb 2
     {{1, 12, 20, 32, 40, 57, 85, 113}, {12, -17, 37, -42, 52, -49, 66, -85},
      {-24, 18, -14, 20, -22, 0, 56, -44}, 5, 0, -800, 0, 0, 0, 5000, 0, 1, 0, 0}},
    {1048,  // Chorus-reverse verb 3
     {{14, 32, 59, 86, 113, 126, 144, 162}, {9, -11, 14, -24, 28, -35, 64, -85},
      {38, 59, 43, 60, 39, 50, 56, 33}, 5, -31, -260, 0, 0, 0, 5000, 0, 1, 0, 0}},
    {1049,  // Chorus-reverse verb 1
     {{1, 12, 23, 29, 37, 44, 56, 65}, {5, -11, 14, -24, 28, -35, 64, -85},
      {-24, 18, -14, 20, -22, 0, 56, -44}, 5, -31, -800, 0, 0, 0, 5000, 0, 1, 0, 0}},
    {1050,  // Low-frequency verb
     {{17, 187, 323, 361, 399, 427, 473, 500}, {35, -24, 10, -8, -5, -2, 1, -1},
      {-24, 18, -14, 20, -22, 0, 56, 0}, 8, 0, -44, 70, 0, 1, 500, 0, 1, 0, 0}},
    {1051,  // Chorus-verb
     {{3, 7, 13, 19, 27, 33, 41, 53}, {35, -31, 37, -40, 30, -35, 34, -51},
      {-24, 18, -14, 20, -22, 0, 56, -44}, 8, -60, -105, 3, 0, 0, 5000, 0, 1, 0, 0}},
    {1052,  // Stadium
     {{366, 500, 500, 1, 1, 1, 1, 1}, {54, -10, 5, -100, -100, -100, -100, -100},
      {-24, 18, -14, 0, 0, 0, 0, 0}, 2, 0, -60, 40, 0, 1, 2000, 5, 15, 0, 0}},
    {1053,  // Medium hall 1
     {{71, 177, 315, 374, 424, 432, 453, 500}, {-58, -28, -12, 5, -5, 4, 11, -9},
      {-30, 31, -18, -12, 20, 28, -22, 0}, 5, -60, -92, 40, 0, 1, 4500, 10, 10, 0, 0}},
    {1054,  // Large hall 2
     {{100, 130, 185, 269, 424, 437, 453, 500}, {-51, -41, -22, -32, -9, 4, 11, -9},
      {-30, 31, -18, -12, 20, 28, -22, 0}, 6, -91, -14, 40, 0, 1, 4500, 15, 20, 0, 0}},
    {1055,  // Large hall 1
     {{90, 108, 212, 306, 361, 468, 482, 500}, {54, -14, 13, 5, -6, 5, -2, 5},
      {38, 59, 43, 65, 55, 0, 0, 0}, 8, -60, -92, 60, 0, 1, 4500, 10, 10, 0, 0}},
    {1056,  // Large hall 3
     {{100, 177, 315, 403, 474, 432, 453, 500}, {-58, -28, -12, 11, -5, 4, 11, -9},
      {-30, 31, -18, -12, 20, 28, -22, 0}, 5, -60, -92, 50, 0, 1, 4500, 10, 10, 0, 0}},
    {1057,  // Medium hall 2
     {{63, 177, 315, 403, 474, 432, 453, 500}, {-58, -22, -5, 4, -5, 4, 11, -9},
      {-30, 31, -18, -12, 20, 28, -22, 0}, 5, -60, -92, 40, 0, 1, 3500, 10, 10, 0, 0}},
    {1058,  // Cathedral 1
     {{191, 227, 249, 267, 291, 1, 1, 1}, {30, -24, -15, -6, -2, -100, -100, -100},
      {-20, 18, -28, 0, 6, 0, 0, 0}, 5, -44, -44, 100, 0, 1, 4000, 5, 10, 0, 0}},
    {1059,  // Cathedral 2
     {{191, 269, 428, 500, 291, 1, 1, 1}, {-32, -24, -5, -6, -2, -100, -100, -100},
      {-24, 18, -28, 0, 6, 0, 0, 0}, 4, -20, -44, 100, 0, 1, 850, 10, 10, 0, 0}},
    {1060,  // Cathedral 3
     {{311, 369, 483, 500, 119, 1, 1, 1}, {-32, -24, -5, -6, 24, -100, -100, -100},
      {-24, 18, -28, 0, 6, 0, 0, 0}, 5, -37, -20, 70, 0, 1, 4000, 10, 10, 0, 0}},
    {1061,  // Large hall 4
     {{119, 311, 369, 461, 500, 1, 1, 1}, {-32, -19, -9, -9, -6, -100, -100, -100},
      {-24, 18, -28, 0, 6, 0, 0, 0}, 5, -37, -20, 80, 0, 1, 4000, 10, 10, 0, 0}},
    {1062,  // Small hall 2
     {{31, 110, 151, 206, 231, 336, 500, 500}, {-50, -12, -9, -9, -9, -5, -1, -9},
      {-30, 31, -18, -12, 20, 28, -22, 0}, 7, -44, 0, 50, 0, 1, 1000, 15, 10, 0, 0}},
    {1063,  // Small room 2
     {{27, 101, 193, 240, 302, 1, 1, 1}, {100, -21, 8, -5, 3, -100, -100, -100},
      {38, 59, 43, 65, 55, 0, 0, 0}, 5, -105, -92, 15, 0, 1, 2500, 0, 1, 0, 0}},
    {1064,  // Tapped delay 1
     {{17, 47, 89, 164, 240, 332, 416, 500}, {-91, 16, 77, -58, 73, -68, 70, -64},
      {-24, 18, -14, -38, -6, -38, 0, 0}, 8, -80, 0, 0, 0, 1, 4500, 0, 20, 0, 0}},
    {1065,  // Tapped delay 2
     {{17, 47, 89, 164, 240, 332, 416, 500}, {-91, 16, 77, -58, 73, -68, 70, -64},
      {-24, 18, -14, -38, -6, -38, 0, 0}, 8, -80, 0, 15, 0, 1, 4000, 0, 20, 0, 0}},
    {1066,  // Tapped delay, stereo pan
     {{17, 72, 118, 181, 240, 332, 416, 500}, {-91, 60, 40, -35, 31, -19, 14, -9},
      {-100, 100, -100, 100, -100, 100, -100, 100}, 8, -80, 0, 15, 0, 1, 4000, 0, 20, 0, 0}},
    {1067,  // Channel delay for stereo simulation
     {{1, 15, 212, 306, 361, 468, 482, 500}, {100, 100, 13, 5, -6, 5, -2, 5},
      {-100, 100, 43, 65, 55, 0, 0, 0}, 2, 0, -800, 0, 0, 0, 4500, 0, 10, 0, 0}},
};
// clang-format on
constexpr PresetTable kPresets(kPresetRows);

// Per tap: the fixed offset of its delay (ms) and its share of the sweep depth.
constexpr double kDelayOffsetMs[MultiTapEngine::kTaps] = {0.123,  0.377,  -0.411, 0.095,
                                                          -0.301, -0.253, 0.457,  0.179};
constexpr double kDepthFactor[MultiTapEngine::kTaps] = {0.7, 0.9, 0.4, 0.6, 0.8, 0.9, 0.1, 0.9};

// The oscillator's 2 pi is the written constant; the low-pass uses 2 pi itself.
constexpr double kOscTwoPi = 6.28318530718;
constexpr double kTwoPi = 2.0 * 3.141592653589793;

constexpr double kFlush = 0x1p-32;            // states and outputs below this become 0
constexpr double kBufferLimit = 16777216.0;  // bound of what enters the buffer

inline double Limit(double v) {
  if (v < -kBufferLimit) return -kBufferLimit;
  if (v > kBufferLimit) return kBufferLimit;
  return v;
}

}  // namespace

const EffectDescription kMultiTap = {
    "multitap",
    MW_FILTER_NAME("Multi-Tap Delay"),
    "MwEchomt Property Page",
    ids::CLSID_MwMultiTapDelay,
    ids::CLSID_MwMultiTapDelayPage,
    {ids::IID_IMultiTapParams},
    kTable,
    kPresets,
    EffectKind::kInPlace,
    &NewEngine<MultiTapEngine>,
    nullptr,
};

MultiTapEngine::MultiTapEngine() : EffectEngine(kTable, kBufferPolicy) {}

double MultiTapEngine::ApproxSin(double x) { return tap_shifts::SinApprox(x); }

std::uint32_t MultiTapEngine::TapShifts(bool mono, double phase, double step, const double* depth,
                                        int taps, std::int32_t* shifts) {
  double inverseDepth[kTaps];
  for (int i = 0; i < taps && i < kTaps; ++i) {
    inverseDepth[i] = depth[i] > 0.0 ? 1.0 / depth[i] : 0.0;
  }
  const double sigma = step + tap_shifts::kPhaseRounding;
  return mono ? tap_shifts::Shifts<true>(phase, sigma, depth, inverseDepth, taps, shifts)
              : tap_shifts::Shifts<false>(phase, sigma, depth, inverseDepth, taps, shifts);
}

HResult MultiTapEngine::FullInit(const MultiTapParams& p) {
  valid_ = false;
  if (!HasUsableFormat()) {
    return E_UNEXPECTED;
  }
  const std::uint32_t channels = format_->nChannels;
  const std::uint32_t rateHz = format_->nSamplesPerSec;
  const double rate = static_cast<double>(rateHz);

  // Steps 1, 5 and 6 are the partial update's.
  PartialUpdate(p);

  // The block keeps every field in range; the bounds here only protect the arrays.
  taps_ = p.TapCount < 1 ? 1 : p.TapCount > kTaps ? kTaps : p.TapCount;

  // Depth of the sweep, per tap.
  const double base = p.ModDepth * 3e-5 * rate;
  modulated_ = false;
  for (int i = 0; i < kTaps; ++i) {
    depth_[i] = base * kDepthFactor[i];
    if (i < taps_ && depth_[i] > 0.0) modulated_ = true;
  }

  // Tap gains and the feedback normalised by their sum.
  double sum = 0.0;
  for (int i = 0; i < kTaps; ++i) {
    const double g = p.TapGain[i] * 0.01;
    if (channels == 1) {
      gainL_[i] = g;
      gainR_[i] = g;
      if (i < taps_) sum += g;
    } else {
      if (p.TapPan[i] <= 0) {
        gainL_[i] = g;
        gainR_[i] = (p.TapPan[i] + 100) * 0.01 * g;
      } else {
        gainR_[i] = g;
        gainL_[i] = (100 - p.TapPan[i]) * 0.01 * g;
      }
      if (i < taps_) sum += gainL_[i] + gainR_[i];
    }
  }
  if (sum < 1.0) sum = 1.0;
  fb_ = p.Feedback / (sum * 100.0);

  // Delays in whole samples: the fixed offset truncated plus whole samples per millisecond.
  const std::int64_t perMs = static_cast<std::int64_t>(rate * 0.001);
  std::int64_t longest = 0;
  for (int i = 0; i < kTaps; ++i) {
    delay_[i] = 0;
    if (i >= taps_) continue;
    const double offset = rate * kDelayOffsetMs[i] * 0.001;
    delay_[i] = static_cast<std::int64_t>(offset) + std::int64_t{p.TapDelay[i]} * perMs;
    if (delay_[i] < 0) delay_[i] = 0;  // cannot happen with the fixed offsets; kept safe
    if (delay_[i] > longest) longest = delay_[i];
  }

  // The buffer holds the longest delay plus room for the sweep. A delay equal to the
  // length reads the slot about to be overwritten, which is the sample written L frames
  // ago, so the read index starts at D_i modulo L. At least one sample, so that a tap of
  // delay 0 (rates below 1000 Hz) has a slot to read.
  const double wanted = static_cast<double>(longest) * 1.05 + base * 4.0;
  if (!(wanted < static_cast<double>(kMaxLength) + 1.0)) {
    buffer_.reset();
    bufferCapacity_ = 0;
    length_ = 0;
    return E_OUTOFMEMORY;
  }
  std::uint32_t length = static_cast<std::uint32_t>(wanted);
  if (length < 1) length = 1;

  if (buffer_ != nullptr && length_ == length) {
    // Same length: the sound, the phase and the filter states carry on; every tap keeps
    // its delay relative to the write index (its read index is write index + D_i mod L).
  } else {
    length_ = 0;
    if (!FreshSamples(buffer_, bufferCapacity_, length, SampleReserve())) {
      return E_OUTOFMEMORY;
    }
    length_ = length;
    write_ = 0;  // so every read index starts at D_i (mod L)
    phase_ = 0.0;
    inState_[0] = inState_[1] = 0.0;
    wetState_[0] = wetState_[1] = 0.0;
    tail_ = length;
    ArmCountDown();
  }
  setupRate_ = rateHz;
  setupChannels_ = channels;
  valid_ = true;
  return S_OK;
}

void MultiTapEngine::PartialUpdate(const MultiTapParams& p) {
  const std::uint32_t rateHz = format_ != nullptr ? format_->nSamplesPerSec : 0;
  const double rate = static_cast<double>(rateHz);
  in_ = LevelToGain(p.InputGain, kLevelFloor);
  dry_ = LevelToGain(p.DryOut, kLevelFloor);
  wet_ = LevelToGain(p.WetOut, kLevelFloor);

  const bool lowPass =
      p.LowPassOn != 0 && std::int64_t{p.LowPassStart} <= std::int64_t{rateHz / 2};
  lowPass_ = lowPass ? OnePole::At(kTwoPi, p.LowPassStart, rate) : OnePole{};

  // At a rate of 0 the written step is infinite; the oscillator then stands still.
  step_ = rateHz == 0 ? 0.0 : kOscTwoPi / ((10.0 / p.ModRate) * rate);
}

HResult MultiTapEngine::Apply(const MultiTapParams& p) {
  const bool reinit = params_.TakeReinit();
  if (reinit || format_ == nullptr || !SetUpFor(*format_)) return FullInit(p);
  PartialUpdate(p);
  return S_OK;
}

std::size_t MultiTapEngine::LargestSampleCount() const {
  // FullInit's length with every tap at the longest delay and the deepest sweep.
  const double rate = static_cast<double>(format_->nSamplesPerSec);
  const std::int64_t perMs = static_cast<std::int64_t>(rate * 0.001);
  const std::int64_t tapDelay = kTable.fields[kTable.Find("TapDelay1")].max;
  const std::int64_t modDepth = kTable.fields[kTable.Find("ModDepth")].max;
  std::int64_t longest = 0;
  for (int i = 0; i < kTaps; ++i) {
    std::int64_t d = static_cast<std::int64_t>(rate * kDelayOffsetMs[i] * 0.001) +
                     tapDelay * perMs;
    if (d > longest) longest = d;
  }
  const double wanted = static_cast<double>(longest) * 1.05 +
                        static_cast<double>(modDepth) * 3e-5 * rate * 4.0 + 1.0;
  return wanted < static_cast<double>(kMaxLength) ? static_cast<std::size_t>(wanted) : 0;
}

HResult MultiTapEngine::Free() {
  buffer_.reset();
  bufferCapacity_ = 0;
  length_ = 0;
  valid_ = false;  // the next application is a full one, with a new buffer
  return S_OK;
}

template <class Codec>
HResult MultiTapEngine::Loop(int mode, typename Codec::Stored* buffer, std::uint32_t* frames,
                             bool limited) {
  constexpr bool kPcm8 = Codec::kFormat == SampleFormat::Pcm8;
  const LoopStart start =
      BeginLoop(mode, buffer, frames, limited, Codec::kFormat == SampleFormat::Float32);
  if (!start.run) return start.result;
  const std::uint32_t channels = format_->nChannels;
  bool finished = false;
  const std::uint32_t count =
      mode == kModeTail ? TakeTail(start.count, tail_, &finished) : start.count;

  const bool silent = kPcm8 && mode == kModeTail;  // 8-bit tails feed exact silence
  if (channels == 1) {
    if (silent) {
      Run<Codec, double, true>(buffer, count);
    } else {
      Run<Codec, double, false>(buffer, count);
    }
  } else if (PlainKernels()) {
    if (silent) {
      Run<Codec, PlainPair, true>(buffer, count);
    } else {
      Run<Codec, PlainPair, false>(buffer, count);
    }
  } else {
    if (silent) {
      Run<Codec, F64x2, true>(buffer, count);
    } else {
      Run<Codec, F64x2, false>(buffer, count);
    }
  }
  *frames = count;
  return finished ? kTailFinished : S_OK;
}

namespace {

// How the frame loop takes a frame: mono frames as one double; stereo frames with both
// channels in the lanes of a pair P (F64x2, or PlainPair, its plain twin), each lane doing
// exactly what a channel of its own would.
template <class Codec, class P>
struct Frames {
  static constexpr bool kMono = false;
  static constexpr int kChannels = 2;
  static P Make(double left, double right) { return MakePair<P>(left, right); }
  static P Decode(const typename Codec::Stored* s) { return FrameCodec<Codec, P>::Decode(s); }
  static void Encode(typename Codec::Stored* s, P v) { FrameCodec<Codec, P>::Encode(s, v); }
  static P Flush(P v) { return FlushLanes(v, kFlush); }
  static void Keep(P v, double* states) {
    states[0] = v[0];
    states[1] = v[1];
  }
  // What enters the buffer: the mean of the channels' feedback and input.
  static double Entering(P wv, P pv, double fb) {
    return ((wv[0] + wv[1]) * fb + pv[0] + pv[1]) * 0.5;
  }
};

template <class Codec>
struct Frames<Codec, double> {
  static constexpr bool kMono = true;
  static constexpr int kChannels = 1;
  static double Make(double value, double /*unused*/) { return value; }
  static double Decode(const typename Codec::Stored* s) { return Codec::Decode(*s); }
  static void Encode(typename Codec::Stored* s, double v) { *s = Codec::Encode(v); }
  static double Flush(double v) { return FlushBelow(v, kFlush); }
  static void Keep(double v, double* states) { states[0] = v; }
  static double Entering(double wv, double pv, double fb) { return wv * fb + pv; }
};

}  // namespace

// Where each tap in use reads, relative to the write index, for the shifts k.
void MultiTapEngine::SetOffsets(const std::int32_t* k, std::uint32_t* off) const {
  for (int i = 0; i < taps_; ++i) {
    std::int64_t o = delay_[i] - k[i];  // D_i and k_i are at most L
    if (o < 0) o += length_;
    if (o >= length_) o -= length_;
    off[i] = static_cast<std::uint32_t>(o);
  }
}

// The frame loop. Every tap's read index is the write index plus its delay (modulo L):
// both start that way and both move down by one a frame. A tap therefore reads at
// write index + (D_i - k_i) modulo L, and that offset changes only when its shift does.
template <class Codec, class P, bool kSilent>
void MultiTapEngine::Run(typename Codec::Stored* s, std::uint32_t frames) {
  using F = Frames<Codec, P>;
  double* const buf = buffer_.get();
  const std::uint32_t len = length_;
  const int taps = taps_;
  const bool modulated = modulated_;
  const double in = in_, dry = dry_, wet = wet_, fb = fb_;
  const double a = lowPass_.a, oneMinusA = lowPass_.oneMinusA;
  const double step = step_;
  const double sigma = step + tap_shifts::kPhaseRounding;  // bounds one frame's growth of the phase
  P gain[kTaps];
  double depth[kTaps], inverseDepth[kTaps];
  std::int32_t k[kTaps] = {};
  std::uint32_t off[kTaps];
  for (int i = 0; i < kTaps; ++i) {
    gain[i] = F::Make(gainL_[i], gainR_[i]);
    depth[i] = depth_[i];
    inverseDepth[i] = depth_[i] > 0.0 ? 1.0 / depth_[i] : 0.0;
  }
  SetOffsets(k, off);

  std::uint32_t w = write_;
  double phase = phase_;
  P pState = F::Make(inState_[0], inState_[1]);
  P wState = F::Make(wetState_[0], wetState_[1]);
  std::uint32_t hold = 0;

  for (std::uint32_t f = 0; f < frames; ++f, s += F::kChannels) {
    // The low-pass y = (1 - a) x + a y_previous, on the input and on the summed taps.
    const P x = (kSilent ? F::Make(0.0, 0.0) : F::Decode(s)) * in;
    const P pv = F::Flush(oneMinusA * x + a * pState);
    pState = pv;

    if (modulated) {
      if (hold == 0) {
        hold = tap_shifts::Shifts<F::kMono>(phase, sigma, depth, inverseDepth, taps, k);
        SetOffsets(k, off);
      } else {
        --hold;
      }
    }
    phase += step;

    P acc = F::Make(0.0, 0.0);
    for (int i = 0; i < taps; ++i) {
      std::uint32_t pos = w + off[i];
      if (pos >= len) pos -= len;
      acc = acc + buf[pos] * gain[i];
    }

    const P wv = F::Flush(oneMinusA * acc + a * wState);
    wState = wv;
    buf[w] = Limit(F::Entering(wv, pv, fb));
    StepDown(w, len);
    F::Encode(s, F::Flush(wv * wet + x * dry));
  }

  write_ = w;
  phase_ = phase;
  F::Keep(pState, inState_);
  F::Keep(wState, wetState_);
}

MW_DEFINE_FORMAT_LOOPS(MultiTapEngine)

}  // namespace mw
