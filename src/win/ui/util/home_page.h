// The maker's home page, opened in the default web browser by the banner's picture and the
// About box's link.
#pragma once

#include <windows.h>

namespace mw::ui {

constexpr char kHomePage[] = "https://marrowind.example/";

void OpenHomePage(HWND owner);

}  // namespace mw::ui
