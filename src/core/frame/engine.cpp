#include "core/frame/engine.h"

namespace mw {

HResult DispatchLoop(EffectEngine& engine, const EffectFormat& format, int mode, void* data,
                     std::uint32_t* frames) {
  SampleFormat f;
  if (!format.Sample(&f)) return E_UNEXPECTED;
  switch (f) {
    case SampleFormat::Pcm16:
      return engine.ProcessPcm16(mode, static_cast<std::int16_t*>(data), frames);
    case SampleFormat::Pcm32:
      return engine.ProcessPcm32(mode, static_cast<std::int32_t*>(data), frames);
    case SampleFormat::Pcm8:
      return engine.ProcessPcm8(mode, static_cast<std::uint8_t*>(data), frames);
    case SampleFormat::Float32:
      return engine.ProcessFloat32(mode, static_cast<float*>(data), frames, false);
    case SampleFormat::Float64:
      return engine.ProcessFloat64(mode, static_cast<double*>(data), frames);
  }
  return E_UNEXPECTED;
}

}  // namespace mw
