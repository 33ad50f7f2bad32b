#include "core/effects/pitch/pitch_page_math.h"

#include <cmath>

#include "core/ui/int_math.h"
#include "core/ui/time_text.h"

namespace mw {
namespace {

constexpr std::int32_t kWholeSemitone = 1000;  // cents in tenths
constexpr std::int32_t kNarrowSemitones = 12;

std::string Decimal(const TextServices& ts, double value, int decimals) {
  char text[64];
  FormatDecimal(ts, text, sizeof text, value, decimals, true);
  return text;
}

double RateOrOne(std::optional<std::uint32_t> rate) {
  return rate ? static_cast<double>(*rate) : 1.0;
}

}  // namespace

SemitoneRange SemitoneRangeFor(bool preserveDuration) {
  if (preserveDuration) return {-kNarrowSemitones, kNarrowSemitones, 2, kStringSemitonesNarrow};
  return {-50, 50, 10, kStringSemitonesWide};
}

std::int32_t LimitSemitones(std::int32_t semitones, bool preserveDuration) {
  const SemitoneRange r = SemitoneRangeFor(preserveDuration);
  return static_cast<std::int32_t>(ClampBetween(semitones, r.minimum, r.maximum));
}

bool PreserveDurationAvailable(std::int32_t semitones) {
  return semitones >= -kNarrowSemitones && semitones <= kNarrowSemitones;
}

bool AntiAliasAvailable(double ratio) { return ratio > 1.0; }

std::string RatioText(const TextServices& ts, double ratio) { return Decimal(ts, ratio, 5); }

MusicalEquivalent MusicalEquivalentOf(std::int32_t s, std::int32_t c, double ratio) {
  MusicalEquivalent m;
  const bool withinSemitone = -kWholeSemitone < c && c < kWholeSemitone;
  if ((s == 0 && withinSemitone) || (s == 1 && c == -kWholeSemitone) ||
      (s == -1 && c == kWholeSemitone) || (0.998 < ratio && ratio < 1.002))
    return m;
  m.blank = false;
  m.up = ratio > 1.0;
  int adjust = 0;
  if (c == kWholeSemitone) adjust = s >= 1 ? 1 : -1;
  if (c == -kWholeSemitone) adjust = s >= 1 ? -1 : 1;
  const std::int64_t distance = (s < 0 ? -std::int64_t{s} : std::int64_t{s}) + adjust;
  const std::int64_t cls = distance % 12;
  m.intervalClass = static_cast<int>(cls < 0 ? -cls : cls);
  m.sign = (0 < c && c < kWholeSemitone) ? '+' : (-kWholeSemitone < c && c < 0) ? '-' : ' ';
  return m;
}

std::uint32_t IntervalNameId(int intervalClass) {
  if (intervalClass <= 0 || intervalClass > 11) return kStringOctave;
  return kStringMinorSecond + static_cast<std::uint32_t>(intervalClass - 1);
}

std::string MusicalEquivalentText(const TextServices& ts, std::int32_t semitones,
                                  std::int32_t cents, double ratio) {
  const MusicalEquivalent m = MusicalEquivalentOf(semitones, cents, ratio);
  const char* direction = m.blank ? "" : UiStringText(ts, m.up ? kStringUp : kStringDown);
  const char* name = m.blank ? "" : UiStringText(ts, IntervalNameId(m.intervalClass));
  // A blank sign writes nothing after the separator: "Up 5th " ends in a single blank.
  const char sign = m.blank || m.sign == ' ' ? '\0' : m.sign;
  char text[256];
  FormatString(ts, text, sizeof text, "%s %s %c", direction, name, sign);
  return text;
}

std::int32_t SemitonesFromText(const LocaleSnapshot& locale, const char* text,
                               bool preserveDuration) {
  const std::int32_t s = ParseInteger(locale, text ? text : "");
  return preserveDuration ? LimitSemitones(s, true) : s;
}

std::int32_t CentsFromText(const LocaleSnapshot& locale, const char* text) {
  return ClampTo32(std::int64_t{ParseInteger(locale, text ? text : "")} * 10);
}

std::string CentsText(const TextServices& ts, std::int32_t cents) {
  return Decimal(ts, cents * 0.1, 1);
}

double InitialTimeFromText(const char* text, std::optional<std::uint32_t> rate) {
  return TimeTextToSamples(text, RateOrOne(rate));
}

PitchTimeTexts PitchTimeGroup(const TextServices& ts, std::optional<std::uint32_t> rate,
                              double initialTime) {
  if (!rate)
    return {UiStringText(ts, kStringPitchNeedInputPin), UiStringText(ts, kStringPitchZeroTime)};
  const double fs = *rate;
  // The lengths at the largest and the smallest ratio the page can write.
  const std::string shortest =
      SamplesToTimeText(std::trunc(initialTime * 0.052467637559037675), fs);
  const std::string longest = SamplesToTimeText(std::trunc(initialTime * 19.05900351317871), fs);
  char label[256];
  FormatString(ts, label, sizeof label, UiStringText(ts, kStringPitchFinalTimeRange), shortest,
               longest);
  return {label, SamplesToTimeText(std::trunc(initialTime), fs)};
}

double FinalTimeSamples(double ratio, double initialTime) {
  return std::trunc((1.0 / ratio) * initialTime + 0.5);
}

std::string FinalTimeText(const TextServices& ts, std::optional<std::uint32_t> rate,
                          double ratio, double initialTime) {
  if (!rate) return UiStringText(ts, kStringPitchZeroTime);
  return SamplesToTimeText(FinalTimeSamples(ratio, initialTime), *rate);
}

}  // namespace mw
