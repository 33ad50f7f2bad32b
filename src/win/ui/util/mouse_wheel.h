// Mouse-wheel routing: a wheel message that reaches the control with the keyboard focus is
// passed to the control under the pointer, so the wheel moves what the user points at.
#pragma once

#include <windows.h>

namespace mw::ui {

constexpr WPARAM kWheelForwarded = 0x1000;  // added to wParam of a forwarded message
constexpr LRESULT kWheelHandled = 105;      // a control's answer to a wheel it handled

// Called first on WM_MOUSEWHEEL. True when another window of this process under the pointer
// took the message (it answered kWheelHandled). Not handled when routing is off, a window
// has the mouse captured, the message was already forwarded, or `window` lacks the focus.
// A call nested inside another (a loop of forwarding) switches routing off.
bool RouteMouseWheel(HWND window, WPARAM wParam, LPARAM lParam);

// Routing is on from load.
void SetWheelRouting(bool on);
bool WheelRouting();

}  // namespace mw::ui
