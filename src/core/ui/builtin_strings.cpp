#include "core/ui/builtin_strings.h"

#include <cstddef>

namespace mw {
namespace {

struct Entry {
  std::uint32_t id;
  const char* text;
};

constexpr Entry kStrings[] = {
#define MW_UI_STRING(id, text) {id, text},
#include "core/ui/ui_strings.inc"
#undef MW_UI_STRING
};
constexpr std::size_t kCount = sizeof kStrings / sizeof kStrings[0];

constexpr bool SortedAndUnique() {
  for (std::size_t i = 1; i < kCount; ++i)
    if (kStrings[i - 1].id >= kStrings[i].id) return false;
  return true;
}
static_assert(SortedAndUnique(), "ui_strings.inc must be sorted by identifier, without repeats");

}  // namespace

const char* BuiltinUiString(std::uint32_t id) {
  std::size_t lo = 0, hi = kCount;
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (kStrings[mid].id == id) return kStrings[mid].text;
    if (kStrings[mid].id < id) lo = mid + 1; else hi = mid;
  }
  return "";
}

}  // namespace mw
