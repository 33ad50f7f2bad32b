// A picture of a top-level window as the screen shows it, for checks that drive other
// programs' windows with real input from outside (a setup program's pages).
//
//   window_picture TITLE BUTTON OUT.png
//
// Waits (up to 60 s) until a visible window whose title begins with TITLE has an enabled
// button whose text, without its '&', is BUTTON, and until the window's picture has stayed
// the same for half a second (two seconds at most: a caret blinks); writes the picture to
// OUT.png and prints the screen position of the button's centre as "X Y". Exit status 0, or
// 1 with a message (and the windows there are) when the window or button never showed or
// the picture cannot be written.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "png_file.h"
#include "win/screen_picture.h"

namespace {

struct Search {
  std::wstring title, button;
  HWND window = nullptr, found = nullptr;
};

std::wstring WithoutAmpersands(const wchar_t* text) {
  std::wstring out;
  for (; *text != L'\0'; ++text) {
    if (*text != L'&') out += *text;
  }
  return out;
}

BOOL CALLBACK FindButton(HWND child, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  wchar_t name[32] = L"", text[128] = L"";
  GetClassNameW(child, name, 32);
  GetWindowTextW(child, text, 128);
  if (lstrcmpiW(name, L"Button") == 0 && IsWindowVisible(child) && IsWindowEnabled(child) &&
      WithoutAmpersands(text) == s->button) {
    s->found = child;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindWindowWithButton(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  wchar_t title[256] = L"";
  GetWindowTextW(window, title, 256);
  // The setup program's pages give the caption a trailing space or not.
  if (!IsWindowVisible(window) || std::wstring(title).rfind(s->title, 0) != 0) return TRUE;
  EnumChildWindows(window, FindButton, param);
  if (s->found == nullptr) return TRUE;
  s->window = window;
  return FALSE;
}

// For the message when the window never showed: what there is.
BOOL CALLBACK ListChild(HWND child, LPARAM) {
  wchar_t name[32] = L"", text[128] = L"";
  GetClassNameW(child, name, 32);
  GetWindowTextW(child, text, 128);
  if (lstrcmpiW(name, L"Button") == 0) {
    std::fprintf(stderr, "    button '%ls'%s%s\n", text, IsWindowVisible(child) ? "" : " hidden",
                 IsWindowEnabled(child) ? "" : " disabled");
  }
  return TRUE;
}

BOOL CALLBACK ListWindow(HWND window, LPARAM) {
  wchar_t title[256] = L"";
  GetWindowTextW(window, title, 256);
  if (IsWindowVisible(window)) {
    std::fprintf(stderr, "  window '%ls'\n", title);
    EnumChildWindows(window, ListChild, 0);
  }
  return TRUE;
}

bool Picture(HWND window, RECT* area, std::vector<std::uint32_t>* pixels) {
  return GetWindowRect(window, area) && mwfx::ReadScreen(*area, pixels);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: window_picture TITLE BUTTON OUT.png\n");
    return 2;
  }
  Search s;
  s.title = argv[1];
  s.button = argv[2];
  std::vector<std::uint32_t> last, now;
  RECT area{};
  DWORD stableSince = 0, shownSince = 0;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 60000) {
    s.window = s.found = nullptr;
    EnumWindows(FindWindowWithButton, reinterpret_cast<LPARAM>(&s));
    if (s.window != nullptr && Picture(s.window, &area, &now)) {
      if (shownSince == 0) shownSince = GetTickCount();
      // A blinking caret never lets the picture settle: two seconds after the page showed,
      // it is taken as it is.
      const bool settled = GetTickCount() - shownSince >= 2000;
      if (now != last && !settled) {
        last.swap(now);
        stableSince = GetTickCount();
      } else if (settled || GetTickCount() - stableSince >= 500) {
        if (settled) last.swap(now);
        const int width = area.right - area.left, height = area.bottom - area.top;
        char path[MAX_PATH * 3] = "";
        WideCharToMultiByte(CP_UTF8, 0, argv[3], -1, path, sizeof path, nullptr, nullptr);
        if (!mwfx::WritePng(path, width, height, last.data())) {
          std::fprintf(stderr, "window_picture: cannot write %s\n", path);
          return 1;
        }
        RECT b{};
        GetWindowRect(s.found, &b);
        std::printf("%ld %ld\n", (b.left + b.right) / 2, (b.top + b.bottom) / 2);
        return 0;
      }
    }
    Sleep(100);
  }
  std::fprintf(stderr, "window_picture: no window '%ls' with an enabled button '%ls'\n", argv[1],
               argv[2]);
  EnumWindows(ListWindow, 0);
  return 1;
}
