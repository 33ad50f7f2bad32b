// What every effect offers its hosts besides streaming: the parameter store, the persisted
// record and the preset table. The in-place and the copying effects add their engine and
// streaming frame; the component shell wraps them in the filter's interfaces and the
// command-line host drives them directly.
#pragma once

#include <cstdint>

#include "core/effects/effect_info.h"
#include "core/frame/persistence.h"
#include "core/frame/stream_host.h"
#include "core/ui/builtin_strings.h"

namespace mw {

class Effect {
 public:
  Effect(const EffectInfo& info, ParamStore& params) : info_(info), params_(params) {}
  virtual ~Effect() = default;
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;

  const EffectInfo& Info() const { return info_; }
  ParamStore& Params() { return params_; }

  HResult IsDirty() const { return params_.Dirty() ? S_OK : S_FALSE; }
  HResult Load(ByteStream& stream) { return LoadRecord(info_.record, params_, stream); }
  HResult Save(ByteStream& stream, bool clearDirty) {
    return SaveRecord(info_.record, params_, stream, clearDirty);
  }
  std::uint32_t SizeMax() const { return RecordSize(params_); }

  std::int32_t PresetCount() const { return info_.presets.Count(); }
  // The row's name from the UI strings, in the module's ANSI code page; E_INVALIDARG for an
  // index out of range.
  HResult PresetName(std::int32_t index, const char** name) const {
    if (name == nullptr) return E_POINTER;
    if (!info_.presets.Valid(index)) return E_INVALIDARG;
    *name = BuiltinUiString(info_.presets.NameId(index));
    return S_OK;
  }
  HResult ApplyPreset(std::int32_t index) { return info_.presets.Apply(params_, index); }

  // A host without a filter graph: both sides take one accepted format block, then the
  // whole stream runs through (`outFrames` sizes the output buffers of effects that
  // change the length; in-place effects use `inFrames` for both).
  virtual HResult Connect(const std::uint8_t* formatBlock, std::uint32_t bytes) = 0;
  virtual HResult RunWholeStream(std::uint32_t inFrames, std::uint32_t outFrames,
                                 const StreamSource& source,
                                 const SinkDownstream::Sink& sink) = 0;

 private:
  const EffectInfo& info_;
  ParamStore& params_;
};

}  // namespace mw
