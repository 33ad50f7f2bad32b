// The extended colour indexes (system colours 0 to 99, the module's table 100 to 155,
// negative indexes for the alternative table) on this display.
#pragma once

#include <windows.h>

namespace mw::ui {

// CLR_INVALID (-1) for an index out of range.
COLORREF GetSysColorEx(int index);
// The same, mapped to the display's nearest colour.
COLORREF GetNearestSysColorEx(int index);

}  // namespace mw::ui
