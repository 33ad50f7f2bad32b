// What the settings-page tests share: a filter of the module, its page open in the system's
// property frame on a thread of its own (the frame runs its own modal loop, so the tests
// drive it from the main thread with real input and look at it from outside), the dialog
// templates read from the module's resources, and keyboard input.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ui_harness.h"

namespace uitest {

// A control of a dialog template, in dialog units.
struct TemplateItem {
  int id;
  RECT rect;  // left, top, right, bottom in dialog units
  std::string className;
};

// The controls of the module's dialog template `dialogId`, and its size in dialog units.
std::vector<TemplateItem> ReadDialogTemplate(HMODULE module, int dialogId, SIZE* size);

// An object of the module made by its class factory (outer: aggregated), or null.
IUnknown* CreateFromModule(HMODULE module, const CLSID& clsid, IUnknown* outer = nullptr);

// The page of `pageClsid` in the system's property frame over `object`, on a thread of its
// own; the frame's page class comes from the module, registered for the thread.
class FrameOnThread {
 public:
  FrameOnThread(HMODULE module, IUnknown* object, const CLSID& pageClsid,
                const wchar_t* caption, POINT at = {40, 40});
  ~FrameOnThread();
  FrameOnThread(const FrameOnThread&) = delete;
  FrameOnThread& operator=(const FrameOnThread&) = delete;

  // False when the frame or its page did not appear.
  bool Open() const { return page_ != nullptr; }
  HWND Frame() const { return frame_; }
  HWND Page() const { return page_; }
  HWND Item(int id) const { return GetDlgItem(page_, id); }
  std::string Text(int id) const;
  POINT Centre(int id) const;
  // Closes the frame (as its Cancel button does) and waits for OleCreatePropertyFrame.
  HRESULT Close();

 private:
  void Run(HMODULE module, IUnknown* object, CLSID pageClsid, std::wstring caption, POINT at);
  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
  HWND frame_ = nullptr;
  HWND page_ = nullptr;
  std::atomic<HRESULT> result_{E_PENDING};
};

// The page dialog inside a property frame (the child window that holds a banner), or null.
HWND FindPageDialog(HWND frame);
// The visible top-level windows of a thread (DWORD) or of a process.
std::vector<HWND> ThreadWindows(DWORD threadId);
std::vector<HWND> ProcessWindows(DWORD processId);
// The popup menu window on the screen, or null.
HWND FindMenuWindow();
std::string WindowText(HWND window);

// Keyboard input through the system's input queue (or xdotool, with MW_UI_INPUT=xdotool).
void Key(WORD vk, bool shift = false, bool ctrl = false);
void TypeText(const std::string& text);

}  // namespace uitest
