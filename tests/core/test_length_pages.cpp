// The pages of the two effects that change the length of the sound, against a dialog in
// memory and the parameters of real effects: the ratio the Pitch Shift page writes and what
// it shows of it, the semitone range Preserve duration narrows, the times with and without an
// input's sample rate, and the Time Stretch page's three input formats.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/effects/pitch/pitch_page_ids.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/effects/stretch/stretch_page_ids.h"
#include "core/ui/slider_scale.h"
#include "page_testing.h"

namespace {

using mw::pages::kEditKillFocus;
using mw::pages::kListSelChange;
using pagetest::PageRig;

constexpr std::uint32_t kRate = 44100;

double Double(PageRig& rig, const char* name) {
  double v = 0.0;
  EXPECT_TRUE(mw::Succeeded(
      rig.effect->Params().GetDouble(static_cast<std::size_t>(rig.Field(name)), &v)));
  return v;
}

void SetDouble(PageRig& rig, const char* name, double v) {
  rig.effect->Params().PutDouble(static_cast<std::size_t>(rig.Field(name)), v);
}

// The user ticks or clears a check box.
void Tick(PageRig& rig, int box, bool on) {
  rig.dialog[box].checked = on;
  rig.logic.Command(box, 0);
}

// The user picks the entry of a list whose item data is `data`.
void Choose(PageRig& rig, int list, std::int32_t data) {
  auto& items = rig.dialog[list].items;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].second == data) rig.dialog[list].selection = static_cast<int>(i);
  }
  rig.logic.Command(list, kListSelChange);
}

bool Blank(const std::string& s) {
  for (char c : s) {
    if (c != ' ') return false;
  }
  return true;
}

// --- Pitch Shift -----------------------------------------------------------------------------

TEST(PitchShiftPage, OpensWithoutAnInputShowingTheRatioItWroteAndNeedInputPin) {
  PageRig rig(mw::kPitchShiftPage);
  auto& d = rig.dialog;
  // Semitones 0 and Cents 0: the page writes 1.000001, which reads 1.00000.
  EXPECT_EQ(Double(rig, "Ratio"), 1.000001);
  EXPECT_EQ(d[MW_PS_RATIO_TEXT].text, "1.00000");
  EXPECT_TRUE(Blank(d[MW_PS_MUSICAL_TEXT].text)) << "'" << d[MW_PS_MUSICAL_TEXT].text << "'";
  EXPECT_TRUE(d[MW_PS_ANTIALIAS_CHECK].enabled);  // 1.000001 > 1.0
  EXPECT_TRUE(d[MW_PS_PRESERVE_CHECK].enabled);
  EXPECT_EQ(d[MW_PS_SEMITONES_EDIT].text, "0");
  EXPECT_EQ(d[MW_PS_CENTS_EDIT].text, "0.0");
  EXPECT_EQ(d[MW_PS_ACCURACY_TEXT].text, "2");
  EXPECT_EQ(d[MW_PS_ACCURACY_TRACKBAR].slider.position, 2);
  EXPECT_EQ(d[MW_PS_SEMITONES_LABEL].text, "Se&mitones to shift pitch by (-50 to 50):");
  EXPECT_EQ(d[MW_PS_SEMITONES_TRACKBAR].slider.minimum, -50);
  EXPECT_EQ(d[MW_PS_SEMITONES_TRACKBAR].slider.maximum, 50);
  EXPECT_TRUE(d[MW_PS_SEMITONES_TRACKBAR].fillFromDefault);
  EXPECT_TRUE(d[MW_PS_CENTS_TRACKBAR].fillFromDefault);
  EXPECT_FALSE(d[MW_PS_ACCURACY_TRACKBAR].fillFromDefault);
  EXPECT_EQ(d[MW_PS_CENTS_TRACKBAR].slider.minimum, -1000);
  EXPECT_EQ(d[MW_PS_ACCURACY_TRACKBAR].defaultPosition, 2);
  // No sample rate: the times cannot be shown.
  EXPECT_EQ(d[MW_PS_FINAL_TIME_LABEL].text, "Need input pin");
  EXPECT_EQ(d[MW_PS_INITIAL_TIME_EDIT].text, "00:00:00.000");
  EXPECT_EQ(d[MW_PS_FINAL_TIME_TEXT].text, "00:00:00.000");
  // Preserve duration is off: the mode is greyed, the times are not.
  for (int id : {MW_PS_MODE_LABEL, MW_PS_MODE_LIST}) EXPECT_FALSE(d[id].enabled) << id;
  for (int id : {MW_PS_INITIAL_TIME_LABEL, MW_PS_INITIAL_TIME_EDIT, MW_PS_FINAL_TIME_LABEL,
                 MW_PS_FINAL_TIME_TEXT}) {
    EXPECT_TRUE(d[id].enabled) << id;
  }
  ASSERT_EQ(d[MW_PS_MODE_LIST].items.size(), 19u);
  EXPECT_EQ(d[MW_PS_MODE_LIST].selection, 0);
  EXPECT_EQ(d[MW_IDC_BANNER].text, "Pitch Shift");
  // The controls of the page's own rows have help as well.
  for (auto [id, context] : {std::pair{MW_PS_INITIAL_TIME_EDIT, 84}, {MW_PS_FINAL_TIME_TEXT, 85},
                             {MW_PS_MUSICAL_TEXT, 86}, {MW_PS_RATIO_TEXT, 87}}) {
    EXPECT_EQ(rig.logic.HelpContext(id), context) << id;
  }
}

