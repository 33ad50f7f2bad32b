#include "win/ui/pages/page_classes.h"

#include <new>
#include <vector>

#include "core/effects/chorus/chorus.h"
#include "core/effects/delay/simple_delay.h"
#include "core/effects/multitap/multi_tap_delay.h"
#include "core/effects/reverb/reverb.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/effects/stretch/time_stretch.h"
#include "core/ui/pages/page_catalog.h"
#include "win/ui/pages/effect_property_page.h"
#include "win/ui/pages/tap_graph_window.h"

namespace mw::ui {
namespace {

template <const pages::PageTable& table, const PageWindowHooks* windowHooks = nullptr>
HRESULT CreatePage(IUnknown* outer, ds::UnknownBase** object) {
  *object = new (std::nothrow) EffectPropertyPage(outer, table, windowHooks);
  return *object != nullptr ? S_OK : E_OUTOFMEMORY;
}

const PageClass kPageClasses[] = {
    {&kSimpleDelay, &CreatePage<kSimpleDelayPage>},
    {&kReverb, &CreatePage<kReverbPage>},
    {&kChorus, &CreatePage<kChorusPage>},
    {&kMultiTap, &CreatePage<kMultiTapPage, &kTapGraphWindowHooks>},
    {&kPitchShift, &CreatePage<kPitchShiftPage>},
    {&kTimeStretch, &CreatePage<kTimeStretchPage>},
};

}  // namespace

const PageClass* PageClasses(std::size_t* count) {
  *count = sizeof kPageClasses / sizeof kPageClasses[0];
  return kPageClasses;
}

const PageClass* FindPageClass(const EffectDescription& effect) {
  for (const PageClass& c : kPageClasses) {
    if (c.effect == &effect) return &c;
  }
  return nullptr;
}

}  // namespace mw::ui
