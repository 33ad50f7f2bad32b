// The page frame interpreted from the pages' tables, against a dialog in memory and the
// parameters of real effects: what every control shows, what typing, dragging, ticking and
// choosing write, what a refresh leaves alone, and the tables themselves.
#include <gtest/gtest.h>

#include <string>

#include "core/effects/chorus/chorus_page_ids.h"
#include "core/effects/delay/simple_delay_page_ids.h"
#include "core/effects/pitch/pitch_page_ids.h"
#include "core/effects/reverb/reverb_page_ids.h"
#include "page_testing.h"

namespace {

using mw::pages::Binding;
using mw::pages::kEditKillFocus;
using mw::pages::kListSelChange;
using mw::pages::PageTable;
using pagetest::PageRig;

std::vector<const PageTable*> AllPages() {
  std::size_t n = 0;
  const PageTable* const* pages = mw::pages::PageTables(&n);
  return {pages, pages + n};
}

// --- The tables ------------------------------------------------------------------------

TEST(PageTables, RowsNameFieldsAndEachControlServesOneRow) {
  for (const PageTable* page : AllPages()) {
    SCOPED_TRACE(page->name);
    std::set<int> seen;
    auto once = [&](int id) {
      if (id != 0) {
        EXPECT_TRUE(seen.insert(id).second) << "control " << id << " bound twice";
      }
    };
    for (std::size_t i = 0; i < page->count; ++i) {
      const Binding& b = page->bindings[i];
      if (b.hook != 0) continue;
      EXPECT_GE(page->effect->params.Find(b.field), 0) << b.field;
      once(b.slider);
      once(b.text);
      once(b.check);
      once(b.list);
      for (int r = 0; r < b.radioCount; ++r) once(b.radio + r);
      if (b.slider != 0) {
        EXPECT_LE(b.minimum, b.defaultPosition) << b.field;
        EXPECT_LE(b.defaultPosition, b.maximum) << b.field;
      }
    }
    // Every control the user acts on has help, and the help table ends.
    mw::pages::PageLogic logic(*page, PageRig::Services(), nullptr);
    for (int id : seen) EXPECT_NE(logic.HelpContext(id), 0) << "control " << id;
    EXPECT_EQ(logic.HelpContext(0), 0);
    EXPECT_EQ(logic.HelpContext(-1), 0);
    EXPECT_EQ(logic.HelpContext(12345), 0);
  }
}

TEST(PageTables, SliderEndsAreValuesTheFilterKeeps) {
  for (const PageTable* page : AllPages()) {
    PageRig rig(*page);
    for (std::size_t i = 0; i < page->count; ++i) {
      const Binding& b = page->bindings[i];
      if (b.slider == 0) continue;
      for (std::int32_t end : {b.minimum, b.maximum}) {
        rig.DragTo(b.slider, end);
        const std::int32_t value = b.scale ? b.scale->toValue(end) : end;
        EXPECT_EQ(rig.Value(b.field), value) << page->name << " " << b.field;
      }
    }
  }
}

// --- What the page shows -----------------------------------------------------------------

TEST(SimpleDelayPage, ShowsTheFiltersValuesWhenCreated) {
  PageRig rig(mw::kSimpleDelayPage);
  auto& d = rig.dialog;
  EXPECT_EQ(d[MW_SD_DRY_TEXT].text, "-6.0 dB");
  EXPECT_EQ(d[MW_SD_DELAY_OUT_TEXT].text, "-6.0 dB");
  EXPECT_EQ(d[MW_SD_DELAY_TIME_EDIT].text, "0.100");
  EXPECT_EQ(d[MW_SD_DECAY_TIME_EDIT].text, "0.1");
  EXPECT_EQ(d[MW_SD_DRY_FADER].slider.position, -60);
  EXPECT_EQ(d[MW_SD_DELAY_TIME_TRACKBAR].slider.position, 100);
  EXPECT_EQ(d[MW_SD_DECAY_TIME_TRACKBAR].slider.position, 1);
  // Ranges and defaults as the page sets them up.
  EXPECT_EQ(d[MW_SD_DELAY_TIME_TRACKBAR].slider.minimum, 1);
  EXPECT_EQ(d[MW_SD_DELAY_TIME_TRACKBAR].slider.maximum, 5000);
  EXPECT_EQ(d[MW_SD_DELAY_TIME_TRACKBAR].defaultPosition, 2500);
  EXPECT_EQ(d[MW_SD_DRY_FADER].slider.minimum, -800);
  EXPECT_EQ(d[MW_SD_DRY_FADER].defaultPosition, -60);
  // No feedback: the decay time is greyed.
  EXPECT_FALSE(d[MW_SD_FEEDBACK_CHECK].checked);
  for (int id : {MW_SD_DECAY_TIME_TRACKBAR, MW_SD_DECAY_TIME_EDIT, MW_SD_DECAY_TIME_LABEL}) {
    EXPECT_FALSE(d[id].enabled) << id;
  }
  // The banner: "About", then "?" at the right edge; the effect's name as caption.
  ASSERT_EQ(d.bannerItems.size(), 2u);
  EXPECT_EQ(d.bannerItems[0], std::make_pair(MW_CMD_ABOUT, std::string("About")));
  EXPECT_EQ(d.bannerItems[1], std::make_pair(MW_CMD_HELP, std::string("?")));
  EXPECT_EQ(d[MW_IDC_BANNER].text, "Simple Delay");
}

TEST(SimpleDelayPage, LevelsAtOrBelowTheFloorReadMinusInfinity) {
  PageRig rig(mw::kSimpleDelayPage);
  for (std::int32_t v : {-800, -801, -5000}) {
    rig.Set("DryOut", v);
    rig.logic.UpdateControls(0);
    EXPECT_EQ(rig.dialog[MW_SD_DRY_TEXT].text, "-Inf.") << v;
  }
  rig.Set("DryOut", -799);
  rig.logic.UpdateControls(0);
  EXPECT_EQ(rig.dialog[MW_SD_DRY_TEXT].text, "-79.9 dB");
}

TEST(ReverbPage, ShowsGroupedWholeNumbersOwnTextsAndTheEarlyFloor) {
  PageRig rig(mw::kReverbPage);
  auto& d = rig.dialog;
  rig.Set("BassCutoff", 5000);
  rig.Set("HighCutoff", 12500);
  rig.logic.UpdateControls(0);
  EXPECT_EQ(d[MW_RV_BASS_EDIT].text, "5,000");
  EXPECT_EQ(d[MW_RV_HIGH_EDIT].text, "12,500");
  EXPECT_EQ(d[MW_RV_EARLY_FADER].defaultPosition, -800);
  for (auto [ms, text] : {std::pair<int, const char*>{0, "Off"}, {1, "1 ms."}, {30, "30 ms."}}) {
    rig.DragTo(MW_RV_PREDELAY_TRACKBAR, ms);
    EXPECT_EQ(d[MW_RV_PREDELAY_TEXT].text, text);
  }
  rig.DragTo(MW_RV_DECAY_TRACKBAR, 25);
  EXPECT_EQ(d[MW_RV_DECAY_TEXT].text, "2.5");
}

// --- Typing ------------------------------------------------------------------------------

struct Typed {
  const PageTable* page;
  int edit;
  const char* text;
  const char* field;
  std::int32_t stored;
  const char* shown;
};

TEST(PageEdits, StoreTheClampedValueAndShowItsCanonicalText) {
  const Typed cases[] = {
      {&mw::kSimpleDelayPage, MW_SD_DELAY_TIME_EDIT, "0.25", "DelayTime", 250, "0.250"},
      {&mw::kSimpleDelayPage, MW_SD_DELAY_TIME_EDIT, "  2.5 seconds", "DelayTime", 2500, "2.500"},
      // 0.4 truncates to 0, which the filter raises to 1.
      {&mw::kSimpleDelayPage, MW_SD_DELAY_TIME_EDIT, "0.0004", "DelayTime", 1, "0.001"},
      {&mw::kSimpleDelayPage, MW_SD_DECAY_TIME_EDIT, "30", "DecayTime", 200, "20.0"},
      // Letters are 0: what the filter makes of it.
      {&mw::kSimpleDelayPage, MW_SD_DELAY_TIME_EDIT, "abc", "DelayTime", 1, "0.001"},
      {&mw::kSimpleDelayPage, MW_SD_DECAY_TIME_EDIT, "", "DecayTime", 1, "0.1"},
      {&mw::kSimpleDelayPage, MW_SD_DELAY_TIME_EDIT, "(2.5)", "DelayTime", 1, "0.001"},
      {&mw::kSimpleDelayPage, MW_SD_DELAY_TIME_EDIT, "1e30", "DelayTime", 5000, "5.000"},
      {&mw::kSimpleDelayPage, MW_SD_DELAY_TIME_EDIT, "nan", "DelayTime", 1, "0.001"},
      // Ten characters: the buffer holds nine, so the last digit is cut.
      {&mw::kSimpleDelayPage, MW_SD_DECAY_TIME_EDIT, "0000000015", "DecayTime", 10, "1.0"},
      {&mw::kChorusPage, MW_CH_RATE_EDIT, "20", "ModulationRate", 20000, "20.00"},
      {&mw::kChorusPage, MW_CH_RATE_EDIT, "0.0005", "ModulationRate", 1, "0.001"},
      {&mw::kChorusPage, MW_CH_RATE_EDIT, "9.999", "ModulationRate", 9999, "9.999"},
      {&mw::kChorusPage, MW_CH_DELAY_EDIT, "150", "ChorusOutDelay", 1000, "100.0"},
      {&mw::kChorusPage, MW_CH_HIGH_CUTOFF_EDIT, "2,500.9", "HighCutoff", 2500, "2,500"},
      {&mw::kReverbPage, MW_RV_BASS_EDIT, "20000", "BassCutoff", 5000, "5,000"},
      // Fourteen characters fit.
      {&mw::kReverbPage, MW_RV_HIGH_EDIT, "0000000000000900", "HighCutoff", 100, "100"},
      {&mw::kReverbPage, MW_RV_HIGH_EDIT, "00000000000900", "HighCutoff", 900, "900"},
  };
  for (const Typed& c : cases) {
    SCOPED_TRACE(std::string(c.page->name) + " typed '" + c.text + "'");
    PageRig rig(*c.page);
    rig.Type(c.edit, c.text);
    EXPECT_EQ(rig.Value(c.field), c.stored);
    EXPECT_EQ(rig.dialog[c.edit].text, c.shown);
  }
}

// Through the rate's two-segment scale. (Unscaled pairs: the Multi-Tap and length pages.)
TEST(PageEdits, TypedValuesMoveThePairedSlider) {
  PageRig rig(mw::kChorusPage);
  rig.Type(MW_CH_RATE_EDIT, "20");
  EXPECT_EQ(rig.dialog[MW_CH_RATE_TRACKBAR].slider.position, 11000);
  rig.Type(MW_CH_RATE_EDIT, "4.5");
  EXPECT_EQ(rig.dialog[MW_CH_RATE_TRACKBAR].slider.position, 4500);
}

TEST(PageEdits, OnlyLeavingTheBoxWrites) {
  PageRig rig(mw::kSimpleDelayPage);
  rig.dialog[MW_SD_DELAY_TIME_EDIT].text = "0.9";
  for (int code : {0x0100 /* set focus */, 0x0300 /* change */, 0x0400 /* update */}) {
    rig.logic.Command(MW_SD_DELAY_TIME_EDIT, code);
  }
  EXPECT_EQ(rig.Value("DelayTime"), 100);
  EXPECT_EQ(rig.dialog[MW_SD_DELAY_TIME_EDIT].text, "0.9");  // not refreshed under the user
  EXPECT_EQ(rig.params.puts, 0);
}

TEST(PageEdits, ReadTheUsersSeparators) {
  PageRig rig(mw::kSimpleDelayPage, PageRig::GermanServices());
  rig.Type(MW_SD_DELAY_TIME_EDIT, "0,25");
  EXPECT_EQ(rig.Value("DelayTime"), 250);
  EXPECT_EQ(rig.dialog[MW_SD_DELAY_TIME_EDIT].text, "0,250");
}

// Whatever a box shows, typed back (and the box left) again and again, settles at once,
// over every value of every edit box's parameter: the value stays or, where the decimal
// text times the scale falls just below a whole number (1.001 s x 1000 is 1000.9999...)
// and truncation takes it down, ends one unit lower. The Chorus rate above 9.999 Hz shows
// hundredths, so there the value becomes one shown (16.069 Hz reads 16.06); where that
// text truncates low in turn (16.06 x 1000 is 16059.99...), a second round ends it at the
// hundredth below.
TEST(PageEdits, TypingBackTheShownTextSettlesAtOnce) {
  for (const PageTable* page : AllPages()) {
    PageRig rig(*page);
    for (std::size_t i = 0; i < page->count; ++i) {
      const Binding& b = page->bindings[i];
      if (!b.edit) continue;
      const mw::FieldInfo& f = page->effect->params.fields[page->effect->params.Find(b.field)];
      const bool hundredths = b.text == MW_CH_RATE_EDIT && page == &mw::kChorusPage;
      const bool wholeCents = b.text == MW_PS_CENTS_EDIT && page == &mw::kPitchShiftPage;
      int lowered = 0;
      for (std::int64_t v = f.min; v <= f.max; ++v) {
        rig.Set(b.field, static_cast<std::int32_t>(v));
        rig.logic.UpdateControls(0);
        std::int64_t now = v;
        int rounds = 0;
        for (;; ++rounds) {
          ASSERT_LE(rounds, hundredths ? 2 : 1) << page->name << " " << b.field << " " << v;
          rig.Type(b.text, rig.dialog[b.text].text);
          if (rig.Value(b.field) == now) break;
          now = rig.Value(b.field);
        }
        if (wholeCents) {
          // The cents box reads whole cents: the tenth shown is dropped, toward zero.
          ASSERT_EQ(now, v / 10 * 10) << v;
          continue;
        }
        const std::int64_t step = hundredths && v > 9999 ? 10 : 1;
        ASSERT_LE(now, v) << page->name << " " << b.field << " " << v;
        ASSERT_LT(v - now, 2 * step) << page->name << " " << b.field << " " << v;
        lowered += v / step * step != now;
      }
      // The texts whose product truncates low are few.
      EXPECT_LT(lowered * 50, f.max - f.min + 1) << page->name << " " << b.field;
    }
  }
}

// --- Sliders -------------------------------------------------------------------------------

TEST(PageSliders, ADragWritesEveryStepAndTheRefreshNeverMovesTheDraggedControl) {
  PageRig rig(mw::kSimpleDelayPage);
  auto& trackbar = rig.dialog[MW_SD_DELAY_TIME_TRACKBAR];
  for (std::int32_t p : {1200, 1201, 2999, 5000, 1}) {
    trackbar.positioned = 0;
    rig.DragTo(MW_SD_DELAY_TIME_TRACKBAR, p);
    EXPECT_EQ(rig.Value("DelayTime"), p);
    EXPECT_EQ(rig.dialog[MW_SD_DELAY_TIME_EDIT].text,
              rig.logic.ValueString(mw::kSimpleDelayPage.bindings[3], p));
    // Only the scroll rule's own store, with the position the control already has.
    EXPECT_EQ(trackbar.positioned, 1);
    EXPECT_EQ(trackbar.slider.position, p);
  }
  // A fader dragged: written, its thumb left alone by the refresh.
  auto& fader = rig.dialog[MW_SD_DRY_FADER];
  fader.positioned = 0;
  rig.DragTo(MW_SD_DRY_FADER, -120);
  EXPECT_EQ(rig.Value("DryOut"), -120);
  EXPECT_EQ(rig.dialog[MW_SD_DRY_TEXT].text, "-12.0 dB");
  EXPECT_EQ(fader.positioned, 1);
}

TEST(PageSliders, LinePageAndEndCodesFollowTheScrollRules) {
  PageRig rig(mw::kSimpleDelayPage);
  rig.Set("DecayTime", 100);
  rig.logic.UpdateControls(0);
  const std::pair<int, std::int32_t> steps[] = {{1, 101}, {0, 100}, {3, 110}, {2, 100},
                                                {7, 200}, {6, 1},   {8, 1}};
  for (auto [code, expected] : steps) {
    rig.logic.Scroll(MW_SD_DECAY_TIME_TRACKBAR, code, false);
    EXPECT_EQ(rig.Value("DecayTime"), expected) << "code " << code;
    EXPECT_EQ(rig.dialog[MW_SD_DECAY_TIME_TRACKBAR].slider.position, expected);
  }
  rig.logic.Scroll(MW_SD_DECAY_TIME_TRACKBAR, 3, true);  // Ctrl: ten pages
  EXPECT_EQ(rig.Value("DecayTime"), 101);
  // Faders: line up raises the level by a tenth of a decibel, Home goes to 0 dB.
  rig.logic.Scroll(MW_SD_DELAY_OUT_FADER, 0, false);
  EXPECT_EQ(rig.Value("DelayOut"), -59);
  rig.logic.Scroll(MW_SD_DELAY_OUT_FADER, 6, false);
  EXPECT_EQ(rig.Value("DelayOut"), 0);
  EXPECT_EQ(rig.dialog[MW_SD_DELAY_OUT_TEXT].text, "0.0 dB");
}

TEST(ChorusPage, TheRateTrackbarCrossesItsTwoSegments) {
  PageRig rig(mw::kChorusPage);
  rig.DragTo(MW_CH_RATE_TRACKBAR, 9999);
  EXPECT_EQ(rig.dialog[MW_CH_RATE_EDIT].text, "9.999");
  rig.logic.Scroll(MW_CH_RATE_TRACKBAR, 1, false);
  EXPECT_EQ(rig.Value("ModulationRate"), 10000);
  EXPECT_EQ(rig.dialog[MW_CH_RATE_EDIT].text, "10.00");
  rig.logic.Scroll(MW_CH_RATE_TRACKBAR, 1, false);
  EXPECT_EQ(rig.Value("ModulationRate"), 10010);
  EXPECT_EQ(rig.dialog[MW_CH_RATE_EDIT].text, "10.01");
}

TEST(ChorusPage, TheRateScaleMapsEveryPositionAndEveryRate) {
  const Binding& rate = mw::kChorusPage.bindings[6];
  ASSERT_EQ(rate.slider, MW_CH_RATE_TRACKBAR);
  for (std::int32_t p = rate.minimum; p <= rate.maximum; ++p) {
    ASSERT_EQ(rate.scale->toPosition(rate.scale->toValue(p)), p) << p;
  }
  for (std::int32_t v = 1; v <= 20000; ++v) {
    const std::int32_t back = rate.scale->toValue(rate.scale->toPosition(v));
    ASSERT_EQ(back, v <= 9999 ? v : v / 10 * 10) << v;
  }
}

// --- Check boxes and lists ------------------------------------------------------------------

TEST(PageCheckBoxes, TickingEnablesAndUntickingGreysTheDependantsKeepingTheirValue) {
  struct Case {
    const PageTable* page;
    int check;
    const char* field;
    std::vector<int> dependants;
    const char* kept;
  };
  const Case cases[] = {
      {&mw::kSimpleDelayPage, MW_SD_FEEDBACK_CHECK, "Feedback",
       {MW_SD_DECAY_TIME_TRACKBAR, MW_SD_DECAY_TIME_EDIT, MW_SD_DECAY_TIME_LABEL}, "DecayTime"},
      {&mw::kChorusPage, MW_CH_HIGHS_CHECK, "AttenuateHighs",
       {MW_CH_HIGH_CUTOFF_TRACKBAR, MW_CH_HIGH_CUTOFF_EDIT}, "HighCutoff"},
      {&mw::kReverbPage, MW_RV_BASS_CHECK, "AttenuateBass",
       {MW_RV_BASS_TRACKBAR, MW_RV_BASS_EDIT}, "BassCutoff"},
      {&mw::kReverbPage, MW_RV_HIGHS_CHECK, "AttenuateHighs",
       {MW_RV_HIGH_TRACKBAR, MW_RV_HIGH_EDIT}, "HighCutoff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    PageRig rig(*c.page);
    const std::int32_t kept = rig.Value(c.kept);
    for (bool on : {true, false, true}) {
      rig.dialog[c.check].checked = on;
      rig.logic.Command(c.check, 0);
      EXPECT_EQ(rig.Value(c.field), on ? 1 : 0);
      for (int id : c.dependants) EXPECT_EQ(rig.dialog[id].enabled, on) << id;
      EXPECT_EQ(rig.Value(c.kept), kept);
    }
  }
}

TEST(ReverbPage, TheModeListIsSortedForTheUserAndKeyedByItsData) {
  PageRig rig(mw::kReverbPage, PageRig::Services(), {MW_RV_MODE_LIST});
  auto& modes = rig.dialog[MW_RV_MODE_LIST].items;
  ASSERT_EQ(modes.size(), 19u);
  EXPECT_EQ(modes.front().first, "Bright corridor");
  EXPECT_EQ(modes.back().first, "Wide open hall");
  rig.dialog[MW_RV_MODE_LIST].selection = rig.dialog.IndexOf(MW_RV_MODE_LIST, "Rich hall");
  rig.logic.Command(MW_RV_MODE_LIST, kListSelChange);
  EXPECT_EQ(rig.Value("ReverbMode"), 0);
  // Every mode the filter holds selects its own entry.
  for (std::int32_t mode = 0; mode < 19; ++mode) {
    rig.Set("ReverbMode", mode);
    rig.logic.UpdateControls(0);
    const int selected = rig.dialog[MW_RV_MODE_LIST].selection;
    EXPECT_EQ(rig.dialog.ListData(MW_RV_MODE_LIST, selected), mode);
  }
  // The style list keeps its order; other notifications write nothing.
  EXPECT_EQ(rig.dialog[MW_RV_STYLE_LIST].items[9].first, "Mode 10 (16 ms, pan left)");
  ASSERT_NE(rig.Value("EarlyStyle"), 7);
  rig.dialog[MW_RV_STYLE_LIST].selection = 7;
  rig.logic.Command(MW_RV_STYLE_LIST, 3 /* set focus */);
  EXPECT_NE(rig.Value("EarlyStyle"), 7);
  rig.logic.Command(MW_RV_STYLE_LIST, kListSelChange);
  EXPECT_EQ(rig.Value("EarlyStyle"), 7);
}

// --- Refreshes ------------------------------------------------------------------------------

TEST(PageRefresh, AChangeNoticeOfAnyCodeRefreshesEveryControl) {
  for (int code : {MW_NOTICE_RELOADED, 0, 1}) {
    PageRig rig(mw::kSimpleDelayPage);
    ASSERT_TRUE(mw::Succeeded(rig.effect->ApplyPreset(2)));  // Echo chamber, from elsewhere
    rig.logic.Command(MW_CMD_CHANGE_NOTICE, code);
    auto& d = rig.dialog;
    EXPECT_EQ(d[MW_SD_DRY_TEXT].text, "-9.0 dB") << code;
    EXPECT_EQ(d[MW_SD_DELAY_OUT_TEXT].text, "-3.0 dB");
    EXPECT_EQ(d[MW_SD_DELAY_TIME_EDIT].text, "0.400");
    EXPECT_EQ(d[MW_SD_DECAY_TIME_EDIT].text, "2.0");
    EXPECT_EQ(d[MW_SD_DRY_FADER].slider.position, -90);
    EXPECT_EQ(d[MW_SD_DELAY_TIME_TRACKBAR].slider.position, 400);
    EXPECT_TRUE(d[MW_SD_FEEDBACK_CHECK].checked);
    EXPECT_TRUE(d[MW_SD_DECAY_TIME_EDIT].enabled);
  }
}

TEST(PageRefresh, ARefreshReadsOnlyAndRepeatsWithoutSideEffects) {
  for (const PageTable* page : AllPages()) {
    PageRig rig(*page);
    ASSERT_TRUE(mw::Succeeded(rig.effect->ApplyPreset(1)));
    rig.logic.UpdateControls(0);
    const auto before = rig.dialog.controls;
    rig.effect->Params().ClearDirty();
    const std::int32_t writes = rig.params.puts;
    rig.logic.Command(MW_CMD_CHANGE_NOTICE, MW_NOTICE_RELOADED);
    // The Pitch Shift page writes the ratio it shows at every refresh: the one the filter
    // already holds, which changes nothing.
    EXPECT_EQ(rig.params.puts - writes, page == &mw::kPitchShiftPage ? 1 : 0) << page->name;
    EXPECT_FALSE(rig.effect->Params().Dirty()) << page->name;
    for (const auto& [id, c] : before) {
      EXPECT_EQ(rig.dialog[id].text, c.text) << page->name << " " << id;
      EXPECT_EQ(rig.dialog[id].slider.position, c.slider.position) << id;
      EXPECT_EQ(rig.dialog[id].checked, c.checked) << id;
      EXPECT_EQ(rig.dialog[id].selection, c.selection) << id;
    }
  }
}

TEST(PageRefresh, WithoutParametersOrWindowNothingHappens) {
  PageRig rig(mw::kSimpleDelayPage);
  rig.logic.Connect(nullptr);
  rig.dialog[MW_SD_DELAY_TIME_EDIT].text = "2";
  EXPECT_EQ(rig.logic.UpdateControls(0), 0);
  rig.logic.Command(MW_SD_DELAY_TIME_EDIT, kEditKillFocus);
  rig.logic.Scroll(MW_SD_DELAY_TIME_TRACKBAR, 3, false);
  EXPECT_EQ(rig.Value("DelayTime"), 100);
  EXPECT_EQ(rig.dialog[MW_SD_DELAY_TIME_EDIT].text, "2");

  rig.logic.Connect(&rig.params);
  rig.logic.Attach(nullptr);
  EXPECT_EQ(rig.logic.UpdateControls(0), 0);
  rig.logic.Scroll(MW_SD_DELAY_TIME_TRACKBAR, 3, false);
  EXPECT_EQ(rig.params.puts, 0);
}

}  // namespace
