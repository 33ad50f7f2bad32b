// The framework's property page: IPropertyPage over a dialog that the page creates from its
// template as a child of the host's property frame, with the non-delegating IUnknown of an
// aggregatable object and the module's object count. A page class derives from it and
// handles its dialog's messages (OnReceiveMessage) and its connection to the objects the
// frame shows (OnConnect, OnDisconnect).
#pragma once

#include <windows.h>
#include <ocidl.h>

#include "win/dshow/com.h"

namespace mw::ds {

// The size in pixels of a dialog made from the template: created hidden, measured and
// destroyed. False when it cannot be made.
bool MeasureDialog(HINSTANCE module, int dialogId, SIZE* size);

class BasePropertyPage : public UnknownBase, public IPropertyPage {
 public:
  // `module` holds the dialog template and the title string.
  BasePropertyPage(IUnknown* outer, HINSTANCE module, int dialogId, int titleId);
  ~BasePropertyPage() override;

  MW_DELEGATE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

  // IPropertyPage
  HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override;
  HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  HRESULT STDMETHODCALLTYPE Deactivate() override;
  // Title from the string resource, size measured from the dialog template, no help.
  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;
  HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override;
  HRESULT STDMETHODCALLTYPE Show(UINT command) override;
  HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE IsPageDirty() override;
  HRESULT STDMETHODCALLTYPE Apply() override;
  HRESULT STDMETHODCALLTYPE Help(LPCOLESTR helpDir) override;
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* msg) override;

 protected:
  // SetObjects with one object, and with none.
  virtual HRESULT OnConnect(IUnknown* object);
  virtual HRESULT OnDisconnect();
  // After the dialog is created, and before it is destroyed.
  virtual HRESULT OnActivate();
  virtual HRESULT OnDeactivate();
  // Apply while the page is dirty.
  virtual HRESULT OnApplyChanges();
  // The dialog's messages, WM_INITDIALOG included: non-zero for a message handled.
  virtual INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND Window() const { return window_; }
  HINSTANCE Module() const { return module_; }
  int DialogId() const { return dialogId_; }
  int TitleId() const { return titleId_; }
  // Marks the page changed and tells the frame.
  void SetDirty();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HINSTANCE module_;
  int dialogId_;
  int titleId_;
  HWND window_ = nullptr;
  IPropertyPageSite* site_ = nullptr;
  bool dirty_ = false;
  bool objectsSet_ = false;
};

// A task-memory copy of a wide string of `chars` characters (the rest zero-filled, the last
// always a terminator); null when it cannot be allocated.
LPOLESTR TaskMemoryString(const wchar_t* text, int chars);

}  // namespace mw::ds
