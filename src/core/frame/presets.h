// Built-in presets: named, complete parameter blocks in a constant table per effect.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/frame/hresult.h"
#include "core/frame/param_store.h"

namespace mw {

template <class Block>
struct PresetRow {
  std::uint32_t nameId;  // UI string identifier of the preset's name
  Block block;
};

class PresetTable {
 public:
  template <class Block, std::size_t N>
  constexpr explicit PresetTable(const PresetRow<Block> (&rows)[N])
      : rows_(rows), count_(N), stride_(sizeof(PresetRow<Block>)),
        blockOffset_(offsetof(PresetRow<Block>, block)) {}

  std::int32_t Count() const { return static_cast<std::int32_t>(count_); }
  bool Valid(std::int32_t index) const { return index >= 0 && index < Count(); }
  std::uint32_t NameId(std::int32_t index) const;
  const void* Block(std::int32_t index) const;

  // One SetParameters with the row's block, then the change notice with code 100.
  HResult Apply(ParamStore& store, std::int32_t index) const;

 private:
  const void* rows_;
  std::size_t count_;
  std::size_t stride_;
  std::size_t blockOffset_;
};

}  // namespace mw