TEST(PitchShiftPage, TypedIntervalsShowTheirRatiosAndNames) {
  PageRig rig(mw::kPitchShiftPage);
  auto& d = rig.dialog;
  struct Case {
    const char* semitones;
    const char* cents;
    const char* ratio;
    const char* musical;
  };
  const Case cases[] = {
      {"7", "0", "1.49831", "Up 5th "},      {"7", "5", "1.50277", "Up 5th +"},
      {"-12", "0", "0.50000", "Down Octave "}, {"-1", "100", "1.00169", " "},
      {"12", "-0.5", "2.00000", "Up Octave "}, {"-4", "-50", "0.77046", "Down Major 3rd -"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.semitones) + " semitones, " + c.cents + " cents");
    rig.Type(MW_PS_SEMITONES_EDIT, c.semitones);
    rig.Type(MW_PS_CENTS_EDIT, c.cents);
    EXPECT_EQ(d[MW_PS_RATIO_TEXT].text, c.ratio);
    const std::string musical = d[MW_PS_MUSICAL_TEXT].text;
    if (Blank(c.musical)) {
      EXPECT_TRUE(Blank(musical)) << "'" << musical << "'";
    } else {
      EXPECT_EQ(musical, c.musical);
    }
  }
}

// Over the whole semitone range and cents on both sides of every semitone: the page writes
// the filter's stored ratio for them, shows it with five decimals, offers the anti-alias
// filter only above 1.0, and moves both trackbars.
TEST(PitchShiftPage, EverySettingWritesTheStoredRatioAndShowsIt) {
  PageRig rig(mw::kPitchShiftPage);
  auto& d = rig.dialog;
  for (std::int32_t s = -50; s <= 50; ++s) {
    for (std::int32_t c : {-1000, -999, -1, 0, 1, 500, 1000}) {
      rig.DragTo(MW_PS_SEMITONES_TRACKBAR, s);
      rig.DragTo(MW_PS_CENTS_TRACKBAR, c);
      const double ratio = mw::PitchRatioToStore(s, c);
      ASSERT_EQ(Double(rig, "Ratio"), ratio) << s << " " << c;
      const double shown = std::strtod(d[MW_PS_RATIO_TEXT].text.c_str(), nullptr);
      ASSERT_NEAR(shown, ratio, 0.0000051) << d[MW_PS_RATIO_TEXT].text;
      ASSERT_EQ(d[MW_PS_ANTIALIAS_CHECK].enabled, ratio > 1.0) << s << " " << c;
      ASSERT_EQ(d[MW_PS_PRESERVE_CHECK].enabled, s >= -12 && s <= 12) << s;
      ASSERT_EQ(d[MW_PS_SEMITONES_EDIT].text, std::to_string(s));
    }
  }
}

