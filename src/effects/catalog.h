// The six effects by their command-line names, and construction of those available.
#pragma once

#include <memory>

#include "effects/inplace_effect.h"

namespace mw {

struct CatalogEntry {
  const char* cliName;
  const char* displayName;
  const EffectInfo* info;  // null while the effect is not available in this build
  std::unique_ptr<EffectEngine> (*createEngine)();
};

const CatalogEntry* Catalog(std::size_t* count);
const CatalogEntry* FindEffect(const char* cliName);
// A new effect with preset 0 applied; null when the entry is not available.
std::unique_ptr<InPlaceEffect> CreateEffect(const CatalogEntry& entry);

}  // namespace mw
