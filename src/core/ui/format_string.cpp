// FormatString: printf's directives without its hazards (typed arguments, a bounded output,
// conversions independent of the C library's locale) plus the locale-aware ones.
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "core/ui/text_format.h"

namespace mw {
namespace {

constexpr int kMaxWidth = 4096;
constexpr int kMaxPrecision = 500;
constexpr int kMaxFixedDecimals = 64;

const LocaleSnapshot& DefaultLocale() {
  static const LocaleSnapshot locale;
  return locale;
}

// The output: characters beyond the buffer are dropped; the result is always terminated.
class Writer {
 public:
  Writer(char* out, std::size_t size)
      : out_(out), cap_(out && size ? size - 1 : 0), terminate_(out && size) {}
  void Put(char c) {
    if (n_ < cap_) out_[n_++] = c;
  }
  void Put(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n && n_ < cap_; ++i) out_[n_++] = s[i];
  }
  void Put(const std::string& s) { Put(s.data(), s.size()); }
  void Pad(int count, char c) {
    for (int i = 0; i < count && n_ < cap_; ++i) out_[n_++] = c;
  }
  bool Fits(std::size_t k) const { return n_ + k <= cap_; }
  std::size_t Finish() {
    if (terminate_) out_[n_] = '\0';
    return n_;
  }

 private:
  char* out_;
  std::size_t cap_, n_ = 0;
  bool terminate_;
};

struct DirectiveParts {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  int bits = 32;  // integer size
  char conversion = 0;
};

bool IsConversion(char c) { return c && std::strchr("diuoxXcseEfgGz", c) != nullptr; }

// Parses flags, width, precision, size and conversion after the % or $ at format[0]; returns
// the length of the directive, 0 when it is not a complete one. Star values are taken from
// the arguments only when the directive is complete.
std::size_t ParseSpec(const char* f, DirectiveParts& parts, int* stars) {
  std::size_t i = 1;
  *stars = 0;
  for (;; ++i) {
    const char c = f[i];
    if (c == '-') parts.left = true;
    else if (c == '+') parts.plus = true;
    else if (c == ' ') parts.space = true;
    else if (c == '#') parts.alt = true;
    else if (c == '0') parts.zero = true;
    else break;
  }
  auto number = [&](int* value) {
    if (f[i] == '*') {
      ++i;
      *value = -2;  // from the arguments
      ++*stars;
      return;
    }
    long v = 0;
    while (f[i] >= '0' && f[i] <= '9') {
      if (v < kMaxWidth * 10) v = v * 10 + (f[i] - '0');
      ++i;
    }
    *value = static_cast<int>(v);
  };
  number(&parts.width);
  if (f[i] == '.') {
    ++i;
    number(&parts.precision);
  }
  if (f[i] == 'h') {
    parts.bits = f[i + 1] == 'h' ? 8 : 16;
    i += parts.bits == 8 ? 2 : 1;
  } else if (f[i] == 'l' && f[i + 1] == 'l') {
    parts.bits = 64;
    i += 2;
  } else if (f[i] == 'l' || f[i] == 'L') {
    parts.bits = f[i] == 'L' ? 64 : 32;
    ++i;
  } else if (f[i] == 'I') {
    if (f[i + 1] == '6' && f[i + 2] == '4') {
      parts.bits = 64;
      i += 3;
    } else if (f[i + 1] == '3' && f[i + 2] == '2') {
      i += 3;
    } else {
      parts.bits = sizeof(void*) * 8;
      ++i;
    }
  }
  if (!IsConversion(f[i])) return 0;
  parts.conversion = f[i];
  return i + 1;
}

void Justify(Writer& w, const DirectiveParts& parts, const std::string& sign,
             const std::string& body, bool zeroPad) {
  const int length = static_cast<int>(sign.size() + body.size());
  const int pad = parts.width > length ? parts.width - length : 0;
  if (!parts.left && !zeroPad) w.Pad(pad, ' ');
  w.Put(sign);
  if (!parts.left && zeroPad) w.Pad(pad, '0');
  w.Put(body);
  if (parts.left) w.Pad(pad, ' ');
}

std::string Digits(std::uint64_t v, unsigned base, bool upper) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char buf[64];
  int n = 0;
  do {
    buf[n++] = set[v % base];
    v /= base;
  } while (v);
  std::string s;
  while (n) s += buf[--n];
  return s;
}

