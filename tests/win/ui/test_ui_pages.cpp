// The settings pages in the system's property frame, as a host opens them, driven as a person
// does: typing into edit boxes and leaving them, clicking check boxes, choosing list entries
// and presets from the context menu. Every step is checked through the filter's parameter
// interface, and every control's text against the value the filter holds.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "mwppack1/mwppack1.h"
#include "page_harness.h"

namespace uitest {
namespace {

using Fields = std::vector<std::int32_t>;

// What a person reads for a value, in the test display's English locale.
std::string Level(std::int32_t v, std::int32_t floor) {
  if (v <= floor) return "-Inf.";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f dB", v / 10.0);
  return text;
}

std::string Fixed(std::int32_t v, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, v / std::pow(10.0, decimals));
  return text;
}

std::string Grouped(std::int32_t v, const char* suffix = "") {
  std::string digits = std::to_string(v < 0 ? -static_cast<std::int64_t>(v) : v);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return (v < 0 ? "-" : "") + digits + suffix;
}

// What each page must show for a parameter block: texts, ticks and enabled controls.
struct Shown {
  std::map<int, std::string> texts;
  std::map<int, bool> ticks;
  std::map<int, bool> enabled;
  std::map<int, std::int32_t> listData;  // the selected entry's item data
};

Shown SimpleDelayShows(const Fields& f) {
  const SimpleDelayParams p = {f[0], f[1], f[2], f[3], f[4]};
  const bool feedback = p.Feedback != 0;
  return {{{3008, Level(p.DryOut, -800)},
           {3010, Level(p.DelayOut, -800)},
           {3014, Fixed(p.DelayTime, 3)},
           {3015, Fixed(p.DecayTime, 1)}},
          {{3012, feedback}},
          {{3017, feedback}, {3015, feedback}, {3018, feedback}},
          {}};
}

Shown ChorusShows(const Fields& f) {
  auto at = [&f](int offset) { return f[static_cast<std::size_t>(offset)]; };
  const std::int32_t rate = at(MW_FIELD(ChorusParams, ModulationRate));
  const bool highs = at(MW_FIELD(ChorusParams, AttenuateHighs)) != 0;
  return {{{6022, Level(at(MW_FIELD(ChorusParams, InputGain)), -600)},
           {6023, Level(at(MW_FIELD(ChorusParams, DryOut)), -600)},
           {6024, Level(at(MW_FIELD(ChorusParams, ChorusOut)), -600)},
           {6026, Grouped(at(MW_FIELD(ChorusParams, ChorusSize)))},
           {6028, Grouped(at(MW_FIELD(ChorusParams, Feedback)), " %")},
           {6039, Fixed(at(MW_FIELD(ChorusParams, ChorusOutDelay)), 1)},
           {6033, rate > 9999 ? Fixed(rate / 10, 2) : Fixed(rate, 3)},
           {6035, Grouped(at(MW_FIELD(ChorusParams, ModulationDepth)), " %")},
           {6038, Grouped(at(MW_FIELD(ChorusParams, HighCutoff)))}},
          {{6029, at(MW_FIELD(ChorusParams, InvertChorusPhase)) != 0},
           {6030, at(MW_FIELD(ChorusParams, InvertFeedbackPhase)) != 0},
           {6036, highs}},
          {{6037, highs}, {6038, highs}},
          {}};
}

Shown ReverbShows(const Fields& f) {
  auto at = [&f](int offset) { return f[static_cast<std::size_t>(offset)]; };
  const std::int32_t pre = at(MW_FIELD(ReverbParams, PreDelay));
  const bool bass = at(MW_FIELD(ReverbParams, AttenuateBass)) != 0;
  const bool highs = at(MW_FIELD(ReverbParams, AttenuateHighs)) != 0;
  return {{{5016, Level(at(MW_FIELD(ReverbParams, DryOut)), -800)},
           {5017, Level(at(MW_FIELD(ReverbParams, ReverbOut)), -800)},
           {5018, Level(at(MW_FIELD(ReverbParams, EarlyOut)), -800)},
           {5019, Fixed(at(MW_FIELD(ReverbParams, DecayTime)), 1)},
           {5023, pre == 0 ? "Off" : std::to_string(pre) + " ms."},
           {5036, Grouped(at(MW_FIELD(ReverbParams, BassCutoff)))},
           {5037, Grouped(at(MW_FIELD(ReverbParams, HighCutoff)))}},
          {{5034, bass}, {5035, highs}},
          {{5038, bass}, {5036, bass}, {5039, highs}, {5037, highs}},
          {{5030, at(MW_FIELD(ReverbParams, ReverbMode))},
           {5031, at(MW_FIELD(ReverbParams, EarlyStyle))}}};
}

// The current tap's controls show that tap; the buttons of the taps in use are enabled.
Shown MultiTapShows(const Fields& f) {
  auto at = [&f](int offset) { return f[static_cast<std::size_t>(offset)]; };
  const std::int32_t tap = at(MW_FIELD(MultiTapParams, CurrentTap));
  const std::int32_t count = at(MW_FIELD(MultiTapParams, TapCount));
  const bool lowPass = at(MW_FIELD(MultiTapParams, LowPassOn)) != 0;
  Shown shown{{{4002, Level(at(MW_FIELD(MultiTapParams, InputGain)), -800)},
               {4004, Level(at(MW_FIELD(MultiTapParams, DryOut)), -800)},
               {4009, Level(at(MW_FIELD(MultiTapParams, WetOut)), -800)},
               {4027, Grouped(at(MW_FIELD(MultiTapParams, TapGain) + tap), " %")},
               {4035, Fixed(at(MW_FIELD(MultiTapParams, ModRate)), 1) + " Hz"},
               {4032, Grouped(at(MW_FIELD(MultiTapParams, ModDepth)), " %")},
               {4033, Grouped(at(MW_FIELD(MultiTapParams, Feedback)), " %")},
               {4117, Grouped(at(MW_FIELD(MultiTapParams, LowPassStart)))},
               {4034, Grouped(count)},
               {4118, Grouped(at(MW_FIELD(MultiTapParams, TapDelay) + tap))},
               {4038, Grouped(at(MW_FIELD(MultiTapParams, TapPan) + tap), " %")}},
              {{4115, lowPass}},
              {{4116, lowPass}, {4117, lowPass}},
              {{4043, at(MW_FIELD(MultiTapParams, GraphResolution))}}};
  for (int i = 0; i < 8; ++i) shown.enabled[4018 + i] = i < count;
  return shown;
}

Shown ShownFor(const PageKind& kind, const Fields& f) {
  if (&kind == &kSimpleDelayKind) return SimpleDelayShows(f);
  if (&kind == &kChorusKind) return ChorusShows(f);
  if (&kind == &kMultiTapKind) return MultiTapShows(f);
  return ReverbShows(f);
}

// The page shows the filter's present values in every control.
void ExpectShowsFilter(const OpenPage& page, const PageKind& kind, const std::string& when) {
  const Fields fields = Block(page.filter.Get(), kind);
  ASSERT_FALSE(fields.empty());
  const Shown shown = ShownFor(kind, fields);
  for (const auto& [id, text] : shown.texts) {
    EXPECT_EQ(page.frame->Text(id), text) << when << ": control " << id;
  }
  for (const auto& [id, on] : shown.ticks) {
    EXPECT_EQ(IsDlgButtonChecked(page.frame->Page(), id) == BST_CHECKED, on)
        << when << ": check box " << id;
  }
  for (const auto& [id, on] : shown.enabled) {
    EXPECT_EQ(IsWindowEnabled(page.frame->Item(id)) != FALSE, on) << when << ": control " << id;
  }
  for (const auto& [id, data] : shown.listData) {
    const LRESULT at = SendMessageA(page.frame->Item(id), CB_GETCURSEL, 0, 0);
    EXPECT_EQ(SendMessageA(page.frame->Item(id), CB_GETITEMDATA, static_cast<WPARAM>(at), 0), data)
        << when << ": list " << id;
  }
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

const Typing kTypings[] = {
    {&kSimpleDelayKind, 0, 3014, "0.25", MW_FIELD(SimpleDelayParams, DelayTime), 250},
    // 0.4 ms truncates to 0, which the filter raises to 1.
    {&kSimpleDelayKind, 0, 3014, "0.0004", MW_FIELD(SimpleDelayParams, DelayTime), 1},
    {&kSimpleDelayKind, 0, 3014, "abc", MW_FIELD(SimpleDelayParams, DelayTime), 1},
    {&kSimpleDelayKind, 0, 3014, "000000005", MW_FIELD(SimpleDelayParams, DelayTime), 5000},
    // Nine characters are read: the 5 of the eleventh is never seen.
    {&kSimpleDelayKind, 0, 3014, "00000000005", MW_FIELD(SimpleDelayParams, DelayTime), 1},
    {&kSimpleDelayKind, 3012, 3015, "30", MW_FIELD(SimpleDelayParams, DecayTime), 200},
    {&kSimpleDelayKind, 3012, 3015, "2.55", MW_FIELD(SimpleDelayParams, DecayTime), 25},
    {&kChorusKind, 0, 6033, "20", MW_FIELD(ChorusParams, ModulationRate), 20000},
    {&kChorusKind, 0, 6033, "0.0005", MW_FIELD(ChorusParams, ModulationRate), 1},
    {&kChorusKind, 0, 6033, "9.999", MW_FIELD(ChorusParams, ModulationRate), 9999},
    {&kChorusKind, 0, 6039, "150", MW_FIELD(ChorusParams, ChorusOutDelay), 1000},
    {&kChorusKind, 0, 6039, "x", MW_FIELD(ChorusParams, ChorusOutDelay), 1},
    {&kChorusKind, 6036, 6038, "5,000", MW_FIELD(ChorusParams, HighCutoff), 5000},
    {&kReverbKind, 5034, 5036, "20000", MW_FIELD(ReverbParams, BassCutoff), 5000},
    {&kReverbKind, 5034, 5036, "00000000000500", MW_FIELD(ReverbParams, BassCutoff), 500},
    // Fourteen characters are read: the 500 is cut off, and 0 is raised to the minimum.
    {&kReverbKind, 5034, 5036, "00000000000000500", MW_FIELD(ReverbParams, BassCutoff), 10},
    {&kReverbKind, 5035, 5037, "1234", MW_FIELD(ReverbParams, HighCutoff), 1234},
    {&kMultiTapKind, 0, 4118, "3000", MW_FIELD(MultiTapParams, TapDelay), 2500},
    {&kMultiTapKind, 0, 4118, "1,234", MW_FIELD(MultiTapParams, TapDelay), 1234},
    // Fourteen characters are read: zero, raised to the minimum.
    {&kMultiTapKind, 0, 4118, "00000000000000500", MW_FIELD(MultiTapParams, TapDelay), 1},
    {&kMultiTapKind, 4115, 4117, "20000", MW_FIELD(MultiTapParams, LowPassStart), 10000},
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

// Every check box: a click toggles its field alone, greys or ungreys its dependants, and the
// dependants' values are kept; a second click brings everything back.
TEST_P(PageFrame, CheckBoxesToggleTheirFieldAndGreyTheirDependants) {
  OpenPage page(Module(), Kind());
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  const Shown shown = ShownFor(Kind(), Block(page.filter.Get(), Kind()));
  ASSERT_FALSE(shown.ticks.empty());
  for (const auto& [box, on] : shown.ticks) {
    const Fields before = Block(page.filter.Get(), Kind());
    ClickAt(page.frame->Centre(box));
    ASSERT_TRUE(PumpUntil([&] { return Block(page.filter.Get(), Kind()) != before; }, 5000))
        << "check box " << box;
    Fields after = Block(page.filter.Get(), Kind());
    int changed = 0;
    for (std::size_t i = 0; i < after.size(); ++i) changed += after[i] != before[i];
    EXPECT_EQ(changed, 1) << "check box " << box;
    EXPECT_EQ(ShownFor(Kind(), after).ticks.at(box), !on);
    ExpectShowsFilter(page, Kind(), "after a click on " + std::to_string(box));
    Pump(static_cast<int>(GetDoubleClickTime()) + 50);  // two clicks, not a double click
    ClickAt(page.frame->Centre(box));
    ASSERT_TRUE(PumpUntil([&] { return Block(page.filter.Get(), Kind()) == before; }, 5000));
    ExpectShowsFilter(page, Kind(), "after a second click on " + std::to_string(box));
  }
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
  std::vector<int> rows;
  if (&Kind() == &kSimpleDelayKind) {
    for (int row = 1; row < count; ++row) rows.push_back(row);
  } else {
    rows = {2, static_cast<int>(count) - 1, 1};
  }
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

// The Reverb's mode list is sorted for the reader, yet stores the mode's table index.
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

TEST_F(ReverbLists, SortedForTheReaderKeyedByTableIndex) {
  const std::vector<std::string> modes = {
      "Rich hall",       "Wide open hall",  "Concert hall",      "Deep hall",
      "Long hall",       "Medium hall 1",   "Medium hall 2",     "Warm space",
      "Cavernous space", "Bright corridor", "Bright small room", "Bright medium room",
      "Medium room",     "Subtle ambience", "Live ambience",     "Warm ambience",
      "Plate 1",         "Plate 2, ringy",  "Metal tank"};
  OpenPage page(Module(), kReverbKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  const std::vector<std::string> shown = ListTexts(page.frame->Item(5030));
  ASSERT_EQ(shown.size(), modes.size());
  EXPECT_EQ(shown.front(), "Bright corridor");
  EXPECT_EQ(shown.back(), "Wide open hall");
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end(), [](const auto& a, const auto& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) < 0;
  }));
  // Every entry's item data is its name's index in the table.
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto at = std::find(modes.begin(), modes.end(), shown[i]);
    ASSERT_NE(at, modes.end()) << shown[i];
    EXPECT_EQ(SendMessageA(page.frame->Item(5030), CB_GETITEMDATA, i, 0), at - modes.begin());
  }
  const std::vector<std::string> styles = ListTexts(page.frame->Item(5031));
  ASSERT_EQ(styles.size(), 10u);
  EXPECT_EQ(styles[0], "Mode 1  (6  ms)");
  EXPECT_EQ(styles[9], "Mode 10 (16 ms, pan left)");

  const int richHall =
      static_cast<int>(std::find(shown.begin(), shown.end(), "Rich hall") - shown.begin());
  const struct {
    int list;
    int entry;
    int field;
    std::int32_t stored;
  } choices[] = {
      {5030, 0, MW_FIELD(ReverbParams, ReverbMode), 9},         // Bright corridor
      {5030, richHall, MW_FIELD(ReverbParams, ReverbMode), 0},  // Rich hall
      {5030, 18, MW_FIELD(ReverbParams, ReverbMode), 1},        // Wide open hall
      {5031, 9, MW_FIELD(ReverbParams, EarlyStyle), 9},
      {5031, 2, MW_FIELD(ReverbParams, EarlyStyle), 2},
  };
  for (const auto& c : choices) {
    ChooseEntry(*page.frame, c.list, c.entry);
    ASSERT_TRUE(IsWindow(page.frame->Page()));
    EXPECT_TRUE(PumpUntil(
        [&] {
          return Block(page.filter.Get(), kReverbKind)[static_cast<std::size_t>(c.field)] ==
                 c.stored;
        },
        5000))
        << "list " << c.list << " entry " << c.entry;
    ExpectShowsFilter(page, kReverbKind, "after choosing entry " + std::to_string(c.entry));
  }
  EXPECT_EQ(page.frame->Close(), S_OK);
}

}  // namespace
}  // namespace uitest

