// The splice engine: changes the duration of a sound by a ratio without changing its pitch.
//
// The input is cut into overlapping frames of F frames. Each new frame starts at the offset,
// within a small search range, where it best continues what has already been output, and
// is joined to it with a linear crossfade. Every frame consumes InputHop (A) new input
// frames and produces OutputHop (H) output frames, so the output is about `ratio` times as
// long as the input. Nineteen splice modes set the frame length, the search range and step,
// the crossfade length and the acceptance threshold. Time Stretch runs the engine on its
// input; Pitch Shift runs it on its resampled sound to regain the input's duration.
//
// The arithmetic is done in the working precision of the sample format (single precision
// for 8- and 16-bit PCM and 32-bit float, double for 32-bit PCM and 64-bit float), with
// every sum accumulated in index order. Samples are kept one array per channel, which lets
// the similarity search evaluate several candidate offsets at once without changing any
// sum.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "core/dsp/lanes.h"
#include "core/frame/hresult.h"
#include "core/frame/sample_format.h"

namespace mw {

struct SpliceMode {
  std::uint32_t nameId;       // the mode list's text (Pitch Shift's identifier)
  std::uint32_t frameMs;
  std::uint32_t searchMs;
  std::uint32_t step;         // search step in samples, meant for 44.1 kHz
  std::uint32_t crossfadeMs;
  std::uint32_t threshold;    // acceptance threshold in hundredths
};

constexpr std::uint32_t kSpliceModeCount = 19;
extern const SpliceMode kSpliceModes[kSpliceModeCount];

// The working sizes of one mode at one sample rate.
struct SpliceSizes {
  std::int32_t frame;      // F
  std::int32_t outputHop;  // H = F / 2
  std::int32_t crossfade;  // X
  std::int32_t range;      // R
  std::int32_t step;       // S
  float accept;            // T
};

SpliceSizes SpliceSizesFor(const SpliceMode& mode, std::uint32_t sampleRate);
// A = trunc(H / r + 0.5), kept within [1, F].
std::int32_t InputHopFor(std::int32_t outputHop, std::int32_t frame, double ratio);

// The working precision of a stored sample type.
template <class Stored>
struct SpliceWork {
  using Type = float;
};
template <>
struct SpliceWork<std::int32_t> {
  using Type = double;
};
template <>
struct SpliceWork<double> {
  using Type = double;
};

template <class T>
class SpliceCore {
 public:
  // Full setup for a mode, rate, ratio and channel count (1 or 2): sizes, zeroed buffers,
  // window, and a fresh frame state. E_OUTOFMEMORY when the buffers cannot be had, E_FAIL
  // for a rate too low to hold a frame; the core is then unusable until the next success.
  HResult Configure(const SpliceMode& mode, std::uint32_t sampleRate, double ratio,
                    std::uint32_t channels);
  // Makes every buffer hold at once what the largest mode needs at this rate and channel
  // count, so that a later Configure at that rate allocates nothing (real-time hosts).
  // Changes nothing a Configure sets up.
  HResult ReserveForAllModes(std::uint32_t sampleRate, std::uint32_t channels);
  // Only the ratio changed: new hops, everything held is kept.
  void SetRatio(double ratio);
  // A fresh stream: the next frame is a first frame, and nothing has ended.
  void Restart() {
    firstFrame_ = true;
    ended_ = false;
  }
  void Free();

  // Takes up to *inFrames frames of `input` and writes up to *outFrames frames to
  // `output`; on return both hold the counts used. Returns 1 once the stream is
  // completely drained, else 0. `In` and `Out` are stored sample types, or T itself.
  template <class In, class Out>
  int Splice(const In* input, std::uint32_t* inFrames, Out* output, std::uint32_t* outFrames);

  void SetFlushing(bool on) { flushing_ = on; }
  bool FrameWaiting() const { return outputPhase_; }
  bool Ready() const { return ready_; }

  // For tests.
  const SpliceSizes& Sizes() const { return sizes_; }
  const std::vector<T>& Window() const { return window_; }
  // The offset search on the buffers as they stand, and the plain sequential search it
  // must always agree with.
  std::int32_t FindSpliceOffset();
  std::int32_t FindSpliceOffsetPlain() const;
  T* InputChannel(int c) { return Window(c); }
  T* AccumulationChannel(int c) { return acc_[c].data(); }

 private:
  // The lengths of the buffers for one mode's sizes.
  struct BufferSizes {
    std::size_t frame, input, searchIn, searchAcc, sums;
  };
  static BufferSizes BufferSizesFor(const SpliceSizes& s);

  void AddFrame(std::int32_t offset);
  void ShiftAfterFrame();

