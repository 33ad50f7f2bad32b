#include "win/ui/util/locale_win.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace mw::ui {
namespace {

// One locale field into `field`, cut to the snapshot's limit of 7 characters for separators.
void ReadField(LCTYPE type, std::string& field, std::size_t limit = 7) {
  char text[80];
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof text) > 0) {
    field.assign(text, strnlen(text, limit));
  }
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
  if (number == nullptr) return 0;
  char decimal[8];
  char thousands[8];
  lstrcpynA(decimal, locale.decimalSeparator.c_str(), sizeof decimal);
  lstrcpynA(thousands, locale.thousandsSeparator.c_str(), sizeof thousands);
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
  // Long enough for any 64-bit value with 9 decimals and separators of 7 characters.
  char text[256];
  if (GetNumberFormatA(LOCALE_USER_DEFAULT, 0, number, &format, text, sizeof text) == 0) {
    return 0;
  }
  const std::size_t length = strnlen(text, size - 1);
  std::memcpy(out, text, length);
  out[length] = '\0';
  return length;
}

}  // namespace mw::ui
