#include "win/module/class_table.h"

#include <string>
#include <vector>

#include "win/ui/pages/page_classes.h"

namespace mw {
namespace {

struct Table {
  std::vector<ClassEntry> entries;
  std::vector<std::wstring> pageNames;  // the pages' names as wide strings
};

// Each effect's filter, followed by its settings page when the page is there; the names,
// identifiers and registration data derive from the effects' descriptions.
Table BuildTable() {
  std::size_t count = 0;
  const FilterClass* filters = FilterClasses(&count);
  Table t;
  t.pageNames.reserve(count);  // the entries point into the names: no reallocation
  for (std::size_t i = 0; i < count; ++i) {
    const EffectDescription& effect = *filters[i].effect;
    const ds::FilterSetup* setup = FilterSetupOf(effect);
    t.entries.push_back({setup->name, setup->clsid, filters[i].create, setup});
    if (const ui::PageClass* page = ui::FindPageClass(effect)) {
      // The names are ASCII.
      const std::string name = effect.pageName;
      t.pageNames.emplace_back(name.begin(), name.end());
      t.entries.push_back({t.pageNames.back().c_str(), &AsGuid(effect.pageClsid), page->create,
                           nullptr});
    }
  }
  return t;
}

const std::vector<ClassEntry>& Entries() {
  static const Table table = BuildTable();
  return table.entries;
}

}  // namespace

const ClassEntry* ClassTable(int* count) {
  *count = static_cast<int>(Entries().size());
  return Entries().data();
}

const ClassEntry* FindClass(const CLSID& clsid) {
  for (const ClassEntry& e : Entries()) {
    if (IsEqualCLSID(*e.clsid, clsid)) return &e;
  }
  return nullptr;
}

}  // namespace mw
