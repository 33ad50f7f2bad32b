#include "win/ui/pages/about_box.h"

#include "core/ui/pages/frame_ids.h"
#include "win/ui/controls/control_messages.h"
#include "win/ui/util/dialog_text.h"
#include "win/ui/util/home_page.h"
#include "win/ui/util/place_window.h"
#include "win/ui/util/ui_module.h"

namespace mw::ui {
namespace {

INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      char caption[128];
      FormatString(UiText(), caption, sizeof caption, "About %s", ProductName());
      SetWindowTextA(window, caption);
      // The banner shows the picture alone: a click on it is the way to the home page.
      SendDlgItemMessageA(window, MW_IDC_BANNER, LGM_CLEARITEMS, 0, 0);
      SetDlgItemTextA(window, MW_IDC_ABOUT_PRODUCT, ProductName());
      PlaceWindow(window, nullptr, POINT{0, 0}, kPlaceOverParent | kPlaceUpperThird);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case kLogoAboutMessage:
      OpenHomePage(window);
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header != nullptr && header->idFrom == MW_IDC_ABOUT_LINK &&
          header->code == kLinkClicked) {
        OpenHomePage(window);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAboutBox(HWND owner) {
  DialogBoxParamA(UiModule(), MAKEINTRESOURCEA(MW_IDD_ABOUT), owner, AboutProc, 0);
}

}  // namespace mw::ui
