// One in-place effect as its filter sees it: the engine with its parameter store, the
// streaming frame, the persisted record and the preset table. The component shell wraps
// this object in the filter's interfaces; the command-line host drives it directly.
#pragma once

#include <cstdint>
#include <memory>

#include "effects/effect_info.h"
#include "frame/engine.h"
#include "frame/inplace_frame.h"
#include "frame/persistence.h"

namespace mw {

class InPlaceEffect {
 public:
  // Applies preset 0, as a new filter does.
  InPlaceEffect(const EffectInfo& info, std::unique_ptr<EffectEngine> engine);

  const EffectInfo& Info() const { return info_; }
  EffectEngine& Engine() { return *engine_; }
  ParamStore& Params() { return engine_->Params(); }
  InPlaceFrame& Frame() { return frame_; }

  // The 18-byte wave format; VFW_E_NOT_CONNECTED while the engine has none.
  HResult GetFormat(std::uint8_t out[EffectFormat::kBytes]) const;

  HResult IsDirty() const { return engine_->Params().Dirty() ? S_OK : S_FALSE; }
  HResult Load(ByteStream& stream) { return LoadRecord(info_.record, Params(), stream); }
  HResult Save(ByteStream& stream, bool clearDirty) {
    return SaveRecord(info_.record, Params(), stream, clearDirty);
  }
  std::uint32_t SizeMax() const { return RecordSize(engine_->Params()); }

  std::int32_t PresetCount() const { return info_.presets.Count(); }
  HResult PresetName(std::int32_t index, const char** name) const {
    return info_.presets.Name(index, name);
  }
  HResult ApplyPreset(std::int32_t index) { return info_.presets.Apply(Params(), index); }

 private:
  const EffectInfo& info_;
  std::unique_ptr<EffectEngine> engine_;
  InPlaceFrame frame_;
};

}  // namespace mw
