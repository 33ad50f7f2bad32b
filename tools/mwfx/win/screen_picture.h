// What the screen shows in a rectangle, read back as 0x00RRGGBB pixels row by row from the
// top: pictures of windows as the user sees them, child controls and caption included.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace mwfx {

// False (and no pixels) for an empty rectangle or when the screen cannot be read.
bool ReadScreen(const RECT& area, std::vector<std::uint32_t>* pixels);

}  // namespace mwfx
