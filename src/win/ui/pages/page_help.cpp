#include "win/ui/pages/page_help.h"

#include <mutex>

#include "core/ui/pages/page_menu.h"
#include "win/ui/util/paths.h"
#include "win/ui/util/ui_module.h"

namespace mw::ui {
namespace {

constexpr char kHelpKey[] = "Software\\Marrowind\\Shared Information";
constexpr char kHelpFolderValue[] = "HelpFolder";
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC
constexpr UINT kContextPopup = 8;  // HELP_CONTEXTPOPUP

using HtmlHelpFunction = HWND(WINAPI*)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

std::mutex g_lock;
char g_winHelp[MAX_PATH] = "";
char g_htmlHelp[MAX_PATH] = "";
HMODULE g_hhctrl = nullptr;
HtmlHelpFunction g_htmlHelpFunction = nullptr;

// The folder of "HelpFolder" when the value is there and names a folder; else empty.
std::string HelpFolder() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHelpKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  char folder[MAX_PATH + 1] = "";
  DWORD bytes = MAX_PATH;
  DWORD type = 0;
  const LONG r = RegQueryValueExA(key, kHelpFolderValue, nullptr, &type,
                                  reinterpret_cast<BYTE*>(folder), &bytes);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  folder[bytes < MAX_PATH ? bytes : MAX_PATH] = '\0';
  // Any folder, whatever else its attributes say (read-only, indexed, archived...).
  const DWORD attributes = folder[0] != '\0' ? GetFileAttributesA(folder) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return {};
  }
  return folder;
}

// HTML Help's entry, from HHCTRL.OCX loaded on first use and kept.
HtmlHelpFunction HtmlHelpEntry() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_htmlHelpFunction != nullptr) return g_htmlHelpFunction;
  if (g_hhctrl == nullptr) g_hhctrl = LoadLibraryA("HHCTRL.OCX");
  if (g_hhctrl == nullptr) return nullptr;
  g_htmlHelpFunction = reinterpret_cast<HtmlHelpFunction>(
      reinterpret_cast<void*>(GetProcAddress(g_hhctrl, "HtmlHelpA")));
  if (g_htmlHelpFunction == nullptr) {
    FreeLibrary(g_hhctrl);
    g_hhctrl = nullptr;
  }
  return g_htmlHelpFunction;
}

}  // namespace

void ComputeHelpPaths() {
  char module[MAX_PATH] = "";
  const DWORD n = GetModuleFileNameA(UiModule(), module, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  const std::string folder = HelpFolder();
  const std::string hlp = pages::HelpFilePath(folder, module, ".hlp");
  const std::string chm = pages::HelpFilePath(folder, module, ".chm");
  std::lock_guard<std::mutex> hold(g_lock);
  lstrcpynA(g_winHelp, hlp.c_str(), MAX_PATH);
  lstrcpynA(g_htmlHelp, chm.c_str(), MAX_PATH);
}

std::string WinHelpPath() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_winHelp;
}

std::string HtmlHelpPath() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_htmlHelp;
}

void ShowHelpTopic() {
  const std::string path = HtmlHelpPath();
  if (path.empty() || !FileExists(path.c_str())) return;
  HtmlHelpFunction htmlHelp = HtmlHelpEntry();
  if (htmlHelp == nullptr) return;
  HWND window = htmlHelp(GetDesktopWindow(), path.c_str(), kDisplayTopic, 0);
  if (window != nullptr) BringWindowToTop(window);
}

void ShowContextHelp(HWND page, DWORD context) {
  const std::string path = WinHelpPath();
  if (path.empty() || !FileExists(path.c_str())) return;
  WinHelpA(page, path.c_str(), kContextPopup, context);
}

void CloseContextHelp(HWND page) {
  const std::string path = WinHelpPath();
  if (FileExists(path.c_str())) WinHelpA(page, path.c_str(), 0, 0);
}

}  // namespace mw::ui
