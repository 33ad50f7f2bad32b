#include "core/effects/inplace_effect.h"

namespace mw {

InPlaceEffect::InPlaceEffect(const EffectInfo& info, std::unique_ptr<EffectEngine> engine)
    : Effect(info, engine->Params()), engine_(std::move(engine)), frame_(*engine_) {
  ApplyPreset(0);
}

HResult InPlaceEffect::GetFormat(std::uint8_t out[EffectFormat::kBytes]) const {
  if (out == nullptr) return E_POINTER;
  const EffectFormat* f = engine_->Format();
  if (f == nullptr) return VFW_E_NOT_CONNECTED;
  f->ToBytes(out);
  return S_OK;
}

HResult InPlaceEffect::Connect(const std::uint8_t* formatBlock, std::uint32_t bytes) {
  HResult hr = frame_.SetMediaType(kPinInput, formatBlock, bytes);
  if (Succeeded(hr)) hr = frame_.SetMediaType(kPinOutput, formatBlock, bytes);
  return hr;
}

HResult InPlaceEffect::RunWholeStream(std::uint32_t inFrames, std::uint32_t,
                                      const StreamSource& source,
                                      const SinkDownstream::Sink& sink) {
  return RunStream(frame_, inFrames, source, sink);
}

}  // namespace mw
