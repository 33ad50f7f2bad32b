#include "win/ui/util/locale_win.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace mw::ui {
namespace {

// One locale field into `field`, cut to the snapshot's limit of 7 characters for separators.
void ReadField(LCTYPE type, std::string& field, std::size_t limit = 7) {
  char text[80];
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof text) > 0) {
    field.assign(text, strnlen(text, limit));
  }
}

// "-1234.5": an optional minus sign, digits, and an optional point with digits after it.
bool PlainNumber(const char* text) {
  if (text == nullptr) return false;
  if (*text == '-') ++text;
  const auto digits = [&text] {
    const char* start = text;
    while (*text >= '0' && *text <= '9') ++text;
    return text > start;
  };
  if (!digits()) return false;
  if (*text == '.') {
    ++text;
    if (!digits()) return false;
  }
  return *text == '\0';
}

// The plain number rounded half away from zero to `decimals` decimals, with exactly that
// many: the platform then only lays it out (it would group the digits before a carry).
std::string Rounded(const char* number, int decimals) {
  std::string whole;
  std::string fraction;
  const bool negative = *number == '-';
  const char* p = negative ? number + 1 : number;
  while (*p >= '0' && *p <= '9') whole += *p++;
  if (*p == '.') fraction = p + 1;
  const bool up = static_cast<int>(fraction.size()) > decimals && fraction[decimals] >= '5';
  fraction.resize(static_cast<std::size_t>(decimals), '0');
  std::string digits = whole + fraction;
  if (up) {
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(digits.begin(), '1');
    } else {
      ++digits[i - 1];
    }
  }
  const std::size_t point = digits.size() - static_cast<std::size_t>(decimals);
  std::string text = negative ? "-" : "";
  text += digits.substr(0, point);
  if (decimals > 0) text += "." + digits.substr(point);
  return text;
}

int ReadNumber(LCTYPE type, int fallback) {
  std::string text;
  ReadField(type, text, 16);
  return text.empty() ? fallback : std::atoi(text.c_str());
}

}  // namespace

LocaleSnapshot ReadUserLocale() {
  LocaleSnapshot s;
  ReadField(LOCALE_SDECIMAL, s.decimalSeparator);
  ReadField(LOCALE_STHOUSAND, s.thousandsSeparator);
  // "3;0" (groups of three), "3;2;0" and so on: the first group's size is the snapshot's.
  s.groupingSize = ReadNumber(LOCALE_SGROUPING, s.groupingSize);
  s.leadingZero = ReadNumber(LOCALE_ILZERO, s.leadingZero ? 1 : 0) != 0;
  ReadField(LOCALE_SNEGATIVESIGN, s.negativeSign);
  s.negativeOrder = ReadNumber(LOCALE_INEGNUMBER, s.negativeOrder);
  ReadField(LOCALE_SLIST, s.listSeparator);
  ReadField(LOCALE_STIME, s.timeSeparator);
  return s;
}

std::size_t WinNumberFormatting::Format(const char* number, int decimals, bool grouped,
                                        const LocaleSnapshot& locale, char* out,
                                        std::size_t size) const {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (!PlainNumber(number)) return 0;
  // The platform takes separators of at most three characters: it formats with "." and ","
  // standing in for them, and the snapshot's own (up to 7 characters) replace those after.
  char decimal[] = ".";
  char thousands[] = ",";
  NUMBERFMTA format{};
  format.NumDigits = static_cast<UINT>(decimals < 0 ? 0 : decimals > 9 ? 9 : decimals);
  format.LeadingZero = locale.leadingZero ? 1 : 0;
  format.Grouping = grouped && locale.groupingSize > 0 ? static_cast<UINT>(locale.groupingSize)
                                                       : 0;
  format.lpDecimalSep = decimal;
  format.lpThousandSep = thousands;
  format.NegativeOrder = static_cast<UINT>(locale.negativeOrder < 0 || locale.negativeOrder > 4
                                               ? 1
                                               : locale.negativeOrder);
  const std::string rounded = Rounded(number, static_cast<int>(format.NumDigits));
  char text[128];
  if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, rounded.c_str(), &format, text, sizeof text) ==
      0) {
    return 0;
  }
  std::size_t length = 0;
  const auto append = [&](const char* piece, std::size_t n) {
    n = std::min(n, size - 1 - length);
    std::memcpy(out + length, piece, n);
    length += n;
  };
  for (const char* p = text; *p != '\0' && length < size - 1; ++p) {
    if (*p == '.') {
      append(locale.decimalSeparator.data(), locale.decimalSeparator.size());
    } else if (*p == ',') {
      append(locale.thousandsSeparator.data(), locale.thousandsSeparator.size());
    } else {
      append(p, 1);
    }
  }
  out[length] = '\0';
  return length + 1;  // as the platform counts: the terminator included
}

}  // namespace mw::ui
