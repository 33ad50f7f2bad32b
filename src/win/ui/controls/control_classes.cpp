#include "win/ui/controls/control_classes.h"

#include "win/ui/controls/control_messages.h"

namespace mw::ui {
namespace {

struct ClassSpec {
  const char* name;
  WNDPROC procedure;
  int windowBytes;
  LPCSTR cursor;  // a standard cursor, or null: the control sets its own
  int background;  // a system colour index
};

constexpr UINT kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_GLOBALCLASS;

// The trackbar, fader and logo keep a state pointer in their window bytes; the static
// control keeps it in its second pointer-sized slot.
const ClassSpec kClasses[] = {
    {kFaderClass, FaderWindowProc, sizeof(LONG_PTR), nullptr, COLOR_BTNFACE},
    {kTrackbarClass, TrackbarWindowProc, sizeof(LONG_PTR), IDC_ARROW, COLOR_BTNFACE},
    {kStaticClass, StaticWindowProc, 2 * sizeof(LONG_PTR), IDC_ARROW, COLOR_WINDOW},
    {kLogoClass, LogoWindowProc, sizeof(LONG_PTR), IDC_ARROW, COLOR_WINDOW},
};
constexpr int kClassCount = sizeof kClasses / sizeof kClasses[0];
constexpr int kStaticIndex = 2;
constexpr int kLogoIndex = 3;

bool g_registered[kClassCount] = {};

}  // namespace

void RegisterControlClasses(HINSTANCE module) {
  for (int i = 0; i < kClassCount; ++i) {
    const ClassSpec& entry = kClasses[i];
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = kClassStyle;
    wc.lpfnWndProc = entry.procedure;
    wc.cbWndExtra = entry.windowBytes;
    wc.hInstance = module;
    wc.hCursor = entry.cursor != nullptr ? LoadCursorA(nullptr, entry.cursor) : nullptr;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(entry.background + 1));
    wc.lpszClassName = entry.name;
    g_registered[i] = RegisterClassExA(&wc) != 0;
    if (!g_registered[i]) continue;
    if (i == kStaticIndex) CreateCheckerBrush();
    if (i == kLogoIndex) SetLogoBitmapIds(5, 6, 7);
  }
}

void UnregisterControlClasses(HINSTANCE module) {
  for (int i = 0; i < kClassCount; ++i) {
    if (!g_registered[i]) continue;
    UnregisterClassA(kClasses[i].name, module);
    g_registered[i] = false;
    if (i == kStaticIndex) DeleteCheckerBrush();
    if (i == kLogoIndex) SetLogoBitmapIds(0, 0, 0);
  }
}

}  // namespace mw::ui
