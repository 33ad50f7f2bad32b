// The Multi-Tap Delay page against a dialog in memory and a real filter's parameters: the tap
// buttons and the current tap, the per-tap controls, the pans in mono and stereo, the graph's
// span list and when the graph is asked to repaint.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/effects/multitap/multi_tap_delay.h"
#include "core/effects/multitap/multi_tap_page_ids.h"
#include "page_testing.h"

namespace {

using mw::pages::kEditKillFocus;
using mw::pages::kListSelChange;
using pagetest::PageRig;

constexpr int kTaps = 8;
constexpr int kClicked = 0;  // BN_CLICKED

std::string TapField(const char* name, int tap) { return name + std::to_string(tap + 1); }

// A whole number as the page shows it in the test locale: grouped by thousands.
std::string Grouped(std::int32_t v) {
  char text[16];
  if (v < 1000) return std::to_string(v);
  std::snprintf(text, sizeof text, "%d,%03d", v / 1000, v % 1000);
  return text;
}

struct TapRig : PageRig {
  TapRig() : PageRig(mw::kMultiTapPage) {}

  // Every tap different, so that each control shows whose value it holds.
  void DistinctTaps() {
    Set("TapCount", kTaps);
    for (int i = 0; i < kTaps; ++i) {
      Set(TapField("TapGain", i).c_str(), 10 * i - 45);
      Set(TapField("TapDelay", i).c_str(), 1001 + 111 * i);
      Set(TapField("TapPan", i).c_str(), 25 * i - 100);
    }
    logic.UpdateControls(0);
  }
  std::vector<std::int32_t> Block() {
    std::vector<std::int32_t> block;
    for (int f = 0; f < mw::kMtFieldCount; ++f) {
      block.push_back(Value(mw::kMultiTap.params.fields[f].name));
    }
    return block;
  }
  int CheckedTap() {
    int checked = -1;
    for (int i = 0; i < kTaps; ++i) {
      if (dialog[MW_MT_TAP_RADIO_FIRST + i].checked) {
        EXPECT_EQ(checked, -1) << "two tap buttons checked";
        checked = i;
      }
    }
    return checked;
  }
  // The controls of the current tap show tap `tap`'s values.
  void ExpectShowsTap(int tap) {
    const std::int32_t gain = Value(TapField("TapGain", tap).c_str());
    const std::int32_t delay = Value(TapField("TapDelay", tap).c_str());
    const std::int32_t pan = Value(TapField("TapPan", tap).c_str());
    EXPECT_EQ(dialog[MW_MT_GAIN_FADER].slider.position, gain) << "tap " << tap + 1;
    EXPECT_EQ(dialog[MW_MT_GAIN_TEXT].text, std::to_string(gain) + " %");
    EXPECT_EQ(dialog[MW_MT_DELAY_TRACKBAR].slider.position, delay);
    EXPECT_EQ(dialog[MW_MT_DELAY_EDIT].text, Grouped(delay));
    EXPECT_EQ(dialog[MW_MT_PAN_TRACKBAR].slider.position, pan);
    EXPECT_EQ(dialog[MW_MT_PAN_TEXT].text, std::to_string(pan) + " %");
  }
};

// --- The taps' buttons --------------------------------------------------------------------

// Every count from every count and current tap: the count is written and shown, the buttons
// of the taps in use are enabled, the current tap stays when it is in use and becomes the
// last one in use otherwise.
TEST(MultiTapPage, EveryCountChangeKeepsTheCurrentTapAmongTheTapsInUse) {
  for (int from = 1; from <= kTaps; ++from) {
    for (int current = 0; current < from; ++current) {
      for (int to = 1; to <= kTaps; ++to) {
        TapRig rig;
        rig.DistinctTaps();
        rig.Set("TapCount", from);
        rig.Set("CurrentTap", current);
        rig.logic.UpdateControls(0);
        const int invalidated = rig.dialog.invalidated;
        rig.DragTo(MW_MT_COUNT_TRACKBAR, to);
        EXPECT_EQ(rig.Value("TapCount"), to);
        EXPECT_EQ(rig.dialog[MW_MT_COUNT_TEXT].text, std::to_string(to));
        const int expected = current < to ? current : to - 1;
        ASSERT_EQ(rig.Value("CurrentTap"), expected) << from << " -> " << to << " at " << current;
        EXPECT_EQ(rig.CheckedTap(), expected);
        for (int i = 0; i < kTaps; ++i) {
          EXPECT_EQ(rig.dialog[MW_MT_TAP_RADIO_FIRST + i].enabled, i < to) << "button " << i + 1;
        }
        rig.ExpectShowsTap(expected);
        EXPECT_GT(rig.dialog.invalidated, invalidated) << "the graph was not repainted";
      }
    }
  }
}

TEST(MultiTapPage, SelectingATapShowsItsControlsAndRepaintsTheGraph) {
  TapRig rig;
  rig.DistinctTaps();
  for (int tap : {3, 7, 0, 5, 1, 6, 2, 4}) {
    const int invalidated = rig.dialog.invalidated;
    std::vector<std::int32_t> expected = rig.Block();
    expected[mw::kMtCurrentTap] = tap;
    rig.logic.Command(MW_MT_TAP_RADIO_FIRST + tap, kClicked);
    EXPECT_EQ(rig.Block(), expected) << "only the current tap changes";
    EXPECT_EQ(rig.CheckedTap(), tap);
    rig.ExpectShowsTap(tap);
    EXPECT_GT(rig.dialog.invalidated, invalidated);
  }
}

// The gain fader, the delay trackbar and box and the pan trackbar write the current tap's
// field and no other.
TEST(MultiTapPage, PerTapControlsWriteTheCurrentTapOnly) {
  for (int tap = 0; tap < kTaps; ++tap) {
    TapRig rig;
    rig.DistinctTaps();
    rig.logic.Command(MW_MT_TAP_RADIO_FIRST + tap, kClicked);
    struct Step {
      const char* field;
      std::int32_t stored;
      std::function<void()> act;
    };
    const Step steps[] = {
        {"TapGain", -100, [&] { rig.DragTo(MW_MT_GAIN_FADER, -100); }},
        {"TapGain", 37, [&] { rig.DragTo(MW_MT_GAIN_FADER, 37); }},
        {"TapDelay", 2500, [&] { rig.DragTo(MW_MT_DELAY_TRACKBAR, 2500); }},
        {"TapDelay", 2500, [&] { rig.Type(MW_MT_DELAY_EDIT, "3000"); }},
        {"TapDelay", 1234, [&] { rig.Type(MW_MT_DELAY_EDIT, "1,234"); }},
        {"TapDelay", 1, [&] { rig.Type(MW_MT_DELAY_EDIT, "no number"); }},
        {"TapPan", 100, [&] { rig.DragTo(MW_MT_PAN_TRACKBAR, 100); }},
        {"TapPan", -60, [&] { rig.DragTo(MW_MT_PAN_TRACKBAR, -60); }},
    };
    for (const Step& s : steps) {
      std::vector<std::int32_t> expected = rig.Block();
      expected[static_cast<std::size_t>(rig.Field(TapField(s.field, tap).c_str()))] = s.stored;
      s.act();
      EXPECT_EQ(rig.Block(), expected) << s.field << " of tap " << tap + 1;
      rig.ExpectShowsTap(tap);
    }
  }
}

// --- What the page shows ------------------------------------------------------------------

TEST(MultiTapPage, PansAreEnabledForAStereoFormatOnly) {
  const int pans[] = {MW_MT_PAN_TRACKBAR, MW_MT_PAN_TEXT, MW_MT_PAN_LABEL, MW_MT_PAN_LEFT_LABEL,
                      MW_MT_PAN_RIGHT_LABEL};
  TapRig rig;
  for (int channels : {2, 0, 1, 2, 1}) {
    rig.params.channels_ = channels;
    rig.logic.UpdateControls(0);
    for (int id : pans) EXPECT_EQ(rig.dialog[id].enabled, channels == 2) << id << " " << channels;
    // Only a refresh of everything looks at the format again.
    rig.params.channels_ = 3 - channels;
    rig.DragTo(MW_MT_PAN_TRACKBAR, 20);
    rig.DragTo(MW_MT_FEEDBACK_TRACKBAR, 30);
    for (int id : pans) EXPECT_EQ(rig.dialog[id].enabled, channels == 2) << id;
  }
}

TEST(MultiTapPage, ValuesReadInTheirUnits) {
  TapRig rig;
  rig.Set("ModRate", 15);
  rig.Set("ModDepth", 0);
  rig.Set("Feedback", 150);
  rig.Set("LowPassStart", 10000);
  rig.Set("WetOut", -800);
  rig.Set("TapGain1", -100);
  rig.Set("TapPan1", -100);
  rig.logic.UpdateControls(0);
  auto& d = rig.dialog;
  EXPECT_EQ(d[MW_MT_RATE_TEXT].text, "1.5 Hz");
  EXPECT_EQ(d[MW_MT_DEPTH_TEXT].text, "0 %");
  EXPECT_EQ(d[MW_MT_FEEDBACK_TEXT].text, "150 %");
  EXPECT_EQ(d[MW_MT_LOW_PASS_EDIT].text, "10,000");
  EXPECT_EQ(d[MW_MT_WET_TEXT].text, "-Inf.");
  EXPECT_EQ(d[MW_MT_GAIN_TEXT].text, "-100 %");
  EXPECT_EQ(d[MW_MT_PAN_TEXT].text, "-100 %");
  EXPECT_TRUE(d[MW_MT_PAN_TRACKBAR].fillFromDefault);
  EXPECT_EQ(d[MW_MT_GAIN_FADER].slider.minimum, -100);
  EXPECT_EQ(d[MW_MT_DELAY_TRACKBAR].defaultPosition, 1250);
  // The graph's part of the help, where the pan text is named twice: the first entry wins.
  EXPECT_EQ(rig.logic.HelpContext(MW_MT_PAN_TEXT), 47);
  EXPECT_EQ(rig.logic.HelpContext(MW_MT_GRAPH), 48);
  EXPECT_EQ(rig.logic.HelpContext(MW_MT_TAP_RADIO_LAST), 44);
}

TEST(MultiTapPage, TheSpanListCarriesTheGraphResolution) {
  TapRig rig;
  auto& list = rig.dialog[MW_MT_SPAN_LIST];
  const std::vector<std::pair<std::string, std::int32_t>> spans = {
      {"500", 0}, {"1,000", 1}, {"3,000", 2}, {"5,000", 3}};
  EXPECT_EQ(list.items, spans);
  EXPECT_EQ(list.selection, 0);
  for (int entry : {3, 1, 2, 0}) {
    const int invalidated = rig.dialog.invalidated;
    const std::int32_t before = rig.Value("GraphResolution");
    list.selection = entry;
    rig.logic.Command(MW_MT_SPAN_LIST, kListSelChange + 1);  // not a change of selection
    EXPECT_EQ(rig.Value("GraphResolution"), before);
    rig.logic.Command(MW_MT_SPAN_LIST, kListSelChange);
    EXPECT_EQ(rig.Value("GraphResolution"), entry);
    EXPECT_GT(rig.dialog.invalidated, invalidated);
    // A value from elsewhere selects its entry.
    rig.Set("GraphResolution", 3 - entry);
    rig.logic.UpdateControls(0);
    EXPECT_EQ(list.selection, 3 - entry);
  }
}

// The graph repaints after a change of what it draws, and only then.
TEST(MultiTapPage, TheGraphRepaintsAfterChangesOfWhatItDraws) {
  struct Action {
    const char* what;
    bool repaints;
    std::function<void(TapRig&)> act;
  };
  const Action actions[] = {
      {"tap gain", true, [](TapRig& r) { r.DragTo(MW_MT_GAIN_FADER, 20); }},
      {"feedback", true, [](TapRig& r) { r.DragTo(MW_MT_FEEDBACK_TRACKBAR, 20); }},
      {"tap delay", true, [](TapRig& r) { r.DragTo(MW_MT_DELAY_TRACKBAR, 20); }},
      {"typed delay", true, [](TapRig& r) { r.Type(MW_MT_DELAY_EDIT, "20"); }},
      {"tap count", true, [](TapRig& r) { r.DragTo(MW_MT_COUNT_TRACKBAR, 3); }},
      {"input gain", false, [](TapRig& r) { r.DragTo(MW_MT_INPUT_FADER, -20); }},
      {"rate", false, [](TapRig& r) { r.DragTo(MW_MT_RATE_TRACKBAR, 20); }},
      {"depth", false, [](TapRig& r) { r.DragTo(MW_MT_DEPTH_TRACKBAR, 20); }},
      {"pan", false, [](TapRig& r) { r.DragTo(MW_MT_PAN_TRACKBAR, 20); }},
      {"low-pass", false, [](TapRig& r) { r.Type(MW_MT_LOW_PASS_EDIT, "2000"); }},
      {"low-pass box", false, [](TapRig& r) { r.logic.Command(MW_MT_LOW_PASS_CHECK, kClicked); }},
      {"typing only", false,
       [](TapRig& r) { r.logic.Command(MW_MT_DELAY_EDIT, kEditKillFocus + 1); }},
  };
  for (const Action& a : actions) {
    TapRig rig;
    const int before = rig.dialog.invalidated;
    a.act(rig);
    EXPECT_EQ(rig.dialog.invalidated > before, a.repaints) << a.what;
  }
}

}  // namespace
