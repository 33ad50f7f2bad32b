#include "win/ui/util/place_window.h"

#include "core/ui/placement.h"

namespace mw::ui {
namespace {

UiRect ToUi(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

RECT Screen() {
  return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

RECT ReferenceRect(HWND window, HWND reference, UINT flags) {
  if ((flags & kPlaceOverParent) != 0) {
    reference = GetParent(window);
    if (reference == nullptr) reference = GetWindow(window, GW_OWNER);
    if (reference != nullptr && IsIconic(reference)) reference = nullptr;
  }
  RECT r = Screen();
  if (reference == nullptr) return r;
  if ((flags & kPlaceClientArea) != 0) {
    // The client area in screen coordinates.
    if (GetClientRect(reference, &r)) {
      MapWindowPoints(reference, nullptr, reinterpret_cast<POINT*>(&r), 2);
    }
  } else {
    GetWindowRect(reference, &r);
  }
  return r;
}

}  // namespace

bool PlaceWindow(HWND window, HWND reference, POINT point, UINT flags) {
  RECT own;
  if (window == nullptr || !GetWindowRect(window, &own)) return false;
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  const RECT area = ReferenceRect(window, reference, flags);
  PlaceMode mode = PlaceMode::kCentred;
  switch (flags & kPlaceModeMask) {
    case kPlaceUpperThird:
      mode = PlaceMode::kUpperThird;
      break;
    case kPlaceOnPointer:
      mode = PlaceMode::kOnPoint;
      GetCursorPos(&point);
      break;
    case kPlaceOnPoint:
      mode = PlaceMode::kOnPoint;
      break;
    default:
      break;
  }
  int left = 0;
  int top = 0;
  PlaceRect(width, height, ToUi(area), mode, point.x, point.y, &left, &top);

  RECT work = Screen();
  const RECT placed{left, top, left + width, top + height};
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  HMONITOR handle = MonitorFromRect(&placed, MONITOR_DEFAULTTONEAREST);
  if (handle != nullptr && GetMonitorInfoA(handle, &monitor)) work = monitor.rcWork;
  KeepInside(width, height, ToUi(work), &left, &top);

  POINT origin{left, top};
  if ((GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0 && GetParent(window) != nullptr) {
    ScreenToClient(GetParent(window), &origin);
  }
  return SetWindowPos(window, nullptr, origin.x, origin.y, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

}  // namespace mw::ui
