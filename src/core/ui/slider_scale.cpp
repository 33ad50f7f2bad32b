#include "core/ui/slider_scale.h"

#include <cstddef>

#include "core/ui/int_math.h"

namespace mw {
namespace {

struct TaperPoint {
  std::int64_t value;
  std::int64_t travel;
};

constexpr TaperPoint kFaderTaper[] = {{0, 0},     {30, 250},  {60, 400},  {120, 500},
                                      {250, 600}, {400, 800}, {700, 950}, {1000, 1000}};

constexpr TaperPoint kLogTaper[] = {
    {0, 0},         {20, 1000},     {40, 2000},      {80, 3000},      {160, 4000},
    {320, 5000},    {640, 6000},    {1280, 7000},    {2560, 8000},    {5120, 9000},
    {10240, 10000}, {20480, 11000}, {40960, 12000},  {81920, 13000},  {163840, 14000}};

struct Table {
  const TaperPoint* points;
  std::size_t count;
};

Table TableFor(TaperKind kind) {
  if (kind == TaperKind::kFader) return {kFaderTaper, sizeof kFaderTaper / sizeof kFaderTaper[0]};
  return {kLogTaper, sizeof kLogTaper / sizeof kLogTaper[0]};
}

// Interpolates |x| in column `from` of the table onto column `to`; the sign of x is restored,
// and beyond the last point x is returned unchanged.
std::int64_t Interpolate(TaperKind kind, std::int64_t x,
                         std::int64_t TaperPoint::*from, std::int64_t TaperPoint::*to) {
  if (kind == TaperKind::kLinear) return x;
  const Table table = TableFor(kind);
  // x comes from 32-bit values and products that fit 64 bits; its magnitude is below 2^62.
  const std::int64_t a = x < 0 ? -x : x;
  if (a > table.points[table.count - 1].*from) return x;
  std::size_t i = 0;
  while (table.points[i].*from < a) ++i;
  std::int64_t r = table.points[i].*to;
  if (i > 0) {
    const TaperPoint& p = table.points[i - 1];
    const TaperPoint& q = table.points[i];
    r = p.*to + (a - p.*from) * (q.*to - p.*to) / (q.*from - p.*from);
  }
  return x < 0 ? -r : r;
}

}  // namespace

std::int64_t TaperValue(TaperKind kind, std::int64_t v) {
  return Interpolate(kind, ClampBetween(v, -(std::int64_t{1} << 40), std::int64_t{1} << 40),
                     &TaperPoint::value, &TaperPoint::travel);
}

std::int64_t UntaperValue(TaperKind kind, std::int64_t t) {
  return Interpolate(kind, ClampBetween(t, -(std::int64_t{1} << 40), std::int64_t{1} << 40),
                     &TaperPoint::travel, &TaperPoint::value);
}

std::int32_t DefaultPositionForRange(std::int32_t minimum, std::int32_t maximum) {
  if (minimum < 0 && maximum >= 0) return maximum > 0 ? 0 : minimum;
  return static_cast<std::int32_t>((std::int64_t{minimum} + maximum) / 2);
}

SliderScale::SliderScale(std::int32_t minimum, std::int32_t maximum, TaperKind taper)
    : min_(minimum), max_(maximum), taper_(taper) {
  Recompute();
}

void SliderScale::SetRange(std::int32_t minimum, std::int32_t maximum) {
  min_ = minimum;
  max_ = maximum;
  Recompute();
}

void SliderScale::SetTaper(TaperKind taper) {
  taper_ = taper;
  Recompute();
}

void SliderScale::Recompute() {
  span_ = 1;
  offset_ = 0;
  if (taper_ == TaperKind::kLinear) return;
  const std::int64_t top = TaperValue(taper_, max_);
  span_ = top - TaperValue(taper_, min_);
  if (span_ < 1) span_ = 1;
  offset_ = max_ - MulDivTrunc(top, std::int64_t{max_} - min_, span_);
}

std::int64_t SliderScale::Linearize(std::int64_t v) const {
  if (taper_ == TaperKind::kLinear) return v;
  return offset_ + MulDivTrunc(TaperValue(taper_, v), std::int64_t{max_} - min_, span_);
}

std::int32_t SliderScale::Clamp(std::int64_t v) const {
  return static_cast<std::int32_t>(ClampBetween(v, min_, max_));
}

int SliderScale::OffsetOf(std::int64_t v, int length) const {
  if (min_ == max_ || length <= 0) return 0;
  const std::int64_t off =
      MulDivTrunc(Linearize(v) - min_, length, std::int64_t{max_} - min_);
  return static_cast<int>(ClampBetween(off, 0, length));
}

std::int32_t SliderScale::ValueAtOffset(std::int64_t offset, int length) const {
  if (length < 2 || offset <= 0) return min_;
  if (offset >= length) return max_;
  const std::int64_t range = std::int64_t{max_} - min_;
  std::int64_t v = min_ + MulDivTrunc(offset, range, length);
  if (taper_ != TaperKind::kLinear && range != 0)
    v = UntaperValue(taper_, MulDivTrunc(v - offset_, span_, range));
  return Clamp(v);
}

bool SliderScale::OnePixelPerValue(int length) const {
  return std::int64_t{length} >= std::int64_t{max_} - min_;
}

std::int64_t EffectivePageSize(std::int32_t minimum, std::int32_t maximum, std::int32_t page,
                               bool ctrl) {
  std::int64_t p = page;
  if (p == 0) {
    p = (std::int64_t{maximum} - minimum + 5) / 10;
    if (p < 1) p = 1;
  }
  return ctrl ? p * 10 : p;
}

std::int32_t TrackbarScrollRule(int code, std::int32_t minimum, std::int32_t maximum,
                                std::int32_t position, std::int32_t line, std::int32_t page,
                                bool ctrl, bool inverted) {
  const std::int64_t pg = EffectivePageSize(minimum, maximum, page, ctrl);
  const std::int32_t smaller = minimum < maximum ? minimum : maximum;
  const int sign = inverted ? 1 : -1;  // the direction codes 0 and 2 move in
  std::int64_t v = position;
  switch (code) {
    case 0: v = std::int64_t{position} + sign * std::int64_t{line}; break;
    case 1: v = std::int64_t{position} - sign * std::int64_t{line}; break;
    case 2: v = position + sign * pg; break;
    case 3: v = position - sign * pg; break;
    case 6: v = inverted ? maximum : smaller; break;
    case 7: v = inverted ? smaller : maximum; break;
    default: break;
  }
  return static_cast<std::int32_t>(ClampBetween(v, minimum, maximum));
}

std::int32_t FaderScrollRule(int code, std::int32_t minimum, std::int32_t maximum,
                             std::int32_t position, std::int32_t line, std::int32_t page,
                             bool ctrl) {
  const std::int64_t pg = EffectivePageSize(minimum, maximum, page, ctrl);
  std::int64_t v = position;
  switch (code) {
    case 0: v = std::int64_t{position} + line; break;
    case 1: v = std::int64_t{position} - line; break;
    case 2: v = position + pg; break;
    case 3: v = position - pg; break;
    case 6: v = (minimum < 0 && maximum >= 1 && !ctrl) ? 0 : maximum; break;
    case 7: v = minimum < maximum ? minimum : maximum; break;
    default: break;
  }
  return static_cast<std::int32_t>(ClampBetween(v, minimum, maximum));
}

}  // namespace mw
