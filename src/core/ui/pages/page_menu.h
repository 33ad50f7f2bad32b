// The frame's arithmetic around the context menu and the help files: the Presets entries
// and their commands, where a menu opened from the keyboard appears, and the help files'
// paths.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/ui/ui_rect.h"

namespace mw::pages {

struct MenuEntry {
  int command;
  std::string text;
};

// At most this many presets are listed (commands 40500 to 40999).
constexpr std::int32_t kMaxPresetEntries = 500;

// The Presets submenu of a filter with `count` presets: rows 1 up to `count` (the table's
// row 0 is never listed; asking for row `count` fails and adds nothing), at most 500, each
// named by `name`; a row whose name cannot be read is left out.
std::vector<MenuEntry> PresetEntries(
    std::int32_t count, const std::function<bool(std::int32_t row, std::string* name)>& name);

bool IsPresetCommand(int command);
// The preset row a command applies.
std::int32_t PresetRowOf(int command);

// Where the context menu opens: the point of WM_CONTEXTMENU (two signed 16-bit screen
// coordinates); when either is negative (the menu key, Shift+F10), the horizontal centre of
// the page's window rectangle, a quarter of its height from the top.
struct MenuPoint {
  int x;
  int y;
};
MenuPoint ContextMenuPoint(std::uint32_t lParam, const UiRect& page);

// A path with its extension replaced: the text from the last "." to the end, when it holds
// no blank, is the extension; without one, `extension` is appended.
std::string ReplaceExtension(const std::string& path, const char* extension);

// A help file's path: in `folder` (a folder that exists, or empty for none) under the
// module's own file name, else beside the module; with the given extension.
std::string HelpFilePath(const std::string& folder, const std::string& modulePath,
                         const char* extension);

}  // namespace mw::pages
