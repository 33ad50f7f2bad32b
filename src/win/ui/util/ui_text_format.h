// The printf-style formatting of the texts the shell puts into dialogs. It writes at most
// `size` bytes, always terminated, and returns the length written (a longer result is cut).
// Plain directives follow the C library; the formatter of the portable core, with its
// locale-aware directives, takes the same arguments.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace mw::ui {

std::size_t FormatUiTextV(char* out, std::size_t size, const char* format, std::va_list args);

}  // namespace mw::ui
