// What the Pitch Shift and Time Stretch pages compute and show: the ratio, the interval,
// the semitone range, the typed cents and times; FinalLength from a percentage, a tempo or a
// time, and the labels with their ranges.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "core/effects/pitch/pitch_page_math.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/effects/stretch/stretch_page_math.h"
#include "core/effects/stretch/time_stretch.h"
#include "core/frame/param_store.h"

namespace {

mw::LocaleSnapshot German() {
  mw::LocaleSnapshot l;
  l.decimalSeparator = ",";
  l.thousandsSeparator = ".";
  return l;
}

struct Services {
  mw::LocaleSnapshot locale;
  mw::TextServices ts;
  explicit Services(mw::LocaleSnapshot l = {}) : locale(std::move(l)) { ts.locale = &locale; }
};

constexpr std::uint32_t k44100 = 44100;

// --- Pitch Shift ---------------------------------------------------------------------------

std::string Equivalent(std::int32_t s, std::int32_t c) {
  return mw::MusicalEquivalentText({}, s, c, mw::PitchRatioToStore(s, c));
}

TEST(PitchPage, WorkedNumbers) {
  const mw::TextServices ts;
  EXPECT_EQ(mw::RatioText(ts, mw::PitchRatioToStore(7, 0)), "1.49831");
  EXPECT_EQ(Equivalent(7, 0), "Up 5th ");
  EXPECT_EQ(Equivalent(7, 50), "Up 5th +");
  EXPECT_EQ(Equivalent(-12, 0), "Down Octave ");
  EXPECT_EQ(Equivalent(-5, 1000), "Down Major 3rd ");
  EXPECT_TRUE(mw::PreserveDurationAvailable(-12));
  EXPECT_FALSE(mw::PreserveDurationAvailable(-13));
  // Semitones 0, Cents 0: the page writes 1.000001, shows 1.00000, no interval, and the
  // anti-alias box is available.
  EXPECT_EQ(mw::PitchRatioToStore(0, 0), 1.000001);
  EXPECT_EQ(mw::RatioText(ts, 1.000001), "1.00000");
  EXPECT_EQ(Equivalent(0, 0), "  ");
  EXPECT_TRUE(mw::AntiAliasAvailable(mw::PitchRatioToStore(0, 0)));
  EXPECT_FALSE(mw::AntiAliasAvailable(mw::PitchRatioToStore(0, -1)));
}

// The interval over every semitone and a wide set of cents: whole semitones of cents fold
// into the distance, the direction follows the sign of the total, the sign character the
// cents short of a semitone.
TEST(PitchPage, MusicalEquivalentOverTheControlRange) {
  const char* const kIntervals[12] = {"Octave",    "Minor 2nd", "Major 2nd", "Minor 3rd",
                                      "Major 3rd", "4th",       "Tritone",   "5th",
                                      "Minor 6th", "Major 6th", "Minor 7th", "Major 7th"};
  for (std::int32_t s = -50; s <= 50; ++s) {
    for (std::int32_t c = -1000; c <= 1000; c += (c > -990 && c < 990) ? 10 : 1) {
      const double ratio = mw::PitchRatioToStore(s, c);
      const mw::MusicalEquivalent m = mw::MusicalEquivalentOf(s, c, ratio);
      const std::string text = mw::MusicalEquivalentText({}, s, c, ratio);
      const bool explicitBlank = (s == 0 && c > -1000 && c < 1000) ||
                                 (s == 1 && c == -1000) || (s == -1 && c == 1000);
      ASSERT_EQ(m.blank, explicitBlank || (ratio > 0.998 && ratio < 1.002)) << s << " " << c;
      if (m.blank) {
        ASSERT_EQ(text, "  ");
        continue;
      }
      const int whole = s + (c == 1000) - (c == -1000);
      ASSERT_EQ(m.intervalClass, std::abs(whole) % 12) << s << " " << c;
      ASSERT_EQ(m.up, s * 1000 + c > 0) << s << " " << c;
      const char sign = (c > 0 && c < 1000) ? '+' : (c < 0 && c > -1000) ? '-' : ' ';
      ASSERT_EQ(text, std::string(m.up ? "Up " : "Down ") + kIntervals[m.intervalClass] + " " +
                          (sign == ' ' ? "" : std::string(1, sign)));
    }
  }
}

TEST(PitchPage, SemitoneRangeAndTypedValues) {
  // Ticking Preserve duration narrows the trackbar; Semitones -20 is written back as -12.
  const mw::SemitoneRange narrow = mw::SemitoneRangeFor(true), wide = mw::SemitoneRangeFor(false);
  EXPECT_TRUE(narrow.minimum == -12 && narrow.maximum == 12 && narrow.pageSize == 2);
  EXPECT_TRUE(wide.minimum == -50 && wide.maximum == 50 && wide.pageSize == 10);
  EXPECT_STREQ(mw::UiStringText({}, narrow.labelId), "Se&mitones to shift pitch by (-12 to 12):");
  EXPECT_EQ(mw::LimitSemitones(-20, true), -12);
  EXPECT_EQ(mw::LimitSemitones(-20, false), -20);
  const mw::LocaleSnapshot en;
  EXPECT_EQ(mw::SemitonesFromText(en, "-20", true), -12);
  EXPECT_EQ(mw::SemitonesFromText(en, nullptr, false), 0);
  // Cents are typed as whole cents; decimals are dropped, in any locale.
  EXPECT_EQ(mw::CentsFromText(en, "12.5"), 120);
  EXPECT_EQ(mw::CentsFromText(German(), "12,5"), 120);
  EXPECT_EQ(mw::CentsFromText(en, "-3.9"), -30);
  EXPECT_EQ(mw::CentsFromText(en, "9999999999"), INT32_MAX);
  EXPECT_EQ(mw::CentsText(Services(German()).ts, -15), "-1,5");
}

TEST(PitchPage, TimesWithAndWithoutARate) {
  const mw::TextServices ts;
  const mw::PitchTimeTexts with = mw::PitchTimeGroup(ts, k44100, 2646000.0);
  EXPECT_EQ(with.initialTime, "00:01:00.000");
  EXPECT_EQ(with.finalLabel, "Final time (00:00:03.148 to 00:19:03.540):");
  const mw::PitchTimeTexts without = mw::PitchTimeGroup(ts, std::nullopt, 2646000.0);
  EXPECT_EQ(without.finalLabel, "Need input pin");
  EXPECT_EQ(without.initialTime, "00:00:00.000");
  EXPECT_EQ(mw::FinalTimeText(ts, std::nullopt, 2.0, 2646000.0), "00:00:00.000");
  // An octave up halves the length; rounding is to the nearest sample.
  EXPECT_EQ(mw::FinalTimeText(ts, k44100, 2.0, 2646000.0), "00:00:30.000");
  EXPECT_EQ(mw::InitialTimeFromText("00:01:00.000", k44100), 2646000.0);
  EXPECT_EQ(mw::InitialTimeFromText("00:01:00.000", std::nullopt), 60.0);
}

// --- Time Stretch --------------------------------------------------------------------------

// FinalLength as the filter keeps it after the page writes `value`.
double Stored(double value) {
  mw::ParamStore store(mw::kTimeStretch.params);
  EXPECT_EQ(store.PutDouble(0, value), mw::S_OK);
  double kept = 0;
  EXPECT_EQ(store.GetDouble(0, &kept), mw::S_OK);
  return kept;
}

TEST(StretchPage, TempoEntry) {
  const mw::TextServices ts;
  const double length =
      mw::FinalLengthFromText({}, "60", mw::StretchInput::kTempo, 12000, 0, k44100);
  EXPECT_EQ(length, 20000.0);
  const mw::StretchView v = mw::StretchViewOf(ts, length, 1, 12000, 2646000.0, k44100);
  EXPECT_EQ(v.finalValue, "60.00");
  EXPECT_EQ(v.finalLabel, "&Final Tempo (240.00 to 24.00 bpm):");
  // The slowest tempo is truncated to hundredths of a bpm before it is shown.
  EXPECT_EQ(mw::StretchFinalLabel(ts, mw::StretchInput::kTempo, 12003, 0, k44100),
            "&Final Tempo (240.06 to 24.00 bpm):");
  EXPECT_EQ(v.initialValue, "120.00");
  EXPECT_EQ(v.percent, "200.00 %");
  EXPECT_EQ(mw::InitialTempoFromText({}, "120.5"), 12050u);
  EXPECT_EQ(mw::InitialTempoFromText({}, "tempo"), 0u);
}

TEST(StretchPage, TimeEntry) {
  const mw::TextServices ts;
  const double t = 2646000.0;
  EXPECT_EQ(mw::FinalLengthFromText({}, "00:02:00.000", mw::StretchInput::kTime, 0, t, k44100),
            20000.0);
  const mw::StretchView v = mw::StretchViewOf(ts, 20000.0, 2, 12000, t, k44100);
  EXPECT_EQ(v.finalLabel, "&Final Time (00:00:30.000 to 00:05:00.000):");
  EXPECT_EQ(v.finalValue, "00:02:00.000");
  EXPECT_EQ(v.initialValue, "00:01:00.000");
  EXPECT_EQ(mw::InitialTimeFromStretchText("00:00:30.000", k44100), 1323000.0);
  // Without an input pin: the label says so, the initial label keeps its text.
  const mw::StretchView none = mw::StretchViewOf(ts, 20000.0, 2, 12000, t, std::nullopt);
  EXPECT_EQ(none.finalLabel, "Need input pin");
  EXPECT_EQ(none.initialLabel, "");
  EXPECT_EQ(none.initialValue, "00:00:00.000");
  EXPECT_EQ(mw::InitialTimeFromStretchText("00:00:30.000", std::nullopt), 0.0);
}

TEST(StretchPage, PercentageEntry) {
  const mw::TextServices ts;
  const double length = Stored(mw::FinalLengthFromText({}, "110", mw::StretchInput::kPercentage,
                                                       12000, 0, k44100));
  EXPECT_EQ(length, 11000.0);
  EXPECT_EQ(mw::StretchTrackPosition(length), 1000);
  const mw::StretchView v = mw::StretchViewOf(ts, length, 0, 12000, 0, std::nullopt);
  EXPECT_EQ(v.percent, "110.00 %");
  EXPECT_EQ(v.finalLabel, "&Final Percentage (50.00 to 500.00 %):");
  EXPECT_EQ(v.initialValue, "0");
  // 700 % is beyond the filter's range: it keeps 500 %, which the edit then shows.
  const double most = Stored(mw::FinalLengthFromText({}, "700", mw::StretchInput::kPercentage,
                                                     0, 0, k44100));
  EXPECT_EQ(most, 50000.0);
  EXPECT_EQ(mw::StretchFinalValueText(ts, mw::StretchInput::kPercentage, most, 0, 0, k44100),
            "500.00");
  EXPECT_EQ(mw::FinalLengthFromTrack(mw::kStretchTrackMin), 5000.0);
}

// A tempo or time of 0 divides by zero; the filter's clamping decides what is kept.
TEST(StretchPage, DivisionsByZeroLeftToTheFilter) {
  using mw::StretchInput;
  EXPECT_EQ(Stored(mw::FinalLengthFromText({}, "0", StretchInput::kTempo, 12000, 0, k44100)),
            50000.0);
  EXPECT_EQ(Stored(mw::FinalLengthFromText({}, "60", StretchInput::kTempo, 0, 0, k44100)), 5000.0);
  EXPECT_EQ(Stored(mw::FinalLengthFromText({}, "0", StretchInput::kTempo, 0, 0, k44100)), 5000.0);
  EXPECT_EQ(Stored(mw::FinalLengthFromText({}, "1:00.", StretchInput::kTime, 0, 0.0, k44100)),
            50000.0);
  EXPECT_EQ(Stored(mw::FinalLengthFromText({}, "junk", StretchInput::kTime, 0, 0.0, k44100)),
            5000.0);
}

// Typing back the percentage the page shows changes FinalLength at most once: the second
// round writes what the first one wrote.
TEST(StretchPage, PercentageIsAFixedPointAfterOneRound) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> anyLength(4000.0, 60000.0);
  for (const mw::LocaleSnapshot& locale : {mw::LocaleSnapshot{}, German()}) {
    const Services s(locale);
    for (int i = 0; i < 20000; ++i) {
      const double start = i < 4 ? (i < 2 ? 5000.0 + i : 50000.0 - i) : anyLength(rng);
      auto round = [&](double length) {
        const std::string shown = mw::StretchFinalValueText(
            s.ts, mw::StretchInput::kPercentage, length, 0, 0, std::nullopt);
        return Stored(mw::FinalLengthFromText(locale, shown.c_str(),
                                              mw::StretchInput::kPercentage, 0, 0, std::nullopt));
      };
      const double once = round(Stored(start));
      ASSERT_EQ(round(once), once) << start;
      ASSERT_NEAR(once, Stored(start), 0.501) << start;
    }
  }
}

}  // namespace
