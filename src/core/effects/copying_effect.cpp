#include "core/effects/copying_effect.h"

namespace mw {

CopyingEffect::CopyingEffect(const EffectInfo& info, std::unique_ptr<CopyingEngine> engine)
    : Effect(info, engine->Params()), engine_(std::move(engine)), frame_(*engine_) {
  ApplyPreset(0);
}

HResult CopyingEffect::Connect(const std::uint8_t* formatBlock, std::uint32_t bytes) {
  HResult hr = frame_.SetMediaType(kPinInput, formatBlock, bytes);
  if (Succeeded(hr)) hr = frame_.SetMediaType(kPinOutput, formatBlock, bytes);
  return hr;
}

HResult CopyingEffect::RunWholeStream(std::uint32_t inFrames, std::uint32_t outFrames,
                                      const StreamSource& source,
                                      const SinkDownstream::Sink& sink) {
  return RunCopyingStream(frame_, inFrames, outFrames, source, sink);
}

}  // namespace mw
