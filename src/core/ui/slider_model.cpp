// The slider model's state, messages and queries; the input handling is in slider_input.cpp.
#include "core/ui/slider_model.h"

#include <algorithm>

#include "core/ui/int_math.h"

namespace mw {
namespace {

TaperKind TaperFor(SliderKind kind, std::uint32_t style) {
  if (kind == SliderKind::kTrackbar) {
    if (!(style & kTrackbarTapered)) return TaperKind::kLinear;
    return (style & kTrackbarLogTaper) ? TaperKind::kLog : TaperKind::kFader;
  }
  return (style & kFaderTapered) ? TaperKind::kFader : TaperKind::kLinear;
}

std::int32_t DefaultPageSize(std::int32_t minimum, std::int32_t maximum) {
  return static_cast<std::int32_t>(EffectivePageSize(minimum, maximum, 0, false));
}

}  // namespace

SliderModel::SliderModel(SliderKind kind, std::uint32_t style, bool disabled,
                         std::int32_t notifyData)
    : kind_(kind), style_(style & 0xFFFFu), disabled_(disabled), notifyData_(notifyData) {
  if (IsFader() && (style_ & kFaderTwoThumbs)) {
    thumbs_ = 2;
    style_ |= kFaderNotifyRecords;
  }
  scale_ = SliderScale(0, 100, TaperFor(kind_, style_));
  page_ = DefaultPageSize(0, 100);
  Relayout();
}

void SliderModel::Relayout() {
  layout_ = IsFader() ? LayoutFader(layout_.width, layout_.height, style_, thumbs_)
                      : LayoutTrackbar(layout_.width, layout_.height, style_);
}

void SliderModel::Resize(int width, int height) {
  layout_.width = width;
  layout_.height = height;
  Relayout();
}

void SliderModel::Command(SliderActions& a, int code) const {
  const std::uint32_t bit = IsFader() ? kFaderCommands : kTrackbarCommands;
  if (style_ & bit) a.notes.push_back({NoteKind::kCommand, code, 0});
}

void SliderModel::Notify(SliderActions& a, int code) const {
  a.notes.push_back({NoteKind::kScroll, code, 0});
}

void SliderModel::NotifyPosition(SliderActions& a, int code) const {
  a.notes.push_back({NoteKind::kScroll, code, pos_[0]});
}

SliderActions SliderModel::SetFocus() {
  SliderActions a;
  focused_ = true;
  a.caret = SliderActions::Caret::kCreate;
  a.repaint = true;
  Command(a, 1);
  return a;
}

SliderActions SliderModel::KillFocus() {
  SliderActions a;
  focused_ = false;
  a.caret = SliderActions::Caret::kDestroy;
  a.repaint = true;
  a.notes.push_back({NoteKind::kKillFocus, 0, 0});
  return a;
}

SliderActions SliderModel::Enable(bool enabled) {
  SliderActions a = (!enabled && Dragging()) ? Release(false) : SliderActions{};
  disabled_ = !enabled;
  a.repaint = true;
  return a;
}

bool SliderModel::ApplyRange(std::int32_t minimum, std::int32_t maximum, bool redraw) {
  scale_.SetRange(minimum, maximum);
  default_ = scale_.Clamp(DefaultPositionForRange(minimum, maximum));
  for (int i = 0; i < thumbs_; ++i) pos_[i] = scale_.Clamp(pos_[i]);
  return redraw;
}

bool SliderModel::SetRange(std::int32_t minimum, std::int32_t maximum, bool redraw) {
  return ApplyRange(minimum, maximum, redraw);
}

bool SliderModel::SetRangeMin(std::int32_t minimum, bool redraw) {
  return ApplyRange(minimum, scale_.Maximum(), redraw);
}

bool SliderModel::SetRangeMax(std::int32_t maximum, bool redraw) {
  return ApplyRange(scale_.Minimum(), maximum, redraw);
}

std::int32_t SliderModel::SetPos(std::int32_t position, bool redraw, bool* repaint) {
  const int before = ThumbPixel(0);
  pos_[0] = IsFader() ? position : scale_.Clamp(position);
  if (repaint) *repaint = redraw && ThumbPixel(0) != before;
  return pos_[0];
}

std::int32_t SliderModel::SetDefaultPos(std::int32_t position) {
  default_ = scale_.Clamp(position);
  return default_;
}

std::uint32_t SliderModel::ChannelSpan() const {
  const int left = layout_.valid ? layout_.groove.left : 0;
  const int travel = layout_.valid ? layout_.travel : 0;
  return (static_cast<std::uint32_t>(left) & 0xFFFFu) << 16 |
         (static_cast<std::uint32_t>(travel) & 0xFFFFu);
}

std::int32_t SliderModel::ThumbPosition(int thumb) const {
  return thumb >= 0 && thumb < thumbs_ ? pos_[thumb] : 0;
}

void SliderModel::SetActiveMask(unsigned mask) {
  active_ = mask & (thumbs_ == 2 ? 3u : 1u);
  if (active_ == 0) active_ = 1;
}

std::int32_t SliderModel::SetChannelPos(int thumbNumber, std::int32_t position, bool redraw,
                                        bool* repaint) {
  if (repaint) *repaint = false;
  if (thumbNumber < 1 || thumbNumber > thumbs_) return 0;
  const int i = thumbNumber - 1;
  const int before = ThumbPixel(i);
  pos_[i] = position;
  if (repaint) *repaint = redraw && ThumbPixel(i) != before;
  return position;
}

bool SliderModel::SetChannelPositions(const std::int32_t* positions, bool redraw) {
  if (!positions) return false;
  bool changed = false;
  for (int i = 0; i < thumbs_; ++i) {
    const int before = ThumbPixel(i);
    pos_[i] = positions[i];
    changed = changed || ThumbPixel(i) != before;
  }
  return redraw && changed;
}

std::int32_t SliderModel::ChannelPos(int thumbNumber) const {
  return thumbNumber >= 1 && thumbNumber <= thumbs_ ? pos_[thumbNumber - 1] : 0;
}

void SliderModel::ChannelPositions(std::int32_t* out) const {
  if (!out) return;
  for (int i = 0; i < thumbs_; ++i) out[i] = pos_[i];
}

void SliderModel::Setup(const FaderSetup& s) {
  scale_.SetRange(s.minimum, s.maximum);
  default_ = scale_.Clamp(s.defaultPosition);
  line_ = s.lineSize;
  page_ = s.pageSize != 0 ? s.pageSize : DefaultPageSize(s.minimum, s.maximum);
  style_ = ((style_ & ~s.styleMask) | (s.styleValue & s.styleMask)) & 0xFFFFu;
  if (IsFader()) {
    thumbs_ = (style_ & kFaderTwoThumbs) ? 2 : 1;
    if (thumbs_ == 2) style_ |= kFaderNotifyRecords;
    SetActiveMask(active_);
  }
  scale_.SetTaper(TaperFor(kind_, style_));
  Relayout();
  for (int i = 0; i < thumbs_; ++i) pos_[i] = scale_.Clamp(s.positions[i]);
}

int SliderModel::ThumbPixel(int thumb) const {
  const int i = thumb >= 0 && thumb < thumbs_ ? thumb : 0;
  return layout_.PixelAt(scale_.OffsetOf(pos_[i], layout_.travel));
}

Rect SliderModel::ThumbRect(int thumb) const { return layout_.ThumbAt(thumb, ThumbPixel(thumb)); }

Rect SliderModel::CaretRect() const {
  Rect r = ThumbRect(IsFader() ? FirstActive() : 0);
  r.left += 2;
  r.top += 2;
  r.right -= 2;
  r.bottom -= 2;
  return r;
}

void SliderModel::FillSpan(int* from, int* to) const {
  const int start =
      layout_.PixelAt(fillFromDefault_ ? scale_.OffsetOf(default_, layout_.travel) : 0);
  const int thumb = ThumbPixel(0);
  if (from) *from = std::min(start, thumb);
  if (to) *to = std::max(start, thumb);
}

bool SliderModel::TickPixels(int out[3]) const {
  const bool drawn = IsFader() ? (style_ & kFaderScale) && thumbs_ == 1
                               : (style_ & kTrackbarTicks) != 0;
  if (!drawn || !layout_.valid) return false;
  const std::int32_t lo = scale_.Minimum(), hi = scale_.Maximum();
  out[0] = layout_.PixelAt(0);
  out[1] = lo < 0 && hi > 0 ? layout_.PixelAt(scale_.OffsetOf(0, layout_.travel))
                            : layout_.PixelAt(layout_.travel / 2);
  out[2] = layout_.PixelAt(layout_.travel);
  return true;
}

int SliderModel::ZoneAt(Point p, int* thumb) const {
  if (thumb) *thumb = 0;
  if (disabled_ || !layout_.valid) return kNoZone;
  for (int i = 0; i < thumbs_; ++i) {
    if (ThumbRect(i).Contains(p)) {
      if (thumb) *thumb = i;
      return kThumbZone;
    }
  }
  const Rect t = ThumbRect(IsFader() ? FirstActive() : 0);
  const int along = layout_.Along(p);
  const int thumbStart = layout_.vertical ? t.top : t.left;
  const int thumbEnd = layout_.vertical ? t.bottom : t.right;
  if (!IsFader()) {
    if (layout_.buttons.Contains(p)) {
      // The first half (in screen order) is the line-up button, the second the line-down.
      const int start = layout_.vertical ? layout_.buttons.top : layout_.buttons.left;
      const int end = layout_.vertical ? layout_.buttons.bottom : layout_.buttons.right;
      return along < start + (end - start) / 2 ? 0 : 1;
    }
    if (!layout_.groove.Contains(p)) return kNoZone;
    if (along < thumbStart) return 2;
    return along >= thumbEnd ? 3 : kNoZone;
  }
  // Fader: zones by the direction of the values, the maximum at the top (or the right).
  const bool towardMax = layout_.vertical ? along < thumbStart : along >= thumbEnd;
  const bool towardMin = layout_.vertical ? along >= thumbEnd : along < thumbStart;
  if (layout_.groove.Contains(p)) return towardMax ? 2 : (towardMin ? 3 : kNoZone);
  if (!Rect{0, 0, layout_.width, layout_.height}.Contains(p)) return kNoZone;
  return towardMax ? 0 : 1;
}

FaderCursor SliderModel::CursorAt(Point p) const {
  if (ZoneAt(p) != kThumbZone) return FaderCursor::kDefault;
  if (thumbs_ == 2 && active_ == 1u) return FaderCursor::kLeftThumb;
  if (thumbs_ == 2 && active_ == 2u) return FaderCursor::kRightThumb;
  return FaderCursor::kArrow;
}

}  // namespace mw
