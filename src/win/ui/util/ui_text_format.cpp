#include "win/ui/util/ui_text_format.h"

#include <cstdio>

namespace mw::ui {

std::size_t FormatUiTextV(char* out, std::size_t size, const char* format, std::va_list args) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (format == nullptr) return 0;
  const int n = std::vsnprintf(out, size, format, args);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

}  // namespace mw::ui
