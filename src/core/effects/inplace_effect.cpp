#include "core/effects/inplace_effect.h"

namespace mw {

HResult InPlaceEffect::GetFormat(std::uint8_t out[EffectFormat::kBytes]) const {
  if (out == nullptr) return E_POINTER;
  const EffectFormat* f = engine_->Format();
  if (f == nullptr) return VFW_E_NOT_CONNECTED;
  f->ToBytes(out);
  return S_OK;
}

HResult InPlaceEffect::RunWholeStream(std::uint32_t inFrames, std::uint32_t,
                                      const StreamSource& source,
                                      const SinkDownstream::Sink& sink) {
  return RunStream(frame_, inFrames, source, sink);
}

}  // namespace mw
