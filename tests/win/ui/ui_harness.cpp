#include "ui_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "png_file.h"
#include "win/screen_picture.h"

namespace uitest {
namespace {

constexpr char kHostClass[] = "MwUiTestHost";
constexpr int kHostLeft = 40;
constexpr int kHostTop = 40;

void SendMouse(DWORD flags, DWORD data = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  input.mi.mouseData = data;
  SendInput(1, &input, sizeof input);
}

}  // namespace

// --- module -------------------------------------------------------------------------------

std::string ExeFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string LoadedModule::Path() { return ExeFolder() + "mwppack1.dll"; }

LoadedModule::LoadedModule() { module_ = LoadLibraryA(Path().c_str()); }

LoadedModule::~LoadedModule() {
  if (module_ != nullptr) FreeLibrary(module_);
}

LoadedModule* ModuleSuite::module_ = nullptr;

void ModuleSuite::Park() { MoveTo({5, 1000}); }

// --- host window --------------------------------------------------------------------------

LRESULT CALLBACK Host::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* host = reinterpret_cast<Host*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CONTEXTMENU:
    case 0x614:
      if (host != nullptr) {
        if (host->onNote) host->onNote(message, wParam, lParam);
        Note note{message, wParam, lParam, nullptr, 0, 0};
        if (message == WM_NOTIFY && lParam != 0) {
          const auto* header = reinterpret_cast<const NMHDR*>(lParam);
          note.from = header->hwndFrom;
          note.id = header->idFrom;
          note.code = header->code;
        }
        host->notes.push_back(note);
      }
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

Host::Host(int clientWidth, int clientHeight, const char* title) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kHostClass;
  RegisterClassExA(&wc);  // fails harmlessly when registered by an earlier host
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  window_ = CreateWindowExA(0, kHostClass, title, style, kHostLeft, kHostTop,
                            frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            wc.hInstance, nullptr);
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Host::~Host() {
  if (window_ != nullptr) DestroyWindow(window_);
  Pump(0);
}

HWND Host::Add(const char* className, const char* text, DWORD style, int x, int y, int width,
               int height, int id, HINSTANCE instance) {
  HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                               height, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                               nullptr);
  // Where it is on the screen, for driving it from outside (xdotool) or reading a log.
  const POINT origin = OnScreen(child, 0, 0);
  std::printf("[ui] %s %d at %ld,%ld size %dx%d\n", className, id, origin.x, origin.y, width,
              height);
  return child;
}

POINT Host::OnScreen(HWND child, int x, int y) {
  POINT p{x, y};
  ClientToScreen(child, &p);
  return p;
}

