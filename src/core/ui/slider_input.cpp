// The slider model's mouse, keyboard and wheel handling: presses on the line and page zones
// with their repeat timer, the thumb drag in normal and fine mode, Escape, double-clicks,
// the keys and the wheel of both controls.
#include <cstdlib>

#include "core/ui/int_math.h"
#include "core/ui/slider_model.h"

namespace mw {
namespace {

// Fine mode switches on by itself when the pointer rests: inside +-6 pixels of the last drag
// point for more than 30 ms; once on, it stays while moves keep within +-8 pixels and come
// more than 10 ms apart.
constexpr int kRestPixels = 6, kStayPixels = 8;
constexpr std::uint32_t kRestMs = 30, kStayMs = 10;

// The scroll code of a navigation key, or -1. The fader's arrows go up and right for larger
// values; the trackbar's Left always notifies 0, its other arrows follow the orientation.
int NavigationCode(bool fader, bool vertical, int key) {
  switch (key) {
    case vk::kPrior: return 2;
    case vk::kNext: return 3;
    case vk::kEnd: return 7;
    case vk::kHome: return 6;
    case vk::kLeft: return fader ? 1 : 0;
    case vk::kUp:
    case vk::kRight: return fader || vertical ? 0 : 1;
    case vk::kDown: return fader || vertical ? 1 : 0;
    default: return -1;
  }
}

bool IsDigitKey(int key) { return key >= vk::kDigit0 && key <= vk::kDigit0 + 9; }

bool IsIgnoredKey(int key) {
  return key == vk::kClear || (key >= vk::kNumpad0 && key <= vk::kNumpad9);
}

// Fine step for a pointer movement of d pixels toward larger values: about one value per two
// pixels, at least one per move.
std::int64_t FineStep(int d) {
  if (d > 0) return (std::int64_t{d} + 1) / 2;
  if (d < 0) return (std::int64_t{d} - 1) / 2;
  return 0;
}

}  // namespace

void SliderModel::SetThumbs(unsigned mask, std::int64_t value) {
  for (int i = 0; i < thumbs_; ++i)
    if (mask & (1u << i)) pos_[i] = scale_.Clamp(value);
}

void SliderModel::MoveActive(int code, bool ctrl) {
  for (int i = 0; i < thumbs_; ++i) {
    if (!(active_ & (1u << i))) continue;
    pos_[i] = FaderScrollRule(code, scale_.Minimum(), scale_.Maximum(), pos_[i], line_, page_,
                              ctrl);
  }
}

void SliderModel::PressThumb(int thumb, Point p) {
  grabbed_ = thumb;
  const int across = (layout_.thumbAcrossStart[thumb] + layout_.thumbAcrossEnd[thumb]) / 2;
  const Point centre = layout_.Make(ThumbPixel(thumb), across);
  grab_ = Point{centre.x - p.x, centre.y - p.y};
  lastReported_ = pos_[thumb];
  if (!IsFader()) return;
  if (linked_) {
    active_ = thumbs_ == 2 ? 3u : 1u;
  } else if (thumbs_ == 2) {
    // The inner half of a thumb (toward the other one) makes both active.
    const int c = layout_.Across(p);
    const bool inner = thumb == 0 ? c >= across : c < across;
    active_ = inner ? 3u : (1u << thumb);
  } else {
    active_ = 1u;
  }
}

SliderActions SliderModel::ButtonDown(Point p, Modifiers m, std::uint32_t time) {
  SliderActions a;
  if (disabled_ || Dragging()) return a;
  a.takeFocus = !(style_ & kTrackbarNoFocusOnClick);  // the same bit for both controls
  int thumb = 0;
  const int zone = ZoneAt(p, &thumb);
  if (zone == kNoZone) return a;
  for (int i = 0; i < thumbs_; ++i) pressPos_[i] = pos_[i];
  Command(a, 3);
  a.caret = SliderActions::Caret::kHide;
  a.capture = SliderActions::Capture::kSet;
  Notify(a, 9);
  zone_ = zone;
  fine_ = autoFine_ = ignoreMove_ = false;
  last_ = p;
  lastTime_ = time;
  a.repaint = true;
  if (zone == kThumbZone) {
    PressThumb(thumb, p);
    DragTo(a, p, m, time);  // the press is the drag's first move
  } else {
    a.timer = SliderActions::Timer::kStart;
    pressedHot_ = false;
    ZoneStep(a, p, m.ctrl);
  }
  return a;
}

SliderActions SliderModel::DoubleClick(Point p, Modifiers m, std::uint32_t time) {
  int thumb = 0;
  if (disabled_ || Dragging() || ZoneAt(p, &thumb) != kThumbZone) return ButtonDown(p, m, time);
  SliderActions a;
  if (IsFader() && thumbs_ == 2 && active_ != 3u) {
    // One of two thumbs active: the other one joins it.
    const int on = FirstActive();
    pos_[1 - on] = pos_[on];
  } else {
    SetThumbs(IsFader() ? active_ : 1u, default_);
  }
  a.repaint = true;
  NotifyPosition(a, 4);
  return a;
}

SliderActions SliderModel::MouseMove(Point p, Modifiers m, std::uint32_t time) {
  SliderActions a;
  if (ignoreMove_) {
    ignoreMove_ = false;
    if (p == ignoreAt_) return a;
  }
  if (zone_ == kThumbZone) {
    DragTo(a, p, m, time);
  } else if (zone_ != kNoZone) {
    ZoneStep(a, p, m.ctrl);
  }
  return a;
}

SliderActions SliderModel::Timer(Point p, Modifiers m, std::uint32_t) {
  SliderActions a;
  if (zone_ == kNoZone) {
    a.timer = SliderActions::Timer::kStop;  // a tick left over from a finished press
  } else if (zone_ != kThumbZone) {
    ZoneStep(a, p, m.ctrl);
  }
  return a;
}

void SliderModel::ZoneStep(SliderActions& a, Point p, bool ctrl) {
  const bool hot = ZoneAt(p) == zone_;
  if (hot != pressedHot_) a.repaint = true;
  pressedHot_ = hot;
  if (!hot) return;
  if (IsFader() && (style_ & kFaderNotifyRecords)) {
    MoveActive(zone_, ctrl);
    a.repaint = true;
  }
  Notify(a, zone_);
}

void SliderModel::DragTo(SliderActions& a, Point p, Modifiers m, std::uint32_t time) {
  const bool keys = m.ctrl || m.rightButton;
  const bool automatic = ThumbRect(grabbed_).Contains(p) &&
                         !scale_.OnePixelPerValue(layout_.travel) &&
                         !(!IsFader() && (style_ & kTrackbarNoAutoFine));
  const int dx = p.x - last_.x, dy = p.y - last_.y;
  if (automatic) {
    const int box = autoFine_ ? kStayPixels : kRestPixels;
    const std::uint32_t wait = autoFine_ ? kStayMs : kRestMs;
    autoFine_ = std::abs(dx) <= box && std::abs(dy) <= box && time - lastTime_ > wait;
  } else {
    autoFine_ = false;
  }
  fine_ = keys || autoFine_;
  last_ = p;
  lastTime_ = time;

  const std::int32_t current = pos_[grabbed_];
  std::int64_t next = current;
  const int grabAlong = layout_.Along(grab_);
  if (fine_) {
    const int d = layout_.vertical ? -dy : dx;  // toward larger values
    if (d != 0) next = scale_.Clamp(current + FineStep(d));
  } else {
    // The thumb centre goes where the pointer plus the grab offset is; a pointer still over
    // the thumb's own pixel leaves the value alone (no jump from the pixel's rounding).
    const int target = layout_.Along(p) + grabAlong;
    if (target != ThumbPixel(grabbed_))
      next = scale_.ValueAtOffset(layout_.OffsetAt(target), layout_.travel);
  }
  if (next != lastReported_) {
    if (IsFader()) {
      // Every active thumb keeps its distance from the dragged one as it was at the press.
      for (int i = 0; i < thumbs_; ++i) {
        if (active_ & (1u << i))
          pos_[i] = scale_.Clamp(pressPos_[i] + (next - pressPos_[grabbed_]));
      }
    }
    pos_[grabbed_] = static_cast<std::int32_t>(next);
    lastReported_ = pos_[grabbed_];
    a.repaint = true;
    NotifyPosition(a, 5);
  }
  if (fine_) {
    // Put the pointer back onto the thumb, so that it never runs away from it.
    const int across = static_cast<int>(ClampBetween(layout_.Across(p),
                                                     layout_.thumbAcrossStart[grabbed_],
                                                     layout_.thumbAcrossEnd[grabbed_] - 1));
    const Point back = layout_.Make(ThumbPixel(grabbed_) - grabAlong, across);
    if (back != p) {
      a.moveCursor = true;
      a.cursor = back;
      ignoreMove_ = true;
      ignoreAt_ = back;
      last_ = back;
    }
  }
}

SliderActions SliderModel::ButtonUp() { return Release(false); }

SliderActions SliderModel::Release(bool restore) {
  SliderActions a;
  if (!Dragging()) return a;
  if (restore) {
    for (int i = 0; i < thumbs_; ++i) pos_[i] = pressPos_[i];
  }
  a.capture = SliderActions::Capture::kRelease;
  fine_ = autoFine_ = ignoreMove_ = false;
  // After a thumb drag the final position; after Escape also when a zone was pressed, so that
  // the parent takes the restored position back.
  if (zone_ == kThumbZone || restore) NotifyPosition(a, 4);
  if (zone_ != kThumbZone) a.timer = SliderActions::Timer::kStop;
  Notify(a, 8);
  a.caret = SliderActions::Caret::kShow;
  zone_ = kNoZone;
  pressedHot_ = false;
  a.repaint = true;
  Command(a, 4);
  return a;
}

SliderActions SliderModel::KeyDown(int key, Modifiers m) {
  if (Dragging()) return key == vk::kEscape ? Release(true) : SliderActions{};
  if (disabled_) return SliderActions{};
  return KeyCode(key, m);
}

SliderActions SliderModel::DigitKey(int digit) {
  SliderActions a;
  const std::int64_t v =
      scale_.Minimum() + MulDivTrunc(std::int64_t{scale_.Maximum()} - scale_.Minimum(), digit, 10);
  SetThumbs(IsFader() ? active_ : 1u, v);
  a.repaint = true;
  NotifyPosition(a, 4);
  return a;
}

SliderActions SliderModel::KeyCode(int key, Modifiers m) {
  SliderActions a;
  const int code = NavigationCode(IsFader(), (style_ & kTrackbarVertical) != 0, key);
  if (code < 0) {
    if (IsDigitKey(key)) return DigitKey(key - vk::kDigit0);
    if (IsIgnoredKey(key)) return a;
    // A two-thumb fader picks its active thumbs by letter: B, C, G, S both, L left, R right.
    unsigned mask = 0;
    if (key == 'B' || key == 'C' || key == 'G' || key == 'S') mask = 3u;
    if (key == 'L') mask = 1u;
    if (key == 'R') mask = 2u;
    if (IsFader() && thumbs_ == 2 && (style_ & kFaderNotifyRecords) && mask) {
      active_ = mask;
      a.repaint = true;
    } else {
      a.notes.push_back({NoteKind::kUnusedKey, key, 0});
    }
    return a;
  }
  if (IsFader() && (style_ & kFaderNotifyRecords)) {
    MoveActive(code, m.ctrl);
    a.repaint = true;
  }
  Notify(a, code);
  return a;
}

SliderActions SliderModel::KeyUp(int key) {
  SliderActions a;
  if (!Dragging() && !disabled_ && NavigationCode(false, false, key) >= 0) Notify(a, 8);
  return a;
}

SliderActions SliderModel::Wheel(int delta, Modifiers m) {
  SliderActions a;
  if (disabled_) return a;
  // The wheel's delta is a signed 16-bit value.
  const int d = static_cast<int>(ClampBetween(delta, -32768, 32767));
  const bool fineKeys = m.shift && m.ctrl;
  if (IsFader()) {
    const std::int64_t move = std::int64_t{d} * (fineKeys ? 1 : 10) / 120;
    for (int i = 0; i < thumbs_; ++i)
      if (active_ & (1u << i)) pos_[i] = scale_.Clamp(pos_[i] + move);
    a.repaint = true;
    Notify(a, 9);
    NotifyPosition(a, 5);
    Notify(a, 8);
    return a;
  }
  const int notches = std::abs(d) / 120;
  const int code = fineKeys ? (d < 0 ? 0 : 1) : (d < 0 ? 2 : 3);
  Notify(a, 9);
  for (int i = 0; i < notches; ++i) Notify(a, code);
  Notify(a, 8);
  return a;
}

bool SliderModel::RightButtonDown(bool leftButtonDown) {
  if (!Dragging() && !leftButtonDown) return false;
  rightSwallow_ = true;
  return true;
}

bool SliderModel::RightButtonUp() {
  const bool swallow = rightSwallow_;
  rightSwallow_ = false;
  return swallow;
}

}  // namespace mw
