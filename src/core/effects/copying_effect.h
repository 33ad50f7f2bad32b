// One effect whose output length differs from its input length, as its filter sees it:
// the engine with its parameter store and the copying streaming frame.
#pragma once

#include <cstdint>
#include <memory>

#include "core/effects/effect.h"
#include "core/frame/copying_engine.h"
#include "core/frame/copying_frame.h"

namespace mw {

class CopyingEffect final : public Effect {
 public:
  // Applies preset 0, as a new filter does.
  CopyingEffect(const EffectInfo& info, std::unique_ptr<CopyingEngine> engine);

  CopyingEngine& Engine() { return *engine_; }
  CopyingFrame& Frame() { return frame_; }

  HResult Connect(const std::uint8_t* formatBlock, std::uint32_t bytes) override;
  HResult RunWholeStream(std::uint32_t inFrames, std::uint32_t outFrames,
                         const StreamSource& source, const SinkDownstream::Sink& sink) override;

 private:
  std::unique_ptr<CopyingEngine> engine_;
  CopyingFrame frame_;
};

}  // namespace mw