// The argument as a signed or unsigned integer of the directive's size.
std::int64_t SignedOfSize(std::uint64_t bits, int size) {
  switch (size) {
    case 8: return static_cast<std::int8_t>(static_cast<std::uint8_t>(bits));
    case 16: return static_cast<std::int16_t>(static_cast<std::uint16_t>(bits));
    case 32: return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    default: return static_cast<std::int64_t>(bits);
  }
}

std::uint64_t UnsignedOfSize(std::uint64_t bits, int size) {
  return size >= 64 ? bits : bits & ((std::uint64_t{1} << size) - 1);
}

std::uint64_t Magnitude(std::int64_t v) {
  return v < 0 ? ~static_cast<std::uint64_t>(v) + 1u : static_cast<std::uint64_t>(v);
}

std::string SignOf(bool negative, const DirectiveParts& parts) {
  if (negative) return "-";
  if (parts.plus) return "+";
  return parts.space ? " " : "";
}

void FormatInteger(Writer& w, const DirectiveParts& parts, std::uint64_t bits) {
  const char c = parts.conversion;
  const bool isSigned = c == 'd' || c == 'i';
  std::uint64_t magnitude;
  bool negative = false;
  if (isSigned) {
    const std::int64_t v = SignedOfSize(bits, parts.bits);
    negative = v < 0;
    magnitude = Magnitude(v);
  } else {
    magnitude = UnsignedOfSize(bits, parts.bits);
  }
  const unsigned base = c == 'o' ? 8 : (c == 'x' || c == 'X') ? 16 : 10;
  std::string digits =
      parts.precision == 0 && magnitude == 0 ? "" : Digits(magnitude, base, c == 'X');
  const int precision = parts.precision > kMaxWidth ? kMaxWidth : parts.precision;
  if (precision > static_cast<int>(digits.size()))
    digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
  std::string prefix = isSigned ? SignOf(negative, parts) : "";
  if (parts.alt && c == 'o' && (digits.empty() || digits[0] != '0')) digits.insert(0, "0");
  if (parts.alt && base == 16 && magnitude != 0) prefix += c == 'X' ? "0X" : "0x";
  Justify(w, parts, prefix, digits, parts.zero && parts.precision < 0);
}

// printf's %e, %f or %g text of |v| in the "C" locale (to_chars is locale-independent).
std::string FloatBody(double v, char conversion, int precision, bool alt) {
  const bool upper = conversion == 'E' || conversion == 'G';
  const double a = std::fabs(v);
  std::string s;
  if (std::isnan(v) || std::isinf(v)) {
    s = std::isnan(v) ? "nan" : "inf";
  } else {
    char buf[kMaxPrecision + 400];
    const char lower = static_cast<char>(conversion | 0x20);
    auto put = [&](std::chars_format f, int p) {
      const auto r = std::to_chars(buf, buf + sizeof buf, a, f, p);
      return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string();
    };
    if (lower == 'f') {
      s = put(std::chars_format::fixed, precision);
    } else if (lower == 'e') {
      s = put(std::chars_format::scientific, precision);
    } else {
      const int p = precision == 0 ? 1 : precision;
      const std::string sci = put(std::chars_format::scientific, p - 1);
      const int x = std::atoi(sci.c_str() + sci.find('e') + 1);
      s = (p > x && x >= -4) ? put(std::chars_format::fixed, p - 1 - x) : sci;
      if (!alt) {
        const std::size_t e = s.find('e');
        std::string mantissa = s.substr(0, e), exponent = e == std::string::npos ? "" : s.substr(e);
        if (mantissa.find('.') != std::string::npos) {
          while (mantissa.back() == '0') mantissa.pop_back();
          if (mantissa.back() == '.') mantissa.pop_back();
        }
        s = mantissa + exponent;
      }
    }
    if (alt && s.find('.') == std::string::npos) {
      const std::size_t e = s.find('e');
      s.insert(e == std::string::npos ? s.size() : e, ".");
    }
  }
  if (upper) {
    for (char& ch : s) ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  }
  return s;
}

