// The six effect filter classes: their registration data and creation functions.
#pragma once

#include <windows.h>

#include "win/dshow/com.h"
#include "win/dshow/registration.h"

namespace mw {

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

HRESULT CreateTimeStretchFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreatePitchShiftFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateSimpleDelayFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateMultiTapFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateReverbFilter(IUnknown* outer, ds::UnknownBase** object);
HRESULT CreateChorusFilter(IUnknown* outer, ds::UnknownBase** object);

}  // namespace mw
