#include "win/ui/util/dialog_text.h"

#include <cstring>

#include "win/ui/util/ui_module.h"

namespace mw::ui {

int SetDlgItemTextArgs(HWND dialog, int id, const char* format, const FormatArg* args,
                       std::size_t count) {
  if (format == nullptr) return 0;
  if (std::strpbrk(format, "%$") == nullptr) {
    return SetDlgItemTextA(dialog, id, format) ? static_cast<int>(std::strlen(format)) : 0;
  }
  char text[kDialogTextSize];
  const std::size_t length = FormatStringArgs(UiText(), text, sizeof text, format, args, count);
  return SetDlgItemTextA(dialog, id, text) ? static_cast<int>(length) : 0;
}

}  // namespace mw::ui
