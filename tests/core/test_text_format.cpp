// The text formatter, FormatNumber, FormatDecimal, the snapshot's number formatting and the
// parsers, in locales with other separators, grouping sizes and negative signs.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "core/ui/text_format.h"

namespace {

mw::LocaleSnapshot English() { return mw::LocaleSnapshot{}; }

mw::LocaleSnapshot German() {
  mw::LocaleSnapshot l;
  l.decimalSeparator = ",";
  l.thousandsSeparator = ".";
  l.listSeparator = ";";
  return l;
}

// A made-up locale: long separators, groups of three then two, its own negative sign.
mw::LocaleSnapshot Odd() {
  mw::LocaleSnapshot l;
  l.decimalSeparator = "<dec>";
  l.thousandsSeparator = "_sep_77";
  l.groupingSize = 32;
  l.negativeSign = "~";
  l.negativeOrder = 1;
  return l;
}

struct Text {
  mw::LocaleSnapshot locale;
  mw::NamedValues named;
  mw::TempStringRing ring;
  mw::TextServices ts;
  explicit Text(mw::LocaleSnapshot l) : locale(std::move(l)) {
    ts.locale = &locale;
    ts.named = &named;
    ts.ring = &ring;
  }
  template <class... A>
  std::string Format(const char* f, const A&... a) {
    char out[512];
    const std::size_t n = mw::FormatString(ts, out, sizeof out, f, a...);
    EXPECT_EQ(n, std::strlen(out));
    return out;
  }
  std::string Decimal(double v, int d, bool localized) {
    char out[512];
    mw::FormatDecimal(ts, out, sizeof out, v, d, localized);
    return out;
  }
};

std::string Native(const char* number, int decimals, const mw::LocaleSnapshot& l,
                   bool grouped = true, std::size_t size = 256) {
  char out[256] = "#";
  const std::size_t r =
      mw::SnapshotNumberFormatting().Format(number, decimals, grouped, l, out, size);
  if (r == 0) return out[0] ? "?" : "FAIL";
  return r == std::strlen(out) + 1 ? std::string(out) : "BAD LENGTH";
}

TEST(NumberFormatting, AsThePlatformFormats) {
  const mw::LocaleSnapshot en = English();
  EXPECT_EQ(Native("1234.5678", 2, en), "1,234.57");
  EXPECT_EQ(Native("1.005", 2, en), "1.01");      // half up on the decimal digits
  EXPECT_EQ(Native("-999.995", 2, en), "-1,000.00");
  EXPECT_EQ(Native("-0.0004", 3, en), "-0.000");  // the sign stays
  EXPECT_EQ(Native("2.5", 0, en), "3");
  EXPECT_EQ(Native("0005", 2, en), "5.00");
  EXPECT_EQ(Native("", 0, en), "0");
  EXPECT_EQ(Native("-", 0, en), "-0");
  EXPECT_EQ(Native(".5", 2, en), "0.50");
  EXPECT_EQ(Native("1234567", 0, en, false), "1234567");
  for (const char* bad : {"1e5", " 5", "+5", "5.5.5", "--5", "1,5"})
    EXPECT_EQ(Native(bad, 0, en), "FAIL") << bad;
  mw::LocaleSnapshot l = en;
  l.leadingZero = false;
  EXPECT_EQ(Native("0.5", 2, l), ".50");
  EXPECT_EQ(Native("-0.4", 0, l), "-");
  l = en;
  const char* patterns[] = {"(1,234.5)", "-1,234.5", "- 1,234.5", "1,234.5-", "1,234.5 -"};
  for (int order = 0; order < 5; ++order) {
    l.negativeOrder = order;
    EXPECT_EQ(Native("-1234.5", 1, l), patterns[order]);
  }
  l.negativeOrder = 5;
  EXPECT_EQ(Native("-5", 0, l), "FAIL");
  EXPECT_EQ(Native("5", 0, l), "5");
  const std::pair<int, const char*> groupings[] = {{0, "123456789"},    {3, "123,456,789"},
                                                   {32, "12,34,56,789"}, {30, "123456,789"},
                                                   {320, "1234,56,789"}, {4, "1,2345,6789"},
                                                   {9, "123456789"}};
  for (const auto& [g, text] : groupings) {
    l = en;
    l.groupingSize = g;
    EXPECT_EQ(Native("123456789", 0, l), text) << g;
  }
  EXPECT_EQ(Native("12345", 0, en, true, 6), "FAIL");  // the text needs 7 bytes
  EXPECT_EQ(Native("12345", 0, en, true, 7), "12,345");
}

TEST(FormatNumber, ValueDisplays) {
  Text en(English());
  EXPECT_STREQ(mw::FormatNumber(en.ts, -60, 1, -800, " dB"), "-6.0 dB");
  EXPECT_STREQ(mw::FormatNumber(en.ts, -800, 1, -800, " dB"), "-Inf.");
  EXPECT_STREQ(mw::FormatNumber(en.ts, -900, 1, -800, " dB"), "-Inf.");
  EXPECT_STREQ(mw::FormatNumber(en.ts, 250, 3, 0, nullptr), "0.250");
  EXPECT_STREQ(mw::FormatNumber(en.ts, 12345, 0, 0, nullptr), "12,345");
  EXPECT_STREQ(mw::FormatNumber(en.ts, 0, 0, 0, " %"), "0 %");
  EXPECT_STREQ(mw::FormatNumber(en.ts, 123456789, 12, 0, nullptr), "0.123456789");
  EXPECT_STREQ(mw::FormatNumber(en.ts, -5, 2, 0, nullptr), "-0.05");
  Text de(German());
  EXPECT_STREQ(mw::FormatNumber(de.ts, -60, 1, -800, " dB"), "-6,0 dB");
  EXPECT_STREQ(mw::FormatNumber(de.ts, 5000, 0, 0, nullptr), "5.000");
  // Seven-character separators: the ring gives what the text needs.
  Text odd(Odd());
  EXPECT_STREQ(mw::FormatNumber(odd.ts, INT32_MIN, 0, 0, " units"),
               "-2_sep_7714_sep_7774_sep_7783_sep_77648 units");
  EXPECT_STREQ(mw::FormatNumber(odd.ts, -15, 1, 0, nullptr), "-1<dec>5");
  // No ring, or a suffix the ring cannot hold: "Err.".
  mw::TextServices bare;
  EXPECT_STREQ(mw::FormatNumber(bare, 1, 0, 0, nullptr), "Err.");
  EXPECT_STREQ(mw::FormatNumber(en.ts, 1, 0, 0, std::string(9000, 'x').c_str()), "Err.");
}

TEST(FormatDecimal, HalfUnitAndLocale) {
  Text en(English());
  EXPECT_EQ(en.Decimal(-0.0004, 3, false), "0.000");
  EXPECT_EQ(en.Decimal(2.5, 0, false), "3");
  EXPECT_EQ(en.Decimal(1234.5678, 2, true), "1,234.57");
  EXPECT_EQ(en.Decimal(-1234.5678, 2, false), "-1234.57");
  EXPECT_EQ(en.Decimal(0.05, 1, false), "0.1");
  EXPECT_EQ(en.Decimal(1e20, 2, false), "100000000000000000000.00");
  EXPECT_EQ(en.Decimal(0.5, 12, false), "0.500000000");  // decimals limited to 9
  EXPECT_EQ(en.Decimal(7, -3, false), "7");
  EXPECT_EQ(en.Decimal(NAN, 2, false), "nan");
  EXPECT_EQ(en.Decimal(-INFINITY, 2, true), "-inf");
  Text de(German());
  EXPECT_EQ(de.Decimal(1234.5678, 2, true), "1.234,57");
  EXPECT_EQ(de.Decimal(-1234.5678, 2, true), "-1.234,57");
  Text odd(Odd());
  EXPECT_EQ(odd.Decimal(-1234.5, 1, true), "-1_sep_77234<dec>5");  // "~" becomes "-"
  char small[5];
  EXPECT_EQ(mw::FormatDecimal(en.ts, small, sizeof small, 123456.0, 0, false), 4u);
  EXPECT_STREQ(small, "1234");
}

// What the C library's printf does not share (the conversions it does are compared with it
// below): character and string directives, 32-bit arguments unless I64, grouping with '$',
// the fixed-point 'z', the locale's separators, named values and what is not a directive.
TEST(FormatString, Directives) {
  Text en(English());
  en.named.Set("Product", "Vantor 1 Plug-In Pack");
  EXPECT_EQ(en.Format("100 %%"), "100 %");
  EXPECT_EQ(en.Format("$$"), "$");
  EXPECT_EQ(en.Format("%c%c%s|%.2s|%6s|%-4s|", 'O', 'K', "!", "abcdef", "ab", "ab"),
            "OK!|ab|    ab|ab  |");
  EXPECT_EQ(en.Format("%u %d", -1, 4294967296LL), "4294967295 0");  // 32 bits unless I64
  EXPECT_EQ(en.Format("%I64d %lld %hd", 4294967296LL, -5LL, 70000), "4294967296 -5 4464");
  EXPECT_EQ(en.Format("$d $i $u $5d", 1234567, -1234, 1000u, 12), "1,234,567 -1,234 1,000    12");
  EXPECT_EQ(en.Format("$.2f %08.3f %-8.1f|", 1234567.891, -3.14159, 2.0),
            "1,234,567.89 -003.142 2.0     |");
  EXPECT_EQ(en.Format("%.3z $.1z %z $z %.0z", 250, 123456, 7, 12345, 9),
            "0.250 12,345.6 7 12,345 9");
  EXPECT_EQ(en.Format("%.2z %.3z", -5, INT32_MIN), "-0.05 -2147483.648");
  EXPECT_EQ(en.Format("1%*5 %, %: %!: %!. %!, %&: %&."), "1.5 , : : . , : .");
  EXPECT_EQ(en.Format("[%*d] [%-*d] [%.*f]", 4, 7, 4, 7, 1, 2.25), "[   7] [7   ] [2.2]");
  EXPECT_EQ(en.Format("$(product) $(Missing) $(Product"),
            "Vantor 1 Plug-In Pack $(Missing) $(Product");
  EXPECT_EQ(en.Format("costs $5 each, %q 100%! %"), "costs $5 each, %q 100%! %");
  EXPECT_EQ(en.Format("%f %e %g", INFINITY, -INFINITY, NAN), "inf -inf nan");
  Text de(German());
  EXPECT_EQ(de.Format("%.2f $.2f %.1z $d %* %,", 1234.5, 1234.5, -15, 1234567),
            "1234,50 1.234,50 -1,5 1.234.567 , ;");
  Text odd(Odd());
  EXPECT_EQ(odd.Format("$d", -1234567), "-12_sep_7734_sep_77567");
}

TEST(FormatString, MissingAndMismatchedArguments) {
  Text en(English());
  EXPECT_EQ(en.Format("%d %s %f %c|"), "0  0.000000 |");
  EXPECT_EQ(en.Format("%s %d", 5, "x"), " 0");
  EXPECT_EQ(en.Format("%d %x", 2.9, -1.5), "2 ffffffff");
  EXPECT_EQ(en.Format("%f", 3), "3.000000");
  EXPECT_EQ(en.Format("%s", static_cast<const char*>(nullptr)), "(null)");
  EXPECT_EQ(en.Format("%d", 1e300), "-1");  // saturated to 64 bits, then the low 32
  EXPECT_EQ(en.Format("%999999999d", 1).size(), 511u);  // cut to the buffer
}

TEST(FormatString, CutsAndTerminates) {
  Text en(English());
  char out[8];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(mw::FormatString(en.ts, out, 6, "%s-%d", "abcdef", 12), 5u);
  EXPECT_STREQ(out, "abcde");
  EXPECT_EQ(out[6], 'x');
  EXPECT_EQ(mw::FormatString(en.ts, out, 1, "abc"), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(mw::FormatString(en.ts, nullptr, 10, "abc"), 0u);
  EXPECT_EQ(mw::FormatString(en.ts, out, 8, nullptr), 0u);
  // A double-byte pair is never split.
  en.ts.isLeadByte = [](unsigned char c) { return c >= 0x81 && c <= 0xFE; };
  EXPECT_EQ(mw::FormatString(en.ts, out, 4, "ab\x82%"), 2u);
  EXPECT_EQ(mw::FormatString(en.ts, out, 8, "a\x82%d"), 4u);  // the % is a trail byte
  EXPECT_STREQ(out, "a\x82%d");
}

// Integer and floating-point directives agree with the C library's printf (run in the "C"
// locale) for random flags, widths, precisions and values.
TEST(FormatString, AgreesWithPrintf) {
  std::mt19937_64 rng(99);
  Text en(English());
  // Only the flags the standard defines for each conversion (C libraries differ on others).
  const char* signedFlags[] = {"", "-", "+", " ", "0", "-+", "0 "};
  const char* unsignedFlags[] = {"", "-", "0", "-0"};
  const char* radixFlags[] = {"", "-", "#", "0", "#0"};
  const char* floatFlags[] = {"", "-", "+", " ", "#", "0", "-+", "0 ", "#0"};
  for (int i = 0; i < 20000; ++i) {
    const char conv = "diuoxXeEfgG"[rng() % 11];
    std::string head = "%";
    if (conv == 'd' || conv == 'i') head += signedFlags[rng() % 7];
    else if (conv == 'u') head += unsignedFlags[rng() % 4];
    else if (conv == 'o' || conv == 'x' || conv == 'X') head += radixFlags[rng() % 5];
    else head += floatFlags[rng() % 9];
    if (rng() % 2) head += std::to_string(rng() % 30);
    if (rng() % 2) head += "." + std::to_string(rng() % 20);
    char expected[512];
    std::string got;
    if (std::strchr("diuoxX", conv)) {
      const std::string f = head + "ll" + conv;
      const long long v = static_cast<long long>(rng()) >> (rng() % 64);
      std::snprintf(expected, sizeof expected, f.c_str(), v);
      got = en.Format(f.c_str(), v);
    } else {
      const std::string f = head + conv;
      double v;
      const std::uint64_t bits = rng();
      std::memcpy(&v, &bits, sizeof v);
      if (std::isnan(v) || std::isinf(v) || rng() % 2)
        v = static_cast<double>(static_cast<std::int64_t>(rng()) >> (rng() % 64)) / 1000.0;
      std::snprintf(expected, sizeof expected, f.c_str(), v);
      got = en.Format(f.c_str(), v);
    }
    ASSERT_EQ(got, expected) << head << conv;
  }
}

TEST(FormatString, ArbitraryFormatsAreHarmless) {
  std::mt19937 rng(5);
  Text odd(Odd());
  odd.named.Set("n", "named");
  const char alphabet[] = "%$dxiuoXcseEfgGz.*-+ #0123456789()!&:,I64lhLn\x82";
  char out[64];
  for (int i = 0; i < 50000; ++i) {
    std::string f;
    const int length = rng() % 24;
    for (int k = 0; k < length; ++k) f += alphabet[rng() % (sizeof alphabet - 1)];
    // An exactly sized copy, so that the sanitizer sees any read past the terminator.
    std::unique_ptr<char[]> format(new char[f.size() + 1]);
    std::memcpy(format.get(), f.c_str(), f.size() + 1);
    std::memset(out, 'x', sizeof out);
    const std::size_t size = rng() % sizeof out;
    const std::size_t n = mw::FormatString(odd.ts, out, size, format.get(), -7, "s", 2.5,
                                           INT64_MIN, 1e308, nullptr);
    if (size == 0) {
      ASSERT_EQ(n, 0u);
      ASSERT_EQ(out[0], 'x');
    } else {
      ASSERT_LT(n, size);
      ASSERT_EQ(std::strlen(out), n) << f;
    }
  }
}

TEST(ParseNumber, SeparatorsParenthesesAndEnd) {
  const mw::LocaleSnapshot en = English();
  const char* end = nullptr;
  EXPECT_EQ(mw::ParseNumber(en, "1,5"), 15);
  EXPECT_EQ(mw::ParseNumber(en, "(2.5)"), -2.5);
  const char* text = "   3.25 ms";
  EXPECT_EQ(mw::ParseNumber(en, text, &end), 3.25);
  EXPECT_EQ(end, text + 7);
  const char* letters = "  abc def";
  mw::ParseNumber(en, letters, &end);
  EXPECT_EQ(end, letters + 2);  // nothing read: the token's start
  EXPECT_EQ(mw::ParseNumber(en, "12abc"), 12);
  EXPECT_EQ(mw::ParseNumber(en, "5-"), -5);
  EXPECT_EQ(mw::ParseNumber(en, "1e-2"), -100);  // a '-' anywhere makes it negative
  EXPECT_EQ(mw::ParseNumber(en, "0x10"), 16);
  EXPECT_TRUE(std::isinf(mw::ParseNumber(en, "1e999")));
  EXPECT_EQ(mw::ParseNumber(en, nullptr, &end), 0);
  const std::string ones(63, '1');  // only 63 characters of a token count
  EXPECT_EQ(mw::ParseNumber(en, (ones + "9").c_str()), std::strtod(ones.c_str(), nullptr));
  const mw::LocaleSnapshot de = German();
  EXPECT_EQ(mw::ParseNumber(de, "1.234,5"), 1234.5);
  EXPECT_EQ(mw::ParseNumber(de, "3,25"), 3.25);
  const mw::LocaleSnapshot odd = Odd();
  EXPECT_EQ(mw::ParseNumber(odd, "1_sep_77000<dec>25"), 1000.25);
  EXPECT_EQ(mw::ParseInteger(en, "1,234.9"), 1234);
  EXPECT_EQ(mw::ParseInteger(en, "(42)"), -42);
  EXPECT_EQ(mw::ParseInteger(en, "99999999999"), INT32_MAX);
  EXPECT_EQ(mw::ParseInteger(en, "-99999999999"), INT32_MIN);
  EXPECT_EQ(mw::ParseInteger(en, "0x10"), 0);
  EXPECT_EQ(mw::ParseInteger(en, "x", &end), 0);
}

TEST(ParseNumber, ArbitraryTextIsHarmless) {
  std::mt19937 rng(17);
  const mw::LocaleSnapshot locales[] = {English(), German(), Odd()};
  const char alphabet[] = "0123456789.,-+()eEx _<dec>sep7~\t";
  for (int i = 0; i < 30000; ++i) {
    const std::size_t length = rng() % 90;
    std::unique_ptr<char[]> text(new char[length + 1]);
    for (std::size_t k = 0; k < length; ++k) text[k] = alphabet[rng() % (sizeof alphabet - 1)];
    text[length] = '\0';
    const mw::LocaleSnapshot& l = locales[i % 3];
    const char* end = nullptr;
    mw::ParseNumber(l, text.get(), &end);
    ASSERT_TRUE(end >= text.get() && end <= text.get() + length);
    mw::ParseInteger(l, text.get(), &end);
    ASSERT_TRUE(end >= text.get() && end <= text.get() + length);
    char out[32];
    const std::size_t n = mw::SnapshotNumberFormatting().Format(text.get(), rng() % 12,
                                                                rng() % 2, l, out, rng() % 32);
    if (n) {
      ASSERT_EQ(n, std::strlen(out) + 1);
    }
  }
}

// The reading follows strtod in the "C" locale, whatever locale the program has set.
TEST(ParseNumber, AgreesWithStrtodInAnyProgramLocale) {
  std::mt19937 rng(11);
  const mw::LocaleSnapshot en = English();
  const char alphabet[] = "0123456789.eE+xXpPaAfinINF";
  const char* programLocales[] = {"C", "de_DE.UTF-8", "German_Germany.1252", "fr_FR.UTF-8"};
  for (const char* programLocale : programLocales) {
    if (!std::setlocale(LC_NUMERIC, programLocale)) continue;
    EXPECT_EQ(mw::ParseNumber(en, "3.25"), 3.25) << programLocale;
    for (int i = 0; i < 20000; ++i) {
      std::string token = rng() % 3 ? "" : "-";
      const int length = 1 + rng() % 12;
      for (int k = 0; k < length; ++k) token += alphabet[rng() % (sizeof alphabet - 1)];
      std::setlocale(LC_NUMERIC, "C");
      char* stop = nullptr;
      const double expected = std::strtod(token.c_str(), &stop);
      std::setlocale(LC_NUMERIC, programLocale);
      const char* end = nullptr;
      const double got = mw::ParseNumber(en, token.c_str(), &end);
      const bool read = stop != token.c_str();
      ASSERT_EQ(end != token.c_str(), read) << token;
      if (std::isnan(expected)) {
        ASSERT_TRUE(std::isnan(got)) << token;
      } else {
        ASSERT_EQ(got, expected) << token << " in " << programLocale;
      }
    }
  }
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
