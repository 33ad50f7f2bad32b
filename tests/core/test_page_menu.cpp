// The frame's arithmetic around the context menu and the help files.
#include <gtest/gtest.h>

#include <string>

#include "core/ui/pages/frame_ids.h"
#include "core/ui/pages/page_menu.h"

namespace {

using mw::pages::MenuEntry;

std::vector<MenuEntry> Entries(std::int32_t count, std::int32_t unreadable = -1) {
  return mw::pages::PresetEntries(count, [&](std::int32_t row, std::string* name) {
    // Like the filter: rows 0 .. count - 1 exist, the row `count` does not.
    if (row >= count || row == unreadable) return false;
    *name = "preset " + std::to_string(row);
    return true;
  });
}

TEST(PresetMenu, ListsRowsFromOneWithCommandsFrom40500) {
  const std::vector<MenuEntry> e = Entries(7);  // Simple Delay: (Default) and six more
  ASSERT_EQ(e.size(), 6u);
  for (std::size_t i = 0; i < e.size(); ++i) {
    EXPECT_EQ(e[i].command, MW_CMD_PRESET_FIRST + static_cast<int>(i));
    EXPECT_EQ(e[i].text, "preset " + std::to_string(i + 1));
    EXPECT_TRUE(mw::pages::IsPresetCommand(e[i].command));
    EXPECT_EQ(mw::pages::PresetRowOf(e[i].command), static_cast<std::int32_t>(i + 1));
  }
  EXPECT_EQ(Entries(7, 3).size(), 5u);  // an unreadable name is left out
  EXPECT_TRUE(Entries(0).empty());
  EXPECT_TRUE(Entries(-5).empty());
}

TEST(PresetMenu, ListsAtMostFiveHundredRows) {
  const std::vector<MenuEntry> e = Entries(2000);
  ASSERT_EQ(e.size(), 500u);
  EXPECT_EQ(e.back().command, MW_CMD_PRESET_LAST);
  EXPECT_EQ(e.back().text, "preset 500");
  EXPECT_FALSE(mw::pages::IsPresetCommand(MW_CMD_PRESET_LAST + 1));
  EXPECT_FALSE(mw::pages::IsPresetCommand(MW_CMD_PRESET_FIRST - 1));
}

TEST(ContextMenu, OpensAtThePointerOrFromTheKeyboardAtTheCentreAQuarterDown) {
  const mw::UiRect page{100, 200, 479, 403};
  auto at = [&](int x, int y) {
    const std::uint32_t l = (static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16) |
                            static_cast<std::uint16_t>(x);
    return mw::pages::ContextMenuPoint(l, page);
  };
  EXPECT_EQ(at(150, 250).x, 150);
  EXPECT_EQ(at(150, 250).y, 250);
  for (auto [x, y] : {std::pair<int, int>{-1, -1}, {-1, 300}, {300, -7}}) {
    EXPECT_EQ(at(x, y).x, 100 + 379 / 2);
    EXPECT_EQ(at(x, y).y, 200 + 203 / 4);
  }
}

TEST(HelpPaths, BesideTheModuleOrInTheHelpFolder) {
  using mw::pages::HelpFilePath;
  const std::string module = "C:\\Program Files\\Marrowind\\mwppack1.dll";
  EXPECT_EQ(HelpFilePath("", module, ".chm"), "C:\\Program Files\\Marrowind\\mwppack1.chm");
  EXPECT_EQ(HelpFilePath("D:\\Help", module, ".hlp"), "D:\\Help\\mwppack1.hlp");
  EXPECT_EQ(HelpFilePath("D:\\Help\\", module, ".hlp"), "D:\\Help\\mwppack1.hlp");
  EXPECT_EQ(HelpFilePath("D:\\Help", "C:mwppack1.dll", ".chm"), "D:\\Help\\mwppack1.chm");
  // Without an extension (the text after the last point holds a blank) one is appended.
  EXPECT_EQ(HelpFilePath("", "C:\\a.b c\\module", ".chm"), "C:\\a.b c\\module.chm");
  EXPECT_EQ(HelpFilePath("", "module", ".hlp"), "module.hlp");
  EXPECT_EQ(mw::pages::ReplaceExtension("x.dll", ".chm"), "x.chm");
}

}  // namespace
