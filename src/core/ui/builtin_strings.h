// The module's UI strings by identifier, with their built-in (English) texts.
#pragma once

#include <cstdint>

namespace mw {

// The text of a UI string identifier; an empty string for an unknown identifier.
const char* BuiltinUiString(std::uint32_t id);

}  // namespace mw