TEST(PitchShiftPage, TickingPreserveDurationNarrowsTheSemitonesAndWritesBackAClampedValue) {
  PageRig rig(mw::kPitchShiftPage);
  auto& d = rig.dialog;
  // The host wrote -20 while the page still showed 0 (with Preserve duration available).
  rig.Set("Semitones", -20);
  Tick(rig, MW_PS_PRESERVE_CHECK, true);
  EXPECT_EQ(rig.Value("PreserveDuration"), 1);
  EXPECT_EQ(rig.Value("Semitones"), -12);
  EXPECT_EQ(d[MW_PS_SEMITONES_TRACKBAR].slider.minimum, -12);
  EXPECT_EQ(d[MW_PS_SEMITONES_TRACKBAR].slider.maximum, 12);
  EXPECT_EQ(d[MW_PS_SEMITONES_TRACKBAR].slider.position, -12);
  EXPECT_EQ(d[MW_PS_SEMITONES_EDIT].text, "-12");
  EXPECT_EQ(d[MW_PS_SEMITONES_LABEL].text, "Se&mitones to shift pitch by (-12 to 12):");
  EXPECT_EQ(d[MW_PS_MUSICAL_TEXT].text, "Down Octave ");
  EXPECT_EQ(Double(rig, "Ratio"), mw::PitchRatioToStore(-12, 0));
  for (int id : {MW_PS_MODE_LABEL, MW_PS_MODE_LIST}) EXPECT_TRUE(d[id].enabled) << id;
  for (int id : {MW_PS_INITIAL_TIME_LABEL, MW_PS_INITIAL_TIME_EDIT, MW_PS_FINAL_TIME_LABEL,
                 MW_PS_FINAL_TIME_TEXT}) {
    EXPECT_FALSE(d[id].enabled) << id;
  }
  // While it is on, typed semitones are limited and the trackbar pages by 2.
  rig.Type(MW_PS_SEMITONES_EDIT, "30");
  EXPECT_EQ(rig.Value("Semitones"), 12);
  rig.Type(MW_PS_SEMITONES_EDIT, "0");
  rig.logic.Scroll(MW_PS_SEMITONES_TRACKBAR, 3, false);  // page right
  EXPECT_EQ(rig.Value("Semitones"), 2);
  rig.logic.Scroll(MW_PS_SEMITONES_TRACKBAR, 7, false);  // the right end
  EXPECT_EQ(rig.Value("Semitones"), 12);
  // Cleared: the whole range again, paging by 10, the value kept.
  Tick(rig, MW_PS_PRESERVE_CHECK, false);
  EXPECT_EQ(rig.Value("Semitones"), 12);
  EXPECT_EQ(d[MW_PS_SEMITONES_TRACKBAR].slider.maximum, 50);
  EXPECT_EQ(d[MW_PS_SEMITONES_LABEL].text, "Se&mitones to shift pitch by (-50 to 50):");
  rig.logic.Scroll(MW_PS_SEMITONES_TRACKBAR, 3, false);
  EXPECT_EQ(rig.Value("Semitones"), 22);
  rig.Type(MW_PS_SEMITONES_EDIT, "-30");
  EXPECT_EQ(rig.Value("Semitones"), -30);
  // A preset or a record with both (from elsewhere): the refresh clamps as well.
  rig.Set("PreserveDuration", 1);
  rig.logic.Command(MW_CMD_CHANGE_NOTICE, MW_NOTICE_RELOADED);
  EXPECT_EQ(rig.Value("Semitones"), -12);
  EXPECT_TRUE(d[MW_PS_PRESERVE_CHECK].checked);
}

