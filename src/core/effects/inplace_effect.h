// One in-place effect as its filter sees it: the engine with its parameter store and the
// streaming frame, besides what every effect has.
#pragma once

#include <cstdint>

#include "core/effects/effect.h"
#include "core/frame/engine.h"
#include "core/frame/inplace_frame.h"

namespace mw {

class InPlaceEffect final : public EffectWithFrame<EffectEngine, InPlaceFrame> {
 public:
  explicit InPlaceEffect(const EffectDescription& description)
      : EffectWithFrame(description, description.createEngine()) {}

  // The 18-byte wave format; VFW_E_NOT_CONNECTED while the engine has none.
  HResult GetFormat(std::uint8_t out[EffectFormat::kBytes]) const;

  HResult RunWholeStream(std::uint32_t inFrames, std::uint32_t outFrames,
                         const StreamSource& source, const SinkDownstream::Sink& sink) override;
};

}  // namespace mw
