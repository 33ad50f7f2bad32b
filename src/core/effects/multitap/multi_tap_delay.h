// Multi-Tap Delay: one mono delay buffer, shared by both channels, read at up to eight taps
// with their own delay, signed gain and pan. One sine oscillator sweeps all taps together;
// the summed taps pass a one-pole low-pass and are fed back into the buffer with the
// (low-passed) input.
#pragma once

#include <cstdint>

#include "core/dsp/one_pole.h"
#include "core/effects/effect_description.h"
#include "core/effects/multitap/tap_shifts.h"
#include "core/frame/engine.h"
#include "core/frame/sample_memory.h"
#include "mwppack1/params.h"

namespace mw {

extern const EffectDescription kMultiTap;

// Indices of the fields in the parameter interface's accessor order (the field table's).
enum MultiTapField : int {
  kMtInputGain = 0,
  kMtDryOut,
  kMtWetOut,
  kMtModRate,
  kMtModDepth,
  kMtFeedback,
  kMtLowPassOn,
  kMtLowPassStart,
  kMtTapCount,
  kMtCurrentTap,
  kMtGraphResolution,
  kMtTapGain1,                     // TapGain1..TapGain8
  kMtTapDelay1 = kMtTapGain1 + 8,  // TapDelay1..TapDelay8
  kMtTapPan1 = kMtTapDelay1 + 8,   // TapPan1..TapPan8
  kMtFieldCount = kMtTapPan1 + 8,
};

class MultiTapEngine final : public EffectEngine {
 public:
  static constexpr int kTaps = 8;
  static constexpr std::int32_t kLevelFloor = -800;
  // The largest buffer the engine will create, in samples; longer ones are refused as
  // out of memory (the indices stay comfortably inside 32 bits).
  static constexpr std::uint32_t kMaxLength = 0x7FFFFFFFu;

  // A reset re-applies the current parameters (in full only when a full initialisation is
  // due); the buffer and what it holds are kept.
  static constexpr BufferPolicy kBufferPolicy = {TailRule::kRunsOnOldSettings,
                                                 ResetRule::kKeepsHistory};

  MultiTapEngine();

  HResult Free() override;

  MW_DECLARE_FORMAT_LOOPS

  // Working values, for inspection.
  std::uint32_t BufferLength() const { return length_; }
  bool HasBuffer() const { return buffer_ != nullptr; }
  int TapsInUse() const { return taps_; }
  std::int64_t TapDelaySamples(int tap) const { return delay_[tap]; }
  double TapDepth(int tap) const { return depth_[tap]; }
  double TapGainLeft(int tap) const { return gainL_[tap]; }
  double TapGainRight(int tap) const { return gainR_[tap]; }
  double Fb() const { return fb_; }
  double InputFactor() const { return in_; }
  double Dry() const { return dry_; }
  double Wet() const { return wet_; }
  double LowPassA() const { return lowPass_.a; }
  double LowPassOneMinusA() const { return lowPass_.oneMinusA; }
  double Phase() const { return phase_; }
  double Step() const { return step_; }
  std::uint32_t TailRemaining() const { return tail_; }
  std::uint32_t WriteIndex() const { return write_; }
  // Where tap i reads before its shift: the write index plus D_i, modulo L.
  std::uint32_t ReadIndex(int tap) const {
    return length_ == 0
               ? 0
               : static_cast<std::uint32_t>(
                     (std::uint64_t{write_} + static_cast<std::uint64_t>(delay_[tap])) % length_);
  }

  // A sine of |x| < kFastSineLimit within 1e-15 of the correctly rounded one; the taps'
  // shifts are decided with it when a margin of kSineSlack either side leaves them
  // unchanged, and with the exact sine otherwise.
  static double ApproxSin(double x);
  static constexpr double kFastSineLimit = tap_shifts::kFastSineLimit;
  static constexpr double kSineSlack = tap_shifts::kSineSlack;
  // The shifts k_i of the first `taps` taps for the oscillator at `phase` (mono:
  // trunc(m x E_i + 0.5), stereo: trunc(m x E_i), m = sin(phase) + 1.0), as the frame loops
  // decide them, and the number of following frames (the phase growing by `step` each)
  // for which they are proven to stay the same.
  static std::uint32_t TapShifts(bool mono, double phase, double step, const double* depth,
                                 int taps, std::int32_t* shifts);

 private:
  bool TakeSnapshot() override { return params_.Take(&taken_); }
  HResult ApplySnapshot(bool /*keep: always, by the reset rule*/) override {
    return Apply(taken_);
  }
  bool Ready() const override { return format_ != nullptr && SetUpFor(*format_); }
  std::size_t LargestSampleCount() const override;
  bool HasMemory() const override {
    return buffer_ != nullptr && format_ != nullptr && setupChannels_ == format_->nChannels;
  }
  std::int64_t CountDownStart() const override { return length_; }

  template <class Codec>
  HResult Loop(int mode, typename Codec::Stored* buffer, std::uint32_t* frames, bool limited);
  // P: double for mono frames; F64x2 or its plain twin PlainPair for stereo frames.
  template <class Codec, class P, bool kSilent>
  void Run(typename Codec::Stored* samples, std::uint32_t frames);
  void SetOffsets(const std::int32_t* k, std::uint32_t* off) const;

  // Full initialisation when one is due (re-initialise flag, no valid set-up, or a format
  // other than the one the set-up was made for), else the partial update.
  HResult Apply(const MultiTapParams& p);
  HResult FullInit(const MultiTapParams& p);
  void PartialUpdate(const MultiTapParams& p);
  bool SetUpFor(const EffectFormat& f) const {
    return valid_ && buffer_ != nullptr && setupRate_ == f.nSamplesPerSec &&
           setupChannels_ == f.nChannels;
  }

  // Derived in full.
  int taps_ = 1;
  std::int64_t delay_[kTaps] = {};  // D_i, samples
  double depth_[kTaps] = {};        // E_i, samples
  double gainL_[kTaps] = {};        // mono: the tap's gain
  double gainR_[kTaps] = {};
  double fb_ = 0.0;
  bool modulated_ = false;  // some tap in use has E_i > 0

  // Derived by the partial update as well.
  double in_ = 0.0, dry_ = 0.0, wet_ = 0.0;
  OnePole lowPass_;
  double step_ = 0.0;

  // The buffer and what runs through it.
  SampleArray buffer_;
  std::size_t bufferCapacity_ = 0;
  std::uint32_t length_ = 0;  // L
  std::uint32_t write_ = 0;
  double phase_ = 0.0;
  double inState_[2] = {};
  double wetState_[2] = {};
  std::uint32_t tail_ = 0;  // frames of tail still to produce

  std::uint32_t setupRate_ = 0;
  std::uint32_t setupChannels_ = 0;
  MultiTapParams taken_{};
};

}  // namespace mw
