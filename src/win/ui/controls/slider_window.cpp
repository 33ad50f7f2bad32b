// The trackbar's and fader's window procedure: messages become slider-model calls, the calls'
// actions are carried out (focus, capture, caret, timer, notifications, cursor, repaint), and
// painting reads the model. The behaviour itself is the model's.
#include "win/ui/controls/slider_window.h"

#include <new>

#include "win/ui/controls/control_classes.h"
#include "win/ui/controls/control_messages.h"
#include "win/ui/controls/offscreen.h"
#include "win/ui/util/mouse_wheel.h"

namespace mw::ui {
namespace {

SliderWindowState* State(HWND window) { return WindowState<SliderWindowState>(window); }

bool IsFader(const SliderWindowState& s) { return s.model.Kind() == SliderKind::kFader; }

HWND NotifyTarget(const SliderWindowState& s) {
  return s.notifyWindow != nullptr ? s.notifyWindow : GetParent(s.window);
}

bool TrueColourDisplay() {
  HDC screen = GetDC(nullptr);
  const int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
  ReleaseDC(nullptr, screen);
  return bits > 8;
}

Point ClientPoint(LPARAM lParam) {
  return Point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

// Keys and buttons from a mouse message's flags.
Modifiers FromMouseFlags(WPARAM wParam) {
  Modifiers m;
  m.ctrl = (wParam & MK_CONTROL) != 0;
  m.shift = (wParam & MK_SHIFT) != 0;
  m.rightButton = (wParam & MK_RBUTTON) != 0;
  return m;
}

// Keys and buttons as the input state has them now.
Modifiers FromKeyState() {
  Modifiers m;
  m.ctrl = GetKeyState(VK_CONTROL) < 0;
  m.shift = GetKeyState(VK_SHIFT) < 0;
  m.rightButton = GetKeyState(VK_RBUTTON) < 0;
  return m;
}

void SendScroll(SliderWindowState& s, const SliderNote& note, HWND to) {
  if (IsFader(s) && (s.model.Style() & kFaderNotifyRecords)) {
    s.model.ChannelPositions(s.positions);
    FaderScrollNotify record{};
    record.header.hwndFrom = s.window;
    record.header.idFrom = s.id;
    record.header.code = kFaderScroll;
    record.notifyData = s.model.NotifyData();
    record.thumbCount = s.model.ThumbCount();
    record.activeMask = static_cast<INT32>(s.model.ActiveMask());
    record.scrollCode = note.code;
    record.positions = s.positions;
    SendMessageA(to, WM_NOTIFY, s.id, reinterpret_cast<LPARAM>(&record));
    return;
  }
  // Bit 0x0001 is the vertical style of both controls.
  const UINT message = (s.model.Style() & kTrackbarVertical) ? WM_VSCROLL : WM_HSCROLL;
  const WORD position = static_cast<WORD>(note.position);  // 0 for codes other than 4 and 5
  SendMessageA(to, message, MAKEWPARAM(note.code, position), reinterpret_cast<LPARAM>(s.window));
}

void SendNote(SliderWindowState& s, const SliderNote& note) {
  HWND to = NotifyTarget(s);
  if (to == nullptr) return;
  switch (note.kind) {
    case NoteKind::kScroll:
      SendScroll(s, note, to);
      break;
    case NoteKind::kCommand:
      SendMessageA(to, WM_COMMAND, MAKEWPARAM(s.id, note.code),
                   reinterpret_cast<LPARAM>(s.window));
      break;
    case NoteKind::kKillFocus: {
      NMHDR header{s.window, s.id, kSliderKillFocus};
      SendMessageA(to, WM_NOTIFY, s.id, reinterpret_cast<LPARAM>(&header));
      break;
    }
    case NoteKind::kUnusedKey: {
      SliderKeyNotify record{};
      record.header = NMHDR{s.window, s.id, kSliderUnusedKey};
      record.key = note.code;
      record.repeat = LOWORD(s.keyData);
      record.flags = HIWORD(s.keyData);
      SendMessageA(to, WM_NOTIFY, s.id, reinterpret_cast<LPARAM>(&record));
      break;
    }
  }
}

// The grey system caret, the size of the thumb less 2 pixels on each side.
void CreateThumbCaret(SliderWindowState& s) {
  const Rect r = s.model.CaretRect();
  if (!s.model.Layout().valid || r.Empty()) return;
  if (!CreateCaret(s.window, reinterpret_cast<HBITMAP>(1), r.right - r.left, r.bottom - r.top)) {
    return;
  }
  s.caretMade = true;
  s.caretHidden = true;  // a new caret starts hidden
  SetCaretPos(r.left, r.top);
}

void DestroyThumbCaret(SliderWindowState& s) {
  if (s.caretMade) DestroyCaret();
  s.caretMade = false;
  s.caretHidden = false;
}

void ShowThumbCaret(SliderWindowState& s, bool show) {
  if (!s.caretMade || s.caretHidden == !show) return;
  if (show ? ShowCaret(s.window) : HideCaret(s.window)) s.caretHidden = !show;
}

void Paint(SliderWindowState& s, HDC target) {
  RECT client;
  GetClientRect(s.window, &client);
  OffscreenDC off(target, client, IsFader(s) ? FaderSharedResources().memory : nullptr);
  if (IsFader(s)) {
    PaintFader(s, off.dc());
  } else {
    PaintTrackbar(s, off.dc());
  }
}

LRESULT Create(SliderKind kind, HWND window, const CREATESTRUCTA* cs) {
  const auto style = static_cast<std::uint32_t>(cs->style);
  const auto data = static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(cs->lpCreateParams));
  auto* s = new (std::nothrow) SliderWindowState(kind, style, (style & WS_DISABLED) != 0, data);
  if (s == nullptr) return -1;
  s->window = window;
  s->id = reinterpret_cast<UINT_PTR>(cs->hMenu);
  s->notifyWindow = cs->hwndParent != GetParent(window) ? cs->hwndParent : nullptr;
  s->trueColour = TrueColourDisplay();
  s->model.SetColor(GetSysColor(COLOR_BTNFACE));
  s->model.Resize(cs->cx, cs->cy);
  if (kind == SliderKind::kFader) AcquireFaderResources();
  SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(s));
  return 0;
}

void Destroy(SliderWindowState* s) {
  if (GetCapture() == s->window) ReleaseCapture();
  KillTimer(s->window, kSliderRepeatTimer);
  if (s->caretMade) DestroyThumbCaret(*s);
  if (IsFader(*s)) ReleaseFaderResources();
  SetWindowLongPtrA(s->window, 0, 0);
  s->destroyed = true;  // the outermost call in progress frees the record
}

// Range messages of both controls; true when `message` is one of them.
bool RangeMessage(SliderWindowState& s, UINT message, WPARAM wParam, LPARAM lParam,
                  LRESULT* result) {
  SliderModel& m = s.model;
  const auto value = static_cast<std::int32_t>(lParam);
  bool repaint = false;
  switch (message) {
    case SLM_GETPOS: *result = m.Position(); break;
    case SLM_GETRANGEMIN: *result = m.Minimum(); break;
    case SLM_GETRANGEMAX: *result = m.Maximum(); break;
    case SLM_SETRANGE:
      repaint = m.SetRange(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)),
                           wParam != 0);
      break;
    case SLM_SETRANGEMIN: repaint = m.SetRangeMin(value, wParam != 0); break;
    case SLM_SETRANGEMAX: repaint = m.SetRangeMax(value, wParam != 0); break;
    case SLM_SETPOS: *result = m.SetPos(value, wParam != 0, &repaint); break;
    case SLM_SETDEFAULTPOS: *result = m.SetDefaultPos(value); break;
    case SLM_SETCOLOR: m.SetColor(static_cast<std::uint32_t>(lParam)); break;
    case SLM_GETCOLOR: *result = static_cast<LRESULT>(m.Color()); break;
    case SLM_SETNOTIFYDATA: m.SetNotifyData(value); break;
    case SLM_GETNOTIFYDATA: *result = m.NotifyData(); break;
    default: return false;
  }
  if (repaint) RepaintSlider(s);
  return true;
}

