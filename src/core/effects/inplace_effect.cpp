#include "core/effects/inplace_effect.h"

namespace mw {

HResult InPlaceEffect::GetFormat(std::uint8_t out[EffectFormat::kBytes]) const {
  return frame_.GetFormat(out);
}

HResult InPlaceEffect::RunWholeStream(std::uint32_t inFrames, std::uint32_t,
                                      const StreamSource& source,
                                      const SinkDownstream::Sink& sink) {
  return RunStream(frame_, inFrames, source, sink);
}

}  // namespace mw