  SpliceSizes sizes_{};
  std::int32_t inputHop_ = 1;  // A
  std::int32_t refill_ = 0;    // K = F - A
  std::uint32_t channels_ = 1;
  bool ready_ = false;

  // The input window of channel c: F frames from base_ on in a buffer of kWindowSpan x F,
  // so that most frames move the window instead of the samples.
  static constexpr std::size_t kWindowSpan = 4;
  T* Window(std::uint32_t c) { return input_[c].data() + base_; }
  const T* Window(std::uint32_t c) const { return input_[c].data() + base_; }
  std::vector<T> input_[2];
  std::size_t base_ = 0;
  std::vector<T> acc_[2];    // the output being built
  std::vector<T> window_;
  // The search's decimated copies: every S-th sample from 0 on, padded for whole blocks.
  std::vector<T> searchIn_[2];
  std::vector<T> searchAcc_[2];
  std::vector<T> sums_[2];

  std::int32_t fill_ = 0;
  std::int32_t readPos_ = 0;
  std::int32_t outLength_ = 0;
  bool outputPhase_ = false;
  bool firstFrame_ = true;
  bool ended_ = false;
  bool flushing_ = false;
  // The waiting frame was built while draining (its hop is already taken from `fill_`).
  bool frameFromDrain_ = false;
};

// Sample conversions of the splice readers and writers.
template <class T>
inline T SpliceRead(std::uint8_t b) { return static_cast<T>(Pcm8Codec::Decode(b)); }
template <class T>
inline T SpliceRead(std::int16_t s) { return static_cast<T>(Pcm16Codec::Decode(s)); }
template <class T>
inline T SpliceRead(std::int32_t s) { return static_cast<T>(Pcm32Codec::Decode(s)); }
template <class T>
inline T SpliceRead(float f) { return static_cast<T>(f); }
template <class T>
inline T SpliceRead(double d) { return static_cast<T>(d); }

template <class Out>
inline Out SpliceWrite(double y);
template <>
inline std::uint8_t SpliceWrite<std::uint8_t>(double y) { return Pcm8Codec::Encode(y); }
template <>
inline std::int16_t SpliceWrite<std::int16_t>(double y) { return Pcm16Codec::Encode(y); }
template <>
inline std::int32_t SpliceWrite<std::int32_t>(double y) { return Pcm32Codec::Encode(y); }
template <>
inline float SpliceWrite<float>(double y) { return static_cast<float>(y); }
template <>
inline double SpliceWrite<double>(double y) { return y; }

// The codec of a stored sample type.
template <class Stored>
using CodecOf = std::conditional_t<
    std::is_same<Stored, std::uint8_t>::value, Pcm8Codec,
    std::conditional_t<
        std::is_same<Stored, std::int16_t>::value, Pcm16Codec,
        std::conditional_t<std::is_same<Stored, std::int32_t>::value, Pcm32Codec,
                           std::conditional_t<std::is_same<Stored, float>::value,
                                              Float32Codec, Float64Codec>>>>;

// Two working values as doubles: exactly what the scalar conversion of each gives.
inline F64x2 PairAsDoubles(const float* v) {
  F32x2 f;
  std::memcpy(&f, v, sizeof f);
  return __builtin_convertvector(f, F64x2);
}
inline F64x2 PairAsDoubles(const double* v) { return Lanes<F64x2>::Load(v); }

#if MW_WIDE_KERNELS
// Stereo 16-bit output from single-precision values, four frames a step with 32-byte
// vectors (only where HasWideVectors); returns the frames written.
std::int32_t WideStereo16(const float* y0, const float* y1, std::int32_t n, std::int16_t* o);
#endif

// n output frames from the channels' working values y0 (and y1), encoded; two frames a
// step unless `plain` (the plain twin, one sample at a time, as SpliceWrite does).
template <class T, class Out>
void WriteSpliceFrames(const T* y0, const T* y1, std::uint32_t ch, std::int32_t n, Out* o,
                       bool plain) {
  std::int32_t j = 0;
#if MW_WIDE_KERNELS
  if constexpr (std::is_same<T, float>::value && std::is_same<Out, std::int16_t>::value) {
    if (!plain && ch == 2 && HasWideVectors()) j = WideStereo16(y0, y1, n, o);
  }
#endif
  if (!plain) {
    using Codec = CodecOf<Out>;
    if (ch == 2) {
      for (; j + 2 <= n; j += 2) {
        StereoPairs<Codec>::Encode(o + 2 * j, PairAsDoubles(y0 + j), PairAsDoubles(y1 + j));
      }
    } else {
      for (; j + 2 <= n; j += 2) LaneCodec<Codec, F64x2>::Encode(o + j, PairAsDoubles(y0 + j));
    }
  }
  for (; j < n; ++j) {
    o[std::size_t(j) * ch] = SpliceWrite<Out>(y0[j]);
    if (ch == 2) o[std::size_t(j) * ch + 1] = SpliceWrite<Out>(y1[j]);
  }
}

inline void StorePair(float* x, F64x2 v) {
  const F32x2 f = __builtin_convertvector(v, F32x2);
  std::memcpy(x, &f, sizeof f);
}
inline void StorePair(double* x, F64x2 v) { Lanes<F64x2>::Store(x, v); }

// n input frames decoded into the channels' working values x0 (and x1); two frames a step
// unless `plain` (the plain twin, as SpliceRead does one sample at a time).
template <class T, class In>
void ReadSpliceFrames(const In* in, std::uint32_t ch, std::uint32_t n, T* x0, T* x1,
                      bool plain) {
  std::uint32_t j = 0;
  // Values already in the working type are only copied apart.
  if (!plain && !std::is_same<In, T>::value) {
    using Codec = CodecOf<In>;
    if (ch == 2) {
      for (; j + 2 <= n; j += 2) {
        F64x2 l, r;
        StereoPairs<Codec>::Decode(in + 2 * j, &l, &r);
        StorePair(x0 + j, l);
        StorePair(x1 + j, r);
      }
    } else {
      for (; j + 2 <= n; j += 2) StorePair(x0 + j, LaneCodec<Codec, F64x2>::Decode(in + j));
    }
  }
  for (; j < n; ++j) {
    x0[j] = SpliceRead<T>(in[std::size_t(j) * ch]);
    if (ch == 2) x1[j] = SpliceRead<T>(in[std::size_t(j) * ch + 1]);
  }
}

// ---------------------------------------------------------------------------------------

template <class T>
template <class In, class Out>
int SpliceCore<T>::Splice(const In* input, std::uint32_t* inFrames, Out* output,
                          std::uint32_t* outFrames) {
  const std::uint32_t offered = input != nullptr ? *inFrames : 0;
  const std::uint32_t capacity = output != nullptr ? *outFrames : 0;
  std::uint32_t consumed = 0, produced = 0;
  *inFrames = 0;
  *outFrames = 0;
  if (!ready_) return ended_ ? 1 : 0;
  if (offered == 0 && !outputPhase_ && ended_) return 1;

  const std::int32_t F = sizes_.frame, H = sizes_.outputHop;
  const std::uint32_t ch = channels_;
  for (;;) {
    if (outputPhase_) {
      std::int32_t n = outLength_ - readPos_;
      if (n < 0) n = 0;
      if (static_cast<std::uint32_t>(n) > capacity - produced) {
        n = static_cast<std::int32_t>(capacity - produced);
      }
      WriteSpliceFrames(acc_[0].data() + readPos_,
                        ch == 2 ? acc_[1].data() + readPos_ : nullptr, ch, n,
                        output + std::size_t{produced} * ch, PlainKernels());
      readPos_ += n;
      produced += static_cast<std::uint32_t>(n);
      if (readPos_ < outLength_) break;  // the output is full
      readPos_ = 0;
      // A frame built before the drain began is an ordinary frame; one built while
      // draining has already taken its hop from `fill_`.
      if (!flushing_ || !frameFromDrain_) fill_ = refill_;
      ShiftAfterFrame();
      outputPhase_ = false;
    }
    if (!flushing_ && fill_ >= 0 && fill_ < F) {
      std::uint32_t n = offered - consumed;
      if (n > static_cast<std::uint32_t>(F - fill_)) n = static_cast<std::uint32_t>(F - fill_);
      ReadSpliceFrames(input + std::size_t{consumed} * ch, ch, n, Window(0) + fill_,
                       ch == 2 ? Window(1) + fill_ : nullptr, PlainKernels());
      fill_ += static_cast<std::int32_t>(n);
      consumed += n;
    }
    if (flushing_) {
      if (fill_ < H) {
        if (ended_) break;
        ended_ = true;
        if (fill_ <= 0) break;
        for (std::uint32_t c = 0; c < ch; ++c) {
          std::fill(Window(c) + fill_, Window(c) + F, T(0));
        }
        outLength_ = fill_;  // the last frame emits only the frames still held
      }
      fill_ -= inputHop_;
    } else if (fill_ != F) {
      break;  // more input is needed
    }
    AddFrame(FindSpliceOffset());
    outputPhase_ = true;
    frameFromDrain_ = flushing_;
  }
  *inFrames = consumed;
  *outFrames = produced;
  return 0;
}

}  // namespace mw