// The trackbar's own messages.
bool TrackbarMessage(SliderWindowState& s, UINT message, WPARAM wParam, LPARAM lParam,
                     LRESULT* result) {
  const bool on = (lParam & 1) != 0;
  switch (message) {
    case SLM_GETCHANNELSPAN:
      *result = static_cast<LRESULT>(s.model.ChannelSpan());
      return true;
    case SLM_SETFILLFROMDEFAULT:
      s.model.SetFillFromDefault(on);
      break;
    case SLM_SETSHADEDFILL:
      s.model.SetShadedFill(on);
      break;
    default:
      return false;
  }
  *result = on ? -1 : 0;
  if (wParam != 0) RepaintSlider(s);
  return true;
}

LRESULT Handle(SliderWindowState& s, UINT message, WPARAM wParam, LPARAM lParam) {
  SliderModel& m = s.model;
  HWND window = s.window;
  const auto time = static_cast<std::uint32_t>(GetMessageTime());
  switch (message) {
    case WM_SIZE:
      m.Resize(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      RefreshCaret(s);  // the thumb may have a new size
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_SETFOCUS: CarryOut(s, m.SetFocus()); return 0;
    case WM_KILLFOCUS: CarryOut(s, m.KillFocus()); return 0;
    case WM_ENABLE: CarryOut(s, m.Enable(wParam != 0)); return 0;
    case WM_ERASEBKGND: return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      return PaintMessage(window, message, wParam, [&s](HDC dc) { Paint(s, dc); });
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE: {
      s.trueColour = TrueColourDisplay();
      RECT client;
      GetClientRect(window, &client);
      m.Resize(client.right, client.bottom);
      RepaintSlider(s);
      return 0;
    }
    case WM_CANCELMODE: CarryOut(s, m.CancelMode()); return 0;
    case WM_CAPTURECHANGED:
      // Another window took the mouse in the middle of a press: it ends as a release.
      if (m.Dragging() && reinterpret_cast<HWND>(lParam) != window) CarryOut(s, m.CancelMode());
      return 0;
    case WM_GETDLGCODE:
      return GetCapture() == window ? DLGC_WANTALLKEYS : DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
      s.keyData = lParam;
      CarryOut(s, m.KeyDown(static_cast<int>(wParam), FromKeyState()));
      return 0;
    case WM_KEYUP: CarryOut(s, m.KeyUp(static_cast<int>(wParam))); return 0;
    case WM_TIMER:
      if (wParam != kSliderRepeatTimer) break;
      CarryOut(s, m.Timer(PointerInClient(window), FromKeyState(), time));
      return 0;
    case WM_MOUSEMOVE:
      CarryOut(s, m.MouseMove(ClientPoint(lParam), FromMouseFlags(wParam), time));
      return 0;
    case WM_LBUTTONDOWN:
      CarryOut(s, m.ButtonDown(ClientPoint(lParam), FromMouseFlags(wParam), time));
      return 0;
    case WM_LBUTTONDBLCLK:
      CarryOut(s, m.DoubleClick(ClientPoint(lParam), FromMouseFlags(wParam), time));
      return 0;
    case WM_LBUTTONUP: CarryOut(s, m.ButtonUp()); return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      // A right press during a drag switches fine mode on; it and its release open no menu.
      if (m.RightButtonDown((wParam & MK_LBUTTON) != 0)) return 0;
      break;
    case WM_RBUTTONUP:
      if (m.RightButtonUp()) return 0;
      break;
    case WM_MOUSEWHEEL: {
      if (RouteMouseWheel(window, wParam, lParam)) return kWheelHandled;
      const WPARAM keys = GET_KEYSTATE_WPARAM(wParam);
      CarryOut(s, m.Wheel(GET_WHEEL_DELTA_WPARAM(wParam), FromMouseFlags(keys)));
      return kWheelHandled;
    }
    default: {
      LRESULT result = 0;
      if (RangeMessage(s, message, wParam, lParam, &result)) return result;
      if (IsFader(s) ? FaderMessage(s, message, wParam, lParam, &result)
                     : TrackbarMessage(s, message, wParam, lParam, &result)) {
        return result;
      }
      if (message >= WM_USER && message <= 0x7FFF) return 0;  // the controls' range
      break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

Point PointerInClient(HWND window) {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(window, &p);
  return Point{p.x, p.y};
}

void RepaintSlider(SliderWindowState& s) {
  InvalidateRect(s.window, nullptr, FALSE);
  UpdateWindow(s.window);
  if (s.caretMade) {
    const Rect r = s.model.CaretRect();
    SetCaretPos(r.left, r.top);
  }
}

void RefreshCaret(SliderWindowState& s) {
  if (!s.model.Focused()) return;
  DestroyThumbCaret(s);
  CreateThumbCaret(s);
  ShowThumbCaret(s, !s.model.Dragging());
}

void CarryOut(SliderWindowState& s, const SliderActions& a) {
  using Capture = SliderActions::Capture;
  using Caret = SliderActions::Caret;
  using Timer = SliderActions::Timer;
  if (a.takeFocus && GetFocus() != s.window) SetFocus(s.window);
  if (a.capture == Capture::kSet) SetCapture(s.window);
  if (a.capture == Capture::kRelease && GetCapture() == s.window) ReleaseCapture();
  if (a.caret == Caret::kHide) ShowThumbCaret(s, false);
  if (a.caret == Caret::kDestroy) DestroyThumbCaret(s);
  if (a.timer == Timer::kStop) KillTimer(s.window, kSliderRepeatTimer);
  for (const SliderNote& note : a.notes) {
    SendNote(s, note);
    if (s.destroyed) return;  // the receiver destroyed the control
  }
  if (a.moveCursor) {
    POINT p{a.cursor.x, a.cursor.y};
    ClientToScreen(s.window, &p);
    SetCursorPos(p.x, p.y);
  }
  if (a.timer == Timer::kStart) SetTimer(s.window, kSliderRepeatTimer, kRepeatIntervalMs, nullptr);
  if (a.caret == Caret::kCreate && !s.caretMade) CreateThumbCaret(s);
  if (a.caret == Caret::kCreate || a.caret == Caret::kShow) ShowThumbCaret(s, !s.model.Dragging());
  if (a.repaint) RepaintSlider(s);
}

LRESULT SliderWindowProc(SliderKind kind, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
  SliderWindowState* s = State(window);
  if (s == nullptr) {
    if (message == WM_CREATE) return Create(kind, window, reinterpret_cast<CREATESTRUCTA*>(lParam));
    return DefWindowProcA(window, message, wParam, lParam);
  }
  ++s->depth;
  LRESULT result = 0;
  if (message == WM_NCDESTROY) {
    Destroy(s);
    result = DefWindowProcA(window, message, wParam, lParam);
  } else {
    result = Handle(*s, message, wParam, lParam);
  }
  if (--s->depth == 0 && s->destroyed) delete s;
  return result;
}

LRESULT CALLBACK TrackbarWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SliderWindowProc(SliderKind::kTrackbar, window, message, wParam, lParam);
}

LRESULT CALLBACK FaderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SliderWindowProc(SliderKind::kFader, window, message, wParam, lParam);
}

}  // namespace mw::ui
