// Sets a dialog item's text from a format and arguments.
#pragma once

#include <windows.h>

#include <cstdarg>

namespace mw::ui {

constexpr int kDialogTextSize = 4096;  // the formatted text is cut to this, terminator included

// A format containing "%" or "$" is formatted first (cut to kDialogTextSize); any other is
// set as it is. Returns the length set, 0 on failure.
int SetDlgItemTextF(HWND dialog, int id, const char* format, ...);
int SetDlgItemTextV(HWND dialog, int id, const char* format, std::va_list args);

}  // namespace mw::ui
