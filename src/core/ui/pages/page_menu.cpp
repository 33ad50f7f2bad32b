#include "core/ui/pages/page_menu.h"

#include "core/ui/pages/frame_ids.h"

namespace mw::pages {

std::vector<MenuEntry> PresetEntries(
    std::int32_t count, const std::function<bool(std::int32_t, std::string*)>& name) {
  std::vector<MenuEntry> entries;
  const std::int32_t last = count < kMaxPresetEntries ? count : kMaxPresetEntries;
  for (std::int32_t row = 1; row <= last; ++row) {
    std::string text;
    if (name(row, &text)) entries.push_back({MW_CMD_PRESET_FIRST - 1 + row, text});
  }
  return entries;
}

bool IsPresetCommand(int command) {
  return command >= MW_CMD_PRESET_FIRST && command <= MW_CMD_PRESET_LAST;
}

std::int32_t PresetRowOf(int command) { return command - (MW_CMD_PRESET_FIRST - 1); }

MenuPoint ContextMenuPoint(std::uint32_t lParam, const UiRect& page) {
  const int x = static_cast<std::int16_t>(lParam & 0xFFFF);
  const int y = static_cast<std::int16_t>(lParam >> 16);
  if (x >= 0 && y >= 0) return {x, y};
  return {page.left + (page.right - page.left) / 2, page.top + (page.bottom - page.top) / 4};
}

std::string ReplaceExtension(const std::string& path, const char* extension) {
  const std::size_t dot = path.rfind('.');
  if (dot != std::string::npos && path.find(' ', dot) == std::string::npos) {
    return path.substr(0, dot) + extension;
  }
  return path + extension;
}

std::string HelpFilePath(const std::string& folder, const std::string& modulePath,
                         const char* extension) {
  if (folder.empty()) return ReplaceExtension(modulePath, extension);
  std::string path = folder;
  if (path.back() != '\\') path += '\\';
  const std::size_t cut = modulePath.find_last_of("\\:");
  path += cut == std::string::npos ? modulePath : modulePath.substr(cut + 1);
  return ReplaceExtension(path, extension);
}

}  // namespace mw::pages
