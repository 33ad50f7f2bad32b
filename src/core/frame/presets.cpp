#include "core/frame/presets.h"

#include <cstring>

namespace mw {

std::uint32_t PresetTable::NameId(std::int32_t index) const {
  std::uint32_t id;
  std::memcpy(&id, static_cast<const std::uint8_t*>(rows_) + stride_ * index, sizeof id);
  return id;
}

const void* PresetTable::Block(std::int32_t index) const {
  return static_cast<const std::uint8_t*>(rows_) + stride_ * index + blockOffset_;
}

HResult PresetTable::Apply(ParamStore& store, std::int32_t index) const {
  if (!Valid(index)) return E_INVALIDARG;
  const HResult hr = store.SetParameters(Block(index));
  if (Failed(hr)) return hr;
  store.Notify(ParamStore::kCodeReloaded);
  return S_OK;
}

}  // namespace mw
