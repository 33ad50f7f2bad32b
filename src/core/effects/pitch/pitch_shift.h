// Pitch Shift: transposes the sound by a ratio (output frequency / input frequency) by
// resampling, so that pitch and speed change together. With PreserveDuration the
// resampled sound goes through the splice engine with the same ratio, which brings it back
// to the input's length; the output is then trimmed or padded to exactly the input's
// length. An optional 8th-order low-pass filters the input before upward shifts of more
// than 1.1, against aliasing.
#pragma once

#include <cstdint>
#include <vector>

#include "core/effects/effect_description.h"
#include "core/dsp/splice_engine.h"
#include "core/frame/copying_engine.h"
#include "core/frame/sample_format.h"
#include "mwppack1/params.h"

namespace mw {

extern const EffectDescription kPitchShift;

// The transposition ratio of Semitones and Cents (tenths of a cent).
double PitchRatioFor(std::int32_t semitones, std::int32_t cents);
// The Ratio a host stores when it is given Semitones and Cents, as the settings page writes
// it: the transposition ratio plus a millionth.
double PitchRatioToStore(std::int32_t semitones, std::int32_t cents);

// The anti-alias low-pass for a cut-off given as a fraction of the sample rate: one
// direct-form II section of order 8.
struct AntiAliasCoefficients {
  double b[9];         // feed-forward b0..b8
  double feedback[8];  // -a1..-a8
};
AntiAliasCoefficients DesignAntiAlias(double cutoff);

// The interpolation kernel of the windowed-sinc resampler for half-width h (4 or 7):
// 4003 values over |d| from 0 to h + 1 in 4000 steps.
const std::vector<double>& SincKernel(int halfWidth);

class PitchShiftEngine final : public CopyingEngine {
 public:
  PitchShiftEngine();

  HResult SetFormat(const EffectFormat* input, const EffectFormat* output) override;
  HResult Free() override;
  HResult PreFilter(int mode, void* data, std::uint32_t frames) override;
  MW_DECLARE_COPYING_LOOPS

  // For tests.
  std::uint32_t VirtualRate() const { return virtualRate_; }
  double EffectiveRatio() const { return ratio_; }
  bool Filtering() const { return filtering_; }
  int Taps() const { return taps_; }

 private:
  bool TakeSnapshot() override { return params_.Take(&p_); }
  HResult Reset() override;
  HResult Setup() override;
  void DesignFilter();
  template <class Codec>
  void Filter(typename Codec::Stored* data, std::uint32_t frames);
  // Resamples up to `capacity` frames from `in` (`inAvail` frames, or none) into `sink`
  // (called as sink(index, y0, y1)); returns the frames written, *inUsed the frames read.
  template <class Codec, class Sink>
  std::uint32_t Resample(const typename Codec::Stored* in, std::uint32_t inAvail,
                         std::uint32_t* inUsed, std::uint32_t capacity, Sink&& sink);
  // The same for the sinc interpolators with the vector kernels: the frames' positions are
  // found for a batch first, then the batch's outputs from a linear history of the input.
  template <class Codec, class Sink>
  std::uint32_t ResampleInBatches(const typename Codec::Stored* in, std::uint32_t inAvail,
                                  std::uint32_t* inUsed, std::uint32_t capacity, Sink& sink);
  void KeepRunningState(int ringIndex, std::int64_t needed, double inputCount, double position,
                        std::uint64_t outputCount) {
    ringIndex_ = ringIndex;
    needed_ = needed;
    inputCount_ = inputCount;
    position_ = position;
    outputCount_ = outputCount;
  }
  template <class Codec>
  HResult Loop(int mode, typename Codec::Stored* in, std::uint32_t* inFrames,
               typename Codec::Stored* out, std::uint32_t* outFrames);
  template <class Codec, class T>
  HResult SpliceStep(int mode, typename Codec::Stored* in, std::uint32_t* inFrames,
                     typename Codec::Stored* out, std::uint32_t* outFrames,
                     SpliceCore<T>& core, std::vector<T>& intermediate);

  PitchShiftParams p_{};
  SampleFormat sample_ = SampleFormat::Pcm16;
  bool doublePrecision_ = false;
  bool structural_ = true;
  std::uint32_t channels_ = 1;

  // Resampler.
  std::uint32_t virtualRate_ = 1;
  double ratio_ = 1.0;
  int taps_ = 9;
  int half_ = 4;
  double scale_ = 800.0;
  const std::vector<double>* kernel_ = nullptr;
  std::vector<double> ring_;
  int ringIndex_ = 0;
  double inputCount_ = 0.0;
  double position_ = 0.0;
  std::uint64_t outputCount_ = 0;
  std::int64_t needed_ = 0;
  bool priming_ = false;
  bool hasInput_ = false;  // the resampler has read input since the last setup

  // Anti-alias filter: history per channel, index 1..8 used.
  bool filtering_ = false;
  AntiAliasCoefficients filter_{};
  double history_[2][9] = {};

  // PreserveDuration: intermediate buffer of resampled frames and the splice engine.
  static constexpr std::uint32_t kIntermediateFrames = 2048;
  std::vector<float> singleBuffer_;
  std::vector<double> doubleBuffer_;
  std::uint32_t interFill_ = 0, interRead_ = 0;
  std::uint64_t inputTotal_ = 0, outputTotal_ = 0;
  bool draining_ = false;  // the splice engine's end-of-stream drain has begun
  // PreserveDuration as last set up: a change taken at end of stream is not set up, and
  // the drain goes on the way the stream went.
  bool preserving_ = false;
  SpliceCore<float> single_;
  SpliceCore<double> double_;
};

}  // namespace mw
