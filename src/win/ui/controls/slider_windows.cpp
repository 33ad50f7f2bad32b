// The trackbar and fader classes' window procedures as far as the module's load and unload
// need them: each window owns a state record from WM_CREATE to WM_NCDESTROY, reached through
// its window bytes. Input and painting belong to the slider model's procedures.
#include <windows.h>

#include <new>

#include "win/ui/controls/control_classes.h"
#include "win/ui/controls/offscreen.h"

namespace mw::ui {
namespace {

struct SliderWindowState {
  HWND window = nullptr;
};

LRESULT SliderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      auto* state = new (std::nothrow) SliderWindowState;
      if (state == nullptr) return -1;
      state->window = window;
      SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(state));
      return 0;
    }
    case WM_NCDESTROY:
      delete WindowState<SliderWindowState>(window);
      SetWindowLongPtrA(window, 0, 0);
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK TrackbarWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SliderProc(window, message, wParam, lParam);
}

LRESULT CALLBACK FaderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SliderProc(window, message, wParam, lParam);
}

}  // namespace mw::ui
