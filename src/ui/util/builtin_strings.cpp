#include "ui/util/builtin_strings.h"

#include <cstddef>

namespace mw {
namespace {

struct Entry {
  std::uint32_t id;
  const char* text;
};

// Sorted by identifier.
constexpr Entry kStrings[] = {
    {1020, "(Default)"},
    {1021, "Default all parameters"},
    {1068, "Echo chamber"},
    {1069, "Slap-back echo"},
    {1070, "Grand Canyon"},
    {1071, "Shift selection forwards  (select one channel only)"},
    {1072, "Pseudo-stereo (select one channel only)"},
};

}  // namespace

const char* BuiltinUiString(std::uint32_t id) {
  std::size_t lo = 0, hi = sizeof kStrings / sizeof kStrings[0];
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (kStrings[mid].id == id) return kStrings[mid].text;
    if (kStrings[mid].id < id) lo = mid + 1; else hi = mid;
  }
  return "";
}

}  // namespace mw
