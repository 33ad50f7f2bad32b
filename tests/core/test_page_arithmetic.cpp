// The Pitch Shift and Time Stretch pages' arithmetic where the pages' own tests (against a
// dialog in memory) do not reach: the interval over the whole control range, cents in another
// locale, the truncated tempo label and the divisions by zero left to the filter.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
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

// Cents are typed as whole cents in the user's locale, saturating far beyond the range.
// (The page tests carry the typed values, the ranges and the times.)
TEST(PitchPage, CentsInAnotherLocaleAndBeyondTheRange) {
  const mw::LocaleSnapshot en;
  EXPECT_EQ(mw::CentsFromText(German(), "12,5"), 120);
  EXPECT_EQ(mw::CentsFromText(en, "9999999999"), INT32_MAX);
  EXPECT_EQ(mw::CentsText(Services(German()).ts, -15), "-1,5");
  EXPECT_EQ(mw::SemitonesFromText(en, nullptr, false), 0);
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

// The slowest tempo is truncated to hundredths of a bpm before it is shown; an initial tempo
// that is no number is 0. (The page tests carry the three input formats.)
TEST(StretchPage, TempoLabelTruncatesAndUnreadableTempoIsZero) {
  EXPECT_EQ(mw::StretchFinalLabel({}, mw::StretchInput::kTempo, 12003, 0, k44100),
            "&Final Tempo (240.06 to 24.00 bpm):");
  EXPECT_EQ(mw::InitialTempoFromText({}, "tempo"), 0u);
}

// A tempo or time of 0 divides by zero; the filter's clamping decides what is kept.
TEST(StretchPage, DivisionsByZeroLeftToTheFilter) {
  using mw::StretchInput;
  EXPECT_EQ(Stored(mw::FinalLengthFromText({}, "60", StretchInput::kTempo, 0, 0, k44100)), 5000.0);
  EXPECT_EQ(Stored(mw::FinalLengthFromText({}, "junk", StretchInput::kTime, 0, 0.0, k44100)),
            5000.0);
}

}  // namespace
