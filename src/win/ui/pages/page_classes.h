// The settings pages' component classes: one per effect whose page table exists, created
// through the module's class factories like the filters.
#pragma once

#include <windows.h>

#include <cstddef>

#include "core/effects/effect_description.h"
#include "win/dshow/com.h"

namespace mw::ui {

struct PageClass {
  const EffectDescription* effect;
  HRESULT (*create)(IUnknown* outer, ds::UnknownBase** object);
};

const PageClass* PageClasses(std::size_t* count);
// Null for an effect without a page.
const PageClass* FindPageClass(const EffectDescription& effect);

}  // namespace mw::ui
