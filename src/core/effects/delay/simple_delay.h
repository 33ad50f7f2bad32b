// Simple Delay: one delayed copy of the input added to the attenuated input, optionally
// repeated with a feedback that decays to about -30 dB over the decay time. The channels
// share one interleaved delay line.
#pragma once

#include <cstdint>

#include "core/effects/effect_description.h"
#include "core/frame/engine.h"
#include "core/frame/sample_memory.h"
#include "mwppack1/params.h"

namespace mw {

extern const EffectDescription kSimpleDelay;

class SimpleDelayEngine final : public EffectEngine {
 public:
  static constexpr std::int32_t kLevelFloor = -800;
  // A change ends the tail at that buffer (the tail counts are those of the line's creation).
  static constexpr BufferPolicy kBufferPolicy = {TailRule::kEndsOnChange,
                                                 ResetRule::kDropsHistory};

  SimpleDelayEngine();

  HResult Free() override;

  MW_DECLARE_FORMAT_LOOPS

  // Working values, for inspection.
  double Wet() const { return wet_; }
  double Dry() const { return dry_; }
  double Fb() const { return fb_; }
  std::uint32_t LineLength() const { return lineLength_; }
  std::uint32_t TailSamples() const { return tailSamples_; }
  std::uint32_t TailRemaining(int channel) const { return channels_[channel].tailRemaining; }
  bool HasLine() const { return line_ != nullptr; }

 private:
  struct Channel {
    std::uint32_t position = 0;
    std::uint32_t tailRemaining = 0;
  };

  // What one sample step needs, copied into locals for the length of a buffer.
  struct Working {
    double* line;
    std::uint32_t length;
    std::uint32_t channels;
    double wet, dry, fb;
  };
  // One sample of channel c at position pos of the line: the stored echo plus the dry
  // input; the line keeps the input plus the fed-back echo.
  static double ProcessSample(const Working& w, double x, std::uint32_t c, std::uint32_t& pos) {
    const double out = w.line[pos] * w.wet + x * w.dry;
    w.line[pos] = w.fb * w.line[pos] + x;
    pos += w.channels;
    if (pos >= w.length) pos = c;
    return out;
  }

  // Derives the working values; with `keep`, history in an unchanged-size line survives.
  HResult Setup(const SimpleDelayParams& p, bool keep);

  bool TakeSnapshot() override { return params_.Take(&taken_); }
  HResult ApplySnapshot(bool keep) override { return Setup(taken_, keep); }
  std::size_t LargestSampleCount() const override;
  bool Ready() const override { return valid_ && line_ != nullptr; }
  // Interleaved samples, as the line counts them: the tail with feedback, else the line.
  std::int64_t CountDownStart() const override {
    return fb_ != 0.0 ? tailSamples_ : lineLength_;
  }

  template <class Codec>
  HResult Loop(int mode, typename Codec::Stored* buffer, std::uint32_t* frames, bool limited);

  SimpleDelayParams taken_{};

  double wet_ = 0.0;
  double dry_ = 0.0;
  double fb_ = 0.0;
  std::uint32_t lineLength_ = 0;
  std::uint32_t tailSamples_ = 0;
  SampleArray line_;
  std::size_t lineCapacity_ = 0;
  Channel channels_[2];
};

}  // namespace mw
