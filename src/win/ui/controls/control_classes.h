// Registration of the four control classes at module load, and their removal at unload.
#pragma once

#include <windows.h>

namespace mw::ui {

// Registers the fader, trackbar, static and logo classes, in this order, as global classes
// of `module`. A class that fails is left out (and not tried again); the logo control gets
// its bitmap identifiers only when its class was registered.
void RegisterControlClasses(HINSTANCE module);

// Unregisters the classes registered above (fader, trackbar, static, logo).
void UnregisterControlClasses(HINSTANCE module);

// Window procedures of the classes.
LRESULT CALLBACK FaderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TrackbarWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK LogoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Module-wide pieces set up with the classes.
bool CreateCheckerBrush();   // the static class's 8 x 8 checkerboard for disabled pictures
void DeleteCheckerBrush();
HBRUSH CheckerBrush();
void SetLogoBitmapIds(int picture, int highlighted, int spare);  // 0: none
int LogoBitmapId(int which);                                     // 0 picture, 1 highlighted

}  // namespace mw::ui
