// The UI side of the module's load and unload: the instance handle the controls load their
// resources from, the user's locale, the module's UI texts, the text services the pages and
// controls format with, and the product name.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/ui/locale.h"
#include "core/ui/text_format.h"

namespace mw::ui {

// Load step 1: the shared utilities with the module's instance handle: the user's locale
// snapshot, the string table with the general texts (4000 to 4306), the temporary-string
// ring and the named values. Unload: ShutdownUiUtilities releases them and the shared fonts.
void InitUiUtilities(HINSTANCE module);
void ShutdownUiUtilities();

// Load step 2 and its unload counterpart: the module's own texts (1000 to 1186).
void LoadUiStringTable();
void ReleaseUiStringTable();

// The module the controls' resources come from (null before InitUiUtilities).
HINSTANCE UiModule();

// The user's number formatting as taken at load.
const LocaleSnapshot& UserLocale();

// The text services over the module's locale, number formatting, named values, ring and
// string table; before load (and after unload) the core's defaults.
const TextServices& UiText();

// The module's text of a UI string identifier: its string resource (stored at the identifier
// plus MW_UI_STRING_RESOURCE_BASE, a leading "^*" removed), else the built-in text. Valid
// until unload; null for an identifier outside the blocks. Safe from any thread.
const char* GetUiString(std::uint32_t id);

// Reads string resources of `module` for a string table: the identifier plus the base.
class ModuleStringResources final : public StringResources {
 public:
  explicit ModuleStringResources(HINSTANCE module) : module_(module) {}
  bool Load(std::uint32_t id, std::string* out) const override;

 private:
  HINSTANCE module_;
};

// The product name the About box shows (load step 4 copies it in).
void SetProductName(const char* name);
const char* ProductName();

}  // namespace mw::ui
