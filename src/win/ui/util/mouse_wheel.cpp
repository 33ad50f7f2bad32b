#include "win/ui/util/mouse_wheel.h"

#include <atomic>

namespace mw::ui {
namespace {

std::atomic<bool> g_routing{true};
int g_nesting = 0;  // the controls run on the user-interface thread

}  // namespace

void SetWheelRouting(bool on) { g_routing = on; }
bool WheelRouting() { return g_routing; }

bool RouteMouseWheel(HWND window, WPARAM wParam, LPARAM lParam) {
  if (!g_routing || GetCapture() != nullptr || (wParam & kWheelForwarded) != 0 ||
      GetFocus() != window) {
    return false;
  }
  if (g_nesting > 0) {
    g_routing = false;
    return false;
  }
  const POINT pointer{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  HWND target = WindowFromPoint(pointer);
  DWORD process = 0;
  if (target == nullptr || target == window) return false;
  GetWindowThreadProcessId(target, &process);
  if (process != GetCurrentProcessId()) return false;
  ++g_nesting;
  const LRESULT answer = SendMessageA(target, WM_MOUSEWHEEL, wParam | kWheelForwarded, lParam);
  --g_nesting;
  return answer == kWheelHandled;
}

}  // namespace mw::ui
