#include "win/dshow/property_page.h"

#include <cwchar>

namespace mw::ds {
namespace {

INT_PTR CALLBACK MeasureProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

bool MeasureDialog(HINSTANCE module, int dialogId, SIZE* size) {
  HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(dialogId), GetDesktopWindow(),
                                   MeasureProc, 0);
  if (dialog == nullptr) return false;
  RECT r;
  GetWindowRect(dialog, &r);
  DestroyWindow(dialog);
  size->cx = r.right - r.left;
  size->cy = r.bottom - r.top;
  return true;
}

LPOLESTR TaskMemoryString(const wchar_t* text, int chars) {
  if (chars < 1) return nullptr;
  auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof(wchar_t) * chars));
  if (out == nullptr) return nullptr;
  std::wmemset(out, 0, chars);
  if (text != nullptr) std::wcsncpy(out, text, chars - 1);
  return out;
}

BasePropertyPage::BasePropertyPage(IUnknown* outer, HINSTANCE module, int dialogId,
                                   int titleId)
    : UnknownBase(outer), module_(module), dialogId_(dialogId), titleId_(titleId) {}

BasePropertyPage::~BasePropertyPage() {
  if (window_ != nullptr) {
    // The host did not deactivate the page: its window goes without calling back.
    SetWindowLongPtrW(window_, DWLP_USER, 0);
    DestroyWindow(window_);
  }
  if (site_ != nullptr) site_->Release();
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IPropertyPage)) {
    return GetInterface(static_cast<IPropertyPage*>(this), out);
  }
  return UnknownBase::NonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::SetPageSite(IPropertyPageSite* site) {
  if (site != nullptr) {
    if (site_ != nullptr) return E_UNEXPECTED;
    site_ = site;
    site_->AddRef();
  } else {
    if (site_ == nullptr) return E_UNEXPECTED;
    site_->Release();
    site_ = nullptr;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (rect == nullptr) return E_POINTER;
  if (window_ != nullptr) return E_UNEXPECTED;
  // WM_INITDIALOG records the window before CreateDialogParam returns.
  HWND window = CreateDialogParamW(module_, MAKEINTRESOURCEW(dialogId_), parent, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
  if (window == nullptr) return E_OUTOFMEMORY;
  window_ = window;
  OnActivate();
  Move(rect);
  return Show(SW_SHOWNORMAL);
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::Deactivate() {
  if (window_ == nullptr) return E_UNEXPECTED;
  OnDeactivate();
  DestroyWindow(window_);
  window_ = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (info == nullptr) return E_POINTER;
  wchar_t title[256] = L"";
  LoadStringW(module_, static_cast<UINT>(titleId_), title, 256);
  info->cb = sizeof *info;
  info->pszTitle = TaskMemoryString(title, static_cast<int>(std::wcslen(title)) + 1);
  if (info->pszTitle == nullptr) return E_OUTOFMEMORY;
  info->size.cx = 300;
  info->size.cy = 150;
  MeasureDialog(module_, dialogId_, &info->size);
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count == 1) {
    if (objects == nullptr || objects[0] == nullptr) return E_POINTER;
    objectsSet_ = true;
    return OnConnect(objects[0]);
  }
  if (count == 0) {
    objectsSet_ = false;
    return OnDisconnect();
  }
  return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::Show(UINT command) {
  if (window_ == nullptr) return E_UNEXPECTED;
  if (command != SW_SHOW && command != SW_SHOWNORMAL && command != SW_HIDE) return E_INVALIDARG;
  ShowWindow(window_, static_cast<int>(command));
  InvalidateRect(window_, nullptr, TRUE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::Move(LPCRECT rect) {
  if (rect == nullptr) return E_POINTER;
  if (window_ == nullptr) return E_UNEXPECTED;
  MoveWindow(window_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
             TRUE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::IsPageDirty() { return dirty_ ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE BasePropertyPage::Apply() {
  if (!objectsSet_ || site_ == nullptr) return E_UNEXPECTED;
  if (!dirty_) return S_OK;
  const HRESULT hr = OnApplyChanges();
  if (SUCCEEDED(hr)) dirty_ = false;
  return hr;
}

HRESULT STDMETHODCALLTYPE BasePropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE BasePropertyPage::TranslateAccelerator(MSG*) { return E_NOTIMPL; }

HRESULT BasePropertyPage::OnConnect(IUnknown*) { return S_OK; }
HRESULT BasePropertyPage::OnDisconnect() { return S_OK; }
HRESULT BasePropertyPage::OnActivate() { return S_OK; }
HRESULT BasePropertyPage::OnDeactivate() { return S_OK; }
HRESULT BasePropertyPage::OnApplyChanges() { return S_OK; }
INT_PTR BasePropertyPage::OnReceiveMessage(HWND, UINT, WPARAM, LPARAM) { return 0; }

void BasePropertyPage::SetDirty() {
  dirty_ = true;
  if (site_ != nullptr) site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

INT_PTR CALLBACK BasePropertyPage::DialogProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* page = reinterpret_cast<BasePropertyPage*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    if (page == nullptr) return TRUE;
    page->window_ = window;
    return page->OnReceiveMessage(window, message, wParam, lParam);
  }
  auto* page = reinterpret_cast<BasePropertyPage*>(GetWindowLongPtrW(window, DWLP_USER));
  if (page == nullptr) return FALSE;
  const INT_PTR handled = page->OnReceiveMessage(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // Destroyed with its parent, without Deactivate: the page forgets the window.
    SetWindowLongPtrW(window, DWLP_USER, 0);
    page->window_ = nullptr;
  }
  return handled;
}

}  // namespace mw::ds
