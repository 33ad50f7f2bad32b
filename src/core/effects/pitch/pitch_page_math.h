// What the Pitch Shift page computes besides binding controls to fields: the ratio it
// writes and shows, the musical interval the setting amounts to, the semitone range that
// Preserve duration allows, the cents and semitones typed into its boxes, and the initial
// and final times. Pure functions of the values the page reads from the filter; a sample
// rate is absent when the filter has no input format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/ui/locale.h"
#include "core/ui/text_format.h"

namespace mw {

// UI strings of the page.
constexpr std::uint32_t kStringUp = 1077, kStringDown = 1078;
constexpr std::uint32_t kStringMinorSecond = 1079;  // interval classes 1..11: 1079..1089
constexpr std::uint32_t kStringOctave = 1090;       // interval class 0
constexpr std::uint32_t kStringPitchNeedInputPin = 1091, kStringPitchZeroTime = 1092;
constexpr std::uint32_t kStringPitchFinalTimeRange = 1093;  // "Final time (%s to %s):"
constexpr std::uint32_t kStringSemitonesNarrow = 1113, kStringSemitonesWide = 1114;

// The semitone trackbar while Preserve duration is on (-12..12, page 2, label 1113) or off
// (-50..50, page 10, label 1114); its line size is 1 either way.
struct SemitoneRange {
  std::int32_t minimum, maximum, pageSize;
  std::uint32_t labelId;
};
SemitoneRange SemitoneRangeFor(bool preserveDuration);
// Semitones limited to the range of SemitoneRangeFor.
std::int32_t LimitSemitones(std::int32_t semitones, bool preserveDuration);
// Preserve duration can be ticked only for Semitones within -12..12.
bool PreserveDurationAvailable(std::int32_t semitones);
// The anti-alias box is enabled only for a Ratio above 1.0.
bool AntiAliasAvailable(double ratio);

// The Ratio the page writes is PitchRatioToStore (pitch_shift.h); this is its text, with
// five decimals and the user's separators.
std::string RatioText(const TextServices& services, double ratio);

// The musical interval of Semitones s, Cents c (tenths) and the Ratio the page wrote.
struct MusicalEquivalent {
  bool blank = true;       // no interval: nothing but blanks is shown
  bool up = false;         // Ratio above 1.0
  int intervalClass = 0;   // 0 (octave or unison) to 11
  char sign = ' ';         // '+' or '-' for cents short of a semitone, else ' '
};
// Blank for s = 0 with |c| < 1000, s = 1 with c = -1000, s = -1 with c = 1000, or Ratio
// within (0.998, 1.002). Otherwise the class is (|s| + a) modulo 12 (as its absolute value),
// where a whole semitone of cents adds one to the distance when it points the same way as
// s and takes one off when it points the other way (for s = 0 it counts as pointing down).
MusicalEquivalent MusicalEquivalentOf(std::int32_t semitones, std::int32_t cents, double ratio);
// "%s %s %c": direction, interval name, sign ("Up 5th +"); a blank sign adds nothing, so
// the text then ends in the one separating blank ("Up 5th ", "Down Octave "); a blank
// equivalent gives two empty words and no sign.
std::string MusicalEquivalentText(const TextServices& services, std::int32_t semitones,
                                  std::int32_t cents, double ratio);
// The UI string of an interval class (0 to 11).
std::uint32_t IntervalNameId(int intervalClass);

// The semitone box as a whole number, limited to -12..12 while Preserve duration is on.
std::int32_t SemitonesFromText(const LocaleSnapshot& locale, const char* text,
                               bool preserveDuration);
// The cents box as a whole number of cents (decimals ignored) in tenths: "12.5" is 120.
// Saturates at the 32-bit limits.
std::int32_t CentsFromText(const LocaleSnapshot& locale, const char* text);
// The cents box's text: Cents x 0.1 with one decimal.
std::string CentsText(const TextServices& services, std::int32_t cents);

// InitialTime typed as a time: samples at the rate, or at 1.0 per second without one.
double InitialTimeFromText(const char* text, std::optional<std::uint32_t> rate);

// The time group: label 2029 and edit 2027. Without a rate "Need input pin" and the zero
// time; with one "Final time (a to b):" for trunc(InitialTime x 0.052467637559037675) and
// trunc(InitialTime x 19.05900351317871) samples, and the time text of trunc(InitialTime).
struct PitchTimeTexts {
  std::string finalLabel;
  std::string initialTime;
};
PitchTimeTexts PitchTimeGroup(const TextServices& services, std::optional<std::uint32_t> rate,
                              double initialTime);

// The final time (text 2028): the zero time without a rate, else the time text of
// trunc((1.0 / Ratio) x InitialTime + 0.5) samples.
double FinalTimeSamples(double ratio, double initialTime);
std::string FinalTimeText(const TextServices& services, std::optional<std::uint32_t> rate,
                          double ratio, double initialTime);

}  // namespace mw
