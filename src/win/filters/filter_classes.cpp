#include "win/filters/filter_classes.h"

#include <dshow.h>

#include "mwppack1/mwppack1.h"

namespace mw {
namespace {

constexpr DWORD kMeritDoNotUse = 0x200000;

const REGPINTYPES kAudioTypes[] = {{&MEDIATYPE_Audio, &GUID_NULL}};

// Both pins of every filter, as the filter mapper records them.
const REGFILTERPINS kAudioPins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, L"Output", 1,
     kAudioTypes},
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, L"Input", 1,
     kAudioTypes},
};

}  // namespace

const CopyingSetups kCopyingSetups = {
    {&CLSID_MwTimeStretch, L"Marrowind Time Stretch", kMeritDoNotUse, 2, kAudioPins},
    {&CLSID_MwPitchShift, L"Marrowind Pitch Shift", kMeritDoNotUse, 2, kAudioPins},
};

const InPlaceSetups kInPlaceSetups = {
    {&CLSID_MwSimpleDelay, L"Marrowind Simple Delay", kMeritDoNotUse, 2, kAudioPins},
    {&CLSID_MwMultiTapDelay, L"Marrowind Multi-Tap Delay", kMeritDoNotUse, 2, kAudioPins},
    {&CLSID_MwReverb, L"Marrowind Reverb", kMeritDoNotUse, 2, kAudioPins},
    {&CLSID_MwChorus, L"Marrowind Chorus", kMeritDoNotUse, 2, kAudioPins},
};

}  // namespace mw