TEST(PitchShiftPage, CentsAreTypedInWholeCentsAndTheChecksWriteTheirFields) {
  PageRig rig(mw::kPitchShiftPage);
  rig.Type(MW_PS_CENTS_EDIT, "12.5");
  EXPECT_EQ(rig.Value("Cents"), 120);
  EXPECT_EQ(rig.dialog[MW_PS_CENTS_EDIT].text, "12.0");
  EXPECT_EQ(rig.dialog[MW_PS_CENTS_TRACKBAR].slider.position, 120);
  rig.Type(MW_PS_CENTS_EDIT, "-250");
  EXPECT_EQ(rig.Value("Cents"), -1000);
  Tick(rig, MW_PS_ANTIALIAS_CHECK, true);
  EXPECT_EQ(rig.Value("AntiAlias"), 1);
  rig.DragTo(MW_PS_ACCURACY_TRACKBAR, 3);
  EXPECT_EQ(rig.Value("Accuracy"), 3);
  EXPECT_EQ(rig.dialog[MW_PS_ACCURACY_TEXT].text, "3");
  Choose(rig, MW_PS_MODE_LIST, 11);
  EXPECT_EQ(rig.Value("Mode"), 11);
}

TEST(PitchShiftPage, TimesWithAnInputsSampleRate) {
  PageRig rig(mw::kPitchShiftPage);
  auto& d = rig.dialog;
  rig.params.rate_ = kRate;
  rig.logic.UpdateControls(0);
  // The presets' 2646000 samples are a minute at 44100 Hz.
  EXPECT_EQ(d[MW_PS_INITIAL_TIME_EDIT].text, "00:01:00.000");
  EXPECT_EQ(d[MW_PS_FINAL_TIME_LABEL].text, "Final time (00:00:03.148 to 00:19:03.540):");
  EXPECT_EQ(d[MW_PS_FINAL_TIME_TEXT].text, "00:00:59.999");  // at 1.000001
  rig.Type(MW_PS_SEMITONES_EDIT, "-12");
  EXPECT_EQ(d[MW_PS_FINAL_TIME_TEXT].text, "00:01:59.999");
  // A typed initial time: "1:30." is a minute and a half; the final time follows.
  rig.Type(MW_PS_INITIAL_TIME_EDIT, "1:30.");
  EXPECT_EQ(Double(rig, "InitialTime"), 3969000.0);
  EXPECT_EQ(d[MW_PS_INITIAL_TIME_EDIT].text, "00:01:30.000");
  EXPECT_EQ(d[MW_PS_FINAL_TIME_TEXT].text, "00:02:59.999");
  EXPECT_EQ(d[MW_PS_FINAL_TIME_LABEL].text, "Final time (00:00:04.722 to 00:28:35.310):");
  // "1:30" without the point is a second and thirty thousandths.
  rig.Type(MW_PS_INITIAL_TIME_EDIT, "1:30");
  EXPECT_EQ(d[MW_PS_INITIAL_TIME_EDIT].text, "00:00:01.030");
  rig.Type(MW_PS_INITIAL_TIME_EDIT, "1234567");
  EXPECT_EQ(d[MW_PS_INITIAL_TIME_EDIT].text, "00:12:34.567");
  // Text the parser cannot read is zero fields, never an error.
  rig.Type(MW_PS_INITIAL_TIME_EDIT, "later");
  EXPECT_EQ(Double(rig, "InitialTime"), 0.0);
  EXPECT_EQ(d[MW_PS_INITIAL_TIME_EDIT].text, "00:00:00.000");
  // With Preserve duration the final time is greyed and no longer follows the ratio.
  rig.Type(MW_PS_INITIAL_TIME_EDIT, "1:00.");
  Tick(rig, MW_PS_PRESERVE_CHECK, true);
  const std::string kept = d[MW_PS_FINAL_TIME_TEXT].text;
  rig.Type(MW_PS_SEMITONES_EDIT, "7");
  EXPECT_EQ(d[MW_PS_FINAL_TIME_TEXT].text, kept);
}

TEST(PitchShiftPage, AnInitialTimeTypedWithoutARateCountsSecondsAsSamples) {
  PageRig rig(mw::kPitchShiftPage);
  rig.Type(MW_PS_INITIAL_TIME_EDIT, "1:30.");
  EXPECT_EQ(Double(rig, "InitialTime"), 90.0);
  EXPECT_EQ(rig.dialog[MW_PS_INITIAL_TIME_EDIT].text, "00:00:00.000");
  EXPECT_EQ(rig.dialog[MW_PS_FINAL_TIME_LABEL].text, "Need input pin");
  // Any text at all leaves the page working.
  for (const char* text : {"", ":::", "99:99:99.9999", "-5", "\x01\xff", "1e308", " . "}) {
    rig.Type(MW_PS_INITIAL_TIME_EDIT, text);
    const double t = Double(rig, "InitialTime");
    EXPECT_TRUE(t >= 0.0 && t <= 225306900.0) << text;
  }
}

