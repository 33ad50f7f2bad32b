#include "effects/catalog.h"

#include <cstring>

#include "effects/chorus/chorus.h"
#include "effects/delay/simple_delay.h"
#include "effects/multitap/multi_tap_delay.h"
#include "effects/reverb/reverb.h"

namespace mw {
namespace {

std::unique_ptr<EffectEngine> NewSimpleDelay() { return std::make_unique<SimpleDelayEngine>(); }
std::unique_ptr<EffectEngine> NewChorus() { return std::make_unique<ChorusEngine>(); }
std::unique_ptr<EffectEngine> NewMultiTap() { return std::make_unique<MultiTapEngine>(); }
std::unique_ptr<EffectEngine> NewReverb() { return std::make_unique<ReverbEngine>(); }

const CatalogEntry kEntries[] = {
    {"delay", "Marrowind Simple Delay", &kSimpleDelayInfo, &NewSimpleDelay},
    {"chorus", "Marrowind Chorus", &kChorusInfo, &NewChorus},
    {"reverb", "Marrowind Reverb", &kReverbInfo, &NewReverb},
    {"multitap", "Marrowind Multi-Tap Delay", &kMultiTapInfo, &NewMultiTap},
    {"pitch", "Marrowind Pitch Shift", nullptr, nullptr},
    {"stretch", "Marrowind Time Stretch", nullptr, nullptr},
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

}  // namespace mw
