#include "core/effects/catalog.h"

#include <cstring>

#include "core/effects/chorus/chorus.h"
#include "core/effects/delay/simple_delay.h"
#include "core/effects/multitap/multi_tap_delay.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/effects/reverb/reverb.h"
#include "core/effects/stretch/time_stretch.h"

namespace mw {
namespace {

std::unique_ptr<EffectEngine> NewSimpleDelay() { return std::make_unique<SimpleDelayEngine>(); }
std::unique_ptr<EffectEngine> NewChorus() { return std::make_unique<ChorusEngine>(); }
std::unique_ptr<EffectEngine> NewMultiTap() { return std::make_unique<MultiTapEngine>(); }
std::unique_ptr<EffectEngine> NewReverb() { return std::make_unique<ReverbEngine>(); }
std::unique_ptr<CopyingEngine> NewPitchShift() { return std::make_unique<PitchShiftEngine>(); }
std::unique_ptr<CopyingEngine> NewTimeStretch() { return std::make_unique<TimeStretchEngine>(); }

const CatalogEntry kEntries[] = {
    {"delay", "Marrowind Simple Delay", &kSimpleDelayInfo, &NewSimpleDelay, nullptr},
    {"chorus", "Marrowind Chorus", &kChorusInfo, &NewChorus, nullptr},
    {"reverb", "Marrowind Reverb", &kReverbInfo, &NewReverb, nullptr},
    {"multitap", "Marrowind Multi-Tap Delay", &kMultiTapInfo, &NewMultiTap, nullptr},
    {"pitch", "Marrowind Pitch Shift", &kPitchShiftInfo, nullptr, &NewPitchShift},
    {"stretch", "Marrowind Time Stretch", &kTimeStretchInfo, nullptr, &NewTimeStretch},
};

}  // namespace

const CatalogEntry* Catalog(std::size_t* count) {
  *count = sizeof kEntries / sizeof kEntries[0];
  return kEntries;
}

const CatalogEntry* FindEffect(const char* cliName) {
  for (const CatalogEntry& e : kEntries) {
    if (std::strcmp(e.cliName, cliName) == 0) return &e;
  }
  return nullptr;
}

std::unique_ptr<InPlaceEffect> CreateEffect(const CatalogEntry& entry) {
  if (entry.info == nullptr || entry.createEngine == nullptr) return nullptr;
  return std::make_unique<InPlaceEffect>(*entry.info, entry.createEngine());
}

std::unique_ptr<Effect> CreateAnyEffect(const CatalogEntry& entry) {
  if (entry.info != nullptr && entry.createCopyingEngine != nullptr) {
    return std::make_unique<CopyingEffect>(*entry.info, entry.createCopyingEngine());
  }
  return CreateEffect(entry);
}

}  // namespace mw