// --- Time Stretch ----------------------------------------------------------------------------

TEST(TimeStretchPage, OpensInPercentage) {
  PageRig rig(mw::kTimeStretchPage);
  auto& d = rig.dialog;
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "100.00");
  EXPECT_EQ(d[MW_TS_PERCENT_TEXT].text, "100.00 %");
  EXPECT_EQ(d[MW_TS_FINAL_LABEL].text, "&Final Percentage (50.00 to 500.00 %):");
  EXPECT_EQ(d[MW_TS_INITIAL_LABEL].text, "Unavailable with Percentage");
  EXPECT_EQ(d[MW_TS_INITIAL_EDIT].text, "0");
  EXPECT_FALSE(d[MW_TS_INITIAL_EDIT].enabled);
  EXPECT_FALSE(d[MW_TS_INITIAL_LABEL].enabled);
  EXPECT_EQ(d[MW_TS_FINAL_TRACKBAR].slider.minimum, -5000);
  EXPECT_EQ(d[MW_TS_FINAL_TRACKBAR].slider.maximum, 40000);
  EXPECT_EQ(d[MW_TS_FINAL_TRACKBAR].slider.position, 0);
  EXPECT_TRUE(d[MW_TS_FINAL_TRACKBAR].fillFromDefault);
  ASSERT_EQ(d[MW_TS_MODE_LIST].items.size(), 19u);
  ASSERT_EQ(d[MW_TS_FORMAT_LIST].items.size(), 3u);
  EXPECT_EQ(d[MW_TS_FORMAT_LIST].items[2].first, "Time (hr:mn:sc.xxx)");
  EXPECT_EQ(d[MW_TS_FORMAT_LIST].selection, 0);
  EXPECT_EQ(d[MW_IDC_BANNER].text, "Time Stretch");
  for (auto [id, context] : {std::pair{MW_TS_FINAL_TRACKBAR, 63}, {MW_TS_FINAL_EDIT, 63},
                             {MW_TS_INITIAL_EDIT, 64}, {MW_TS_PERCENT_TEXT, 66}}) {
    EXPECT_EQ(rig.logic.HelpContext(id), context) << id;
  }
}

TEST(TimeStretchPage, PercentagesTypedAndScrolled) {
  PageRig rig(mw::kTimeStretchPage);
  auto& d = rig.dialog;
  rig.Type(MW_TS_FINAL_EDIT, "110");
  EXPECT_EQ(Double(rig, "FinalLength"), 11000.0);
  EXPECT_EQ(d[MW_TS_FINAL_TRACKBAR].slider.position, 1000);
  EXPECT_EQ(d[MW_TS_PERCENT_TEXT].text, "110.00 %");
  rig.Type(MW_TS_FINAL_EDIT, "700");
  EXPECT_EQ(Double(rig, "FinalLength"), 50000.0);
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "500.00");
  rig.Type(MW_TS_FINAL_EDIT, "none");
  EXPECT_EQ(Double(rig, "FinalLength"), 5000.0);
  rig.logic.Scroll(MW_TS_FINAL_TRACKBAR, 3, false);  // a page: one per cent
  EXPECT_EQ(Double(rig, "FinalLength"), 5100.0);
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "51.00");
  rig.DragTo(MW_TS_FINAL_TRACKBAR, 40000);
  EXPECT_EQ(Double(rig, "FinalLength"), 50000.0);
  EXPECT_EQ(d[MW_TS_PERCENT_TEXT].text, "500.00 %");
  // The text of a fraction of a hundredth rounds; the trackbar truncates.
  SetDouble(rig, "FinalLength", 12345.678);
  rig.logic.UpdateControls(0);
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "123.46");
  EXPECT_EQ(d[MW_TS_FINAL_TRACKBAR].slider.position, 2345);
}

