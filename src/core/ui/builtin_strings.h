// The module's UI strings by identifier, with their built-in (English) texts. The texts live
// in ui_strings.inc, which the resource script includes as well.
#pragma once

#include <cstdint>

namespace mw {

// The built-in text of a UI string identifier; an empty string for an identifier without one.
const char* BuiltinUiString(std::uint32_t id);

// The two blocks of UI strings the module registers at load.
constexpr std::uint32_t kModuleStringsFirst = 1000, kModuleStringsCount = 187;   // 1000..1186
constexpr std::uint32_t kGeneralStringsFirst = 4000, kGeneralStringsCount = 307;  // 4000..4306

// Identifiers the formatting uses.
constexpr std::uint32_t kStringFormatError = 4281;  // "Err."
constexpr std::uint32_t kStringBelowFloor = 4282;   // "-Inf."
constexpr std::uint32_t kStringTimeCodeLabel = 4283;  // "hr%smn%ssc%sfr"
constexpr std::uint32_t kStringMusicalTimeLabel = 4285;  // "ms%sbt%stk"

}  // namespace mw
