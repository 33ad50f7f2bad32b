#include "core/ui/time_text.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace mw {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A whole field from a value already truncated: negative or not a number is 0, too large
// saturates.
std::uint32_t ToField(double v) {
  if (!(v > 0)) return 0;
  if (v >= 4294967295.0) return 4294967295u;
  return static_cast<std::uint32_t>(v);
}

// Step 1: the characters after the last digit, read from the end. Until the first separator
// blanks are cut; each separator becomes " 0 "; blanks after (that is, before) it stay.
std::string WithTrailingSeparatorsAsZeros(const std::string& text) {
  std::size_t keep = text.size();
  while (keep > 0 && !IsDigit(text[keep - 1])) --keep;
  std::string tail;  // built backwards
  bool replaced = false;
  for (std::size_t i = text.size(); i > keep; --i) {
    const char c = text[i - 1];
    if (IsBlank(c)) {
      if (replaced) tail += ' ';
    } else {
      tail += " 0 ";
      replaced = true;
    }
  }
  return text.substr(0, keep) + std::string(tail.rbegin(), tail.rend());
}

// Steps 2 and 3: the numbers of the digit runs cut into groups from the right, in reading
// order. Only runs of digits matter, so every other character acts as a blank.
std::vector<std::uint32_t> DigitGroups(const std::string& text) {
  const bool endsWithDigit = !text.empty() && IsDigit(text.back());
  std::vector<std::uint32_t> groups;
  std::size_t i = 0;
  while (i < text.size()) {
    if (!IsDigit(text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && IsDigit(text[end])) ++end;
    // Groups of this run taken from the right, then put in reading order.
    std::size_t first = (end == text.size() && endsWithDigit) ? 3 : 2;
    const std::size_t from = groups.size();
    for (std::size_t stop = end; stop > i;) {
      const std::size_t size = stop - i < first ? stop - i : first;
      std::uint32_t value = 0;
      for (std::size_t k = stop - size; k < stop; ++k)
        value = value * 10 + static_cast<std::uint32_t>(text[k] - '0');
      groups.push_back(value);
      stop -= size;
      first = 2;
    }
    std::reverse(groups.begin() + static_cast<std::ptrdiff_t>(from), groups.end());
    i = end;
  }
  return groups;
}

}  // namespace

TimeFields SamplesToTimeFields(double samples, double rate) {
  const double n = samples > 0 ? samples : 0.0;  // also NaN
  double ms = n * 1000.0 / rate;
  const double hours = std::trunc(ms * 2.7777777777777776e-07);
  ms = ms - hours * 3600000;
  const double minutes = std::trunc(ms * 1.6666666666666667e-05);
  const double rest = ms - minutes * 60000;
  const double seconds = std::trunc(rest * 0.001);
  const double thousandths = std::trunc(rest - seconds * 1000);
  TimeFields f{ToField(hours), ToField(minutes), ToField(seconds), ToField(thousandths)};
  // The hour's reciprocal is a shade below 1/3600000, so a whole number of hours truncates
  // to one hour less and leaves 60 minutes; carry them so that the text never shows ":60:".
  if (f.minutes >= 60 && f.hours < 4294967295u) {
    f.minutes -= 60;
    ++f.hours;
  }
  return f;
}

std::string TimeText(const TimeFields& f) {
  char text[64];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", static_cast<unsigned>(f.hours),
                static_cast<unsigned>(f.minutes), static_cast<unsigned>(f.seconds),
                static_cast<unsigned>(f.thousandths));
  return text;
}

std::string SamplesToTimeText(double samples, double rate) {
  return TimeText(SamplesToTimeFields(samples, rate));
}

TimeFields ParseTimeText(const char* text) {
  TimeFields f;
  if (text == nullptr) return f;
  const std::vector<std::uint32_t> numbers = DigitGroups(WithTrailingSeparatorsAsZeros(text));
  for (std::size_t i = 0; i < numbers.size() && i < 4; ++i) {
    f.hours = f.minutes;
    f.minutes = f.seconds;
    f.seconds = f.thousandths;
    f.thousandths = numbers[i];
  }
  f.minutes += f.seconds / 60;
  f.seconds %= 60;
  f.hours += f.minutes / 60;
  f.minutes %= 60;
  f.hours %= 24;
  return f;
}

double TimeFieldsToSamples(const TimeFields& f, double rate) {
  // Whole fields in double precision: exact for every value the parser gives, and no
  // overflow for fields made elsewhere.
  const double ms = ((static_cast<double>(f.hours) * 60 + f.minutes) * 60 + f.seconds) * 1000.0 +
                    f.thousandths;
  return std::trunc(ms * rate / 1000.0 + 0.999);
}

double TimeTextToSamples(const char* text, double rate) {
  return TimeFieldsToSamples(ParseTimeText(text), rate);
}

}  // namespace mw
