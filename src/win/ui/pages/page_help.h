// The help of the settings pages: the help files' paths (computed by every page's
// GetPageInfo, one pair for the module), the HTML Help topic and the WinHelp context popups.
// The help files are not part of the module: without them nothing shows.
#pragma once

#include <windows.h>

#include <string>

namespace mw::ui {

// From the registry's "HelpFolder" (Software\Marrowind\Shared Information on the local
// machine) when it names a folder, else beside the module.
void ComputeHelpPaths();
std::string WinHelpPath();   // ".hlp"
std::string HtmlHelpPath();  // ".chm"

// The Help command: the HTML Help file's topic, brought to the top.
void ShowHelpTopic();
// A control's context popup from the WinHelp file.
void ShowContextHelp(HWND page, DWORD context);
// A page window going away closes WinHelp for it.
void CloseContextHelp(HWND page);

}  // namespace mw::ui
