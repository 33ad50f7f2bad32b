// The behaviour of the trackbar and the fader as one state machine. The window procedures
// translate messages into these calls, carry out the returned actions in order (notify,
// capture, timer, caret, cursor) and paint from the queries; nothing here touches a window.
//
// Scroll codes: 0 line up, 1 line down, 2 page up, 3 page down, 4 thumb position (final),
// 5 thumb track, 6 top, 7 bottom, 8 end of scroll, 9 begin of a mouse or wheel action.
// Zones: 0 and 1 line zones, 2 and 3 page zones, 5 the thumb, -1 none.
#pragma once

#include <cstdint>
#include <vector>

#include "core/ui/slider_layout.h"
#include "core/ui/slider_scale.h"

namespace mw {

enum class SliderKind { kTrackbar, kFader };

// Virtual-key codes the controls react to.
namespace vk {
constexpr int kClear = 0x0C, kEscape = 0x1B, kPrior = 0x21, kNext = 0x22, kEnd = 0x23,
              kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28,
              kDigit0 = 0x30, kNumpad0 = 0x60, kNumpad9 = 0x69;
}  // namespace vk

constexpr int kNoZone = -1;
constexpr int kThumbZone = 5;
constexpr unsigned kRepeatIntervalMs = 250;  // the repeat timer of the line and page zones
constexpr int kWheelHandled = 105;           // what WM_MOUSEWHEEL returns when handled

// Keys and buttons held, from the message's MK_ flags (mouse and wheel) or GetKeyState.
struct Modifiers {
  bool ctrl = false;
  bool shift = false;
  bool rightButton = false;
};

enum class NoteKind {
  kScroll,     // WM_HSCROLL/WM_VSCROLL, or for a fader with style 0x0002 WM_NOTIFY -104
  kCommand,    // WM_COMMAND with `code` 1 (focus), 3 (press), 4 (release)
  kKillFocus,  // WM_NOTIFY NM_KILLFOCUS
  kUnusedKey,  // WM_NOTIFY -102 with the key's code, repeat count and flags
};

struct SliderNote {
  NoteKind kind;
  int code;                // scroll code, command code, or the virtual key
  std::int32_t position;   // codes 4 and 5: the position (a fader's first thumb); else 0
  bool operator==(const SliderNote& o) const {
    return kind == o.kind && code == o.code && position == o.position;
  }
};

// What the window procedure does after a call, in this order: take the focus; set or release
// the capture; hide or destroy the caret; stop the timer; send the notifications (a fader
// with style 0x0002 sends its scroll codes as WM_NOTIFY records built from ThumbCount(),
// ActiveMask() and the thumb positions); move the cursor; start the timer; create (the
// size of CaretRect()) or show the caret; repaint (and place the caret at CaretRect()).
struct SliderActions {
  enum class Capture { kNone, kSet, kRelease };
  enum class Timer { kNone, kStart, kStop };  // the repeat timer, kRepeatIntervalMs
  enum class Caret { kNone, kCreate, kDestroy, kHide, kShow };

  std::vector<SliderNote> notes;
  bool repaint = false;
  bool takeFocus = false;
  Capture capture = Capture::kNone;
  Timer timer = Timer::kNone;
  Caret caret = Caret::kNone;
  // Fine mode: put the pointer here (client coordinates) with SetCursorPos; the model
  // ignores the mouse move this causes.
  bool moveCursor = false;
  Point cursor;
};

// A fader's WM_SETCURSOR answer.
enum class FaderCursor { kDefault, kArrow, kLeftThumb /* 27 */, kRightThumb /* 28 */ };

// The contents of FDM_SETUP, in the order they are applied.
struct FaderSetup {
  std::int32_t minimum = 0, maximum = 100, defaultPosition = 50;
  std::int32_t lineSize = 1, pageSize = 0;  // page 0: (max - min + 5) / 10, at least 1
  std::uint32_t styleValue = 0, styleMask = 0;
  std::int32_t positions[2] = {50, 50};
};

class SliderModel {
 public:
  // A new control after WM_CREATE: range 0 to 100, position and default 50. `style` is the
  // low 16 bits of the window style; a fader with style 0x0040 has two thumbs and sets
  // 0x0002 by itself.
  SliderModel(SliderKind kind, std::uint32_t style, bool disabled, std::int32_t notifyData);

