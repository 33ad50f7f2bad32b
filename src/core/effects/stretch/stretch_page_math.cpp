#include "core/effects/stretch/stretch_page_math.h"

#include <cmath>

#include "core/ui/time_text.h"

namespace mw {
namespace {

constexpr std::size_t kLabelFormatSize = 80;  // the label texts are read into 80 characters

std::string Decimal(const TextServices& ts, double value, int decimals) {
  char text[400];
  FormatDecimal(ts, text, sizeof text, value, decimals, true);
  return text;
}

// A label from its string-table format (cut to the label buffer) and two filled-in texts.
std::string Label(const TextServices& ts, std::uint32_t id, const std::string& a,
                  const std::string& b) {
  const std::string format = std::string(UiStringText(ts, id)).substr(0, kLabelFormatSize - 1);
  char text[1024];
  FormatString(ts, text, sizeof text, format.c_str(), a, b);
  return text;
}

// trunc(v) as a 32-bit integer, saturated; not a number gives 0.
std::int32_t TruncTo32(double v) {
  if (!(v == v)) return 0;
  if (v <= -2147483648.0) return INT32_MIN;
  if (v >= 2147483647.0) return INT32_MAX;
  return static_cast<std::int32_t>(v);
}

}  // namespace

StretchInput StretchInputOf(std::uint32_t inputFormat) {
  if (inputFormat == 1) return StretchInput::kTempo;
  if (inputFormat == 2) return StretchInput::kTime;
  return StretchInput::kPercentage;
}

std::int32_t StretchTrackPosition(double finalLength) {
  return TruncTo32(std::trunc(finalLength - 10000.0));
}

double FinalLengthFromTrack(std::int32_t position) { return position + 10000.0; }

double FinalLengthFromPercent(double x) { return x * 100.0; }

double FinalLengthFromTempo(std::uint32_t initialTempo, double x) {
  return initialTempo / (x * 0.01);
}

double FinalLengthFromSamples(double samples, double initialTime) {
  return samples / initialTime * 10000.0;
}

double FinalLengthFromText(const LocaleSnapshot& locale, const char* text, StretchInput input,
                           std::uint32_t initialTempo, double initialTime,
                           std::optional<std::uint32_t> rate) {
  const char* typed = text ? text : "";
  switch (input) {
    case StretchInput::kTempo:
      return FinalLengthFromTempo(initialTempo, ParseNumber(locale, typed));
    case StretchInput::kTime:
      return FinalLengthFromSamples(TimeTextToSamples(typed, rate ? *rate : 1.0), initialTime);
    case StretchInput::kPercentage:
      break;
  }
  return FinalLengthFromPercent(ParseNumber(locale, typed));
}

std::uint32_t InitialTempoFromText(const LocaleSnapshot& locale, const char* text) {
  const double x = ParseNumber(locale, text ? text : "");
  return static_cast<std::uint32_t>(TruncTo32(std::trunc(x * 100.0)));
}

double InitialTimeFromStretchText(const char* text, std::optional<std::uint32_t> rate) {
  return rate ? TimeTextToSamples(text, *rate) : 0.0;
}

std::string StretchFinalValueText(const TextServices& ts, StretchInput input, double finalLength,
                                  std::uint32_t initialTempo, double initialTime,
                                  std::optional<std::uint32_t> rate) {
  switch (input) {
    case StretchInput::kTempo:
      return Decimal(ts, initialTempo / finalLength * 100, 2);
    case StretchInput::kTime:
      if (!rate) return UiStringText(ts, kStringStretchZeroTime);
      return SamplesToTimeText(std::trunc(finalLength * 0.0001 * initialTime), *rate);
    case StretchInput::kPercentage:
      break;
  }
  return Decimal(ts, finalLength * 0.01, 2);
}

std::string StretchPercentText(const TextServices& ts, double finalLength) {
  char text[512];
  FormatString(ts, text, sizeof text, "%s %%", Decimal(ts, finalLength * 0.01, 2));
  return text;
}

std::string StretchFinalLabel(const TextServices& ts, StretchInput input,
                              std::uint32_t initialTempo, double initialTime,
                              std::optional<std::uint32_t> rate) {
  switch (input) {
    case StretchInput::kTempo:
      return Label(ts, kStringFinalTempoRange,
                   Decimal(ts, (2 * std::uint64_t{initialTempo}) * 0.01, 2),
                   Decimal(ts, std::trunc(initialTempo * 0.2) * 0.01, 2));
    case StretchInput::kTime:
      if (!rate) return UiStringText(ts, kStringStretchNeedInputPin);
      return Label(ts, kStringFinalTimeRange,
                   SamplesToTimeText(std::trunc(initialTime * 0.5), *rate),
                   SamplesToTimeText(std::trunc(initialTime * 5.0), *rate));
    case StretchInput::kPercentage:
      break;
  }
  return Label(ts, kStringFinalPercentageRange, Decimal(ts, 50.0, 2), Decimal(ts, 500.0, 2));
}

std::string StretchInitialLabel(const TextServices& ts, StretchInput input,
                                std::optional<std::uint32_t> rate) {
  switch (input) {
    case StretchInput::kTempo:
      return UiStringText(ts, kStringInitialTempoLabel);
    case StretchInput::kTime:
      return rate ? UiStringText(ts, kStringInitialTimeLabel) : "";
    case StretchInput::kPercentage:
      break;
  }
  return UiStringText(ts, kStringUnavailableWithPercentage);
}

std::string StretchInitialValueText(const TextServices& ts, StretchInput input,
                                    std::uint32_t initialTempo, double initialTime,
                                    std::optional<std::uint32_t> rate) {
  switch (input) {
    case StretchInput::kTempo:
      return Decimal(ts, initialTempo * 0.01, 2);
    case StretchInput::kTime:
      if (!rate) return UiStringText(ts, kStringStretchZeroTime);
      return SamplesToTimeText(std::trunc(initialTime), *rate);
    case StretchInput::kPercentage:
      break;
  }
  return "0";
}

StretchView StretchViewOf(const TextServices& ts, double finalLength, std::uint32_t inputFormat,
                          std::uint32_t initialTempo, double initialTime,
                          std::optional<std::uint32_t> rate) {
  const StretchInput input = StretchInputOf(inputFormat);
  return {StretchFinalValueText(ts, input, finalLength, initialTempo, initialTime, rate),
          StretchPercentText(ts, finalLength),
          StretchFinalLabel(ts, input, initialTempo, initialTime, rate),
          StretchInitialLabel(ts, input, rate),
          StretchInitialValueText(ts, input, initialTempo, initialTime, rate)};
}

}  // namespace mw
