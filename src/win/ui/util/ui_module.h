// The UI side of the module's load and unload: the instance handle the controls load their
// resources from, the user's locale, the product name, and the steps of loading that belong
// to the shared UI utilities.
#pragma once

#include <windows.h>

#include "core/ui/locale.h"

namespace mw::ui {

// Load step 1: the shared utilities with the module's instance handle (the user's locale
// snapshot is taken here). Unload: ShutdownUiUtilities releases the shared fonts.
void InitUiUtilities(HINSTANCE module);
void ShutdownUiUtilities();

// Load step 2 and its unload counterpart: the UI string table (identifiers 1000 to 1186).
// The texts come from the core's built-in list; the module keeps no table of its own yet,
// so there is nothing to load or release here.
void LoadUiStringTable();
void ReleaseUiStringTable();

// The module the controls' resources come from (null before InitUiUtilities).
HINSTANCE UiModule();

// The user's number formatting as taken at load.
const LocaleSnapshot& UserLocale();

// The product name the About box shows (load step 4 copies it in).
void SetProductName(const char* name);
const char* ProductName();

}  // namespace mw::ui
