#include "core/ui/pages/page_catalog.h"

namespace mw::pages {
namespace {

const PageTable* const kPages[] = {
    &kSimpleDelayPage, &kChorusPage, &kReverbPage, &kMultiTapPage, &kPitchShiftPage,
    &kTimeStretchPage,
};

}  // namespace

const PageTable* const* PageTables(std::size_t* count) {
  *count = sizeof kPages / sizeof kPages[0];
  return kPages;
}

const PageTable* FindPageTable(const EffectDescription& effect) {
  for (const PageTable* page : kPages) {
    if (page->effect == &effect) return page;
  }
  return nullptr;
}

}  // namespace mw::pages
