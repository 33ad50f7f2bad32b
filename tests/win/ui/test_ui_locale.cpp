// The user's locale as the module reads it, and the platform's number formatting through the
// core's interface. Run once per locale (LANG of the Wine process); MW_EXPECT_LOCALE names
// the locale the run is for, so that a run in the wrong one fails instead of passing.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/ui/text_format.h"
#include "win/ui/util/locale_win.h"

namespace uitest {
namespace {

using mw::LocaleSnapshot;
using mw::ui::ReadUserLocale;
using mw::ui::WinNumberFormatting;

struct Expected {
  const char* name;
  const char* decimal;
  const char* thousands;
  const char* list;
};

const Expected kLocales[] = {
    {"en-US", ".", ",", ","},
    {"de-DE", ",", ".", ";"},
};

const Expected* ExpectedLocale() {
  const char* want = std::getenv("MW_EXPECT_LOCALE");
  if (want == nullptr) return nullptr;
  for (const Expected& e : kLocales) {
    if (std::string(want) == e.name) return &e;
  }
  return nullptr;
}

std::string Format(const char* number, int decimals, bool grouped, const LocaleSnapshot& l,
                   std::size_t size = 64) {
  std::string out(size, '\x7f');
  const std::size_t n = WinNumberFormatting().Format(number, decimals, grouped, l, &out[0], size);
  if (n == 0) return out.substr(0, out.find('\0'));
  EXPECT_EQ(out.find('\0'), n - 1) << "terminated right after the text";
  return out.substr(0, n - 1);
}

TEST(Locale, SnapshotIsTheUsersLocale) {
  const Expected* e = ExpectedLocale();
  if (e == nullptr) GTEST_SKIP() << "MW_EXPECT_LOCALE names no known locale";
  char name[LOCALE_NAME_MAX_LENGTH];
  ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SNAME, name, sizeof name), 0);
  ASSERT_STREQ(name, e->name) << "the Wine process runs in another locale";
  const LocaleSnapshot l = ReadUserLocale();
  EXPECT_EQ(l.decimalSeparator, e->decimal);
  EXPECT_EQ(l.thousandsSeparator, e->thousands);
  EXPECT_EQ(l.listSeparator, e->list);
  EXPECT_EQ(l.groupingSize, 3);
  EXPECT_TRUE(l.leadingZero);
  EXPECT_EQ(l.negativeSign, "-");
  EXPECT_EQ(l.negativeOrder, 1);
  EXPECT_EQ(l.timeSeparator, ":");
}

// Snapshots other than the user's: separators, grouping, leading zero and negative pattern
// all come from the snapshot, in whatever locale the process runs.
TEST(Locale, PlatformFormattingFollowsAnySnapshot) {
  LocaleSnapshot l;
  l.decimalSeparator = " dec ";
  l.thousandsSeparator = "'";
  l.groupingSize = 2;
  l.leadingZero = false;
  EXPECT_EQ(Format("1234567.25", 2, true, l), "1'23'45'67 dec 25");
  EXPECT_EQ(Format("0.5", 1, true, l), " dec 5");
  l.negativeOrder = 0;  // (1.1)
  EXPECT_EQ(Format("-2.5", 1, true, l), "(2 dec 5)");
  l.negativeOrder = 4;  // 1.1 -
  EXPECT_EQ(Format("-2.5", 1, true, l), "2 dec 5 -");
  l.groupingSize = 0;
  EXPECT_EQ(Format("1234567", 0, true, l), "1234567");
  // Separators of the full 7 characters.
  l.thousandsSeparator = "<group>";
  l.groupingSize = 3;
  l.negativeOrder = 1;
  EXPECT_EQ(Format("-1234567890123456789", 0, true, l),
            "-1<group>234<group>567<group>890<group>123<group>456<group>789");
}

TEST(Locale, PlatformFormattingCutsAndRefuses) {
  const LocaleSnapshot l;
  // Cut to the output, always terminated.
  EXPECT_EQ(Format("-1234567.5", 2, true, l, 6), "-1,23");
  EXPECT_EQ(Format("12", 0, true, l, 1), "");
  char untouched = 'x';
  EXPECT_EQ(WinNumberFormatting().Format("12", 0, true, l, &untouched, 0), 0u);
  EXPECT_EQ(untouched, 'x');
  // Not a number: nothing.
  for (const char* bad : {"", "abc", "1e5", "--1", "1.2.3", " 12"}) {
    EXPECT_EQ(Format(bad, 2, true, l), "") << bad;
  }
  EXPECT_EQ(WinNumberFormatting().Format(nullptr, 0, true, l, &untouched, 1), 0u);
  // Rounding half away from zero, carries included.
  EXPECT_EQ(Format("9.995", 2, false, l), "10.00");
  EXPECT_EQ(Format("-0.05", 1, false, l), "-0.1");
  EXPECT_EQ(Format("12.345", 2, false, l), "12.35");
  EXPECT_EQ(Format("12.3449", 2, false, l), "12.34");
  EXPECT_EQ(Format("7", 3, false, l), "7.000");
  // Decimals outside 0 to 9 are held to that range.
  EXPECT_EQ(Format("1.5", -3, true, l), "2");
  EXPECT_EQ(Format("1", 40, true, l), "1.000000000");
}

// The module's texts through the platform agree with the core's own formatting given the
// same snapshot: number displays, decimals, grouped integers and what the parsers read back.
TEST(Locale, PlatformAndCoreAgreeOnTheUsersSnapshot) {
  const Expected* e = ExpectedLocale();
  if (e == nullptr) GTEST_SKIP() << "MW_EXPECT_LOCALE names no known locale";
  const LocaleSnapshot l = ReadUserLocale();
  const WinNumberFormatting platform;
  const mw::SnapshotNumberFormatting core;
  mw::TempStringRing ringA, ringB;
  mw::TextServices a, b;
  a.locale = b.locale = &l;
  a.numbers = &platform;
  b.numbers = &core;
  a.ring = &ringA;
  b.ring = &ringB;
  for (std::int32_t v : {0, 1, -1, 9, -60, 250, -800, 12345, -99999, 1234567, INT32_MAX,
                         INT32_MIN}) {
    for (int decimals : {0, 1, 3, 9}) {
      const std::string x = mw::FormatNumber(a, v, decimals, -800, " dB");
      EXPECT_EQ(x, mw::FormatNumber(b, v, decimals, -800, " dB")) << v << " " << decimals;
      if (v > -800) {
        double scale = 1;
        for (int i = 0; i < decimals; ++i) scale *= 10;
        EXPECT_DOUBLE_EQ(mw::ParseNumber(l, x.c_str()) * scale, v) << x;
      }
    }
  }
  for (double v : {0.0, -0.0004, 2.5, 1234.5678, -98765.4321, 1e9}) {
    for (int decimals : {0, 2, 5}) {
      char x[64], y[64];
      mw::FormatDecimal(a, x, sizeof x, v, decimals, true);
      mw::FormatDecimal(b, y, sizeof y, v, decimals, true);
      EXPECT_STREQ(x, y) << v << " " << decimals;
    }
  }
  char x[64], y[64];
  mw::FormatString(a, x, sizeof x, "$d|%.2z|$.1z|$f", -1234567, 12345, -98765, 1234.5);
  mw::FormatString(b, y, sizeof y, "$d|%.2z|$.1z|$f", -1234567, 12345, -98765, 1234.5);
  EXPECT_STREQ(x, y);
}

}  // namespace
}  // namespace uitest
