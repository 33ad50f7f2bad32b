#include "module/class_table.h"

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

namespace {

// Table order is registration order. The settings pages are not served yet; an identifier
// not listed answers CLASS_E_CLASSNOTAVAILABLE.
const ClassEntry kClasses[] = {
    {L"Marrowind Time Stretch", &CLSID_MwTimeStretch, &CreateTimeStretchFilter,
     &kCopyingSetups.timeStretch},
    {L"Marrowind Pitch Shift", &CLSID_MwPitchShift, &CreatePitchShiftFilter,
     &kCopyingSetups.pitchShift},
    {L"Marrowind Simple Delay", &CLSID_MwSimpleDelay, &CreateSimpleDelayFilter,
     &kInPlaceSetups.simpleDelay},
    {L"Marrowind Multi-Tap Delay", &CLSID_MwMultiTapDelay, &CreateMultiTapFilter,
     &kInPlaceSetups.multiTap},
    {L"Marrowind Reverb", &CLSID_MwReverb, &CreateReverbFilter, &kInPlaceSetups.reverb},
    {L"Marrowind Chorus", &CLSID_MwChorus, &CreateChorusFilter, &kInPlaceSetups.chorus},
};

}  // namespace

const ClassEntry* ClassTable(int* count) {
  *count = static_cast<int>(sizeof kClasses / sizeof kClasses[0]);
  return kClasses;
}

const ClassEntry* FindClass(const CLSID& clsid) {
  for (const ClassEntry& e : kClasses) {
    if (IsEqualCLSID(*e.clsid, clsid)) return &e;
  }
  return nullptr;
}

}  // namespace mw
