// One in-place effect as its filter sees it: the engine with its parameter store and the
// streaming frame, besides what every effect has.
#pragma once

#include <cstdint>
#include <memory>

#include "core/effects/effect.h"
#include "core/frame/engine.h"
#include "core/frame/inplace_frame.h"

namespace mw {

class InPlaceEffect final : public Effect {
 public:
  // Applies preset 0, as a new filter does.
  InPlaceEffect(const EffectInfo& info, std::unique_ptr<EffectEngine> engine);

  EffectEngine& Engine() { return *engine_; }
  InPlaceFrame& Frame() { return frame_; }

  // The 18-byte wave format; VFW_E_NOT_CONNECTED while the engine has none.
  HResult GetFormat(std::uint8_t out[EffectFormat::kBytes]) const;

  HResult Connect(const std::uint8_t* formatBlock, std::uint32_t bytes) override;
  HResult RunWholeStream(std::uint32_t inFrames, std::uint32_t outFrames,
                         const StreamSource& source, const SinkDownstream::Sink& sink) override;

 private:
  std::unique_ptr<EffectEngine> engine_;
  InPlaceFrame frame_;
};

}  // namespace mw
