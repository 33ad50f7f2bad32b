// The shared UI utilities that need the platform: fonts, colours, wheel routing, window
// placing, dialog texts and paths.
#include <gtest/gtest.h>

#include <string>

#include "core/ui/colors.h"
#include "ui_harness.h"
#include "win/ui/util/dialog_text.h"
#include "win/ui/util/mouse_wheel.h"
#include "win/ui/util/paths.h"
#include "win/ui/util/place_window.h"
#include "win/ui/util/shared_fonts.h"
#include "win/ui/util/sys_colors.h"

namespace uitest {
namespace {

using namespace mw::ui;

LOGFONTA Describe(HFONT font) {
  LOGFONTA d{};
  GetObjectA(font, sizeof d, &d);
  return d;
}

int ScreenResolution() {
  HDC screen = GetDC(nullptr);
  const int r = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return r;
}

TEST(SharedFonts, TableStockNonClientAndUnknown) {
  const int resolution = ScreenResolution();
  HFONT caption = GetSharedFont(kFontBannerCaption);
  EXPECT_EQ(GetSharedFont(kFontBannerCaption), caption);  // made once
  const LOGFONTA c = Describe(caption);
  EXPECT_EQ(c.lfHeight, -(8 * resolution / 72));
  EXPECT_EQ(c.lfWeight, FW_BOLD);
  EXPECT_STREQ(c.lfFaceName, "Helv");
  EXPECT_EQ(c.lfPitchAndFamily, VARIABLE_PITCH | FF_SWISS);
  const LOGFONTA items = Describe(GetSharedFont(kFontBannerItems));
  EXPECT_EQ(items.lfHeight, -(7 * resolution / 72));
  EXPECT_EQ(items.lfWeight, FW_NORMAL);
  EXPECT_STREQ(items.lfFaceName, 7 * resolution / 72 > 9 ? "Helv" : "Small Fonts");
  for (int stock : {10, 11, 12, 13, 14, 16, 17}) {
    EXPECT_EQ(GetSharedFont(stock), GetStockObject(stock)) << stock;
  }
  for (int unknown : {0, 15, 18, 103, 139, 145, -1}) {
    EXPECT_EQ(GetSharedFont(unknown), GetStockObject(SYSTEM_FONT)) << unknown;
  }
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
  EXPECT_STREQ(Describe(GetSharedFont(140)).lfFaceName, metrics.lfCaptionFont.lfFaceName);
  EXPECT_EQ(Describe(GetSharedFont(142)).lfHeight, metrics.lfMenuFont.lfHeight);
  EXPECT_EQ(Describe(GetSharedFont(144)).lfHeight, metrics.lfMessageFont.lfHeight);
  EXPECT_EQ(GetSharedFont(143), GetSharedFont(143));
  // Released at unload; asked again, made again.
  ReleaseSharedFonts();
  EXPECT_EQ(GetObjectType(caption), 0u);
  EXPECT_EQ(Describe(GetSharedFont(kFontBannerCaption)).lfWeight, FW_BOLD);
  ReleaseSharedFonts();
}

TEST(SysColorEx, PlatformColoursModuleTableAndRange) {
  for (int i : {COLOR_WINDOW, COLOR_BTNFACE, COLOR_WINDOWTEXT, COLOR_HIGHLIGHT}) {
    EXPECT_EQ(GetSysColorEx(i), GetSysColor(i)) << i;
    EXPECT_EQ(GetSysColorEx(-i), GetSysColor(i)) << i;
  }
  EXPECT_EQ(GetSysColorEx(100), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(GetSysColorEx(156), CLR_INVALID);
  EXPECT_EQ(GetSysColorEx(-156), CLR_INVALID);
  EXPECT_EQ(GetNearestSysColorEx(156), CLR_INVALID);
  for (int graph : {138, 140, 141}) {
    const COLORREF c = GetSysColorEx(graph);
    EXPECT_EQ(c, mw::ResolveSysColourEx(graph, [](int i, void*) -> mw::Colour {
      return GetSysColor(i);
    }, nullptr, false));
    // This display has true colour: the nearest colour is the colour itself.
    EXPECT_EQ(GetNearestSysColorEx(graph), c);
  }
}

// Two probes: each answers a wheel it handles with 105 after offering it to the routing.
struct WheelLog {
  HWND window;
  WPARAM wParam;
};
std::vector<WheelLog> g_wheels;
HWND g_bounceTo = nullptr;  // a probe that sends the wheel back there unmarked (a loop)

LRESULT CALLBACK WheelProbe(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_MOUSEWHEEL) {
    if (RouteMouseWheel(window, wParam, lParam)) return 0;
    g_wheels.push_back({window, wParam});
    if (g_bounceTo != nullptr && g_bounceTo != window) {
      SendMessageA(g_bounceTo, WM_MOUSEWHEEL, wParam & ~kWheelForwarded, lParam);
    }
    return kWheelHandled;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The wheel message as a platform that delivers it to the focused window does, with the
// pointer where it really is.
void WheelToFocus(int delta) {
  POINT p{};
  GetCursorPos(&p);
  SendMessageA(GetFocus(), WM_MOUSEWHEEL, MAKEWPARAM(0, delta), MAKELPARAM(p.x, p.y));
}

TEST(MouseWheel, RoutedToTheControlUnderThePointer) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WheelProbe;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = "MwUiWheelProbe";
  RegisterClassExA(&wc);
  Host host(300, 100, "Wheel");
  HWND focused = host.Add(wc.lpszClassName, "", WS_TABSTOP, 10, 10, 120, 80, 1, wc.hInstance);
  HWND pointed = host.Add(wc.lpszClassName, "", WS_TABSTOP, 150, 10, 120, 80, 2, wc.hInstance);
  host.Settle();
  SetFocus(focused);
  ASSERT_EQ(GetFocus(), focused);

  // A real wheel turned over the other probe ends there, whichever window the platform
  // hands it to first.
  g_wheels.clear();
  MoveTo(Host::OnScreen(pointed, 60, 40));
  Wheel(-120);
  Pump(20);
  ASSERT_EQ(g_wheels.size(), 1u);
  EXPECT_EQ(g_wheels[0].window, pointed);
  EXPECT_EQ(static_cast<short>(HIWORD(g_wheels[0].wParam)), -120);

  // Given to the focused probe, it passes it on, marked, and the other takes it.
  g_wheels.clear();
  WheelToFocus(-120);
  ASSERT_EQ(g_wheels.size(), 1u);
  EXPECT_EQ(g_wheels[0].window, pointed);
  EXPECT_EQ(g_wheels[0].wParam & kWheelForwarded, kWheelForwarded);
  EXPECT_EQ(static_cast<short>(HIWORD(g_wheels[0].wParam)), -120);

  // Over the focused one itself, or over no probe: it keeps it.
  for (POINT p : {Host::OnScreen(focused, 60, 40), Host::OnScreen(host.window(), 140, 95)}) {
    g_wheels.clear();
    MoveTo(p);
    WheelToFocus(120);
    ASSERT_EQ(g_wheels.size(), 1u);
    EXPECT_EQ(g_wheels[0].window, focused);
    EXPECT_EQ(g_wheels[0].wParam & kWheelForwarded, 0u);
  }

  // While a window has the mouse captured, nothing is routed; nor is a marked message.
  g_wheels.clear();
  MoveTo(Host::OnScreen(pointed, 60, 40));
  SetCapture(host.window());
  WheelToFocus(120);
  ReleaseCapture();
  SendMessageA(focused, WM_MOUSEWHEEL, MAKEWPARAM(kWheelForwarded, 120), 0);
  ASSERT_EQ(g_wheels.size(), 2u);
  EXPECT_EQ(g_wheels[0].window, focused);
  EXPECT_EQ(g_wheels[1].window, focused);
  // A window without the focus keeps what it gets.
  g_wheels.clear();
  SendMessageA(pointed, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
  ASSERT_EQ(g_wheels.size(), 1u);
  EXPECT_EQ(g_wheels[0].window, pointed);

  // A loop (the taker sends it back unmarked) switches routing off instead of recursing.
  g_wheels.clear();
  g_bounceTo = focused;
  WheelToFocus(120);
  g_bounceTo = nullptr;
  EXPECT_FALSE(WheelRouting());
  EXPECT_EQ(g_wheels.size(), 2u);
  g_wheels.clear();
  WheelToFocus(120);
  ASSERT_EQ(g_wheels.size(), 1u);
  EXPECT_EQ(g_wheels[0].window, focused);
  SetWheelRouting(true);
  MoveTo({5, 1000});
}

TEST(PlaceWindow, OverAReferenceThePointerOrAPointInsideTheWorkArea) {
  Host owner(400, 300, "Owner");
  owner.Settle();
  HWND box = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP | WS_BORDER, 0, 0, 200,
                             100, owner.window(), nullptr, nullptr, nullptr);
  ASSERT_NE(box, nullptr);
  RECT ref;
  GetWindowRect(owner.window(), &ref);
  RECT r;
  // Centred over the reference window, in integer halves.
  ASSERT_TRUE(PlaceWindow(box, owner.window(), {0, 0}, kPlaceCentred));
  GetWindowRect(box, &r);
  EXPECT_EQ(r.left, ref.left + (ref.right - ref.left - 200) / 2);
  EXPECT_EQ(r.top, ref.top + (ref.bottom - ref.top - 100) / 2);
  EXPECT_EQ(r.right - r.left, 200);  // never resized
  // Over its owner, the top a third of the free height down (the About box's way).
  ASSERT_TRUE(PlaceWindow(box, nullptr, {0, 0}, kPlaceOverParent | kPlaceUpperThird));
  GetWindowRect(box, &r);
  EXPECT_EQ(r.top, ref.top + (ref.bottom - ref.top - 100) / 3);
  // Over the owner's client area.
  RECT client;
  GetClientRect(owner.window(), &client);
  MapWindowPoints(owner.window(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  ASSERT_TRUE(PlaceWindow(box, owner.window(), {0, 0}, kPlaceClientArea));
  GetWindowRect(box, &r);
  EXPECT_EQ(r.top, client.top + (client.bottom - client.top - 100) / 2);
  // On the pointer.
  MoveTo({700, 500});
  ASSERT_TRUE(PlaceWindow(box, nullptr, {0, 0}, kPlaceOnPointer));
  GetWindowRect(box, &r);
  EXPECT_EQ(r.left, 600);
  EXPECT_EQ(r.top, 450);
  // Kept inside the work area.
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  ASSERT_TRUE(PlaceWindow(box, nullptr, {work.right, work.bottom}, kPlaceOnPoint));
  GetWindowRect(box, &r);
  EXPECT_EQ(r.right, work.right);
  EXPECT_EQ(r.bottom, work.bottom);
  DestroyWindow(box);
  // A child is moved in its parent's client coordinates.
  HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 40, 20, owner.window(), nullptr,
                               nullptr, nullptr);
  ASSERT_TRUE(PlaceWindow(child, nullptr, {client.left + 70, client.top + 60}, kPlaceOnPoint));
  GetWindowRect(child, &r);
  EXPECT_EQ(r.left, client.left + 50);
  EXPECT_EQ(r.top, client.top + 50);
  EXPECT_FALSE(PlaceWindow(nullptr, nullptr, {0, 0}, 0));
  MoveTo({5, 1000});
}

TEST(DialogText, FormatsCutsAndSetsAsItIs) {
  Host host(200, 50, "Texts");
  HWND item = host.Add("STATIC", "", 0, 0, 0, 200, 20, 7, nullptr);
  ASSERT_NE(item, nullptr);
  char text[kDialogTextSize + 16];
  EXPECT_EQ(SetDlgItemTextF(host.window(), 7, "%d dB", -6), 5);
  GetDlgItemTextA(host.window(), 7, text, sizeof text);
  EXPECT_STREQ(text, "-6 dB");
  EXPECT_EQ(SetDlgItemTextF(host.window(), 7, "100 %%"), 5);
  GetDlgItemTextA(host.window(), 7, text, sizeof text);
  EXPECT_STREQ(text, "100 %");
  // Without a directive the text goes in as it is.
  EXPECT_EQ(SetDlgItemTextF(host.window(), 7, "Simple Delay"), 12);
  // A result longer than the buffer is cut, terminated.
  const std::string longer(6000, 'x');
  EXPECT_EQ(SetDlgItemTextF(host.window(), 7, "%s", longer.c_str()), kDialogTextSize - 1);
  EXPECT_EQ(GetDlgItemTextA(host.window(), 7, text, sizeof text), kDialogTextSize - 1);
  // Failures give 0.
  EXPECT_EQ(SetDlgItemTextF(host.window(), 99, "%d", 1), 0);
  EXPECT_EQ(SetDlgItemTextF(host.window(), 7, nullptr), 0);
}

TEST(Paths, FileNameBackslashAndExistence) {
  EXPECT_STREQ(FileNamePart("C:\\Help\\mwppack1.chm"), "mwppack1.chm");
  EXPECT_STREQ(FileNamePart("C:mwppack1.hlp"), "mwppack1.hlp");
  EXPECT_STREQ(FileNamePart("plain.hlp"), "plain.hlp");
  EXPECT_STREQ(FileNamePart("C:\\Help\\"), "");
  EXPECT_EQ(FileNamePart(nullptr), nullptr);
  char path[8] = "C:\\Help";  // 7 characters: no room for another
  EXPECT_FALSE(AppendBackslash(path, sizeof path));
  EXPECT_STREQ(path, "C:\\Help");
  char roomy[9] = "C:\\Help";
  EXPECT_TRUE(AppendBackslash(roomy, sizeof roomy));
  EXPECT_STREQ(roomy, "C:\\Help\\");
  EXPECT_TRUE(AppendBackslash(roomy, sizeof roomy));  // already there: unchanged
  EXPECT_STREQ(roomy, "C:\\Help\\");
  char empty[2] = "";
  EXPECT_TRUE(AppendBackslash(empty, sizeof empty));
  EXPECT_STREQ(empty, "\\");

  const std::string dll = LoadedModule::Path();
  EXPECT_TRUE(FileExists(dll.c_str()));
  EXPECT_FALSE(FileExists((dll + ".missing").c_str()));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(nullptr));
  // A file another program holds without sharing still exists.
  char folder[MAX_PATH];
  char file[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  GetTempFileNameA(folder, "mw", 0, file);
  HANDLE locked = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(FileExists(file));
  CloseHandle(locked);
  EXPECT_TRUE(FileExists(file));
  DeleteFileA(file);
  EXPECT_FALSE(FileExists(file));
}

}  // namespace
}  // namespace uitest
