// The settings pages' tables, by effect.
#pragma once

#include <cstddef>

#include "core/effects/effect_description.h"
#include "core/ui/pages/page_binding.h"

namespace mw {

extern const pages::PageTable kSimpleDelayPage;
extern const pages::PageTable kChorusPage;
extern const pages::PageTable kReverbPage;
extern const pages::PageTable kMultiTapPage;
extern const pages::PageTable kPitchShiftPage;
extern const pages::PageTable kTimeStretchPage;

namespace pages {

// The pages there are, in the catalog's order of their effects.
const PageTable* const* PageTables(std::size_t* count);
// Null for an effect whose page is not there.
const PageTable* FindPageTable(const EffectDescription& effect);

}  // namespace pages
}  // namespace mw
