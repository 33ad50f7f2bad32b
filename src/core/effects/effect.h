// What every effect offers its hosts besides streaming: the parameter store, the persisted
// record and the preset table. The in-place and the copying effects add their engine and
// streaming frame; the component shell wraps them in the filter's interfaces and the
// command-line host drives them directly.
#pragma once

#include <cstdint>
#include <memory>

#include "core/effects/effect_description.h"
#include "core/frame/persistence.h"
#include "core/frame/stream_host.h"
#include "core/ui/builtin_strings.h"

namespace mw {

class Effect {
 public:
  Effect(const EffectDescription& description, ParamStore& params)
      : description_(description), params_(params) {}
  virtual ~Effect() = default;
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;

  const EffectDescription& Description() const { return description_; }
  ParamStore& Params() { return params_; }

  HResult IsDirty() const { return params_.Dirty() ? S_OK : S_FALSE; }
  HResult Load(ByteStream& stream) { return LoadRecord(description_.record, params_, stream); }
  HResult Save(ByteStream& stream, bool clearDirty) {
    return SaveRecord(description_.record, params_, stream, clearDirty);
  }
  std::uint32_t SizeMax() const { return RecordSize(params_); }

  std::int32_t PresetCount() const { return description_.presets.Count(); }
  // The UI string identifier of the row's name; E_INVALIDARG for an index out of range.
  HResult PresetNameId(std::int32_t index, std::uint32_t* id) const {
    if (id == nullptr) return E_POINTER;
    if (!description_.presets.Valid(index)) return E_INVALIDARG;
    *id = description_.presets.NameId(index);
    return S_OK;
  }
  // The row's name from the built-in UI texts (the module's own string table may override
  // them); E_INVALIDARG for an index out of range.
  HResult PresetName(std::int32_t index, const char** name) const {
    if (name == nullptr) return E_POINTER;
    std::uint32_t id = 0;
    const HResult hr = PresetNameId(index, &id);
    if (Succeeded(hr)) *name = BuiltinUiString(id);
    return hr;
  }
  HResult ApplyPreset(std::int32_t index) { return description_.presets.Apply(params_, index); }

  // A host without a filter graph: both sides take one accepted format block, then the
  // whole stream runs through (`outFrames` sizes the output buffers of effects that
  // change the length; in-place effects use `inFrames` for both).
  virtual HResult Connect(const std::uint8_t* formatBlock, std::uint32_t bytes) = 0;
  virtual HResult RunWholeStream(std::uint32_t inFrames, std::uint32_t outFrames,
                                 const StreamSource& source,
                                 const SinkDownstream::Sink& sink) = 0;

 private:
  const EffectDescription& description_;
  ParamStore& params_;
};

// An effect with its engine and streaming frame; preset 0 is applied at construction, as a
// new filter does.
template <class EngineType, class FrameType>
class EffectWithFrame : public Effect {
 public:
  EffectWithFrame(const EffectDescription& description, std::unique_ptr<EngineType> engine)
      : Effect(description, engine->Params()), engine_(std::move(engine)), frame_(*engine_) {
    ApplyPreset(0);
  }

  EngineType& Engine() { return *engine_; }
  FrameType& Frame() { return frame_; }

  HResult Connect(const std::uint8_t* formatBlock, std::uint32_t bytes) override {
    HResult hr = frame_.SetMediaType(kPinInput, formatBlock, bytes);
    if (Succeeded(hr)) hr = frame_.SetMediaType(kPinOutput, formatBlock, bytes);
    return hr;
  }

 protected:
  std::unique_ptr<EngineType> engine_;
  FrameType frame_;
};

}  // namespace mw
