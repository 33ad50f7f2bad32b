#include "win/module/class_table.h"

#include <vector>

namespace mw {
namespace {

// One entry per effect filter, derived from the filter classes. The settings pages are not
// served yet; an identifier not listed answers CLASS_E_CLASSNOTAVAILABLE.
std::vector<ClassEntry> BuildTable() {
  std::size_t count = 0;
  const FilterClass* filters = FilterClasses(&count);
  std::vector<ClassEntry> table;
  for (std::size_t i = 0; i < count; ++i) {
    const ds::FilterSetup* setup = FilterSetupOf(*filters[i].effect);
    table.push_back({setup->name, setup->clsid, filters[i].create, setup});
  }
  return table;
}

const std::vector<ClassEntry>& Table() {
  static const std::vector<ClassEntry> table = BuildTable();
  return table;
}

}  // namespace

const ClassEntry* ClassTable(int* count) {
  *count = static_cast<int>(Table().size());
  return Table().data();
}

const ClassEntry* FindClass(const CLSID& clsid) {
  for (const ClassEntry& e : Table()) {
    if (IsEqualCLSID(*e.clsid, clsid)) return &e;
  }
  return nullptr;
}

}  // namespace mw
