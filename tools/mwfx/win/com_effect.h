// The effect's filter object as the Windows host reaches it: created through the component
// registry when mwppack1.dll is registered, otherwise from the mwppack1.dll beside the
// program through its class factory; and its settings through the filter's interfaces.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <strmif.h>

#include <string>

#include "cli.h"
#include "core/effects/catalog.h"

struct IEffectPresets;

namespace mwfx {

// The class factory of `clsid` from the mwppack1.dll beside the program (which then stays
// loaded); on failure `error` says why.
HRESULT ModuleClassObject(const CLSID& clsid, IClassFactory** factory, std::string* error);

class ComEffect final : public EffectSettings {
 public:
  ComEffect() = default;
  ~ComEffect() override;
  ComEffect(const ComEffect&) = delete;
  ComEffect& operator=(const ComEffect&) = delete;

  // Creates the filter of the catalog entry; on failure `error` says why.
  bool Create(const mw::EffectDescription& entry, std::string* error);
  IBaseFilter* Filter() const { return filter_; }

  // EffectSettings
  std::int32_t PresetCount() override;
  std::string PresetName(std::int32_t index) override;
  mw::HResult ApplyPreset(std::int32_t index) override;
  mw::HResult Put(std::size_t field, std::int32_t value) override;
  mw::HResult PutDouble(std::size_t field, double value) override;
  mw::HResult Get(std::size_t field, std::int32_t* value) override;
  mw::HResult LoadRecord(const std::string& bytes) override;
  mw::HResult SaveRecord(std::string* bytes) override;
  std::uint32_t RecordSize() override;

 private:
  HRESULT CreateFromModule(const CLSID& clsid, std::string* error);
  bool IsDouble(std::size_t field) const;

  const mw::ParamTable* table_ = nullptr;
  IBaseFilter* filter_ = nullptr;
  IEffectPresets* presets_ = nullptr;
  IPersistStream* persist_ = nullptr;
  IUnknown* params_ = nullptr;
};

}  // namespace mwfx
