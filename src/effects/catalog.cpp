#include "effects/catalog.h"

#include <cstring>

#include "effects/delay/simple_delay.h"

namespace mw {
namespace {

std::unique_ptr<EffectEngine> NewSimpleDelay() { return std::make_unique<SimpleDelayEngine>(); }

const CatalogEntry kEntries[] = {
    {"delay", "Marrowind Simple Delay", &kSimpleDelayInfo, &NewSimpleDelay},
    {"chorus", "Marrowind Chorus", nullptr, nullptr},
    {"reverb", "Marrowind Reverb", nullptr, nullptr},
    {"multitap", "Marrowind Multi-Tap Delay", nullptr, nullptr},
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