class Formatter {
 public:
  Formatter(const TextServices& ts, const FormatArg* args, std::size_t count)
      : ts_(ts), locale_(ts.locale ? *ts.locale : DefaultLocale()), args_(args), count_(count) {}

  std::size_t Run(char* out, std::size_t size, const char* f) {
    Writer w(out, size);
    if (!f) return w.Finish();
    while (*f) {
      const unsigned char c = static_cast<unsigned char>(*f);
      if (c != '%' && c != '$') {
        if (ts_.isLeadByte && ts_.isLeadByte(c) && f[1]) {
          if (!w.Fits(2)) break;
          w.Put(f, 2);
          f += 2;
        } else {
          w.Put(*f++);
        }
        continue;
      }
      f += Directive(w, f);
    }
    return w.Finish();
  }

 private:
  const FormatArg& Next() {
    static const FormatArg kNone;
    return next_ < count_ ? args_[next_++] : kNone;
  }

  int StarValue() {
    const std::int64_t v = SignedOfSize(Next().Bits(), 32);
    return static_cast<int>(v > kMaxWidth ? kMaxWidth : (v < -kMaxWidth ? -kMaxWidth : v));
  }

  // Writes the directive at f; returns how many format characters it used.
  std::size_t Directive(Writer& w, const char* f) {
    const char kind = f[0];
    if (f[1] == kind) {
      w.Put(kind);
      return 2;
    }
    if (kind == '$' && f[1] == '(') return NamedValue(w, f);
    if (kind == '%') {
      const std::string* special = Special(f[1], f[1] ? f[2] : '\0');
      if (special) {
        w.Put(*special);
        return f[1] == '!' || f[1] == '&' ? 3 : 2;
      }
    }
    DirectiveParts parts;
    int stars = 0;
    const std::size_t length = ParseSpec(f, parts, &stars);
    if (length == 0) {
      if (kind == '%' && f[1] == '*') {
        w.Put(locale_.decimalSeparator);
        return 2;
      }
      w.Put(kind);
      return 1;
    }
    if (parts.width == -2) {
      parts.width = StarValue();
      if (parts.width < 0) {
        parts.left = true;
        parts.width = -parts.width;
      }
    }
    if (parts.precision == -2) {
      parts.precision = StarValue();
      if (parts.precision < 0) parts.precision = -1;
    }
    Convert(w, parts, kind == '$', Next());
    return length;
  }

  const std::string* Special(char a, char b) const {
    switch (a) {
      case ',': return &locale_.listSeparator;
      case ':': return &locale_.timeSeparator;
      case '!':
        if (b == ':') return &locale_.timeCodeWhole;
        if (b == '.') return &locale_.timeCodeNonDrop;
        if (b == ',') return &locale_.timeCodeDrop;
        return nullptr;
      case '&':
        if (b == ':') return &locale_.musicalTimeBeats;
        if (b == '.') return &locale_.musicalTimeTicks;
        return nullptr;
      default: return nullptr;
    }
  }

  std::size_t NamedValue(Writer& w, const char* f) {
    const char* close = std::strchr(f + 2, ')');
    std::string text;
    if (close && ts_.named &&
        ts_.named->Lookup(f + 2, static_cast<std::size_t>(close - (f + 2)), &text)) {
      w.Put(text);
      return static_cast<std::size_t>(close - f) + 1;
    }
    w.Put('$');  // left as written
    return 1;
  }

  std::string WithDecimalSeparator(std::string s) const {
    const std::size_t dot = s.find('.');
    if (dot != std::string::npos) s.replace(dot, 1, locale_.decimalSeparator);
    return s;
  }

