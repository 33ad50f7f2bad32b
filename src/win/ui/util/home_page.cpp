#include "win/ui/util/home_page.h"

#include <shellapi.h>

namespace mw::ui {

void OpenHomePage(HWND owner) {
  ShellExecuteA(owner, "open", kHomePage, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace mw::ui