  SliderKind Kind() const { return kind_; }
  std::uint32_t Style() const { return style_; }

  // --- Size, state ---
  void Resize(int width, int height);                  // WM_SIZE: new layout
  SliderActions SetFocus();                            // WM_SETFOCUS
  SliderActions KillFocus();                           // WM_KILLFOCUS
  SliderActions Enable(bool enabled);                  // WM_ENABLE

  // --- Slider messages ---
  std::int32_t Position() const { return pos_[0]; }   // SLM_GETPOS
  std::int32_t Minimum() const { return scale_.Minimum(); }
  std::int32_t Maximum() const { return scale_.Maximum(); }
  std::int32_t DefaultPosition() const { return default_; }
  // SLM_SETRANGE/SETRANGEMIN/SETRANGEMAX; true when the control must repaint.
  bool SetRange(std::int32_t minimum, std::int32_t maximum, bool redraw);
  bool SetRangeMin(std::int32_t minimum, bool redraw);
  bool SetRangeMax(std::int32_t maximum, bool redraw);
  // SLM_SETPOS: the trackbar clamps, the fader stores as given; returns the stored position
  // and sets *repaint when the thumb's pixel changed and redraw was asked for.
  std::int32_t SetPos(std::int32_t position, bool redraw, bool* repaint);
  std::int32_t SetDefaultPos(std::int32_t position);    // SLM_SETDEFAULTPOS, clamped
  std::uint32_t ChannelSpan() const;                    // SLM_GETCHANNELSPAN
  bool FillFromDefault() const { return fillFromDefault_; }
  void SetFillFromDefault(bool on) { fillFromDefault_ = on; }  // SLM_SETFILLFROMDEFAULT
  bool ShadedFill() const { return shadedFill_; }
  void SetShadedFill(bool on) { shadedFill_ = on; }            // SLM_SETSHADEDFILL
  std::uint32_t Color() const { return color_; }
  void SetColor(std::uint32_t color) { color_ = color; }       // SLM_SETCOLOR
  std::int32_t NotifyData() const { return notifyData_; }
  void SetNotifyData(std::int32_t v) { notifyData_ = v; }      // SLM_SETNOTIFYDATA

  // --- Fader thumbs ---
  int ThumbCount() const { return thumbs_; }
  std::int32_t ThumbPosition(int thumb) const;  // thumb from 0
  unsigned ActiveMask() const { return active_; }
  int FirstActive() const { return (active_ & 1u) ? 0 : 1; }
  bool Linked() const { return linked_; }
  void SetLinked(bool on) { linked_ = on; }                    // FDM_SETFLAG
  void SetActiveMask(unsigned mask);                           // FDM_SETACTIVECHANNELS
  // FDM_SETCHANNELPOS with a thumb number from 1: stores it unclamped and returns it; an
  // unknown thumb number stores nothing and returns 0.
  std::int32_t SetChannelPos(int thumbNumber, std::int32_t position, bool redraw, bool* repaint);
  // FDM_SETCHANNELPOS with thumb number 0: one position per thumb; true to repaint.
  bool SetChannelPositions(const std::int32_t* positions, bool redraw);
  std::int32_t ChannelPos(int thumbNumber) const;              // FDM_GETCHANNELPOS, 0 if unknown
  void ChannelPositions(std::int32_t* out) const;              // ThumbCount() values
  void Setup(const FaderSetup& setup);                         // FDM_SETUP (then repaint)
  std::int32_t LineSize() const { return line_; }
  std::int32_t PageSize() const { return page_; }

