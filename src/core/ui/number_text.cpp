// Numbers as text and back: the snapshot's own number formatting, FormatNumber,
// FormatDecimal, the parsers, and the time-code names the module holds from load.
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/ui/builtin_strings.h"
#include "core/ui/text_format.h"

namespace mw {
namespace {

constexpr std::size_t kTokenLimit = 63;

const LocaleSnapshot& DefaultLocale() {
  static const LocaleSnapshot locale;
  return locale;
}

std::size_t CopyOut(const std::string& text, char* out, std::size_t size) {
  if (!out || size == 0) return 0;
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return n;
}

// Inserts the thousands separator into the integer digits by the platform's grouping value:
// its decimal digits are the group sizes from the right; a final 0 stops the grouping, any
// other final size repeats.
std::string Group(const std::string& digits, int grouping, const std::string& separator) {
  if (grouping <= 0) return digits;
  std::vector<int> sizes;
  for (int g = grouping; g > 0; g /= 10) sizes.insert(sizes.begin(), g % 10);
  std::string out;
  std::size_t end = digits.size(), k = 0;
  int size = sizes[0];
  while (size > 0 && end > static_cast<std::size_t>(size)) {
    out.insert(0, separator + digits.substr(end - size, static_cast<std::size_t>(size)));
    end -= static_cast<std::size_t>(size);
    if (k + 1 < sizes.size()) size = sizes[++k];
  }
  return digits.substr(0, end) + out;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool StartsNoCase(const char* s, const char* word) {
  for (; *word; ++s, ++word) {
    if (*s == '\0' || (*s | 0x20) != *word) return false;
  }
  return true;
}

// strtod's reading of s in the "C" locale; *used: the characters read, 0 for none.
double ReadDouble(const char* s, std::size_t* used) {
  std::size_t i = 0;
  *used = 0;
  const bool negative = s[0] == '-';
  if (s[0] == '-' || s[0] == '+') i = 1;
  const char* end = s + std::strlen(s);
  double v = 0;
  if (StartsNoCase(s + i, "inf")) {
    *used = i + (StartsNoCase(s + i, "infinity") ? 8 : 3);
    v = INFINITY;
  } else if (StartsNoCase(s + i, "nan")) {
    i += 3;
    if (s[i] == '(') {
      std::size_t j = i + 1;
      while (((s[j] | 0x20) >= 'a' && (s[j] | 0x20) <= 'z') || (s[j] >= '0' && s[j] <= '9') ||
             s[j] == '_')
        ++j;
      if (s[j] == ')') i = j + 1;
    }
    *used = i;
    v = NAN;
  } else if (s[i] == '0' && (s[i + 1] | 0x20) == 'x' && s[i + 2] != '-' && s[i + 2] != '+') {
    const auto r = std::from_chars(s + i + 2, end, v, std::chars_format::hex);
    if (r.ec == std::errc::invalid_argument) {
      v = 0;
      *used = i + 1;  // the "0" alone
    } else {
      if (r.ec == std::errc::result_out_of_range)
        v = std::strstr(s, "p-") || std::strstr(s, "P-") ? 0.0 : HUGE_VAL;
      *used = static_cast<std::size_t>(r.ptr - s);
    }
  } else if ((s[i] >= '0' && s[i] <= '9') || s[i] == '.') {
    const auto r = std::from_chars(s + i, end, v, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument) return 0;
    *used = static_cast<std::size_t>(r.ptr - s);
    if (r.ec == std::errc::result_out_of_range) {
      // Overflow gives infinity, underflow zero: tell them apart by the decimal exponent.
      long exponent = 0;
      std::size_t k = i;
      bool seenDigit = false, afterPoint = false;
      for (; k < *used && s[k] != 'e' && s[k] != 'E'; ++k) {
        if (s[k] == '.') afterPoint = true;
        else if (s[k] != '0' || seenDigit) { seenDigit = true; if (!afterPoint) ++exponent; }
        else if (afterPoint) --exponent;
      }
      if (k < *used) exponent += std::strtol(s + k + 1, nullptr, 10) > 0 ? 400 : -400;
      v = exponent > 0 ? HUGE_VAL : 0.0;
    }
  } else {
    return 0;
  }
  return negative ? -v : v;
}

// atol's reading in the "C" locale, saturated to 32 bits.
std::int32_t ReadInteger(const char* s, std::size_t* used) {
  std::size_t i = 0;
  *used = 0;
  const bool negative = s[0] == '-';
  if (s[0] == '-' || s[0] == '+') i = 1;
  if (s[i] < '0' || s[i] > '9') return 0;
  std::int64_t v = 0;
  for (; s[i] >= '0' && s[i] <= '9'; ++i) {
    if (v <= INT64_C(1) << 32) v = v * 10 + (s[i] - '0');
  }
  *used = i;
  if (negative) v = -v;
  return static_cast<std::int32_t>(v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v));
}

// The token at text, normalized for the readers; *start and *stop delimit it in text.
std::string Normalize(const LocaleSnapshot& locale, const char* text, const char** start,
                      const char** stop) {
  const char* p = text;
  while (IsBlank(*p)) ++p;
  const char* q = p;
  while (*q && !IsBlank(*q)) ++q;
  *start = p;
  *stop = q;
  const std::size_t n = static_cast<std::size_t>(q - p) < kTokenLimit ? q - p : kTokenLimit;
  const std::string& thousands = locale.thousandsSeparator;
  const std::string& decimal = locale.decimalSeparator;
  std::string out;
  bool negative = false;
  for (std::size_t i = 0; i < n;) {
    if (!thousands.empty() && thousands.size() <= n - i &&
        std::memcmp(p + i, thousands.data(), thousands.size()) == 0) {
      i += thousands.size();
    } else if (!decimal.empty() && decimal.size() <= n - i &&
               std::memcmp(p + i, decimal.data(), decimal.size()) == 0) {
      out += '.';
      i += decimal.size();
    } else {
      const char c = p[i++];
      if (c == '-' || c == '(') negative = true;
      else if (c != ')') out += c;
    }
  }
  return negative ? "-" + out : out;
}

// Reads the normalized token at text with `read` (strtod's or atol's reading); *end as the
// parsers promise.
template <class T>
T ParseToken(const LocaleSnapshot& locale, const char* text, const char** end,
             T (*read)(const char*, std::size_t*)) {
  if (!text) {
    if (end) *end = text;
    return 0;
  }
  const char *start, *stop;
  const std::string token = Normalize(locale, text, &start, &stop);
  std::size_t used = 0;
  const T v = read(token.c_str(), &used);
  if (end) *end = used ? stop : start;
  return v;
}

}  // namespace

std::size_t SnapshotNumberFormatting::Format(const char* number, int decimals, bool grouped,
                                             const LocaleSnapshot& locale, char* out,
                                             std::size_t size) const {
  if (out && size) out[0] = '\0';
  if (!number || !out || size == 0 || decimals < 0 || decimals > 4096) return 0;
  const char* p = number;
  const bool negative = *p == '-';
  if (negative) ++p;
  std::string whole, fraction;
  bool point = false;
  for (; *p; ++p) {
    if (*p == '.' && !point) point = true;
    else if (*p >= '0' && *p <= '9') (point ? fraction : whole) += *p;
    else return 0;
  }
  if (negative && (locale.negativeOrder < 0 || locale.negativeOrder > 4)) return 0;
  // Round half up on the decimal digits, carrying into the whole part.
  const std::size_t n = static_cast<std::size_t>(decimals);
  if (fraction.size() > n) {
    const bool up = fraction[n] >= '5';
    fraction.resize(n);
    if (up) {
      std::string digits = whole + fraction;
      std::size_t i = digits.size();
      while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
      if (i == 0) digits.insert(0, "1"); else ++digits[i - 1];
      whole = digits.substr(0, digits.size() - n);
      fraction = digits.substr(digits.size() - n);
    }
  }
  fraction.resize(n, '0');
  const std::size_t lead = whole.find_first_not_of('0');
  whole = lead == std::string::npos ? (locale.leadingZero ? "0" : "") : whole.substr(lead);
  std::string text = Group(whole, grouped ? locale.groupingSize : 0, locale.thousandsSeparator);
  if (n > 0) text += locale.decimalSeparator + fraction;
  if (negative) {
    const std::string& sign = locale.negativeSign;
    switch (locale.negativeOrder) {
      case 0: text = "(" + text + ")"; break;
      case 2: text = sign + " " + text; break;
      case 3: text += sign; break;
      case 4: text += " " + sign; break;
      default: text = sign + text; break;
    }
  }
  if (text.size() + 1 > size) return 0;
  return CopyOut(text, out, size) + 1;
}

std::string LocalizeNumber(const TextServices& ts, const std::string& plain, int decimals,
                           bool grouped) {
  static const SnapshotNumberFormatting kNative;
  const LocaleSnapshot& locale = ts.locale ? *ts.locale : DefaultLocale();
  const NumberFormatting& numbers = ts.numbers ? *ts.numbers : kNative;
  // Room for every separator of up to 7 characters, the sign pattern and the decimals.
  std::vector<char> buffer(plain.size() * 9 + static_cast<std::size_t>(decimals) +
                           locale.negativeSign.size() + locale.decimalSeparator.size() + 16);
  std::string text;
  if (numbers.Format(plain.c_str(), decimals, grouped, locale, buffer.data(), buffer.size()) > 0) {
    buffer.back() = '\0';
    text = buffer.data();
  } else {
    text = plain;
    const std::size_t dot = text.find('.');
    if (dot != std::string::npos) text.replace(dot, 1, locale.decimalSeparator);
  }
  const std::string& sign = locale.negativeSign;
  if (!sign.empty() && sign != "-" && text.compare(0, sign.size(), sign) == 0)
    text.replace(0, sign.size(), "-");
  return text;
}

const char* FormatNumber(const TextServices& ts, std::int32_t value, int decimals,
                         std::int32_t floor, const char* suffix) {
  if (floor != 0 && value <= floor) return UiStringText(ts, kStringBelowFloor);
  char text[512];
  if (decimals <= 0) {
    FormatString(ts, text, sizeof text, "$d", value);
  } else {
    const char digit = static_cast<char>('0' + (decimals > 9 ? 9 : decimals));
    const char format[] = {'$', '.', digit, 'z', 0};
    FormatString(ts, text, sizeof text, format, value);
  }
  const std::size_t length = std::strlen(text), extra = suffix ? std::strlen(suffix) : 0;
  char* out = ts.ring && extra < ts.ring->Capacity() ? ts.ring->Alloc(length + extra + 1) : nullptr;
  if (!out) return UiStringText(ts, kStringFormatError);
  std::memcpy(out, text, length);
  if (extra) std::memcpy(out + length, suffix, extra);
  out[length + extra] = '\0';
  return out;
}

const char* UiStringText(const TextServices& ts, std::uint32_t id) {
  const char* s = ts.strings ? ts.strings->Get(id) : nullptr;
  return s ? s : BuiltinUiString(id);
}

std::size_t FormatDecimal(const TextServices& ts, char* out, std::size_t size, double value,
                          int decimals, bool localized) {
  static const float kUnits[10] = {1.0f,   0.1f,    0.01f,    0.001f,    0.0001f,
                                   1e-05f, 1e-06f, 1e-07f, 1e-08f, 1e-09f};
  static const double kScales[10] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  const int n = decimals < 0 ? 0 : (decimals > 9 ? 9 : decimals);
  if (std::isnan(value)) return CopyOut("nan", out, size);
  if (std::isinf(value)) return CopyOut(value < 0 ? "-inf" : "inf", out, size);
  const double m = std::fabs(value) + 0.5 * static_cast<double>(kUnits[n]);
  const double whole = std::floor(m);
  double digits = std::trunc((m - whole) * kScales[n]);
  if (digits > kScales[n] - 1) digits = kScales[n] - 1;
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, whole, std::chars_format::fixed, 0);
  std::string text(buf, r.ptr);
  if (n > 0) {
    std::string frac = std::to_string(static_cast<long long>(digits));
    text += "." + std::string(static_cast<std::size_t>(n) - frac.size(), '0') + frac;
  }
  if (value < 0 && (whole != 0 || digits != 0)) text.insert(0, "-");
  return CopyOut(localized ? LocalizeNumber(ts, text, n, true) : text, out, size);
}

double ParseNumber(const LocaleSnapshot& locale, const char* text, const char** end) {
  return ParseToken(locale, text, end, ReadDouble);
}

std::int32_t ParseInteger(const LocaleSnapshot& locale, const char* text, const char** end) {
  return ParseToken(locale, text, end, ReadInteger);
}

void AddTimeCodeNames(const TextServices& ts, NamedValues& named) {
  const LocaleSnapshot& locale = ts.locale ? *ts.locale : DefaultLocale();
  const char* label = UiStringText(ts, kStringTimeCodeLabel);
  const std::pair<const char*, const std::string*> names[] = {
      {"SMPTE.Whole", &locale.timeCodeWhole},
      {"SMPTE.NonDrop", &locale.timeCodeNonDrop},
      {"SMPTE.Drop", &locale.timeCodeDrop}};
  for (const auto& [name, separator] : names) {
    named.Set(name, *separator);
    char text[256];
    FormatString(ts, text, sizeof text, label, locale.timeCodeWhole, locale.timeCodeWhole,
                 *separator);
    named.Set(std::string(name) + ".Label", text);
  }
}

}  // namespace mw