void Host::Settle() {
  ShowWindow(window_, SW_SHOWNORMAL);
  SetForegroundWindow(window_);
  RedrawWindow(window_, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(30);
}

std::vector<Note> Host::NotesOf(UINT message) const {
  std::vector<Note> found;
  for (const Note& n : notes) {
    if (n.message == message) found.push_back(n);
  }
  return found;
}

// --- messages and input -------------------------------------------------------------------

bool PumpUntil(const std::function<bool()>& done, int milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (done && done()) return true;
    if (static_cast<int>(GetTickCount() - start) >= milliseconds) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

void Pump(int milliseconds) { PumpUntil(nullptr, milliseconds); }

namespace {

// With MW_UI_INPUT=xdotool the input goes in as X events from the xdotool program, as a
// user's mouse makes them; otherwise through the system's input queue.
bool UseXEvents() {
  static const bool on = [] {
    const char* mode = std::getenv("MW_UI_INPUT");
    return mode != nullptr && std::strcmp(mode, "xdotool") == 0;
  }();
  return on;
}

}  // namespace

void Xdotool(const std::string& arguments) {
  std::string command = "/usr/bin/xdotool " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "could not run " << command;
    return;
  }
  // Wine runs a program of the host system on its own, without a handle to wait on: the
  // callers wait for what the events do instead. The handle fields come back holding
  // whatever was on Wine's stack, so they are left alone: closing them closed handles of
  // this process (its standard output among them).
}

namespace {

// Waits until the system has seen a button or key go down or up.
void AwaitKey(int key, bool down) {
  EXPECT_TRUE(PumpUntil([key, down] { return ((GetAsyncKeyState(key) & 0x8000) != 0) == down; },
                        5000))
      << "key " << key << " did not go " << (down ? "down" : "up");
}

// The X name of a key of the US keyboard.
std::string KeyName(WORD key) {
  if ((key >= '0' && key <= '9')) return std::string(1, static_cast<char>(key));
  if (key >= 'A' && key <= 'Z') return std::string(1, static_cast<char>(key - 'A' + 'a'));
  switch (key) {
    case VK_CONTROL: return "Control_L";
    case VK_SHIFT: return "Shift_L";
    case VK_ESCAPE: return "Escape";
    case VK_HOME: return "Home";
    case VK_END: return "End";
    case VK_PRIOR: return "Prior";
    case VK_NEXT: return "Next";
    case VK_LEFT: return "Left";
    case VK_RIGHT: return "Right";
    case VK_UP: return "Up";
    case VK_DOWN: return "Down";
    default: ADD_FAILURE() << "no X name for key " << key; return "space";
  }
}

void SendKey(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
  const bool extended = key == VK_HOME || key == VK_END || key == VK_PRIOR || key == VK_NEXT ||
                        (key >= VK_LEFT && key <= VK_DOWN);
  input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
  SendInput(1, &input, sizeof input);
}

// The pointer moves the system has seen, from a low-level mouse hook: a window may move the
// pointer on at once (a slider in fine mode puts it back onto its thumb), so the pointer's
// position alone cannot tell that an X event arrived. Over no window of this process the hook
// sees nothing, and the position tells instead.
POINT g_pointerWanted{-1, -1};
bool g_pointerArrived = false;

LRESULT CALLBACK PointerHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == WM_MOUSEMOVE) {
    const POINT p = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam)->pt;
    if (p.x == g_pointerWanted.x && p.y == g_pointerWanted.y) g_pointerArrived = true;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void PointerTo(int x, int y) {
  if (UseXEvents()) {
    static const HHOOK hook = SetWindowsHookExA(WH_MOUSE_LL, PointerHook,
                                                GetModuleHandleA(nullptr), 0);
    static_cast<void>(hook);
    g_pointerWanted = {x, y};
    g_pointerArrived = false;
    Xdotool("mousemove --sync " + std::to_string(x) + " " + std::to_string(y));
    EXPECT_TRUE(PumpUntil([x, y] {
      POINT p{};
      GetCursorPos(&p);
      return g_pointerArrived || (p.x == x && p.y == y);
    }, 5000)) << "the pointer did not arrive at " << x << "," << y;
  } else {
    SetCursorPos(x, y);
  }
}

}  // namespace

void MoveTo(POINT screen) {
  PointerTo(screen.x, screen.y);
  Pump(10);
}

void MoveInSteps(POINT from, POINT to, int steps) {
  for (int i = 1; i <= steps; ++i) {
    PointerTo(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps);
    Pump(5);
  }
  Pump(10);
}

namespace {

// One button or key event: as an X event (then waiting until the system has seen it), or
// through the system's input queue.
void InputEvent(bool asXEvent, const std::string& xdotool, int key, bool down,
                const std::function<void()>& queued) {
  if (asXEvent) {
    Xdotool(xdotool);
    AwaitKey(key, down);
  } else {
    queued();
  }
  Pump(10);
}

}  // namespace

void Press() {
  InputEvent(UseXEvents(), "mousedown 1", VK_LBUTTON, true,
             [] { SendMouse(MOUSEEVENTF_LEFTDOWN); });
}

void Release() {
  InputEvent(UseXEvents(), "mouseup 1", VK_LBUTTON, false, [] { SendMouse(MOUSEEVENTF_LEFTUP); });
}

void ClickAt(POINT screen) {
  MoveTo(screen);
  Press();
  Release();
}

void Wheel(int delta) {
  if (UseXEvents()) {
    for (int notch = 0; notch < std::abs(delta) / WHEEL_DELTA; ++notch) {
      Xdotool(delta > 0 ? "click 4" : "click 5");
      Pump(50);  // nothing to wait on: the wheel changes no state the system keeps
    }
  } else {
    SendMouse(MOUSEEVENTF_WHEEL, static_cast<DWORD>(delta));
  }
  Pump(10);
}

void PressRight() {
  InputEvent(UseXEvents(), "mousedown 3", VK_RBUTTON, true,
             [] { SendMouse(MOUSEEVENTF_RIGHTDOWN); });
}

void ReleaseRight() {
  InputEvent(UseXEvents(), "mouseup 3", VK_RBUTTON, false,
             [] { SendMouse(MOUSEEVENTF_RIGHTUP); });
}

