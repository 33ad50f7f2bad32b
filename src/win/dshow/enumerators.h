// The enumerators a filter hands out: its pins, and the media types a pin proposes. Each
// holds a reference to what it enumerates and walks it by position, so a clone continues
// from where its original stands.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace mw::ds {

class BaseFilter;
class BasePin;

// A new enumerator with one reference for the caller; E_POINTER or E_OUTOFMEMORY.
HRESULT NewPinEnumerator(BaseFilter* filter, IEnumPins** out);
HRESULT NewMediaTypeEnumerator(BasePin* pin, IEnumMediaTypes** out);

}  // namespace mw::ds