  void Convert(Writer& w, DirectiveParts parts, bool localized, const FormatArg& arg) {
    const char c = parts.conversion;
    if (c == 's') {
      const char* s = arg.String();
      std::string body = arg.kind() != FormatArg::Kind::kString ? "" : (s ? s : "(null)");
      if (parts.precision >= 0 && body.size() > static_cast<std::size_t>(parts.precision))
        body.resize(static_cast<std::size_t>(parts.precision));
      Justify(w, parts, "", body, false);
    } else if (c == 'c') {
      const char ch = static_cast<char>(arg.Bits() & 0xFF);
      Justify(w, parts, "", ch ? std::string(1, ch) : std::string(), false);
    } else if (c == 'e' || c == 'E' || c == 'f' || c == 'g' || c == 'G') {
      const double v = arg.Double();
      const int precision = parts.precision < 0 ? 6
                            : parts.precision > kMaxPrecision ? kMaxPrecision
                                                             : parts.precision;
      const std::string body = FloatBody(v, c, precision, parts.alt);
      const bool finite = !std::isnan(v) && !std::isinf(v);
      if (localized && c == 'f' && finite) {
        const std::string plain = (std::signbit(v) ? "-" : "") + body;
        Localized(w, parts, plain, precision);
      } else {
        Justify(w, parts, SignOf(std::signbit(v), parts), WithDecimalSeparator(body),
                parts.zero && finite);
      }
    } else if (c == 'z' && parts.precision >= 0) {
      const std::int64_t v = SignedOfSize(arg.Bits(), parts.bits);
      const int n = parts.precision > kMaxFixedDecimals ? kMaxFixedDecimals : parts.precision;
      std::string digits = Digits(Magnitude(v), 10, false);
      if (static_cast<int>(digits.size()) < n + 1) digits.insert(0, n + 1 - digits.size(), '0');
      if (n > 0) digits.insert(digits.size() - static_cast<std::size_t>(n), ".");
      if (localized) {
        Localized(w, parts, (v < 0 ? "-" : "") + digits, n);
      } else {
        Justify(w, parts, SignOf(v < 0, parts), WithDecimalSeparator(digits), false);
      }
    } else if (localized && (c == 'd' || c == 'i' || c == 'u' || c == 'z')) {
      std::string plain;
      if (c == 'u') {
        plain = Digits(UnsignedOfSize(arg.Bits(), parts.bits), 10, false);
      } else {
        const std::int64_t v = SignedOfSize(arg.Bits(), parts.bits);
        plain = (v < 0 ? "-" : "") + Digits(Magnitude(v), 10, false);
      }
      Localized(w, parts, plain, 0);
    } else {
      if (c == 'z') parts.conversion = 'd';
      FormatInteger(w, parts, arg.Bits());
    }
  }

  void Localized(Writer& w, const DirectiveParts& parts, const std::string& plain, int decimals) {
    const std::string text = LocalizeNumber(ts_, plain, decimals, true);
    const bool negative = !plain.empty() && plain[0] == '-';
    Justify(w, parts, negative ? "" : SignOf(false, parts), text, false);
  }

  const TextServices& ts_;
  const LocaleSnapshot& locale_;
  const FormatArg* args_;
  std::size_t count_, next_ = 0;
};

}  // namespace

std::uint64_t FormatArg::Bits() const {
  switch (kind_) {
    case Kind::kSigned: return static_cast<std::uint64_t>(i_);
    case Kind::kUnsigned: return u_;
    case Kind::kFloat: {
      if (std::isnan(d_)) return 0;
      if (d_ >= 9223372036854775807.0) return static_cast<std::uint64_t>(INT64_MAX);
      if (d_ <= -9223372036854775808.0) return static_cast<std::uint64_t>(INT64_MIN);
      return static_cast<std::uint64_t>(static_cast<std::int64_t>(d_));
    }
    default: return 0;
  }
}

double FormatArg::Double() const {
  switch (kind_) {
    case Kind::kSigned: return static_cast<double>(i_);
    case Kind::kUnsigned: return static_cast<double>(u_);
    case Kind::kFloat: return d_;
    default: return 0.0;
  }
}

std::size_t FormatStringArgs(const TextServices& services, char* out, std::size_t size,
                             const char* format, const FormatArg* args, std::size_t count) {
  Formatter f(services, args, args ? count : 0);
  return f.Run(out, size, format);
}

}  // namespace mw
