// What the settings-page tests share: a filter of the module, its page open in the system's
// property frame on a thread of its own (the frame runs its own modal loop, so the tests
// drive it from the main thread with real input and look at it from outside), the dialog
// templates read from the module's resources, keyboard input, records as bytes and the
// pages' identities.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mwppack1/mwppack1.h"
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
  DWORD ThreadId() const { return threadId_; }
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

// A click of the right button at a point of the screen.
void RightClickAt(POINT screen);

// Keyboard input through the system's input queue (or xdotool, with MW_UI_INPUT=xdotool).
void Key(WORD vk, bool shift = false, bool ctrl = false);
// Keys one after the other, in this order.
void Keys(const std::vector<WORD>& keys);
void TypeText(const std::string& text);

// A reference to an interface, released at the end.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p) : p_(p) {}
  ~Ref() { Reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  T** Out() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

template <class T>
T* Query(IUnknown* object, const IID& iid) {
  void* p = nullptr;
  return SUCCEEDED(object->QueryInterface(iid, &p)) ? static_cast<T*>(p) : nullptr;
}

// The record a filter saves, and a record loaded into a filter.
std::string SaveRecord(IUnknown* filter);
HRESULT LoadRecord(IUnknown* filter, const std::string& bytes);

// A page of the module as the tests meet it.
struct PageKind {
  const char* name;           // for pictures and messages
  const CLSID* filter;
  const CLSID* page;
  const wchar_t* filterName;  // the frame's caption names the filter
  const char* title;          // the page's tab
  int dialog;
};

extern const PageKind kSimpleDelayKind;
extern const PageKind kChorusKind;
extern const PageKind kReverbKind;
extern const PageKind kMultiTapKind;
extern const PageKind kPitchShiftKind;
extern const PageKind kTimeStretchKind;

// A filter of the kind, and its page in the system's property frame.
struct OpenPage {
  OpenPage(HMODULE module, const PageKind& kind);
  Ref<IUnknown> filter;
  std::unique_ptr<FrameOnThread> frame;
};

// Clicks into an edit box of the page, replaces its text by typing and leaves it with Tab.
void TypeInto(const FrameOnThread& frame, int edit, const std::string& text);

}  // namespace uitest

namespace uitest {

// The filter's parameter block as 32-bit words, in the block's order (empty when the filter
// has no parameter interface of the kind). MW_FIELD gives an integer field's index.
std::vector<std::int32_t> Block(IUnknown* filter, const PageKind& kind);
#define MW_FIELD(Block, Name) static_cast<int>(offsetof(Block, Name) / sizeof(std::int32_t))

// A point of the page, on the screen, where no control of its template lies.
POINT FreePointOfPage(HMODULE module, const FrameOnThread& frame, int dialogId);

// The menu shown by the popup menu window `menu` (its items' texts, "-" for a separator).
HMENU MenuOf(HWND menu);
std::vector<std::string> MenuTexts(HMENU menu);

// The visible top-level window of `threadId` whose caption is `caption`, waited for.
HWND AwaitWindow(DWORD threadId, const std::string& caption, int milliseconds = 3000);

}  // namespace uitest

namespace uitest {

// Every named control of the page sits where its dialog template puts it, in the display's
// dialog units (a drop-down list's template height is that of its open list, so only its
// top, left and right are compared).
void ExpectTemplateLayout(HMODULE module, const FrameOnThread& frame, int dialogId);

// Opens drop-down list `id` with a click and picks entry `index` with the keys, as a reader
// does.
void ChooseEntry(const FrameOnThread& frame, int id, int index);

// The page shows the filter's present values: every control that the portable page frame
// sets for the same parameter block (in a dialog in memory, where the frame's arithmetic is
// tested) reads the same in the real page: its text, tick, enabled state, slider position
// and chosen list entry. The model has no input: a filter with one shows more.
void ExpectShowsFilter(const FrameOnThread& frame, IUnknown* filter, const PageKind& kind,
                       const std::string& when);

}  // namespace uitest