// Wine takes the modifier keys' state from each X pointer event, so a Ctrl or Shift pressed
// through the system's input queue is let go at the next pointer move (SetCursorPos included).
// Held modifiers are therefore X events in both modes, as a user's keyboard makes them.
namespace {
bool AsXEvent(WORD key) { return UseXEvents() || key == VK_CONTROL || key == VK_SHIFT; }


void KeyEvent(WORD key, bool down) {
  const bool asXEvent = AsXEvent(key);
  // Only keys sent as X events need an X name.
  const std::string xdotool = asXEvent ? (down ? "keydown " : "keyup ") + KeyName(key) : "";
  InputEvent(asXEvent, xdotool, key, down, [key, down] { SendKey(key, !down); });
}
}  // namespace

void KeyDown(WORD key) { KeyEvent(key, true); }

void KeyUp(WORD key) { KeyEvent(key, false); }

void Tap(WORD key) {
  KeyDown(key);
  KeyUp(key);
}

// --- pictures -----------------------------------------------------------------------------

Picture Picture::Crop(const RECT& area) const {
  Picture p;
  const int left = std::max<int>(area.left, 0);
  const int top = std::max<int>(area.top, 0);
  const int right = std::min<int>(area.right, width);
  const int bottom = std::min<int>(area.bottom, height);
  if (right <= left || bottom <= top) return p;
  p.width = right - left;
  p.height = bottom - top;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) p.pixels.push_back(At(x, y));
  }
  return p;
}

int Picture::Count(const std::function<bool(std::uint32_t)>& match) const {
  int n = 0;
  for (std::uint32_t p : pixels) n += match(p) ? 1 : 0;
  return n;
}

Picture Capture(HWND window, bool wholeWindow) {
  RECT r;
  if (wholeWindow) {
    GetWindowRect(window, &r);
  } else {
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  }
  return CaptureScreen(r);
}

Picture CaptureScreen(const RECT& r) {
  Picture picture;
  if (!mwfx::ReadScreen(r, &picture.pixels)) return {};
  picture.width = r.right - r.left;
  picture.height = r.bottom - r.top;
  return picture;
}

int CountDifferent(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height) return -1;
  int n = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) n += a.pixels[i] != b.pixels[i] ? 1 : 0;
  return n;
}

std::uint32_t FromColorRef(COLORREF c) { return Rgb(GetRValue(c), GetGValue(c), GetBValue(c)); }

std::string SavePng(const Picture& picture, const std::string& name) {
  const std::string folder = ExeFolder() + "..\\ui-shots";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string path = folder + "\\" + name + ".png";
  return mwfx::WritePng(path, picture.width, picture.height, picture.pixels.data()) ? path
                                                                                    : std::string();
}

}  // namespace uitest

namespace uitest {
namespace {

// Before the first test: a window at the hosts' place, shown, under the pointer and readable
// from the screen. A display or Wine session that has only just started can take a moment.
class DisplayReady : public ::testing::Environment {
 public:
  void SetUp() override {
    const DWORD start = GetTickCount();
    Host probe(120, 60, "Display check");
    probe.Settle();
    const POINT centre = Host::OnScreen(probe.window(), 60, 30);
    const bool ready = PumpUntil([&] {
      SetCursorPos(centre.x, centre.y);
      POINT p{};
      GetCursorPos(&p);
      return p.x == centre.x && p.y == centre.y && WindowFromPoint(centre) == probe.window() &&
             Capture(probe.window()).width == 120;
    }, 15000);
    // Wine's X11 driver should be unmanaged: managed, every closed window costs seconds.
    char managed[8] = "";
    DWORD size = sizeof managed;
    RegGetValueA(HKEY_CURRENT_USER, "Software\\Wine\\X11 Driver", "Managed", RRF_RT_REG_SZ,
                 nullptr, managed, &size);
    std::printf("[ui] display %s after %lu ms; Wine's X11 driver %s\n",
                ready ? "ready" : "NOT ready",
                static_cast<unsigned long>(GetTickCount() - start),
                managed[0] == 'N' ? "unmanaged" : "managed (slow to close windows)");
    if (!ready) {
      POINT p{};
      GetCursorPos(&p);
      std::printf("[ui] pointer at %ld,%ld (wanted %ld,%ld); window there %p (probe %p, visible %d); "
                  "picture %d wide\n", p.x, p.y, centre.x, centre.y,
                  static_cast<void*>(WindowFromPoint(centre)), static_cast<void*>(probe.window()),
                  IsWindowVisible(probe.window()), Capture(probe.window()).width);
    }
  }
};

const auto* const kDisplayReady = ::testing::AddGlobalTestEnvironment(new DisplayReady);

}  // namespace
}  // namespace uitest
