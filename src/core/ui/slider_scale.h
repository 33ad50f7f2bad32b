// The value scale shared by the trackbar and the fader: the range, the optional taper that
// gives part of the range more of the travel, the mapping between values and offsets along
// a travel of L pixels, the default-position rule and the parents' scroll rules.
//
// All arithmetic is integer and truncates toward zero in the order the formulas are
// written; intermediates are 64-bit (128-bit products where needed) so that no range or
// position overflows.
#pragma once

#include <cstdint>

namespace mw {

enum class TaperKind {
  kLinear,  // linearized(v) = v
  kFader,   // the level table: the top of the travel (near 0 dB) gets most of the room
  kLog,     // each doubling of the value adds the same travel
};

// taper(v): the table's travel for |v| (linear interpolation between its points, truncated),
// with the sign of v restored; beyond the table's last value v is returned unchanged.
// kLinear returns v.
std::int64_t TaperValue(TaperKind kind, std::int64_t v);
// The inverse: the value for a travel t (same interpolation over the travel column); beyond
// the table's last travel t is returned unchanged.
std::int64_t UntaperValue(TaperKind kind, std::int64_t t);

// The default position a range change gives: (minimum + maximum) / 2, except for
// minimum < 0 <= maximum: 0 when maximum > 0, the minimum when maximum is 0.
std::int32_t DefaultPositionForRange(std::int32_t minimum, std::int32_t maximum);

class SliderScale {
 public:
  SliderScale() = default;
  SliderScale(std::int32_t minimum, std::int32_t maximum, TaperKind taper);

  // Each setter recomputes the taper constants.
  void SetRange(std::int32_t minimum, std::int32_t maximum);
  void SetTaper(TaperKind taper);

  std::int32_t Minimum() const { return min_; }
  std::int32_t Maximum() const { return max_; }
  TaperKind Taper() const { return taper_; }
  // span = taper(max) - taper(min), at least 1; offset = max - taper(max) * (max - min) / span.
  // Both 1 and 0 on a linear scale.
  std::int64_t Span() const { return span_; }
  std::int64_t Offset() const { return offset_; }

  // offset + taper(v) * (max - min) / span on a tapered scale, else v.
  std::int64_t Linearize(std::int64_t v) const;
  // v limited to the range (whichever bound is larger is the top).
  std::int32_t Clamp(std::int64_t v) const;

  // Pixels from the minimum end of a travel of `length` pixels:
  // (linearized(v) - min) * length / (max - min), 0 when min equals max, kept within
  // [0, length] for values outside the range.
  int OffsetOf(std::int64_t v, int length) const;
  // The value at `offset` pixels from the minimum end: the minimum for length < 2 or at or
  // before the start, the maximum at or after the end; otherwise
  // min + offset * (max - min) / length, mapped back through the taper (offset and span
  // undone, then the inverse table), limited to the range.
  std::int32_t ValueAtOffset(std::int64_t offset, int length) const;
  // True when every value has at least one pixel: length >= max - min.
  bool OnePixelPerValue(int length) const;

 private:
  void Recompute();

  std::int32_t min_ = 0, max_ = 100;
  TaperKind taper_ = TaperKind::kLinear;
  std::int64_t span_ = 1, offset_ = 0;
};

// The trackbar's scroll rule for a parent's WM_HSCROLL/WM_VSCROLL: codes 0..3 move by a line
// or a page (page 0 means (max - min + 5) / 10, at least 1; times 10 while Ctrl is down),
// horizontally 0/2 decrease, inverted (vertical) 0/2 increase; 6 and 7 go to the ends; other
// codes keep the position; the result is clamped to the range. The parent stores the result in
// the control (SLM_SETPOS with redraw) for every code, the ends included, so that the thumb
// always shows the value the parameter gets.
std::int32_t TrackbarScrollRule(int code, std::int32_t minimum, std::int32_t maximum,
                                std::int32_t position, std::int32_t line, std::int32_t page,
                                bool ctrl, bool inverted);
// The fader's scroll rule (vertical sense): 0/2 increase, 1/3 decrease; 6 goes to 0 on a
// range that spans zero (minimum < 0, maximum >= 1) unless Ctrl is down, else to the maximum;
// 7 goes to the smaller bound. The parent stores the result with FDM_SETCHANNELPOS (thumb 1).
std::int32_t FaderScrollRule(int code, std::int32_t minimum, std::int32_t maximum,
                             std::int32_t position, std::int32_t line, std::int32_t page,
                             bool ctrl);

// The page size a scroll rule uses: page, or (max - min + 5) / 10 (at least 1) for page 0;
// times 10 with Ctrl.
std::int64_t EffectivePageSize(std::int32_t minimum, std::int32_t maximum, std::int32_t page,
                               bool ctrl);

}  // namespace mw
