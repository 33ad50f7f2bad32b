// Time Stretch: makes the sound longer or shorter without changing its pitch. The output
// is FinalLength hundredths of a percent of the input (50 % to 500 %); all processing is
// the splice engine, run directly on the input with the ratio FinalLength / 10000.
#pragma once

#include <cstdint>

#include "core/effects/effect_description.h"
#include "core/dsp/splice_engine.h"
#include "core/frame/copying_engine.h"
#include "core/frame/sample_format.h"
#include "mwppack1/params.h"

namespace mw {

extern const EffectDescription kTimeStretch;

class TimeStretchEngine final : public CopyingEngine {
 public:
  TimeStretchEngine();

  HResult SetFormat(const EffectFormat* input, const EffectFormat* output) override;
  HResult Free() override;
  MW_DECLARE_COPYING_LOOPS

 private:
  bool TakeSnapshot() override { return params_.Take(&p_); }
  HResult Reset() override;
  HResult Setup() override;
  bool Ready() const override {
    return valid_ && (doublePrecision_ ? double_.Ready() : single_.Ready());
  }
  template <class Codec>
  HResult Loop(int mode, typename Codec::Stored* in, std::uint32_t* inFrames,
               typename Codec::Stored* out, std::uint32_t* outFrames);
  template <class T>
  SpliceCore<T>& Core();

  TimeStretchParams p_{};
  SampleFormat sample_ = SampleFormat::Pcm16;
  bool doublePrecision_ = false;
  bool structural_ = true;
  double ratio_ = 1.0;
  SpliceCore<float> single_;
  SpliceCore<double> double_;
};

}  // namespace mw
