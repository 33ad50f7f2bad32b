#include "win/ui/pages/effect_property_page.h"

#include <string>
#include <vector>

#include "core/effects/effect_description.h"
#include "core/ui/pages/frame_ids.h"
#include "core/ui/pages/page_menu.h"
#include "mwppack1/mwppack1.h"
#include "win/ui/controls/control_messages.h"
#include "win/ui/pages/about_box.h"
#include "win/ui/pages/page_help.h"
#include "win/ui/util/ui_module.h"

namespace mw::ui {
namespace {

constexpr std::uint32_t kPresetsText = 1000;
constexpr std::uint32_t kHelpText = 1001;
constexpr std::uint32_t kAboutText = 1003;
constexpr int kPresetNameChars = 260;

const GUID& AsGuid(const Guid& g) { return *reinterpret_cast<const GUID*>(&g); }

// A preset's name in the system's ANSI code page: at most 259 bytes, never half a
// double-byte character.
std::string AnsiName(const wchar_t* name) {
  char bytes[4 * kPresetNameChars] = "";
  if (WideCharToMultiByte(CP_ACP, 0, name, -1, bytes, sizeof bytes, nullptr, nullptr) == 0) {
    return {};
  }
  std::size_t end = 0;
  for (std::size_t i = 0; bytes[i] != '\0';) {
    const std::size_t n = IsDBCSLeadByte(static_cast<BYTE>(bytes[i])) && bytes[i + 1] ? 2 : 1;
    if (i + n > kPresetNameChars - 1) break;
    i += n;
    end = i;
  }
  return std::string(bytes, end);
}

}  // namespace

EffectPropertyPage::EffectPropertyPage(IUnknown* outer, const pages::PageTable& table,
                                       const PageWindowHooks* windowHooks)
    : BasePropertyPage(outer, UiModule(), table.dialogId, table.titleId),
      table_(table),
      windowHooks_(windowHooks),
      logic_(table, UiText(), &GetUiString) {}

EffectPropertyPage::~EffectPropertyPage() {
  if (Window() != nullptr) Deactivate();
  if (params_ != nullptr) OnDisconnect();
}

HRESULT STDMETHODCALLTYPE EffectPropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  const HRESULT hr = BasePropertyPage::GetPageInfo(info);
  if (FAILED(hr)) return hr;
  ComputeHelpPaths();
  wchar_t path[MAX_PATH] = L"";
  MultiByteToWideChar(CP_ACP, 0, HtmlHelpPath().c_str(), -1, path, MAX_PATH);
  path[MAX_PATH - 1] = L'\0';
  info->pszHelpFile = ds::TaskMemoryString(path, MAX_PATH);
  if (info->pszHelpFile == nullptr) {
    CoTaskMemFree(info->pszTitle);
    info->pszTitle = nullptr;
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

void EffectPropertyPage::Register(HWND window) {
  // A third page is refused: it works without change notices.
  if (access_ != nullptr) access_->RegisterNotifyWindow(window, MW_CMD_CHANGE_NOTICE);
}

HRESULT EffectPropertyPage::OnConnect(IUnknown* object) {
  if (object == nullptr) return E_POINTER;
  if (params_ != nullptr) OnDisconnect();
  IUnknown* params = nullptr;
  if (FAILED(object->QueryInterface(AsGuid(table_.effect->ParamsIid()),
                                    reinterpret_cast<void**>(&params))) ||
      params == nullptr) {
    return E_NOINTERFACE;
  }
  access_.reset(new (std::nothrow) PageParamsInterface(params, *table_.effect));
  if (access_ == nullptr) {
    params->Release();
    return E_OUTOFMEMORY;
  }
  params_ = params;
  object_ = object;
  logic_.Connect(access_.get());
  if (Window() != nullptr) {
    Register(Window());
    if (windowHooks_ != nullptr && windowHooks_->connected != nullptr) {
      windowHooks_->connected(Window(), params_);
    }
    logic_.UpdateControls(0);
  }
  return S_OK;
}

HRESULT EffectPropertyPage::OnDisconnect() {
  if (params_ == nullptr) return E_UNEXPECTED;
  // A window that is not registered (a third page) is not in the filter's slots either:
  // unregistering it changes nothing.
  if (Window() != nullptr) access_->RegisterNotifyWindow(Window(), 0);
  logic_.Connect(nullptr);
  access_.reset();
  IUnknown* released = params_;
  params_ = nullptr;
  object_ = nullptr;
  // The page's own window work lets go of the interface before it is released.
  if (Window() != nullptr && windowHooks_ != nullptr && windowHooks_->connected != nullptr) {
    windowHooks_->connected(Window(), nullptr);
  }
  released->Release();
  return S_OK;
}

HRESULT EffectPropertyPage::OnActivate() {
  // The frame's Tab key walks into the page's controls.
  if (Window() != nullptr) {
    SetWindowLongPtrA(Window(), GWL_EXSTYLE,
                      GetWindowLongPtrA(Window(), GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
  }
  return S_OK;
}

HRESULT EffectPropertyPage::OnDeactivate() {
  if (Window() != nullptr) {
    SetWindowLongPtrA(Window(), GWL_EXSTYLE,
                      GetWindowLongPtrA(Window(), GWL_EXSTYLE) & ~WS_EX_CONTROLPARENT);
  }
  return S_OK;
}

void EffectPropertyPage::InitDialog(HWND window) {
  dialog_.SetWindow(window);
  logic_.Attach(&dialog_);
  if (params_ != nullptr) Register(window);
  if (windowHooks_ != nullptr && windowHooks_->created != nullptr) {
    windowHooks_->created(window, params_);
  }
  logic_.InitControls();
  logic_.UpdateControls(0);
}

void EffectPropertyPage::DestroyDialog(HWND window) {
  if (windowHooks_ != nullptr && windowHooks_->destroyed != nullptr) {
    windowHooks_->destroyed(window);
  }
  if (params_ != nullptr) access_->RegisterNotifyWindow(window, 0);
  CloseContextHelp(window);
  logic_.Attach(nullptr);
  dialog_.SetWindow(nullptr);
}

void EffectPropertyPage::ApplyPreset(int command) {
  IEffectPresets* presets = nullptr;
  if (object_ != nullptr &&
      SUCCEEDED(object_->QueryInterface(AsGuid(ids::IID_IEffectPresets),
                                        reinterpret_cast<void**>(&presets))) &&
      presets != nullptr) {
    presets->ApplyPreset(pages::PresetRowOf(command));
    presets->Release();
  }
  logic_.UpdateControls(0);
}

void EffectPropertyPage::ContextMenu(LPARAM lParam) {
  RECT r{};
  GetWindowRect(Window(), &r);
  const pages::MenuPoint at =
      pages::ContextMenuPoint(static_cast<std::uint32_t>(lParam), {r.left, r.top, r.right, r.bottom});
  HMENU menu = CreatePopupMenu();
  HMENU presetMenu = CreatePopupMenu();
  if (menu == nullptr || presetMenu == nullptr) {
    if (menu != nullptr) DestroyMenu(menu);
    if (presetMenu != nullptr) DestroyMenu(presetMenu);
    return;
  }
  IEffectPresets* presets = nullptr;
  if (object_ != nullptr &&
      SUCCEEDED(object_->QueryInterface(AsGuid(ids::IID_IEffectPresets),
                                        reinterpret_cast<void**>(&presets))) &&
      presets != nullptr) {
    LONG count = 0;
    if (FAILED(presets->GetPresetCount(&count))) count = 0;
    const auto entries = pages::PresetEntries(count, [&](std::int32_t row, std::string* name) {
      wchar_t wide[kPresetNameChars] = L"";
      if (FAILED(presets->GetPresetName(row, wide, kPresetNameChars))) return false;
      wide[kPresetNameChars - 1] = L'\0';
      *name = AnsiName(wide);
      return true;
    });
    for (const pages::MenuEntry& e : entries) {
      AppendMenuA(presetMenu, MF_STRING, static_cast<UINT_PTR>(e.command), e.text.c_str());
    }
    presets->Release();
  }
  AppendMenuA(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(presetMenu),
              GetUiString(kPresetsText));
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, MW_CMD_HELP, GetUiString(kHelpText));
  AppendMenuA(menu, MF_STRING, MW_CMD_ABOUT, GetUiString(kAboutText));
  TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_LEFTALIGN, at.x, at.y, 0, Window(), nullptr);
  DestroyMenu(menu);  // and the submenu with it
}

void EffectPropertyPage::ContextHelp(const HELPINFO* help) {
  if (help == nullptr) return;
  const std::int32_t context = logic_.HelpContext(help->iCtrlId);
  if (context != 0) ShowContextHelp(Window(), static_cast<DWORD>(context));
}

void EffectPropertyPage::Command(int id, int code) {
  if (pages::IsPresetCommand(id)) {
    ApplyPreset(id);
  } else if (id == MW_CMD_HELP) {
    ShowHelpTopic();
  } else if (id == MW_CMD_ABOUT) {
    ShowAboutBox(Window());
  } else {
    logic_.Command(id, code);
  }
}

INT_PTR EffectPropertyPage::OnReceiveMessage(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitDialog(window);
      return 1;
    case WM_DESTROY:
      DestroyDialog(window);
      return 0;
    case WM_HELP:
      ContextHelp(reinterpret_cast<const HELPINFO*>(lParam));
      return 1;
    case WM_CONTEXTMENU:
      ContextMenu(lParam);
      return 0;
    case WM_COMMAND:
      if (params_ != nullptr) Command(LOWORD(wParam), HIWORD(wParam));
      return 1;
    case WM_HSCROLL:
    case WM_VSCROLL:
      if (params_ != nullptr && lParam != 0) {
        logic_.Scroll(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam),
                      GetKeyState(VK_CONTROL) < 0);
      }
      return 1;
    case kLogoAboutMessage:
      ShowAboutBox(window);
      return 1;
    default:
      return 0;
  }
}

}  // namespace mw::ui