TEST(TimeStretchPage, TempoSwitchesTheLabelsAndTheEditContents) {
  PageRig rig(mw::kTimeStretchPage);
  auto& d = rig.dialog;
  Choose(rig, MW_TS_FORMAT_LIST, 1);
  EXPECT_EQ(rig.Value("InputFormat"), 1);
  EXPECT_TRUE(d[MW_TS_INITIAL_EDIT].enabled);
  EXPECT_TRUE(d[MW_TS_INITIAL_LABEL].enabled);
  EXPECT_EQ(d[MW_TS_INITIAL_LABEL].text, "&Initial Tempo (bpm):");
  EXPECT_EQ(d[MW_TS_INITIAL_EDIT].text, "120.00");
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "120.00");
  EXPECT_EQ(d[MW_TS_FINAL_LABEL].text, "&Final Tempo (240.00 to 24.00 bpm):");
  rig.Type(MW_TS_FINAL_EDIT, "60");
  EXPECT_EQ(Double(rig, "FinalLength"), 20000.0);
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "60.00");
  EXPECT_EQ(d[MW_TS_PERCENT_TEXT].text, "200.00 %");
  // A new initial tempo keeps the length and moves the final tempo and its range.
  rig.Type(MW_TS_INITIAL_EDIT, "90.5");
  EXPECT_EQ(rig.Value("InitialTempo"), 9050);
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "45.25");
  EXPECT_EQ(d[MW_TS_FINAL_LABEL].text, "&Final Tempo (181.00 to 18.10 bpm):");
  // A final tempo of 0 is a division by zero: the filter's clamping decides.
  rig.Type(MW_TS_FINAL_EDIT, "0");
  EXPECT_EQ(Double(rig, "FinalLength"), 50000.0);
  rig.Type(MW_TS_INITIAL_EDIT, "0");
  rig.Type(MW_TS_FINAL_EDIT, "0");
  EXPECT_EQ(Double(rig, "FinalLength"), 5000.0);
  // Back to Percentage: the initial value is greyed and shows 0.
  Choose(rig, MW_TS_FORMAT_LIST, 0);
  EXPECT_FALSE(d[MW_TS_INITIAL_EDIT].enabled);
  EXPECT_EQ(d[MW_TS_INITIAL_EDIT].text, "0");
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "50.00");
  EXPECT_EQ(d[MW_TS_INITIAL_LABEL].text, "Unavailable with Percentage");
}

TEST(TimeStretchPage, TimeNeedsTheInputsSampleRate) {
  PageRig rig(mw::kTimeStretchPage);
  auto& d = rig.dialog;
  Choose(rig, MW_TS_FORMAT_LIST, 2);
  EXPECT_EQ(d[MW_TS_FINAL_LABEL].text, "Need input pin");
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "00:00:00.000");
  EXPECT_EQ(d[MW_TS_INITIAL_EDIT].text, "00:00:00.000");
  EXPECT_EQ(d[MW_TS_INITIAL_LABEL].text, "Unavailable with Percentage");  // left as it was
  // Typed without a rate: a length of 0.0 samples, and n / 0 for the final time.
  rig.Type(MW_TS_INITIAL_EDIT, "00:01:00.000");
  EXPECT_EQ(Double(rig, "InitialTime"), 0.0);
  rig.Type(MW_TS_FINAL_EDIT, "00:02:00.000");
  EXPECT_EQ(Double(rig, "FinalLength"), 50000.0);

  // With an input at 44100 Hz.
  rig.params.rate_ = kRate;
  SetDouble(rig, "InitialTime", 2646000.0);
  rig.logic.UpdateControls(0);
  EXPECT_EQ(d[MW_TS_INITIAL_LABEL].text, "&Initial Time (hr:mn:sc.xxx):");
  EXPECT_EQ(d[MW_TS_FINAL_LABEL].text, "&Final Time (00:00:30.000 to 00:05:00.000):");
  EXPECT_EQ(d[MW_TS_INITIAL_EDIT].text, "00:01:00.000");
  rig.Type(MW_TS_FINAL_EDIT, "00:02:00.000");
  EXPECT_EQ(Double(rig, "FinalLength"), 20000.0);
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "00:02:00.000");
  EXPECT_EQ(d[MW_TS_PERCENT_TEXT].text, "200.00 %");
  // A new initial time: the final time follows at the same percentage.
  rig.Type(MW_TS_INITIAL_EDIT, "1:30.");
  EXPECT_EQ(Double(rig, "InitialTime"), 3969000.0);
  EXPECT_EQ(d[MW_TS_FINAL_EDIT].text, "00:03:00.000");
  EXPECT_EQ(d[MW_TS_FINAL_LABEL].text, "&Final Time (00:00:45.000 to 00:07:30.000):");
}

