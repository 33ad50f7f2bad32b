// Texts for the pages and controls: the formatter with its locale-aware directives, fixed-point
// numbers with an optional floor text, decimals, and the locale-aware number parsers. Every
// routine takes arbitrary text and arguments without harm and never writes past a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "core/ui/locale.h"
#include "core/ui/string_table.h"

namespace mw {

// What the text routines draw on; the module keeps one set, tests make their own. Every
// pointer may be null: then the default snapshot ("." decimals, "," thousands in threes), the
// snapshot's own number formatting, no named values, no ring ("Err." from FormatNumber) and
// the built-in string texts are used.
struct TextServices {
  const LocaleSnapshot* locale = nullptr;
  const NumberFormatting* numbers = nullptr;
  const NamedValues* named = nullptr;
  TempStringRing* ring = nullptr;
  UiStringTable* strings = nullptr;
  // Double-byte code pages: true for a lead byte, whose pair is copied whole.
  bool (*isLeadByte)(unsigned char) = nullptr;
};

// The platform's number formatting done here from the snapshot alone, as the platform does
// it: the number rounded half up to `decimals` decimals on its decimal digits, leading zeros
// dropped (a zero integer part is "0", or nothing without the leading-zero flag), digits
// grouped by the snapshot's grouping, the decimal separator, and for a negative number
// (even one that rounds to zero) the snapshot's negative sign in its negative pattern
// (0 "(1.1)", 1 "-1.1", 2 "- 1.1", 3 "1.1-", 4 "1.1 -"). Text other than an optional '-',
// digits and one optional '.' fails, as does a negative number with a pattern outside 0..4,
// or a result that does not fit (the platform's insufficient buffer).
class SnapshotNumberFormatting : public NumberFormatting {
 public:
  std::size_t Format(const char* number, int decimals, bool grouped,
                     const LocaleSnapshot& locale, char* out, std::size_t size) const override;
};

// One argument of FormatString, made implicitly from any integer, floating-point value or
// string. A directive takes the next argument whatever its type: numbers convert (a
// floating-point value to an integer by truncation, saturated), a string directive given a
// number writes nothing, a number directive given a string or no argument writes 0.
class FormatArg {
 public:
  enum class Kind { kNone, kSigned, kUnsigned, kFloat, kString };

  FormatArg() = default;
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
  FormatArg(T v) : kind_(Kind::kSigned), i_(v) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T>, int> = 0>
  FormatArg(T v) : kind_(Kind::kUnsigned), u_(v) {}
  template <class T, std::enable_if_t<std::is_floating_point_v<T>, int> = 0>
  FormatArg(T v) : kind_(Kind::kFloat), d_(static_cast<double>(v)) {}
  FormatArg(const char* s) : kind_(Kind::kString), s_(s) {}
  FormatArg(const std::string& s) : kind_(Kind::kString), s_(s.c_str()) {}
  FormatArg(std::nullptr_t) : kind_(Kind::kString) {}

  Kind kind() const { return kind_; }
  // The argument as integer bits (two's complement), as a double, as a string (null if none).
  std::uint64_t Bits() const;
  double Double() const;
  const char* String() const { return kind_ == Kind::kString ? s_ : nullptr; }

 private:
  Kind kind_ = Kind::kNone;
  std::int64_t i_ = 0;
  std::uint64_t u_ = 0;
  double d_ = 0;
  const char* s_ = nullptr;
};

// Formats `format` into `out` (at most size - 1 characters, always terminated when size > 0;
// longer output is cut) and returns the length written. Text is copied up to a directive,
// which starts with % (plain) or $ (locale-aware) and ends with its conversion character;
// flags (- + space # 0), width and precision (digits or *) and the size prefixes h, hh, l, ll,
// L, I, I32, I64 follow printf:
//   %% $$            a single % or $
//   %d %i %u %o %x %X %c %s   printf's text (32-bit unless I64 or ll; %c of 0 writes nothing)
//   $d $i $u         the integer grouped by the locale (the platform's number formatting)
//   %e %E %f %g %G   printf's text with the locale's decimal separator
//   $f               the same through the platform's number formatting, grouped
//   %.Nz $.Nz        a 32-bit integer v as v / 10^N with N decimals (the $ form grouped);
//                    without .N as %d and $d
//   %*  %,  %:       the locale's decimal, list and time separators ("%*" followed by a
//                    complete directive is a width taken from the arguments instead)
//   %!: %!. %!,      the time-code separators (whole, non-drop, drop)
//   %&: %&.          the musical-time separators
//   $(name)          the named value's text; an unknown name or no ")" leaves it as written
// After the platform's number formatting a leading locale negative sign becomes '-'.
// Anything else after % or $ is copied as written.
std::size_t FormatStringArgs(const TextServices& services, char* out, std::size_t size,
                             const char* format, const FormatArg* args, std::size_t count);

template <class... Args>
std::size_t FormatString(const TextServices& services, char* out, std::size_t size,
                         const char* format, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg()};
  return FormatStringArgs(services, out, size, format, list, sizeof...(Args));
}

// The text of UI string `id` from the services' string table, or its built-in text when
// there is no table or the table has none; never null.
const char* UiStringText(const TextServices& services, std::uint32_t id);

// The platform's number formatting of plain text ("-1234.5") with the services' locale; a
// leading locale negative sign becomes '-'. If the platform refuses, the plain text with the
// locale's decimal separator.
std::string LocalizeNumber(const TextServices& services, const std::string& plain, int decimals,
                           bool grouped);

// A fixed-point value as text for a value display: "-Inf." (4282) when floor is not 0 and
// value <= floor; otherwise value / 10^decimals with decimals (limited to 9, none when <= 0)
// grouped by the locale, then the suffix, in a ring text; "Err." (4281) when the ring cannot
// hold it.
const char* FormatNumber(const TextServices& services, std::int32_t value, int decimals,
                         std::int32_t floor, const char* suffix);

// A double with N = decimals (0 to 9) decimals: half a unit of the last decimal (10^-N as a
// single-precision constant) added to the magnitude, whole part and N truncated decimal
// digits, "-" only when either part is not zero; localized through the platform's number
// formatting. Writes like FormatString and returns the length. Infinities and NaN give
// "inf", "-inf", "nan".
std::size_t FormatDecimal(const TextServices& services, char* out, std::size_t size,
                          double value, int decimals, bool localized);

// A number typed by the user: leading blanks skipped, the token up to the next blank (at most
// 63 of its characters used); the locale's thousands separator dropped, its decimal separator
// read as '.', a '-' or '(' anywhere makes it negative, ')' dropped; then strtod's reading in
// the "C" locale whatever the program's locale (ParseInteger: atol's, saturated to 32 bits).
// *end (optional) receives the position after the token, or the token's start when no number
// was read; no number gives 0.
double ParseNumber(const LocaleSnapshot& locale, const char* text, const char** end = nullptr);
std::int32_t ParseInteger(const LocaleSnapshot& locale, const char* text,
                          const char** end = nullptr);

// The named values the module holds from load: the time-code separators as "SMPTE.Whole",
// "SMPTE.NonDrop", "SMPTE.Drop", and their labels ("SMPTE.Whole.Label" "hr:mn:sc:fr" and so
// on, from string 4283).
void AddTimeCodeNames(const TextServices& services, NamedValues& named);

}  // namespace mw
