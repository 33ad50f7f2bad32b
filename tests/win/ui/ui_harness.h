// What the window tests share: the module loaded from beside the test program, a top-level
// host window that records the notifications its controls send, real input through the
// system's input queue, and pictures of windows (captured, checked, saved as PNG files
// under the build tree's ui-shots folder).
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace uitest {

// The folder of the test program, with its trailing separator.
std::string ExeFolder();

// mwppack1.dll loaded for the lifetime of the object.
class LoadedModule {
 public:
  LoadedModule();
  ~LoadedModule();
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  HMODULE handle() const { return module_; }
  static std::string Path();

 private:
  HMODULE module_ = nullptr;
};

struct Note {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  HWND from;     // WM_NOTIFY: the record's window
  UINT_PTR id;   // WM_NOTIFY: the record's identifier
  UINT code;     // WM_NOTIFY: the record's code
};

// A top-level window at a fixed place on the screen, with a client area of the given size.
// It answers WM_CTLCOLORSTATIC with the button face, like a dialog, and records WM_COMMAND,
// WM_NOTIFY, WM_HSCROLL, WM_VSCROLL, WM_CONTEXTMENU and the banner's private message, after
// handing each to `onNote` when set (records a WM_NOTIFY points to live only that long).
class Host {
 public:
  Host(int clientWidth, int clientHeight, const char* title);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  HWND window() const { return window_; }
  HWND Add(const char* className, const char* text, DWORD style, int x, int y, int width,
           int height, int id, HINSTANCE instance);
  // A point of a child's client area in screen coordinates.
  static POINT OnScreen(HWND child, int x, int y);
  // Shows the window, paints everything and lets the display catch up.
  void Settle();

  std::vector<Note> notes;
  std::vector<Note> NotesOf(UINT message) const;
  std::function<void(UINT message, WPARAM wParam, LPARAM lParam)> onNote;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_ = nullptr;
};

// A suite of window tests: the module loaded for the whole suite.
class ModuleSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { module_ = new LoadedModule; }
  static void TearDownTestSuite() {
    delete module_;
    module_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(Module(), nullptr) << "mwppack1.dll did not load"; }
  static HMODULE Module() { return module_->handle(); }
  // Moves the pointer away from everything the tests look at.
  static void Park();

 private:
  static LoadedModule* module_;
};

// Handles messages for the given time.
void Pump(int milliseconds);
// Handles messages until `done` answers true; false when `milliseconds` passed first.
bool PumpUntil(const std::function<bool()>& done, int milliseconds);

// Real input, through the system's input queue: the pointer is put in place with
// SetCursorPos (absolute, exact), buttons and the wheel go through SendInput. With the
// environment variable MW_UI_INPUT=xdotool they are X events from the xdotool program
// instead, which reach the windows the way a user's mouse does.
void MoveTo(POINT screen);
// Runs xdotool (a program of the host system) with the arguments; it is not waited for.
void Xdotool(const std::string& arguments);
void MoveInSteps(POINT from, POINT to, int steps);
void Press();
void Release();
void ClickAt(POINT screen);
void Wheel(int delta);
void PressRight();
void ReleaseRight();
// Keys by virtual-key code (the X events name the US keyboard's keys).
void KeyDown(WORD key);
void KeyUp(WORD key);
void Tap(WORD key);

// A picture of a window's pixels as 0x00RRGGBB values, captured from what the window shows.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
  // The part inside `area` (clipped to the picture).
  Picture Crop(const RECT& area) const;
  int Count(const std::function<bool(std::uint32_t)>& match) const;
};

// The client area (or the whole window with its frame) as it is on the screen.
Picture Capture(HWND window, bool wholeWindow = false);
// What the screen shows in a rectangle (screen coordinates).
Picture CaptureScreen(const RECT& area);
// Pixels that differ between two pictures of the same size (-1 when the sizes differ).
int CountDifferent(const Picture& a, const Picture& b);
constexpr std::uint32_t Rgb(int r, int g, int b) {
  return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) |
         static_cast<std::uint32_t>(b);
}
std::uint32_t FromColorRef(COLORREF c);

// Writes the picture as ui-shots/NAME.png in the build tree; returns the file's path, empty
// on failure.
std::string SavePng(const Picture& picture, const std::string& name);

}  // namespace uitest
