// The six effects, found by their command-line names, and made from their descriptions.
#pragma once

#include <cstddef>
#include <memory>

#include "core/effects/copying_effect.h"
#include "core/effects/effect.h"
#include "core/effects/effect_description.h"
#include "core/effects/inplace_effect.h"

namespace mw {

// In the command line's order: delay, chorus, reverb, multitap, pitch, stretch.
const EffectDescription* const* Catalog(std::size_t* count);
// Null for a name that is not in the catalog.
const EffectDescription* FindEffect(const char* cliName);
// A new effect of the description's kind with preset 0 applied.
std::unique_ptr<Effect> CreateEffect(const EffectDescription& effect);

}  // namespace mw