namespace uitest {
namespace {

// The sliders' messages.
constexpr UINT kGetPos = 0x60A;
constexpr UINT kGetRangeMax = 0x60C;
constexpr UINT kGetChannelSpan = 0x61E;

bool SlidersAnswer(const FrameOnThread& frame, int trackbar, std::int32_t maximum) {
  return SendMessageA(frame.Item(trackbar), kGetRangeMax, 0, 0) == maximum;
}

class PageSliders : public ModuleSuite {};

// Every slider stands where its parameter's value puts it (the rate on its two-segment scale).
TEST_F(PageSliders, EverySliderShowsItsParameter) {
  struct Slider {
    const PageKind* kind;
    int id;
    std::function<std::int32_t(const Fields&)> position;
  };
  const Slider sliders[] = {
      {&kSimpleDelayKind, 3009,
       [](const Fields& f) { return f[MW_FIELD(SimpleDelayParams, DryOut)]; }},
      {&kSimpleDelayKind, 3016,
       [](const Fields& f) { return f[MW_FIELD(SimpleDelayParams, DelayTime)]; }},
      {&kSimpleDelayKind, 3017,
       [](const Fields& f) { return f[MW_FIELD(SimpleDelayParams, DecayTime)]; }},
      {&kChorusKind, 6016, [](const Fields& f) { return f[MW_FIELD(ChorusParams, InputGain)]; }},
      {&kChorusKind, 6032,
       [](const Fields& f) {
         const std::int32_t rate = f[MW_FIELD(ChorusParams, ModulationRate)];
         return rate <= 9999 ? rate : rate / 10 + 9000;
       }},
      {&kChorusKind, 6037, [](const Fields& f) { return f[MW_FIELD(ChorusParams, HighCutoff)]; }},
      {&kReverbKind, 5015, [](const Fields& f) { return f[MW_FIELD(ReverbParams, EarlyOut)]; }},
      {&kReverbKind, 5033, [](const Fields& f) { return f[MW_FIELD(ReverbParams, PreDelay)]; }},
      {&kReverbKind, 5038, [](const Fields& f) { return f[MW_FIELD(ReverbParams, BassCutoff)]; }},
  };
  for (const PageKind* kind : {&kSimpleDelayKind, &kChorusKind, &kReverbKind}) {
    OpenPage page(Module(), *kind);
    ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
    if (!SlidersAnswer(*page.frame,
                       kind == &kSimpleDelayKind ? 3016
                       : kind == &kChorusKind    ? 6032
                                                 : 5033,
                       kind == &kSimpleDelayKind ? 5000
                       : kind == &kChorusKind    ? 11000
                                                 : 200)) {
      GTEST_SKIP() << "the trackbar and fader windows of this build do not answer their messages";
    }
    const Fields fields = Block(page.filter.Get(), *kind);
    for (const Slider& s : sliders) {
      if (s.kind != kind) continue;
      EXPECT_EQ(SendMessageA(page.frame->Item(s.id), kGetPos, 0, 0), s.position(fields))
          << "slider " << s.id;
    }
    EXPECT_EQ(page.frame->Close(), S_OK);
  }
}

// Dragging the delay-time thumb to the right end writes the filter all along the way and the
// edit box follows; a digit key then sets the trackbar's tenth.
TEST_F(PageSliders, DraggingTheDelayTrackbarWritesContinuously) {
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  HWND trackbar = page.frame->Item(3016);
  if (!SlidersAnswer(*page.frame, 3016, 5000)) {
    GTEST_SKIP() << "the trackbar and fader windows of this build do not answer their messages";
  }
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
