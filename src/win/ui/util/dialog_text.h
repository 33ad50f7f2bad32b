// Sets a dialog item's text from a format and arguments, with the module's text services
// (the core formatter's directives, locale-aware ones included).
#pragma once

#include <windows.h>

#include <cstddef>

#include "core/ui/text_format.h"

namespace mw::ui {

constexpr int kDialogTextSize = 4096;  // the formatted text is cut to this, terminator included

// A format containing "%" or "$" is formatted first (cut to kDialogTextSize); any other is
// set as it is. Returns the length set, 0 on failure.
int SetDlgItemTextArgs(HWND dialog, int id, const char* format, const FormatArg* args,
                       std::size_t count);

template <class... Args>
int SetDlgItemTextF(HWND dialog, int id, const char* format, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg()};
  return SetDlgItemTextArgs(dialog, id, format, list, sizeof...(Args));
}

}  // namespace mw::ui
