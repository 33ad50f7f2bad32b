#include "effects/inplace_effect.h"

namespace mw {

InPlaceEffect::InPlaceEffect(const EffectInfo& info, std::unique_ptr<EffectEngine> engine)
    : info_(info), engine_(std::move(engine)), frame_(*engine_) {
  info_.presets.Apply(Params(), 0);
}

HResult InPlaceEffect::GetFormat(std::uint8_t out[EffectFormat::kBytes]) const {
  if (out == nullptr) return E_POINTER;
  const EffectFormat* f = engine_->Format();
  if (f == nullptr) return VFW_E_NOT_CONNECTED;
  f->ToBytes(out);
  return S_OK;
}

}  // namespace mw
