#include "win/filters/filter_classes.h"

#include <dshow.h>

#include <string>

#include "core/effects/chorus/chorus.h"
#include "core/effects/delay/simple_delay.h"
#include "core/effects/multitap/multi_tap_delay.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/effects/reverb/reverb.h"
#include "core/effects/stretch/time_stretch.h"

namespace mw {
namespace {

constexpr DWORD kMeritDoNotUse = 0x200000;

const REGPINTYPES kAudioTypes[] = {{&MEDIATYPE_Audio, &GUID_NULL}};

const REGFILTERPINS kAudioPins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, L"Output", 1,
     kAudioTypes},
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, L"Input", 1,
     kAudioTypes},
};

const FilterClass kFilterClasses[] = {
    {&kTimeStretch, &CreateTimeStretchFilter}, {&kPitchShift, &CreatePitchShiftFilter},
    {&kSimpleDelay, &CreateSimpleDelayFilter}, {&kMultiTap, &CreateMultiTapFilter},
    {&kReverb, &CreateReverbFilter},           {&kChorus, &CreateChorusFilter},
};
constexpr std::size_t kFilterCount = sizeof kFilterClasses / sizeof kFilterClasses[0];

struct Setups {
  std::wstring names[kFilterCount];
  ds::FilterSetup setups[kFilterCount];

  Setups() {
    for (std::size_t i = 0; i < kFilterCount; ++i) {
      const EffectDescription& e = *kFilterClasses[i].effect;
      // The names are ASCII.
      for (const char* c = e.filterName; *c != '\0'; ++c) names[i] += static_cast<wchar_t>(*c);
      setups[i] = {&AsGuid(e.filterClsid), names[i].c_str(), kMeritDoNotUse, 2, kAudioPins};
    }
  }
};

// Built once, on first use, and constant afterwards.
const Setups& AllSetups() {
  static const Setups setups;
  return setups;
}

}  // namespace

const FilterClass* FilterClasses(std::size_t* count) {
  *count = kFilterCount;
  return kFilterClasses;
}

const ds::FilterSetup* FilterSetupOf(const EffectDescription& effect) {
  for (std::size_t i = 0; i < kFilterCount; ++i) {
    if (kFilterClasses[i].effect == &effect) return &AllSetups().setups[i];
  }
  return nullptr;
}

}  // namespace mw