// A percentage or a final tempo the page shows, typed back, settles after one round: the
// second round changes nothing. Both show hundredths, so the first round moves the value they
// show by half a hundredth at most. The same with the user's decimal comma.
TEST(TimeStretchPage, TypingBackTheShownPercentageOrTempoIsAFixedPointAfterOneRound) {
  for (const mw::TextServices* text : {&PageRig::Services(), &PageRig::GermanServices()}) {
    for (std::int32_t format : {0, 1}) {
      PageRig rig(mw::kTimeStretchPage, *text);
      Choose(rig, MW_TS_FORMAT_LIST, format);
      for (double length = 5000.0; length <= 50000.0; length += 7.3) {
        SetDouble(rig, "FinalLength", length);
        rig.logic.UpdateControls(0);
        rig.Type(MW_TS_FINAL_EDIT, rig.dialog[MW_TS_FINAL_EDIT].text);
        const double once = Double(rig, "FinalLength");
        if (format == 0) {
          ASSERT_NEAR(once * 0.01, length * 0.01, 0.005 + 1e-9) << length;
        } else {
          ASSERT_NEAR(1.2e6 / once, 1.2e6 / length, 0.005 + 1e-9) << length;
        }
        rig.Type(MW_TS_FINAL_EDIT, rig.dialog[MW_TS_FINAL_EDIT].text);
        ASSERT_EQ(Double(rig, "FinalLength"), once) << format << " " << length;
      }
    }
  }
}

// A final time typed back shows the same time or, where a conversion truncates, one
// thousandth less; never more, never further.
TEST(TimeStretchPage, TypingBackTheShownFinalTimeMovesItByAThousandthAtMost) {
  PageRig rig(mw::kTimeStretchPage);
  rig.params.rate_ = kRate;
  Choose(rig, MW_TS_FORMAT_LIST, 2);
  auto milliseconds = [](const std::string& text) {
    unsigned h = 0, m = 0, s = 0, ms = 0;
    EXPECT_EQ(std::sscanf(text.c_str(), "%u:%u:%u.%u", &h, &m, &s, &ms), 4) << text;
    return ((h * 60LL + m) * 60 + s) * 1000 + ms;
  };
  for (double length = 5000.0; length <= 50000.0; length += 37.3) {
    SetDouble(rig, "FinalLength", length);
    rig.logic.UpdateControls(0);
    const std::string shown = rig.dialog[MW_TS_FINAL_EDIT].text;
    rig.Type(MW_TS_FINAL_EDIT, shown);
    const std::string back = rig.dialog[MW_TS_FINAL_EDIT].text;
    const long long moved = milliseconds(shown) - milliseconds(back);
    ASSERT_TRUE(moved == 0 || moved == 1) << shown << " became " << back;
  }
}

TEST(TimeStretchPage, TheModeListStoresItsData) {
  PageRig rig(mw::kTimeStretchPage);
  Choose(rig, MW_TS_MODE_LIST, 18);
  EXPECT_EQ(rig.Value("Mode"), 18);
  rig.Set("Mode", 4);
  rig.logic.UpdateControls(0);
  EXPECT_EQ(rig.dialog.ListData(MW_TS_MODE_LIST, rig.dialog[MW_TS_MODE_LIST].selection), 4);
  // Other notifications from the lists write nothing.
  rig.dialog[MW_TS_FORMAT_LIST].selection = 2;
  rig.logic.Command(MW_TS_FORMAT_LIST, 3 /* set focus */);
  EXPECT_EQ(rig.Value("InputFormat"), 0);
}

}  // namespace
