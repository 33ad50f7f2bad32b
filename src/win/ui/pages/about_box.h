// The About box of the settings pages: a modal dialog over its owner with the product's
// name, version and notices, and the way to the maker's home page.
#pragma once

#include <windows.h>

namespace mw::ui {

void ShowAboutBox(HWND owner);

}  // namespace mw::ui
