#include "win/ui/util/ui_module.h"

#include "win/ui/util/locale_win.h"
#include "win/ui/util/shared_fonts.h"

namespace mw::ui {
namespace {

HINSTANCE g_module = nullptr;
LocaleSnapshot g_locale;
char g_productName[64] = "";

}  // namespace

void InitUiUtilities(HINSTANCE module) {
  g_module = module;
  g_locale = ReadUserLocale();
}

void ShutdownUiUtilities() {
  ReleaseSharedFonts();
  g_module = nullptr;
}

void LoadUiStringTable() {}
void ReleaseUiStringTable() {}

HINSTANCE UiModule() { return g_module; }

const LocaleSnapshot& UserLocale() { return g_locale; }

void SetProductName(const char* name) {
  lstrcpynA(g_productName, name != nullptr ? name : "", sizeof g_productName);
}

const char* ProductName() { return g_productName; }

}  // namespace mw::ui
