// The user's number formatting as the UI texts use it: a snapshot taken once when the module
// loads (the shell reads it from the user's default locale; tests build their own), and the
// platform's number formatting behind a small interface so that the portable formatter can be
// tested natively with any locale.
#pragma once

#include <cstddef>
#include <string>

namespace mw {

struct LocaleSnapshot {
  std::string decimalSeparator = ".";   // at most 7 characters
  std::string thousandsSeparator = ",";  // at most 7 characters
  // Digits per group as the platform's number format writes it: 3 groups by threes, 32 gives
  // a group of three then groups of two (12,34,567), a final 0 stops the repeating; 0: none.
  int groupingSize = 3;
  bool leadingZero = true;               // "0.5" rather than ".5"
  std::string negativeSign = "-";
  int negativeOrder = 1;                 // the platform's negative-number pattern (1: "-1.1")
  std::string listSeparator = ",";
  std::string timeSeparator = ":";
  // Time-code separators: whole, non-drop and drop frames.
  std::string timeCodeWhole = ":";
  std::string timeCodeNonDrop = ".";
  std::string timeCodeDrop = ",";
  // Musical time (measures, beats, ticks): the separators after measures and after beats.
  std::string musicalTimeBeats = ":";
  std::string musicalTimeTicks = ".";
};

// The platform's number formatting: `number` is plain text ("-1234.5": an optional '-',
// digits, an optional '.' and digits); the result shows it with `decimals` decimals, the
// snapshot's separators, its grouping when `grouped`, and its negative pattern. Writes at most
// `size` bytes including the terminator; returns, as the platform does, the number of bytes
// written including the terminator (1 for an empty text), 0 on failure (then `out` holds an
// empty text when `size` is not 0).
class NumberFormatting {
 public:
  virtual ~NumberFormatting() = default;
  virtual std::size_t Format(const char* number, int decimals, bool grouped,
                             const LocaleSnapshot& locale, char* out,
                             std::size_t size) const = 0;
};

}  // namespace mw
