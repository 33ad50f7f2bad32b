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

const EffectDescription* const kEntries[] = {
    &kSimpleDelay, &kChorus, &kReverb, &kMultiTap, &kPitchShift, &kTimeStretch,
};

}  // namespace

const EffectDescription* const* Catalog(std::size_t* count) {
  *count = sizeof kEntries / sizeof kEntries[0];
  return kEntries;
}

const EffectDescription* FindEffect(const char* cliName) {
  for (const EffectDescription* e : kEntries) {
    if (std::strcmp(e->cliName, cliName) == 0) return e;
  }
  return nullptr;
}

std::unique_ptr<Effect> CreateEffect(const EffectDescription& effect) {
  if (effect.kind == EffectKind::kCopying) return std::make_unique<CopyingEffect>(effect);
  return std::make_unique<InPlaceEffect>(effect);
}

}  // namespace mw
