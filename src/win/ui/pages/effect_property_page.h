// The frame of the six settings pages: the property page that connects to a filter's
// parameter interface, creates the page from the effect's dialog template, writes every
// user action to the filter at once and keeps the controls in step with it (all of that
// interpreted from the effect's page table), and gives every page the same context menu
// (presets, Help, About...), banner, help and About box. The page holds no parameter value
// of its own: it reads the filter whenever it shows something.
#pragma once

#include <windows.h>

#include <memory>

#include "core/ui/pages/page_logic.h"
#include "win/dshow/property_page.h"
#include "win/ui/pages/page_params.h"
#include "win/ui/pages/window_dialog.h"

namespace mw::ui {

// What a page does with its own window beyond the frame, for pages that draw from the filter
// themselves. Each member may be null.
struct PageWindowHooks {
  // At dialog creation, after the window's registration with the filter and before the
  // controls are set up; `params` is the parameter interface (null while not connected).
  void (*created)(HWND dialog, IUnknown* params);
  // The page was connected or disconnected while its window exists: `params` is the new
  // interface, or null before the old one is released.
  void (*connected)(HWND dialog, IUnknown* params);
  // At WM_DESTROY.
  void (*destroyed)(HWND dialog);
};

class EffectPropertyPage : public ds::BasePropertyPage {
 public:
  EffectPropertyPage(IUnknown* outer, const pages::PageTable& table,
                     const PageWindowHooks* windowHooks = nullptr);
  ~EffectPropertyPage() override;

  // The base's title and size, the help file's path; computes the module's help paths.
  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override;

 protected:
  HRESULT OnConnect(IUnknown* object) override;
  HRESULT OnDisconnect() override;
  HRESULT OnActivate() override;
  HRESULT OnDeactivate() override;
  INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void InitDialog(HWND window);
  void DestroyDialog(HWND window);
  void Command(int id, int code);
  void ContextMenu(LPARAM lParam);
  void ApplyPreset(int command);
  void ContextHelp(const HELPINFO* help);
  void Register(HWND window);

  const pages::PageTable& table_;
  const PageWindowHooks* windowHooks_;
  pages::PageLogic logic_;
  WindowDialog dialog_;
  IUnknown* params_ = nullptr;   // the effect's parameter interface, one reference
  IUnknown* object_ = nullptr;   // the connected object, kept alive by params_
  std::unique_ptr<PageParamsInterface> access_;
};

}  // namespace mw::ui
