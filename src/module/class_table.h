// The module's classes: names, class identifiers, creation functions and, for filters,
// their registration data.
#pragma once

#include <windows.h>

#include "dshow/com.h"
#include "dshow/registration.h"

namespace mw {

using CreateFunction = HRESULT (*)(IUnknown* outer, ds::UnknownBase** object);

struct ClassEntry {
  const wchar_t* name;
  const CLSID* clsid;
  CreateFunction create;
  const ds::FilterSetup* setup;  // null for pages
};

// The registration data of the filters: all have the same pins, "Input" and "Output",
// for audio.
struct CopyingSetups {
  ds::FilterSetup timeStretch;
  ds::FilterSetup pitchShift;
};
extern const CopyingSetups kCopyingSetups;

struct InPlaceSetups {
  ds::FilterSetup simpleDelay;
  ds::FilterSetup multiTap;
  ds::FilterSetup reverb;
  ds::FilterSetup chorus;
};
extern const InPlaceSetups kInPlaceSetups;

const ClassEntry* ClassTable(int* count);
const ClassEntry* FindClass(const CLSID& clsid);

HRESULT CreateTimeStretchFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreatePitchShiftFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateSimpleDelayFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateMultiTapFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateReverbFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateChorusFilter(IUnknown* outer, ds::UnknownBase** object);

}  // namespace mw
