// Chorus: one to three modulated delay voices in series. Each voice reads its 6500-sample
// line at a delay swept by its own sine oscillator, smooths the read with an optional
// one-pole high-cut filter and feeds the filtered read back into the line. The effect has
// no tail: its end of stream passes on at once.
#pragma once

#include <cstdint>

#include "core/dsp/one_pole.h"
#include "core/effects/effect_description.h"
#include "core/frame/engine.h"
#include "core/frame/sample_memory.h"
#include "mwppack1/params.h"

namespace mw {

extern const EffectDescription kChorus;

class ChorusEngine final : public EffectEngine {
 public:
  static constexpr std::int32_t kLevelFloor = -600;
  static constexpr std::uint32_t kLineLength = 6500;
  static constexpr int kVoices = 3;
  // The most sine values a voice keeps: a period of up to half a million frames (11 s at
  // 44.1 kHz). Each voice's table is sized, when the lines are created, for the period of
  // the settings then in force; the sines beyond a table are computed as they are needed.
  static constexpr std::int64_t kMaxSineTable = std::int64_t{1} << 19;

  // No tail; a reset clears the lines and restarts the oscillators.
  static constexpr BufferPolicy kBufferPolicy = {TailRule::kNone, ResetRule::kDropsHistory};

  ChorusEngine();

  // Takes the parameters, clears the lines, the write positions, the filters and the
  // oscillators, and initialises in full; clears `started`.
  HResult Reset() override;
  HResult Free() override;

  MW_DECLARE_FORMAT_LOOPS

  // Working values, for inspection.
  double InputGain() const { return gIn_; }
  double DryGain() const { return gDry_; }
  double Level() const { return level_; }
  double PanLeft() const { return panL_; }
  double PanRight() const { return panR_; }
  double VoiceGain(int v) const { return wet_[v]; }
  double Fb() const { return fb_; }
  double HighCut() const { return highCut_.a; }
  double HighCutComplement() const { return highCut_.oneMinusA; }
  std::int64_t BaseDelay() const { return delay_; }
  std::int64_t Depth() const { return depth_; }
  int VoiceCount() const { return voiceCount_; }
  std::int64_t VoiceDelay(int v) const { return voices_[v].baseDelay; }
  std::int64_t Period(int v) const { return voices_[v].period; }
  double Step(int v) const { return voices_[v].step; }
  std::int64_t Counter(int v) const { return voices_[v].counter; }
  std::uint32_t WriteIndex(int v) const { return voices_[v].write; }
  double FilterState(int v) const { return voices_[v].state; }
  bool HasLines() const { return lines_ != nullptr; }

 private:
  // Each line is kept twice, the copy right after it: the sample after the end (the start's
  // copy) spares the interpolated read a wrap, and reads up to a turn past the end need
  // none either.
  static constexpr std::uint32_t kLineStride = 2 * kLineLength;

  struct Voice {
    double* line = nullptr;    // kLineLength samples and their copy
    double* sines = nullptr;     // sin(k x step) for k below sinesLength; 0.0: not yet
    std::int64_t sinesLength = 0;
    std::int64_t sinesUsed = 0;  // entries [0, sinesUsed) may hold values
    std::int64_t sinesFilled = 0;  // entries computed so far (all when period - 1)
    double sinesStep = 0.0;      // the step the table's values belong to
    std::uint32_t write = 0;
    std::int64_t baseDelay = 0;  // D_v
    std::int64_t counter = 0;
    std::int64_t period = 0;     // P_v
    double step = 0.0;
    double state = 0.0;          // the high-cut filter's last output
  };

  bool TakeSnapshot() override { return params_.Take(&taken_); }
  // With `keep`, in full when a re-initialisation is due, else partially; without, in full.
  HResult ApplySnapshot(bool keep) override;
  bool Ready() const override { return valid_ && lines_ != nullptr; }
  // Full initialisation: lines cleared (created first when missing), every derived value.
  HResult Initialise(const ChorusParams& p);
  // Partial update: gains, levels, feedback, oscillator periods, high-cut and depth; the
  // voice count, the delays, the lines, the write positions, filters and counters stay.
  void Update(const ChorusParams& p);
  void DeriveCommon(const ChorusParams& p);
  void DeriveOscillators(const ChorusParams& p);
  // Creates the lines and the sine tables, sized for the block's periods.
  bool Allocate(const ChorusParams& p);
  std::int64_t PeriodOf(int voice, std::int32_t modulationRate) const;

  template <class Codec>
  HResult Loop(int mode, typename Codec::Stored* buffer, std::uint32_t* frames, bool limited);
  template <class Codec, int kChannels>
  void Run(typename Codec::Stored* buffer, std::uint32_t frames);

  double gIn_ = 0.0;
  double gDry_ = 0.0;
  double level_ = 0.0;  // L, negated with InvertChorusPhase
  double panL_ = 0.0;
  double panR_ = 0.0;
  double wet_[kVoices] = {};
  double fb_ = 0.0;
  OnePole highCut_;
  std::int64_t delay_ = 0;  // D
  std::int64_t depth_ = 0;  // E
  int voiceCount_ = 1;
  // The voice count and delay of the last full initialisation: a block whose values differ
  // always initialises in full, even when its re-initialise flag was taken with an older
  // block.
  std::int32_t appliedSize_ = -1;
  std::int32_t appliedDelay_ = -1;
  Voice voices_[kVoices];
  SampleArray lines_;
  SampleArray sines_;
  ChorusParams taken_{};
};

}  // namespace mw
