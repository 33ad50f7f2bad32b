#include "win/module/class_table.h"

#include <dshow.h>

#include "mwppack1/mwppack1.h"

namespace mw {
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
