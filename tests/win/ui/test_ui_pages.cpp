// The settings pages in the system's property frame, as a host opens them, driven as a person
// does: typing into edit boxes and leaving them, clicking check boxes, choosing list entries
// and presets from the context menu. Every step is checked through the filter's parameter
// interface, and every control against what the portable page frame shows for the values
// the filter holds.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "mwppack1/mwppack1.h"
#include "page_harness.h"
#include "page_testing.h"

namespace uitest {
namespace {

using Fields = std::vector<std::int32_t>;

// The page shows the filter's present values in every control.
void ExpectShowsFilter(const OpenPage& page, const PageKind& kind, const std::string& when) {
  uitest::ExpectShowsFilter(*page.frame, page.filter.Get(), kind, when);
}

std::string Name(const ::testing::TestParamInfo<const PageKind*>& info) {
  std::string name;
  for (const char* c = info.param->name; *c != '\0'; ++c) {
    if (*c != '-') name += *c;
  }
  return name;
}

class PageFrame : public ModuleSuite, public ::testing::WithParamInterface<const PageKind*> {
 protected:
  const PageKind& Kind() const { return *GetParam(); }
};

TEST_P(PageFrame, OpensWithTitleValuesAndTheTemplatesLayout) {
  OpenPage page(Module(), Kind());
  ASSERT_NE(page.frame, nullptr);
  ASSERT_TRUE(page.frame->Open());
  char caption[128];
  std::snprintf(caption, sizeof caption, "Properties for %ls", Kind().filterName);
  EXPECT_EQ(WindowText(page.frame->Frame()), caption);
  HWND tabs = FindWindowExA(page.frame->Frame(), nullptr, "SysTabControl32", nullptr);
  ASSERT_NE(tabs, nullptr);
  char tab[64] = "";
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = tab;
  item.cchTextMax = sizeof tab;
  ASSERT_TRUE(SendMessageA(tabs, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_STREQ(tab, Kind().title);
  EXPECT_EQ(page.frame->Text(2), Kind().title);  // the banner names the effect

  ExpectTemplateLayout(Module(), *page.frame, Kind().dialog);
  ExpectShowsFilter(page, Kind(), "at opening");
  Park();  // no item of the banner under the pointer
  Pump(200);
  SavePng(Capture(page.frame->Frame(), true), std::string(Kind().name) + "-default");
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// One edit box typed into: what is typed, the field it writes, the value the filter keeps.
struct Typing {
  const PageKind* kind;
  int enableBox;  // a check box to tick first when the edit box is greyed, else 0
  int edit;
  const char* typed;
  int field;
  std::int32_t stored;
};

// What the page frame makes of a text is tested with the frame itself; here the real edit
// boxes: typed text reaches the filter when the box is left, the box then shows the value
// kept, and the text is read through a buffer of the page's size (nine characters for the
// Simple Delay, fourteen for the others), so that a longer text is cut.
const Typing kTypings[] = {
    {&kSimpleDelayKind, 0, 3014, "0.25", MW_FIELD(SimpleDelayParams, DelayTime), 250},
    {&kSimpleDelayKind, 0, 3014, "000000005", MW_FIELD(SimpleDelayParams, DelayTime), 5000},
    {&kSimpleDelayKind, 0, 3014, "00000000005", MW_FIELD(SimpleDelayParams, DelayTime), 1},
    {&kSimpleDelayKind, 3012, 3015, "30", MW_FIELD(SimpleDelayParams, DecayTime), 200},
    {&kChorusKind, 0, 6033, "20", MW_FIELD(ChorusParams, ModulationRate), 20000},
    {&kChorusKind, 6036, 6038, "5,000", MW_FIELD(ChorusParams, HighCutoff), 5000},
    {&kReverbKind, 5034, 5036, "00000000000500", MW_FIELD(ReverbParams, BassCutoff), 500},
    {&kReverbKind, 5034, 5036, "00000000000000500", MW_FIELD(ReverbParams, BassCutoff), 10},
    {&kMultiTapKind, 0, 4118, "1,234", MW_FIELD(MultiTapParams, TapDelay), 1234},
    {&kMultiTapKind, 0, 4118, "00000000000000500", MW_FIELD(MultiTapParams, TapDelay), 1},
    {&kMultiTapKind, 4115, 4117, "2,500", MW_FIELD(MultiTapParams, LowPassStart), 2500},
};

TEST_P(PageFrame, TypedValuesAreStoredClampedAndShownCanonically) {
  OpenPage page(Module(), Kind());
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  int cases = 0;
  for (const Typing& t : kTypings) {
    if (t.kind != &Kind()) continue;
    ++cases;
    if (t.enableBox != 0 && !IsWindowEnabled(page.frame->Item(t.edit))) {
      ClickAt(page.frame->Centre(t.enableBox));
      ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(page.frame->Item(t.edit)) != 0; }, 5000));
    }
    const Fields before = Block(page.filter.Get(), Kind());
    TypeInto(*page.frame, t.edit, t.typed);
    Fields expected = before;
    expected[static_cast<std::size_t>(t.field)] = t.stored;
    ASSERT_TRUE(PumpUntil([&] { return Block(page.filter.Get(), Kind()) == expected; }, 5000))
        << "typed '" << t.typed << "' into " << t.edit << ": stored "
        << Block(page.filter.Get(), Kind())[static_cast<std::size_t>(t.field)];
    ExpectShowsFilter(page, Kind(), std::string("after typing ") + t.typed);
  }
  EXPECT_GT(cases, 0);
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// Every check box of the page: a click toggles its field alone, greys or ungreys its
// dependants, and the dependants' values are kept; a second click brings everything back.
TEST_P(PageFrame, CheckBoxesToggleTheirFieldAndGreyTheirDependants) {
  OpenPage page(Module(), Kind());
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  SIZE units{};
  int boxes = 0;
  for (const TemplateItem& item : ReadDialogTemplate(Module(), Kind().dialog, &units)) {
    HWND control = page.frame->Item(item.id);
    char name[32] = "";
    GetClassNameA(control, name, sizeof name);
    if (lstrcmpiA(name, "Button") != 0 ||
        (GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) != BS_AUTOCHECKBOX) {
      continue;
    }
    ++boxes;
    const int box = item.id;
    const bool on = IsDlgButtonChecked(page.frame->Page(), box) == BST_CHECKED;
    const Fields before = Block(page.filter.Get(), Kind());
    ClickAt(page.frame->Centre(box));
    ASSERT_TRUE(PumpUntil([&] { return Block(page.filter.Get(), Kind()) != before; }, 5000))
        << "check box " << box;
    Fields after = Block(page.filter.Get(), Kind());
    int changed = 0;
    for (std::size_t i = 0; i < after.size(); ++i) changed += after[i] != before[i];
    EXPECT_EQ(changed, 1) << "check box " << box;
    EXPECT_EQ(IsDlgButtonChecked(page.frame->Page(), box) == BST_CHECKED, !on);
    ExpectShowsFilter(page, Kind(), "after a click on " + std::to_string(box));
    Pump(static_cast<int>(GetDoubleClickTime()) + 50);  // two clicks, not a double click
    ClickAt(page.frame->Centre(box));
    ASSERT_TRUE(PumpUntil([&] { return Block(page.filter.Get(), Kind()) == before; }, 5000));
    ExpectShowsFilter(page, Kind(), "after a second click on " + std::to_string(box));
  }
  EXPECT_GT(boxes, 0);
  EXPECT_EQ(page.frame->Close(), S_OK);
}

// Opens the context menu with a right click where no control is, and chooses preset `row`
// (its entry is the row's, counted from 1) with the keyboard.
void ChoosePresetFromMenu(HMODULE module, const OpenPage& page, const PageKind& kind, int row) {
  RightClickAt(FreePointOfPage(module, *page.frame, kind.dialog));
  ASSERT_TRUE(PumpUntil([] { return FindMenuWindow() != nullptr; }, 5000));
  // Presets, its submenu at the first entry, down to the row's entry.
  std::vector<WORD> keys{VK_DOWN, VK_RIGHT};
  keys.insert(keys.end(), static_cast<std::size_t>(row - 1), VK_DOWN);
  keys.push_back(VK_RETURN);
  Keys(keys);
  ASSERT_TRUE(PumpUntil([] { return FindMenuWindow() == nullptr; }, 5000));
}

// Choosing a preset from the menu applies the filter's row and refreshes every control; the
// filter's notice that follows refreshes them again to the same.
TEST_P(PageFrame, PresetsFromTheContextMenuApplyTheirRow) {
  OpenPage page(Module(), Kind());
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  Ref<IEffectPresets> presets(Query<IEffectPresets>(page.filter.Get(), IID_IEffectPresets));
  ASSERT_NE(presets.Get(), nullptr);
  LONG count = 0;
  ASSERT_EQ(presets->GetPresetCount(&count), S_OK);
  ASSERT_GT(count, 2);
  const std::vector<int> rows = {2, static_cast<int>(count) - 1, 1};
  Ref<IUnknown> reference(CreateFromModule(Module(), *Kind().filter));
  Ref<IEffectPresets> referencePresets(Query<IEffectPresets>(reference.Get(), IID_IEffectPresets));
  for (int row : rows) {
    ASSERT_EQ(referencePresets->ApplyPreset(row), S_OK);
    const Fields expected = Block(reference.Get(), Kind());
    ChoosePresetFromMenu(Module(), page, Kind(), row);
    EXPECT_TRUE(PumpUntil([&] { return Block(page.filter.Get(), Kind()) == expected; }, 5000))
        << "preset row " << row;
    Pump(100);  // the change notice arrives and refreshes once more
    EXPECT_EQ(Block(page.filter.Get(), Kind()), expected) << "preset row " << row;
    ExpectShowsFilter(page, Kind(), "after preset row " + std::to_string(row));
    if (row == 2) {
      Park();
      Pump(200);
      SavePng(Capture(page.frame->Frame(), true), std::string(Kind().name) + "-preset");
    }
  }
  EXPECT_EQ(page.frame->Close(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Pages, PageFrame,
                         ::testing::Values(&kSimpleDelayKind, &kChorusKind, &kReverbKind,
                                           &kMultiTapKind),
                         Name);

// The Reverb's lists hold the page frame's entries with their values (the frame's own test
// checks those): the mode list sorted for the reader by the list window itself, the style
// list in the frame's order; a chosen entry stores its value, not its place.
class ReverbLists : public ModuleSuite {};

std::vector<std::string> ListTexts(HWND list) {
  std::vector<std::string> texts;
  const LRESULT n = SendMessageA(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    char text[128] = "";
    SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    texts.push_back(text);
  }
  return texts;
}

TEST_F(ReverbLists, SortedForTheReaderKeyedByTheirValues) {
  OpenPage page(Module(), kReverbKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  pagetest::PageRig model(mw::kReverbPage);  // its lists unsorted, in the frame's order
  for (int list : {5030, 5031}) {
    const auto& items = model.dialog[list].items;
    const std::vector<std::string> shown = ListTexts(page.frame->Item(list));
    ASSERT_EQ(shown.size(), items.size()) << list;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      const auto at = std::find_if(items.begin(), items.end(),
                                   [&](const auto& item) { return item.first == shown[i]; });
      ASSERT_NE(at, items.end()) << shown[i];
      EXPECT_EQ(SendMessageA(page.frame->Item(list), CB_GETITEMDATA, i, 0), at->second);
      if (list == 5031) {
        EXPECT_EQ(shown[i], items[i].first);
      }
    }
  }
  const std::vector<std::string> modes = ListTexts(page.frame->Item(5030));
  EXPECT_EQ(modes.front(), "Bright corridor");
  EXPECT_TRUE(std::is_sorted(modes.begin(), modes.end(), [](const auto& a, const auto& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) < 0;
  }));
  const std::pair<int, int> choices[] = {{5030, 0}, {5030, 18}, {5031, 9}, {5031, 2}};
  for (const auto& [list, entry] : choices) {
    const auto field = static_cast<std::size_t>(list == 5030 ? MW_FIELD(ReverbParams, ReverbMode)
                                                             : MW_FIELD(ReverbParams, EarlyStyle));
    const LRESULT value = SendMessageA(page.frame->Item(list), CB_GETITEMDATA, entry, 0);
    EXPECT_NE(Block(page.filter.Get(), kReverbKind)[field], value) << "entry " << entry;
    ChooseEntry(*page.frame, list, entry);
    ASSERT_TRUE(IsWindow(page.frame->Page()));
    EXPECT_TRUE(PumpUntil([&] { return Block(page.filter.Get(), kReverbKind)[field] == value; },
                          5000))
        << "list " << list << " entry " << entry;
    ExpectShowsFilter(page, kReverbKind, "after choosing entry " + std::to_string(entry));
  }
  EXPECT_EQ(page.frame->Close(), S_OK);
}

}  // namespace
}  // namespace uitest

namespace uitest {
namespace {

// The sliders' messages.
constexpr UINT kGetPos = 0x60A;
constexpr UINT kGetChannelSpan = 0x61E;

class PageSliders : public ModuleSuite {};

// Dragging the delay-time thumb to the right end writes the filter all along the way and the
// edit box follows; a digit key then sets the trackbar's tenth.
TEST_F(PageSliders, DraggingTheDelayTrackbarWritesContinuously) {
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  HWND trackbar = page.frame->Item(3016);
  const int field = MW_FIELD(SimpleDelayParams, DelayTime);
  const LRESULT span = SendMessageA(trackbar, kGetChannelSpan, 0, 0);
  const int start = HIWORD(span), travel = LOWORD(span);
  const std::int32_t value = Block(page.filter.Get(), kSimpleDelayKind)[field];
  RECT r;
  GetClientRect(trackbar, &r);
  POINT thumb{start + 1 + (value - 1) * travel / 4999, (r.bottom - r.top) / 2};
  ClientToScreen(trackbar, &thumb);
  MoveTo(thumb);
  Press();
  std::vector<std::int32_t> seen;
  for (int step = 1; step <= 8; ++step) {
    MoveInSteps(POINT{thumb.x + (step - 1) * travel / 6, thumb.y},
                POINT{thumb.x + step * travel / 6, thumb.y}, 3);
    Pump(50);
    const std::int32_t now = Block(page.filter.Get(), kSimpleDelayKind)[field];
    seen.push_back(now);
    EXPECT_EQ(SendMessageA(trackbar, kGetPos, 0, 0), now) << "step " << step;
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", now / 1000.0);
    EXPECT_EQ(page.frame->Text(3014), text) << "step " << step;
  }
  Release();
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_GT(std::set<std::int32_t>(seen.begin(), seen.end()).size(), 2u);
  EXPECT_EQ(Block(page.filter.Get(), kSimpleDelayKind)[field], 5000);
  EXPECT_EQ(page.frame->Text(3014), "5.000");
  TypeText("0");  // the trackbar has the focus: its minimum
  EXPECT_TRUE(
      PumpUntil([&] { return Block(page.filter.Get(), kSimpleDelayKind)[field] == 1; }, 5000));
  EXPECT_EQ(page.frame->Text(3014), "0.001");
  EXPECT_EQ(page.frame->Close(), S_OK);
}

}  // namespace
}  // namespace uitest