  // --- Input (client coordinates; times in milliseconds from the message clock) ---
  SliderActions ButtonDown(Point p, Modifiers m, std::uint32_t time);   // WM_LBUTTONDOWN
  SliderActions DoubleClick(Point p, Modifiers m, std::uint32_t time);  // WM_LBUTTONDBLCLK
  SliderActions MouseMove(Point p, Modifiers m, std::uint32_t time);    // WM_MOUSEMOVE
  SliderActions ButtonUp();                                             // WM_LBUTTONUP
  SliderActions CancelMode() { return ButtonUp(); }                     // WM_CANCELMODE
  // WM_TIMER of the repeat timer, with the pointer's current client position.
  SliderActions Timer(Point p, Modifiers m, std::uint32_t time);
  SliderActions KeyDown(int key, Modifiers m);                          // WM_KEYDOWN
  SliderActions KeyUp(int key);                                         // WM_KEYUP
  SliderActions Wheel(int delta, Modifiers m);  // WM_MOUSEWHEEL after routing; return 105
  // WM_RBUTTONDOWN/WM_RBUTTONDBLCLK and WM_RBUTTONUP: true when the message is swallowed
  // (return 0): a right press while the left button drags, and the release that follows.
  bool RightButtonDown(bool leftButtonDown);
  bool RightButtonUp();

  // --- Queries for painting and hit testing ---
  const SliderLayout& Layout() const { return layout_; }
  const SliderScale& Scale() const { return scale_; }
  bool Disabled() const { return disabled_; }
  bool Focused() const { return focused_; }
  bool Dragging() const { return zone_ != kNoZone; }
  bool FineMode() const { return fine_; }
  int PressedZone() const { return zone_; }
  bool PressedZoneHot() const { return pressedHot_; }  // the pointer is over the pressed zone
  int ZoneAt(Point p, int* thumb = nullptr) const;
  int ThumbPixel(int thumb) const;  // the thumb centre's pixel along the travel
  Rect ThumbRect(int thumb) const;
  Rect CaretRect() const;           // the (first active) thumb less 2 pixels on each side
  // The groove's filled part, as pixels along the travel: from the minimum end (or the
  // default position) to the thumb; *from <= *to.
  void FillSpan(int* from, int* to) const;
  // Tick pixels along the travel: both ends and the centre (value 0 when the range spans
  // zero). False when the control draws none: a trackbar without a tick style, a fader
  // without the scale variant 0x1000 or with two thumbs, a layout too small.
  bool TickPixels(int out[3]) const;
  FaderCursor CursorAt(Point p) const;

 private:
  bool IsFader() const { return kind_ == SliderKind::kFader; }
  void Relayout();
  bool ApplyRange(std::int32_t minimum, std::int32_t maximum, bool redraw);
  void Notify(SliderActions& a, int code) const;
  void NotifyPosition(SliderActions& a, int code) const;
  void Command(SliderActions& a, int code) const;
  void SetThumbs(unsigned mask, std::int64_t value);  // clamped
  void MoveActive(int code, bool ctrl);               // a fader moving itself
  void ZoneStep(SliderActions& a, Point p, bool ctrl);
  void DragTo(SliderActions& a, Point p, Modifiers m, std::uint32_t time);
  void PressThumb(int thumb, Point p);
  SliderActions Release(bool restore);
  SliderActions KeyCode(int key, Modifiers m);  // a key down while not dragging
  SliderActions DigitKey(int digit);

  SliderKind kind_;
  std::uint32_t style_;
  bool disabled_, focused_ = false;
  bool fillFromDefault_ = false, shadedFill_ = true;
  SliderScale scale_;
  std::int32_t default_ = 50;
  int thumbs_ = 1;
  std::int32_t pos_[2] = {50, 50};
  std::int32_t pressPos_[2] = {50, 50};
  unsigned active_ = 1;
  bool linked_ = false;
  std::int32_t line_ = 1, page_ = 10;
  std::uint32_t color_ = 0xFFFFFFFFu;  // the shell stores the button-face colour at creation
  std::int32_t notifyData_;
  SliderLayout layout_;
  // Drag state.
  int zone_ = kNoZone;
  bool pressedHot_ = false;
  int grabbed_ = 0;          // the thumb being dragged
  Point grab_;               // thumb centre minus pointer at the press
  Point last_;               // last pointer position (after any put-back)
  std::uint32_t lastTime_ = 0;
  std::int32_t lastReported_ = 0;
  bool fine_ = false, autoFine_ = false;
  bool ignoreMove_ = false;  // the move a put-back causes
  Point ignoreAt_;
  bool rightSwallow_ = false;
};

}  // namespace mw
