#include "win/ui/util/dialog_text.h"

#include <cstring>

#include "win/ui/util/ui_text_format.h"

namespace mw::ui {

int SetDlgItemTextV(HWND dialog, int id, const char* format, std::va_list args) {
  if (format == nullptr) return 0;
  if (std::strpbrk(format, "%$") == nullptr) {
    return SetDlgItemTextA(dialog, id, format) ? static_cast<int>(std::strlen(format)) : 0;
  }
  char text[kDialogTextSize];
  const std::size_t length = FormatUiTextV(text, sizeof text, format, args);
  return SetDlgItemTextA(dialog, id, text) ? static_cast<int>(length) : 0;
}

int SetDlgItemTextF(HWND dialog, int id, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const int length = SetDlgItemTextV(dialog, id, format, args);
  va_end(args);
  return length;
}

}  // namespace mw::ui
