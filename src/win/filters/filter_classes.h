// The six effect filter classes in registration order, with their registration data, all
// derived from the effects' descriptions.
#pragma once

#include <windows.h>

#include <cstddef>

#include "core/effects/effect_description.h"
#include "win/dshow/com.h"
#include "win/dshow/registration.h"

namespace mw {

// The core's identifiers in the platform's type (the same 16-byte layout).
inline const GUID& AsGuid(const Guid& g) {
  static_assert(sizeof(GUID) == sizeof(Guid), "a GUID is 16 bytes");
  return *reinterpret_cast<const GUID*>(&g);
}

using CreateFunction = HRESULT (*)(IUnknown* outer, ds::UnknownBase** object);

struct FilterClass {
  const EffectDescription* effect;
  CreateFunction create;
};

// Time Stretch, Pitch Shift, Simple Delay, Multi-Tap Delay, Reverb, Chorus.
const FilterClass* FilterClasses(std::size_t* count);

// The filter mapper's record of an effect's filter: its class, its name, and the same two
// audio pins, "Input" and "Output", for every filter. Null for an effect without a filter.
const ds::FilterSetup* FilterSetupOf(const EffectDescription& effect);

HRESULT CreateTimeStretchFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreatePitchShiftFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateSimpleDelayFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateMultiTapFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateReverbFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateChorusFilter(IUnknown* outer, ds::UnknownBase** object);

}  // namespace mw
