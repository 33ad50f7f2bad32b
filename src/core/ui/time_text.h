// Lengths of sound as the pages show and take them: the time text "hh:mm:ss.mmm" of a
// number of samples, the reading of a typed time into its four fields, and the conversion
// of those fields to samples. The Pitch Shift page's initial time and every time the Time
// Stretch page shows or takes go through these routines and no others.
#pragma once

#include <cstdint>
#include <string>

namespace mw {

struct TimeFields {
  std::uint32_t hours = 0;
  std::uint32_t minutes = 0;
  std::uint32_t seconds = 0;
  std::uint32_t thousandths = 0;
};

inline bool operator==(const TimeFields& a, const TimeFields& b) {
  return a.hours == b.hours && a.minutes == b.minutes && a.seconds == b.seconds &&
         a.thousandths == b.thousandths;
}

// The text shown when there is no sample rate to convert with.
constexpr const char* kZeroTimeText = "00:00:00.000";

// The fields of n samples at `rate` per second: ms = n x 1000.0 / rate, then hours,
// minutes, seconds and thousandths each truncated in turn from what the larger fields leave
// (the products by the reciprocals of 3600000, 60000 and 1000 as written). A count that is
// negative or not a number counts as 0; fields that would not fit 32 bits saturate.
TimeFields SamplesToTimeFields(double samples, double rate);

// "hh:mm:ss.mmm" ("%02u:%02u:%02u.%03u") of SamplesToTimeFields.
std::string TimeText(const TimeFields& fields);
std::string SamplesToTimeText(double samples, double rate);

// A typed time read into its fields. Never fails: text it cannot read (or null) gives zero
// fields.
//  1. Trailing characters back to the last digit: a separator (neither digit nor blank)
//     becomes " 0 ", so that it adds a zero field; trailing blanks are cut until the first
//     such replacement.
//  2. Every other character that is not a digit becomes a blank.
//  3. Digit runs are cut into groups from the right: at most three digits in the last
//     group when the text ends with a digit, at most two everywhere else (1234567 reads
//     12 34 567).
//  4. Up to four numbers are read from the left; each new one becomes the thousandths and
//     moves the earlier ones up a place (so "1:30" is 1 s 30 ms, "1:30." is 1 min 30 s).
//  5. Seconds above 59 carry into minutes, minutes above 59 into hours; hours are taken
//     modulo 24; thousandths do not carry.
TimeFields ParseTimeText(const char* text);

// Samples of the fields at `rate`: ms = ((hours x 60 + minutes) x 60 + seconds) x 1000.0 +
// thousandths; trunc(ms x rate / 1000.0 + 0.999).
double TimeFieldsToSamples(const TimeFields& fields, double rate);

// ParseTimeText then TimeFieldsToSamples.
double TimeTextToSamples(const char* text, double rate);

}  // namespace mw
