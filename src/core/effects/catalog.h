// The six effects by their command-line names, and construction of those available.
#pragma once

#include <memory>

#include "core/effects/copying_effect.h"
#include "core/effects/inplace_effect.h"

namespace mw {

struct CatalogEntry {
  const char* cliName;
  const char* displayName;
  const EffectInfo* info;  // null while the effect is not available in this build
  // One of the two: the engine of an in-place effect, or of one that changes the length.
  std::unique_ptr<EffectEngine> (*createEngine)();
  std::unique_ptr<CopyingEngine> (*createCopyingEngine)();
};

const CatalogEntry* Catalog(std::size_t* count);
const CatalogEntry* FindEffect(const char* cliName);
// A new in-place effect with preset 0 applied; null when the entry is not available or
// changes the length.
std::unique_ptr<InPlaceEffect> CreateEffect(const CatalogEntry& entry);
// A new effect of either kind with preset 0 applied; null when not available.
std::unique_ptr<Effect> CreateAnyEffect(const CatalogEntry& entry);

}  // namespace mw
