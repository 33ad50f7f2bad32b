#include "core/effects/pitch/pitch_shift.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

#include "core/dsp/exact_math.h"
#include "core/dsp/lanes.h"
#include "core/effects/pitch/sinc_frame.h"



namespace mw {
namespace {

using namespace sinc;

constexpr FieldInfo kFields[] = {
    {"Semitones", offsetof(PitchShiftParams, Semitones), FieldType::Int32, true, -50, 50, false},
    {"Cents", offsetof(PitchShiftParams, Cents), FieldType::Int32, true, -1000, 1000, false},
    {"Accuracy", offsetof(PitchShiftParams, Accuracy), FieldType::UInt32, false, 0, 0, true},
    {"PreserveDuration", offsetof(PitchShiftParams, PreserveDuration), FieldType::UInt32, false,
     0, 0, true},
    {"Mode", offsetof(PitchShiftParams, Mode), FieldType::UInt32, true, 0, kSpliceModeCount - 1,
     true},
    {"Ratio", offsetof(PitchShiftParams, Ratio), FieldType::Float64, false, 0, 0, false, true},
    {"AntiAlias", offsetof(PitchShiftParams, AntiAlias), FieldType::UInt32, false, 0, 0, true},
    {"InitialTime", offsetof(PitchShiftParams, InitialTime), FieldType::Float64, true, 0,
     225306900, false},
};
constexpr ParamTable kTable = {kFields, sizeof kFields / sizeof kFields[0],
                               sizeof(PitchShiftParams)};

// Semitones, Cents, Accuracy, PreserveDuration, Mode, -, Ratio, AntiAlias, -, InitialTime.
constexpr PresetRow<PitchShiftParams> kPresetRows[] = {
    {1020, {0, 0, 2, 0, 0, 0, 1.0, 0, 0, 2646000.0}},       // (Default)
    {1021, {0, 0, 2, 0, 0, 0, 1.0, 0, 0, 2646000.0}},       // Default all parameters
    {1073, {-7, 0, 2, 0, 0, 0, 0.66742, 0, 0, 2646000.0}},  // Fifth down
    {1074, {7, 0, 2, 0, 0, 0, 1.4983, 0, 0, 2646000.0}},    // Fifth up
    {1075, {-4, 0, 2, 0, 0, 0, 0.7937, 0, 0, 2646000.0}},   // Third down
    {1076, {4, 0, 2, 0, 0, 0, 1.25992, 0, 0, 2646000.0}},   // Third up
};
constexpr PresetTable kPresets(kPresetRows);

// The constant the kernel and the pre-warp use for pi.
constexpr double kPi = 3.14159265356;

struct Complex {
  double re, im;
};
Complex Mul(Complex a, Complex b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
Complex Div(Complex a, Complex b) {
  const double d = b.re * b.re + b.im * b.im;
  return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}

// Poles of the normalised 0.1 dB Chebyshev low-pass of order 8, each pair + before -.
constexpr Complex kPoles[8] = {
    {-0.32165, 0.205314}, {-0.32165, -0.205314}, {-0.272682, 0.584684},
    {-0.272682, -0.584684}, {-0.1822, 0.875041},  {-0.1822, -0.875041},
    {-0.06398, 1.032181},  {-0.06398, -1.032181},
};
constexpr double kBinomial8[9] = {1, 8, 28, 56, 70, 56, 28, 8, 1};

#include "core/effects/pitch/sinc_kernels.inc"

std::vector<double> StoredKernel(const std::uint64_t* bits, std::size_t n) {
  std::vector<double> table(n);
  std::memcpy(table.data(), bits, n * sizeof(double));
  return table;
}

// Each kernel entry beside its difference to the next, the two values an interpolated
// read needs, in one 16-byte pair.
std::vector<double> KernelPairs(const std::vector<double>& table) {
  std::vector<double> pairs(2 * (table.size() - 1));
  for (std::size_t n = 0; n + 1 < table.size(); ++n) {
    pairs[2 * n] = table[n];
    pairs[2 * n + 1] = table[n + 1] - table[n];
  }
  return pairs;
}

const std::vector<double>& KernelPairsFor(int halfWidth) {
  static const std::vector<double> nine = KernelPairs(SincKernel(4));
  static const std::vector<double> fifteen = KernelPairs(SincKernel(7));
  return halfWidth == 7 ? fifteen : nine;
}


}  // namespace

const EffectDescription kPitchShift = {
    "pitch",
    MW_FILTER_NAME("Pitch Shift"),
    "MwPitchs Property Page",
    ids::CLSID_MwPitchShift,
    ids::CLSID_MwPitchShiftPage,
    {ids::IID_IPitchShiftParams},
    kTable,
    kPresets,
    EffectKind::kCopying,
    nullptr,
    &NewCopyingEngine<PitchShiftEngine>,
};

double PitchRatioFor(std::int32_t semitones, std::int32_t cents) {
  const double semitone = semitones >= 0 ? ExactPow(1.05946309436, semitones)
                                         : ExactPow(0.9438743126810656, -static_cast<double>(semitones));
  const double cent = cents >= 0
                          ? ExactPow(1.0005946309436, cents * 0.1)
                          : ExactPow(0.9994057224322309, -static_cast<double>(cents) * 0.1);
  return semitone * cent;
}

double PitchRatioToStore(std::int32_t semitones, std::int32_t cents) {
  return PitchRatioFor(semitones, cents) + 0.000001;
}

AntiAliasCoefficients DesignAntiAlias(double cutoff) {
  const double w = 2 * ExactTan(0.9 * kPi * cutoff);
  Complex s[8];
  for (int k = 0; k < 8; ++k) s[k] = {w * kPoles[k].re, w * kPoles[k].im};

  Complex product = s[0];
  for (int k = 1; k < 8; ++k) product = Mul(product, s[k]);
  const double ripple = ExactPow(10.0, 0.005);
  const Complex scaled = {ripple * product.re, ripple * product.im};
  const double gain = std::sqrt(scaled.re * scaled.re + scaled.im * scaled.im);

  // Bilinear transform (T = 1): poles q = (2 + s) / (2 - s), zeros all at z = -1.
  Complex a[9] = {{1, 0}};
  Complex denominator = {2 - s[0].re, -s[0].im};
  for (int k = 0; k < 8; ++k) {
    const Complex twoPlus = {2 + s[k].re, s[k].im};
    const Complex twoMinus = {2 - s[k].re, -s[k].im};
    if (k > 0) denominator = Mul(denominator, twoMinus);
    const Complex q = Div(twoPlus, twoMinus);
    for (int j = k + 1; j >= 1; --j) {
      const Complex t = Mul(q, a[j - 1]);
      a[j] = {a[j].re - t.re, a[j].im - t.im};
    }
  }
  const double g = gain / denominator.re;
  AntiAliasCoefficients c{};
  for (int j = 0; j < 9; ++j) c.b[j] = g * kBinomial8[j];
  for (int k = 0; k < 8; ++k) c.feedback[k] = -a[k + 1].re;
  return c;
}

const std::vector<double>& SincKernel(int halfWidth) {
  static const std::vector<double> nine = StoredKernel(kSincKernel4Bits, 4003);
  static const std::vector<double> fifteen = StoredKernel(kSincKernel7Bits, 4003);
  return halfWidth == 7 ? fifteen : nine;
}

PitchShiftEngine::PitchShiftEngine() : CopyingEngine(kTable) {}

HResult PitchShiftEngine::SetFormat(const EffectFormat* input, const EffectFormat* output) {
  AttachFormats(input, output);
  valid_ = false;
  if (input_ == nullptr || !input_->Sample(&sample_)) return E_FAIL;
  if (input_->nChannels < 1 || input_->nChannels > 2) return E_FAIL;
  doublePrecision_ = sample_ == SampleFormat::Pcm32 || sample_ == SampleFormat::Float64;
  channels_ = input_->nChannels;
  if (realTimeSizing_) {
    // Room for the most taps, both kernels built, and the splice buffers of every mode at
    // this rate: no later set-up allocates.
    try {
      ring_.reserve(4 * 15);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    KernelPairsFor(4);
    KernelPairsFor(7);
    const std::uint32_t fs = input_->nSamplesPerSec;
    const HResult hr = doublePrecision_ ? double_.ReserveForAllModes(fs, channels_)
                                        : single_.ReserveForAllModes(fs, channels_);
    if (Failed(hr)) return hr;
  }
  return Reset();
}

HResult PitchShiftEngine::Reset() {
  structural_ = true;
  try {
    const std::size_t n = std::size_t{kIntermediateFrames} * channels_;
    if (doublePrecision_) {
      std::vector<float>().swap(singleBuffer_);
      doubleBuffer_.assign(n, 0.0);
    } else {
      std::vector<double>().swap(doubleBuffer_);
      singleBuffer_.assign(n, 0.0f);
    }
  } catch (const std::bad_alloc&) {
    valid_ = false;
    return E_OUTOFMEMORY;
  }
  params_.Take(&p_);
  // A full setup: fresh resampler, totals and splice state.
  const HResult hr = Setup();
  interFill_ = interRead_ = 0;
  started_ = false;
  return hr;
}

HResult PitchShiftEngine::Setup() {
  if (params_.TakeReinit()) structural_ = true;
  if (input_ == nullptr) {
    valid_ = false;
    return E_UNEXPECTED;
  }
  const std::uint32_t fs = input_->nSamplesPerSec;
  // At no samples per second there is nothing to resample: the effective ratio would be 0,
  // and one input frame would make output without end.
  if (fs == 0) {
    valid_ = false;
    return E_FAIL;
  }
  // Ratio is kept positive and finite by its setters; a ratio at or above the rate still
  // leaves one virtual sample per second.
  const double v = std::trunc(fs / p_.Ratio);
  virtualRate_ = v >= 1.0 ? (v < 4294967295.0 ? static_cast<std::uint32_t>(v) : 4294967295u) : 1u;
  ratio_ = fs / static_cast<double>(virtualRate_);
  const bool preserve = p_.PreserveDuration != 0;
  if (preserve && ratio_ < 0.5) ratio_ = 0.5;

  HResult hr = S_OK;
  if (structural_) {
    taps_ = p_.Accuracy == 1 ? 2 : p_.Accuracy == 3 ? 15 : 9;
    half_ = taps_ / 2;
    scale_ = 4000.0 / (half_ + 1);
    try {
      // Frames of two channels, each kept twice (at i and i + taps).
      const std::size_t n = 4 * static_cast<std::size_t>(taps_);
      if (ring_.capacity() < n) std::vector<double>().swap(ring_);
      ring_.assign(n, 0.0);
      kernel_ = taps_ == 2 ? nullptr : &KernelPairsFor(half_);
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    }
    if (Succeeded(hr) && preserve) {
      const SpliceMode& row =
          kSpliceModes[std::min<std::uint32_t>(p_.Mode, kSpliceModeCount - 1)];
      if (doublePrecision_) {
        single_.Free();
        hr = double_.Configure(row, fs, ratio_, channels_);
      } else {
        double_.Free();
        hr = single_.Configure(row, fs, ratio_, channels_);
      }
    }
    DesignFilter();
    preserving_ = preserve;
    ringIndex_ = 0;
    inputTotal_ = outputTotal_ = 0;
    single_.Restart();
    double_.Restart();
    single_.SetFlushing(false);
    double_.SetFlushing(false);
    hasInput_ = false;
    draining_ = false;
    valid_ = Succeeded(hr);
    if (valid_) structural_ = false;
  } else {
    if (preserve) {
      single_.SetRatio(ratio_);
      double_.SetRatio(ratio_);
    }
    DesignFilter();
  }
  position_ = inputCount_ = 0.0;
  outputCount_ = 0;
  needed_ = 0;
  return hr;
}

void PitchShiftEngine::DesignFilter() {
  filtering_ = ratio_ > 1.1 && p_.AntiAlias != 0;
  if (!filtering_) return;
  filter_ = DesignAntiAlias(0.5 / ratio_);
  std::memset(history_, 0, sizeof history_);
}

HResult PitchShiftEngine::Free() {
  std::vector<double>().swap(ring_);
  std::vector<float>().swap(singleBuffer_);
  std::vector<double>().swap(doubleBuffer_);
  single_.Free();
  double_.Free();
  valid_ = false;
  return S_OK;
}

template <class Codec>
void PitchShiftEngine::Filter(typename Codec::Stored* data, std::uint32_t frames) {
  const double* b = filter_.b;
  const double* fb = filter_.feedback;
  for (std::uint32_t c = 0; c < channels_; ++c) {
    double* hist = history_[c];
    typename Codec::Stored* s = data + c;
    for (std::uint32_t i = 0; i < frames; ++i, s += channels_) {
      double w = Codec::Decode(*s);
      for (int k = 1; k <= 8; ++k) w = w + fb[k - 1] * hist[k];
      double y = b[0] * w;
      for (int k = 1; k <= 8; ++k) y = y + b[k] * hist[k];
      for (int k = 8; k >= 2; --k) hist[k] = hist[k - 1];
      hist[1] = w;
      *s = Codec::Encode(y);
    }
  }
}

HResult PitchShiftEngine::PreFilter(int mode, void* data, std::uint32_t frames) {
  HResult hr = S_OK;
  if ((params_.Take(&p_) || !valid_) && mode != kModeEndOfStream) hr = Setup();
  if (!filtering_ || data == nullptr || frames == 0) return Failed(hr) ? hr : S_OK;
  switch (sample_) {
    case SampleFormat::Pcm8: Filter<Pcm8Codec>(static_cast<std::uint8_t*>(data), frames); break;
    case SampleFormat::Pcm16: Filter<Pcm16Codec>(static_cast<std::int16_t*>(data), frames); break;
    case SampleFormat::Pcm32: Filter<Pcm32Codec>(static_cast<std::int32_t*>(data), frames); break;
    case SampleFormat::Float32: Filter<Float32Codec>(static_cast<float*>(data), frames); break;
    case SampleFormat::Float64: Filter<Float64Codec>(static_cast<double*>(data), frames); break;
  }
  return Failed(hr) ? hr : S_OK;
}

template <class Codec, class Sink>
std::uint32_t PitchShiftEngine::Resample(const typename Codec::Stored* in, std::uint32_t inAvail,
                                         std::uint32_t* inUsed, std::uint32_t capacity,
                                         Sink&& sink) {
  const bool plain = PlainKernels();
  if (taps_ != 2 && !plain) return ResampleInBatches<Codec>(in, inAvail, inUsed, capacity, sink);
  const std::uint32_t ch = channels_;
  const int taps = taps_, h = half_;
  double* ring = ring_.data();
  const double ratio = ratio_, scale = scale_;
  // The running state in locals for the length of the call (the sink's stores could
  // otherwise alias it).
  int ringIndex = ringIndex_;
  std::int64_t needed = needed_;
  double inputCount = inputCount_, position = position_;
  std::uint64_t outputCount = outputCount_;
  std::uint32_t used = 0, written = 0;
  while (written < capacity) {
    if (priming_) {
      priming_ = false;
      needed = h + 1;
      ringIndex = h + 1;
      inputCount = inputCount - (h + 1);
    }
    while (needed > 0 && used < inAvail) {
      ringIndex = ringIndex - 1;
      if (ringIndex < 0) ringIndex = taps - 1;
      const typename Codec::Stored* f = in + std::size_t{used} * ch;
      double* slot = ring + 2 * ringIndex;
      if (ch == 2 && !plain) {
        const F64x2 frame = LaneCodec<Codec, F64x2>::Decode(f);
        Lanes<F64x2>::Store(slot, frame);
        Lanes<F64x2>::Store(slot + 2 * taps, frame);
      } else {
        slot[0] = slot[2 * taps] = Codec::Decode(f[0]);
        if (ch == 2) slot[1] = slot[2 * taps + 1] = Codec::Decode(f[1]);
      }
      --needed;
      inputCount = inputCount + 1.0;
      ++used;
      hasInput_ = true;
    }
    if (needed > 0) break;

    const double d = h - (position - inputCount);
    const int i = ringIndex;
    double y0, y1;
    if (taps == 2) {
      const double* a = ring + 2 * i;
      const double* b = ring + 2 * ((i + 1) % 2);
      y0 = (1 - d) * a[0] + d * b[0];
      y1 = (1 - d) * a[1] + d * b[1];
    } else {
      // Only the plain twin reaches here (the vector kernels run in batches).
      const double* k = kernel_->data();
      const Pair y = taps == 9 ? SincFrame<9, true>(ring, i, d, scale, k)
                               : SincFrame<15, true>(ring, i, d, scale, k);
      y0 = y[0];
      y1 = y[1];
    }
    sink(written, y0, y1);
    ++written;
    ++outputCount;
    // (The count stays far below 2^63, where the signed conversion gives the same double.)
    position = static_cast<double>(static_cast<std::int64_t>(outputCount)) * ratio;
    // Whole frames still to read: the distance truncated toward zero, none when negative.
    const double ahead = position - inputCount;
    needed = ahead >= 1.0 ? static_cast<std::int64_t>(ahead) : 0;
  }
  KeepRunningState(ringIndex, needed, inputCount, position, outputCount);
  *inUsed = used;
  return written;
}

template <class Codec, class Sink>
std::uint32_t PitchShiftEngine::ResampleInBatches(const typename Codec::Stored* in,
                                                  std::uint32_t inAvail, std::uint32_t* inUsed,
                                                  std::uint32_t capacity, Sink& sink) {
  constexpr int kBatch = 256;      // outputs, and input frames, a batch takes at most
  constexpr int kMostTaps = 15;
  constexpr int kHistory = kMostTaps + kBatch;
  const std::uint32_t ch = channels_;
  const int taps = taps_, h = half_;
  const bool wide = HasWideVectors();
  const double ratio = ratio_, scale = scale_;
  const double* pairs = kernel_->data();
  double* ring = ring_.data();
  int ringIndex = ringIndex_;
  std::int64_t needed = needed_;
  double inputCount = inputCount_, position = position_;
  std::uint64_t outputCount = outputCount_;
  if (priming_ && capacity > 0) {
    priming_ = false;
    needed = h + 1;
    ringIndex = h + 1;
    inputCount = inputCount - (h + 1);
  }
  // The history holds stereo frames newest first, as the ring's window does, growing down
  // from its end: the ring's window first, then each frame read. An output's window is the
  // taps frames from the newest it has read.
  double history[2 * kHistory];
  double at[kBatch];
  int newest[kBatch];
  int top = kHistory - taps;
  std::memcpy(history + 2 * top, ring + 2 * ringIndex, sizeof(double) * 2 * taps);
  std::uint32_t used = 0, written = 0;
  for (;;) {
    int count = 0;
    bool starved = false;
    while (written + count < capacity && count < kBatch) {
      while (needed > 0 && used < inAvail && top > 0) {
        const typename Codec::Stored* f = in + std::size_t{used} * ch;
        --top;
        if (ch == 2) {
          Lanes<F64x2>::Store(history + 2 * top, LaneCodec<Codec, F64x2>::Decode(f));
        } else {
          history[2 * top] = Codec::Decode(f[0]);
          history[2 * top + 1] = 0.0;
        }
        --needed;
        inputCount = inputCount + 1.0;
        ++used;
        hasInput_ = true;
      }
      if (needed > 0) {
        starved = used >= inAvail;
        break;
      }
      at[count] = h - (position - inputCount);
      newest[count] = top;
      ++count;
      ++outputCount;
      position = static_cast<double>(static_cast<std::int64_t>(outputCount)) * ratio;
      const double ahead = position - inputCount;
      needed = ahead >= 1.0 ? static_cast<std::int64_t>(ahead) : 0;
    }
    if (wide && taps == 9) {
      WideBatch<9>(history, newest, at, count, scale, pairs, sink, written);
    } else if (wide) {
      WideBatch<15>(history, newest, at, count, scale, pairs, sink, written);
    } else if (taps == 9) {
      NarrowBatch<9>(history, newest, at, count, scale, pairs, sink, written);
    } else {
      NarrowBatch<15>(history, newest, at, count, scale, pairs, sink, written);
    }
    written += static_cast<std::uint32_t>(count);
    if (written >= capacity || starved) break;
    // The batch is full or the history is: the newest taps frames move back to its end.
    std::memmove(history + 2 * (kHistory - taps), history + 2 * top, sizeof(double) * 2 * taps);
    top = kHistory - taps;
  }
  // The ring takes the newest taps frames, from slot 0 (and their copies after them).
  std::memcpy(ring, history + 2 * top, sizeof(double) * 2 * taps);
  std::memcpy(ring + 2 * taps, history + 2 * top, sizeof(double) * 2 * taps);
  KeepRunningState(0, needed, inputCount, position, outputCount);
  *inUsed = used;
  return written;
}

template <class Codec, class T>
HResult PitchShiftEngine::SpliceStep(int mode, typename Codec::Stored* in,
                                     std::uint32_t* inFrames, typename Codec::Stored* out,
                                     std::uint32_t* outFrames, SpliceCore<T>& core,
                                     std::vector<T>& intermediate) {
  const std::uint32_t capacity = *outFrames;
  const std::uint32_t ch = channels_;
  T* buffer = intermediate.data();
  auto store = [buffer, ch](std::uint32_t k, double y0, double y1) {
    buffer[std::size_t{k} * ch] = static_cast<T>(y0);
    if (ch == 2) buffer[std::size_t{k} * ch + 1] = static_cast<T>(y1);
  };
  std::uint32_t consumed = 0;
  bool flushing = false;
  if (mode != kModeEndOfStream) {
    if (!core.FrameWaiting()) {
      interFill_ = Resample<Codec>(in, *inFrames, &consumed, kIntermediateFrames, store);
      interRead_ = 0;
      inputTotal_ += consumed;
    }
  } else if (draining_) {
    flushing = true;
  } else if (!core.FrameWaiting() && interRead_ == interFill_) {
    // Before the drain, the resampler gives what it can without further input; once that
    // and every frame it makes are out, the drain begins and lasts to the end.
    std::uint32_t none = 0;
    interFill_ = hasInput_ ? Resample<Codec>(nullptr, 0, &none, kIntermediateFrames, store) : 0;
    interRead_ = 0;
    flushing = draining_ = interFill_ == 0;
  }
  core.SetFlushing(flushing);
  std::uint32_t offered = interFill_ - interRead_;
  std::uint32_t produced = capacity;
  const int result =
      core.Splice(buffer + std::size_t{interRead_} * ch, &offered, out, &produced);
  interRead_ += offered;
  outputTotal_ += produced;
  *inFrames = consumed;

  HResult r = result;
  if (outputTotal_ > inputTotal_ && ratio_ < 1.0) {
    const std::uint64_t excess = outputTotal_ - inputTotal_;
    produced = produced > excess ? static_cast<std::uint32_t>(produced - excess) : 0;
    r = kTailFinished;
  } else if (result == 1 && inputTotal_ > outputTotal_ && produced == 0) {
    const std::uint64_t missing = inputTotal_ - outputTotal_;
    const std::uint32_t n = missing < capacity ? static_cast<std::uint32_t>(missing) : capacity;
    const typename Codec::Stored silence = Codec::Encode(0.0);
    std::fill(out, out + std::size_t{n} * ch, silence);
    produced = n;
    outputTotal_ += n;
    r = outputTotal_ >= inputTotal_ ? kTailFinished : S_OK;
  }
  *outFrames = produced;
  return r;
}

template <class Codec>
HResult PitchShiftEngine::Loop(int mode, typename Codec::Stored* in, std::uint32_t* inFrames,
                               typename Codec::Stored* out, std::uint32_t* outFrames) {
  priming_ = mode == kModeDiscontinuity;
  HResult result;
  if (!BeginLoop(mode, in, inFrames, out, outFrames, &result)) return result;

  if (!preserving_) {
    const std::uint32_t ch = channels_;
    auto write = [out, ch](std::uint32_t k, double y0, double y1) {
      out[std::size_t{k} * ch] = Codec::Encode(y0);
      if (ch == 2) out[std::size_t{k} * ch + 1] = Codec::Encode(y1);
    };
    std::uint32_t used = 0;
    if (mode == kModeEndOfStream) {
      // No tail, but frames that need no further input are still given.
      const std::uint32_t capacity = *outFrames;
      const std::uint32_t n = hasInput_ ? Resample<Codec>(nullptr, 0, &used, capacity, write) : 0;
      *outFrames = n;
      return n == capacity && n > 0 ? S_OK : kTailFinished;
    }
    *outFrames = Resample<Codec>(in, *inFrames, &used, *outFrames, write);
    *inFrames = used;
    return S_OK;
  }
  using T = typename SpliceWork<typename Codec::Stored>::Type;
  if constexpr (std::is_same<T, double>::value) {
    return SpliceStep<Codec>(mode, in, inFrames, out, outFrames, double_, doubleBuffer_);
  } else {
    return SpliceStep<Codec>(mode, in, inFrames, out, outFrames, single_, singleBuffer_);
  }
}

MW_DEFINE_COPYING_LOOPS(PitchShiftEngine)

}  // namespace mw
