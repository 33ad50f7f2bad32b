// The text routines of the pages over arbitrary input: a locale of arbitrary separators,
// grouping and negative pattern; numbers and times typed by the user; the formatter with
// arbitrary arguments for the formats the pages use, and for arbitrary formats; fixed-point and
// decimal numbers. Every result stays inside its buffer, terminated, with the length said,
// and parsed times have their fields in range.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstring>
#include <string>

#include "core/ui/text_format.h"
#include "core/ui/time_text.h"
#include "fuzz_support.h"

namespace {

// Text as the platform hands it over: up to its first zero byte.
std::string Text(FuzzedDataProvider& in, std::size_t max) {
  const std::string s = in.ConsumeRandomLengthString(max);
  return s.substr(0, s.find('\0'));
}

mw::LocaleSnapshot TakeLocale(FuzzedDataProvider& in) {
  mw::LocaleSnapshot l;
  l.decimalSeparator = Text(in, 7);
  l.thousandsSeparator = Text(in, 7);
  l.groupingSize = in.ConsumeIntegralInRange<int>(-1, 40);
  l.leadingZero = in.ConsumeBool();
  l.negativeSign = Text(in, 7);
  l.negativeOrder = in.ConsumeIntegralInRange<int>(-1, 6);
  l.listSeparator = Text(in, 7);
  l.timeSeparator = Text(in, 7);
  return l;
}

mw::FormatArg TakeArg(FuzzedDataProvider& in, std::string& keep) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return mw::FormatArg(in.ConsumeIntegral<std::int64_t>());
    case 1: return mw::FormatArg(in.ConsumeIntegral<std::uint64_t>());
    case 2: return mw::FormatArg(in.ConsumeFloatingPoint<double>());
    default:
      keep = in.ConsumeRandomLengthString(64);
      return mw::FormatArg(keep);
  }
}

// A written text: within its buffer, terminated where the length says.
void CheckWritten(const char* out, std::size_t size, std::size_t length) {
  if (size == 0) {
    MW_REQUIRE(length == 0);
    return;
  }
  MW_REQUIRE(length < size);
  MW_REQUIRE(out[length] == '\0');
  MW_REQUIRE(std::strlen(out) == length);
}

// Formats the pages write with numbers and texts.
const char* const kPageFormats[] = {
    "%d", "%u", "%s", "%.1z", "%.3z", "$.1z", "$d", "$f", "%.2f", "%.5f", "%s %s %c",
    "%02u:%02u:%02u.%03u", "%s (%s to %s)", "%*", "%,", "%:", "%!:", "$(SMPTE.Whole)",
    "%*.*f", "%-8s|", "%+d", "%#x", "%I64d", "%e",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const mw::LocaleSnapshot locale = TakeLocale(in);
  const mw::SnapshotNumberFormatting numbers;
  mw::NamedValues named;
  named.Set("SMPTE.Whole", Text(in, 16));
  mw::TempStringRing ring(in.ConsumeIntegralInRange<std::size_t>(16, 2048), 8);
  mw::TextServices services;
  services.locale = &locale;
  services.numbers = &numbers;
  services.named = &named;
  services.ring = &ring;

  // Typed text: numbers and times.
  const std::string typed = in.ConsumeRandomLengthString(256);
  const char* end = nullptr;
  const double number = mw::ParseNumber(locale, typed.c_str(), &end);
  MW_REQUIRE(end >= typed.c_str() && end <= typed.c_str() + typed.size());
  (void)number;
  mw::ParseInteger(locale, typed.c_str(), &end);
  MW_REQUIRE(end >= typed.c_str() && end <= typed.c_str() + typed.size());
  const mw::TimeFields t = mw::ParseTimeText(typed.c_str());
  MW_REQUIRE(t.hours < 24 && t.minutes < 60 && t.seconds < 60);
  // The time's text reads back as the same fields when the last field fits in three digits.
  if (t.thousandths < 1000) {
    MW_REQUIRE(mw::ParseTimeText(mw::TimeText(t).c_str()) == t);
  }

  // The formatter: a page's format or an arbitrary one, arbitrary arguments, any buffer size.
  std::string format;
  if (in.ConsumeBool()) {
    format = kPageFormats[in.ConsumeIntegralInRange<std::size_t>(
        0, sizeof kPageFormats / sizeof kPageFormats[0] - 1)];
  } else {
    format = in.ConsumeRandomLengthString(64);
  }
  std::string kept[4];
  mw::FormatArg args[5];
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 4);
  for (std::size_t i = 0; i < count; ++i) args[i] = TakeArg(in, kept[i]);
  const std::size_t outSize = in.ConsumeIntegralInRange<std::size_t>(0, 300);
  std::string out(outSize + 16, '\x7f');
  const std::size_t length =
      mw::FormatStringArgs(services, &out[0], outSize, format.c_str(), args, count);
  CheckWritten(out.c_str(), outSize, length);
  for (std::size_t i = outSize; i < out.size(); ++i) MW_REQUIRE(out[i] == '\x7f');

  // Fixed-point and decimal numbers.
  const std::int32_t value = in.ConsumeIntegral<std::int32_t>();
  const int decimals = in.ConsumeIntegralInRange<int>(-2, 12);
  const std::string suffix = in.ConsumeRandomLengthString(16);
  const char* shown = mw::FormatNumber(services, value, decimals,
                                       in.ConsumeIntegral<std::int32_t>(), suffix.c_str());
  MW_REQUIRE(shown != nullptr);
  std::string decimal(outSize + 16, '\x7f');
  const std::size_t decimalLength =
      mw::FormatDecimal(services, &decimal[0], outSize, in.ConsumeFloatingPoint<double>(),
                        decimals, in.ConsumeBool());
  CheckWritten(decimal.c_str(), outSize, decimalLength);
  for (std::size_t i = outSize; i < decimal.size(); ++i) MW_REQUIRE(decimal[i] == '\x7f');
  return 0;
}
