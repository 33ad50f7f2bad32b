// Reverb: a bank of eight to ten feedback comb lines (two more in stereo) behind a one-pole
// high-cut and an optional resonant bass-cut on the input, a pre-delay on the comb bank's
// output, and a three-tap early-reflection line fed with the unfiltered input.
//
// A change of mode, early style or pre-delay (or a whole new block) rebuilds every line and
// restarts the reverberation silent; a change of levels, decay or filters is applied to the
// running lines and keeps the sound already in them.
#pragma once

#include <cstdint>

#include "core/dsp/delay_line.h"
#include "core/dsp/one_pole.h"
#include "core/effects/effect_description.h"
#include "core/effects/reverb/reverb_tables.h"
#include "core/frame/engine.h"
#include "core/frame/sample_memory.h"
#include "mwppack1/params.h"

namespace mw {

extern const EffectDescription kReverb;

class ReverbEngine final : public EffectEngine {
 public:
  static constexpr std::int32_t kLevelFloor = -800;
  static constexpr int kModeRows = kReverbModeRows;
  static constexpr int kStyleRows = kReverbStyleRows;
  // Records 0..9 are the mode's lines, 10 and 11 the two stereo extra lines.
  static constexpr int kMaxLines = 12;
  static constexpr int kExtraLeft = 10;
  static constexpr int kExtraRight = 11;

  // The tail runs on the settings it started with; a reset rebuilds every line, silent.
  static constexpr BufferPolicy kBufferPolicy = {TailRule::kRunsOnOldSettings,
                                                 ResetRule::kDropsHistory};

  ReverbEngine();

  HResult Free() override;

  MW_DECLARE_FORMAT_LOOPS

  // Working values, for inspection.
  double Dry() const { return dry_; }
  double Wet() const { return reverb_; }
  double Early() const { return early_; }
  double HighCut() const { return highCut_.a; }
  double BassC1() const { return bass_.c1; }
  double BassC2() const { return bass_.c2; }
  double BassG() const { return bass_.g; }
  int Mode() const { return mode_; }
  int Style() const { return style_; }
  int LineCount() const { return lineCount_; }
  bool LineUsed(int i) const { return lines_[i].buffer != nullptr; }
  std::uint32_t LineLength(int i) const { return lines_[i].length; }
  double LineGain(int i) const { return lines_[i].gain; }
  std::uint32_t PreDelayLength() const { return preLength_; }
  // The early taps after ordering: delays in samples (the last is the line's length) and
  // the gains of each output channel.
  std::uint32_t TapDelay(int k) const { return taps_[k].delay; }
  double TapGain(int k, int channel) const {
    return channel == 0 ? taps_[k].left : taps_[k].right;
  }
  std::uint32_t EarlyLength() const { return earlyLength_; }
  std::int64_t TailLength() const { return tailLength_; }
  std::int64_t TailRemaining() const { return tailRemaining_; }
  bool HasBuffers() const { return memory_ != nullptr; }

 private:
  // A comb line: the delay d_i its feedback gain is computed from, the gain, and the
  // high-cut state in its feedback path.
  struct Line : DelayLine {
    double seconds = 0.0;
    double gain = 0.0;
    double state = 0.0;
  };
  struct Tap {
    std::uint32_t delay = 0;
    double left = 0.0;  // the table's gain, panned
    double right = 0.0;
  };
  // The resonant low-pass whose output the bass-cut subtracts from its input.
  struct BassCut {
    bool on = false;
    double c1 = 0.0, c2 = 0.0, g = 0.0;
    double s1 = 0.0, s2 = 0.0;
  };
  // What a run of frames keeps in locals (reverb.cpp).
  struct Run;

  bool TakeSnapshot() override { return params_.Take(&taken_); }
  // Without `keep`, a full initialisation (new, silent lines) whatever the block holds.
  HResult ApplySnapshot(bool keep) override;
  std::size_t LargestSampleCount() const override;
  bool Ready() const override { return valid_ && Built(); }
  bool HasMemory() const override { return Built(); }
  std::int64_t CountDownStart() const override { return tailLength_; }
  // Lines built for the current format exist.
  bool Built() const {
    return memory_ != nullptr && format_ != nullptr && format_->nChannels == builtChannels_ &&
           format_->nSamplesPerSec == builtRate_;
  }

  // Applies a block: in full (new, silent lines) when the re-initialise flag is pending, the
  // lines are missing or the block's mode, style, pre-delay or the format differ from those
  // the lines were built for; otherwise as a partial update that keeps the sound.
  HResult Apply(const ReverbParams& p);
  // Builds every line anew (silent) for the block; on failure no line is left.
  HResult Initialize(const ReverbParams& p);

  void ApplyLevels(const ReverbParams& p);
  void ApplyDecay(const ReverbParams& p);
  void ApplyFilters(const ReverbParams& p);
  HResult Build(const ReverbParams& p);
  void ReleaseLines();

  template <class Codec>
  HResult Loop(int mode, typename Codec::Stored* buffer, std::uint32_t* frames, bool limited);
  // Mono or stereo frames, reading the input or feeding silence; P is F64x2 or PlainPair.
  template <class Codec, class P>
  void RunFrames(std::uint32_t channels, bool read, typename Codec::Stored* buffer,
                 std::uint32_t count);
  template <class Codec, class P, bool kReadInput>
  void RunMono(typename Codec::Stored* buffer, std::uint32_t frames);
  template <class Codec, class P, bool kReadInput>
  void RunStereo(typename Codec::Stored* buffer, std::uint32_t frames);

  // Levels.
  double dry_ = 0.0;
  double reverb_ = 0.0;
  double early_ = 0.0;
  // Input high-cut (also used in every line's feedback path) and bass-cut.
  OnePole highCut_;
  double inputState_ = 0.0;
  BassCut bass_;

  // What the lines were built for.
  int mode_ = 0;
  int style_ = 0;
  std::int32_t builtMode_ = 0;
  std::int32_t builtStyle_ = 0;
  std::int32_t builtPreDelay_ = 0;
  std::uint32_t builtChannels_ = 0;
  std::uint32_t builtRate_ = 0;

  int lineCount_ = 0;
  Line lines_[kMaxLines];
  // Pre-delay: frames of one sample per channel (a stereo frame's two side by side).
  double* preLine_ = nullptr;
  std::uint32_t preLength_ = 0;
  std::uint32_t prePosition_ = 0;
  // Early reflections: frames as in the pre-delay; the longest tap reads under the write
  // position.
  double* earlyLine_ = nullptr;
  std::uint32_t earlyLength_ = 0;
  std::uint32_t earlyWrite_ = 0;
  std::uint32_t earlyRead_[2] = {0, 0};
  Tap taps_[3];

  // All lines live in one zero-filled block.
  SampleArray memory_;
  std::uint64_t memorySamples_ = 0;
  std::size_t memoryCapacity_ = 0;

  std::int64_t tailLength_ = 0;     // trunc(decay) whole seconds of frames
  std::int64_t tailRemaining_ = 0;  // frames of tail still to produce
  ReverbParams taken_{};
};

}  // namespace mw
