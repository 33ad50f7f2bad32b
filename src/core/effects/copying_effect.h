// One effect whose output length differs from its input length, as its filter sees it:
// the engine with its parameter store and the copying streaming frame.
#pragma once

#include <cstdint>

#include "core/effects/effect.h"
#include "core/frame/copying_engine.h"
#include "core/frame/copying_frame.h"

namespace mw {

class CopyingEffect final : public EffectWithFrame<CopyingEngine, CopyingFrame> {
 public:
  explicit CopyingEffect(const EffectDescription& description)
      : EffectWithFrame(description, description.createCopyingEngine()) {}

  HResult RunWholeStream(std::uint32_t inFrames, std::uint32_t outFrames,
                         const StreamSource& source, const SinkDownstream::Sink& sink) override;
};

}  // namespace mw
