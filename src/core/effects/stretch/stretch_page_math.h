// What the Time Stretch page computes: FinalLength from a typed percentage, final tempo or
// final time and back, the trackbar position, and the labels with their ranges for the
// three input formats. Results that are out of range, infinite or not a number are written
// as they are: the filter's clamping of FinalLength decides (5000.0 to 50000.0, a number
// that is not one becoming 5000.0). A sample rate is absent when the filter has no input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/ui/locale.h"
#include "core/ui/text_format.h"

namespace mw {

enum class StretchInput : std::uint32_t { kPercentage = 0, kTempo = 1, kTime = 2 };
// InputFormat as the page treats it: 1 tempo, 2 time, anything else percentage.
StretchInput StretchInputOf(std::uint32_t inputFormat);

// UI strings of the page.
constexpr std::uint32_t kStringInitialTempoLabel = 1156, kStringInitialTimeLabel = 1157;
constexpr std::uint32_t kStringUnavailableWithPercentage = 1158;
constexpr std::uint32_t kStringStretchNeedInputPin = 1160, kStringStretchZeroTime = 1161;
constexpr std::uint32_t kStringFormatPercentage = 1181;  // list items 1181..1183, data 0..2
constexpr std::uint32_t kStringFinalTempoRange = 1184, kStringFinalTimeRange = 1185;
constexpr std::uint32_t kStringFinalPercentageRange = 1186;

// The trackbar runs from -5000 to 40000 at FinalLength - 10000 (0 is 100 %).
constexpr std::int32_t kStretchTrackMin = -5000, kStretchTrackMax = 40000;
std::int32_t StretchTrackPosition(double finalLength);      // trunc(L - 10000.0)
double FinalLengthFromTrack(std::int32_t position);         // position + 10000

// FinalLength from the final-value box, x read as a number:
double FinalLengthFromPercent(double x);                                // x x 100.0
double FinalLengthFromTempo(std::uint32_t initialTempo, double x);      // T / (x x 0.01)
double FinalLengthFromSamples(double samples, double initialTime);      // n / t x 10000.0
// The whole reaction: the text read as a number or, for Time, as a time at the rate (1.0
// per second without one).
double FinalLengthFromText(const LocaleSnapshot& locale, const char* text, StretchInput input,
                           std::uint32_t initialTempo, double initialTime,
                           std::optional<std::uint32_t> rate);

// The initial-value box: Tempo: trunc(x x 100.0) hundredths of a bpm (a negative entry
// wraps as the 32-bit value it truncates to, which the filter limits); Time: samples at
// the rate, 0.0 without one. Nothing is written for Percentage.
std::uint32_t InitialTempoFromText(const LocaleSnapshot& locale, const char* text);
double InitialTimeFromStretchText(const char* text, std::optional<std::uint32_t> rate);

// What the page shows for L = FinalLength, T = InitialTempo, t = InitialTime.
struct StretchView {
  std::string finalValue;    // edit 1007
  std::string percent;       // text 1018: L x 0.01 with two decimals, then " %"
  std::string finalLabel;    // label 1002: the range of the input format
  std::string initialLabel;  // label 1016; empty when it keeps its text (Time without a rate)
  std::string initialValue;  // edit 1008
};
// Edit 1007: Tempo T / L x 100 with two decimals; Time the time text of trunc(L x 0.0001 x
// t) samples (the zero time without a rate); Percentage L x 0.01 with two decimals.
std::string StretchFinalValueText(const TextServices& services, StretchInput input,
                                  double finalLength, std::uint32_t initialTempo,
                                  double initialTime, std::optional<std::uint32_t> rate);
std::string StretchPercentText(const TextServices& services, double finalLength);
// Label 1002: Tempo "&Final Tempo (2T x 0.01 to trunc(T x 0.2) x 0.01 bpm):"; Time with a
// rate "&Final Time (trunc(t x 0.5) to trunc(t x 5.0)):" in time texts, without one "Need
// input pin"; Percentage "&Final Percentage (50.00 to 500.00 %):".
std::string StretchFinalLabel(const TextServices& services, StretchInput input,
                              std::uint32_t initialTempo, double initialTime,
                              std::optional<std::uint32_t> rate);
std::string StretchInitialLabel(const TextServices& services, StretchInput input,
                                std::optional<std::uint32_t> rate);
// Edit 1008: Tempo T x 0.01 with two decimals; Time the time text of trunc(t) (the zero
// time without a rate); Percentage "0".
std::string StretchInitialValueText(const TextServices& services, StretchInput input,
                                    std::uint32_t initialTempo, double initialTime,
                                    std::optional<std::uint32_t> rate);
StretchView StretchViewOf(const TextServices& services, double finalLength,
                          std::uint32_t inputFormat, std::uint32_t initialTempo,
                          double initialTime, std::optional<std::uint32_t> rate);

}  // namespace mw
