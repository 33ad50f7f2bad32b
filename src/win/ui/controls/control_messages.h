// Messages, notifications and class names of the module's own controls, as the pages and
// dialog templates use them.
#pragma once

#include <windows.h>

namespace mw::ui {

constexpr char kFaderClass[] = "MwPpack1Bld211_Fader_Class";
constexpr char kTrackbarClass[] = "MwPpack1Bld211_Trackbar_Class";
constexpr char kStaticClass[] = "MwPpack1Bld211_Static_Class";
constexpr char kLogoClass[] = "MwPpack1Bld211_Logo_Class";

// Banner (logo) messages.
constexpr UINT LGM_CLEARITEMS = 0x600;       // removes all items; returns 1
constexpr UINT LGM_ADDITEM = 0x601;          // wParam: command | repaint << 16; lParam: text
constexpr UINT LGM_SETIMAGECOMMAND = 0x602;  // wParam: a click on the picture sends a command
// Posted to the banner's parent for a click on the picture of a banner without caption.
constexpr UINT kLogoAboutMessage = 0x614;
constexpr UINT_PTR kLogoHoverTimer = 51;
constexpr UINT kLogoHoverMilliseconds = 130;

// Static control messages.
constexpr UINT STM_SETBITMAPRES = 0x60A;     // wParam: module (0: the window's); lParam: name
constexpr UINT STM_SETBITMAPHANDLE = 0x60B;  // lParam: a bitmap the control then owns
constexpr UINT STM_SETDIB = 0x60C;           // lParam: a packed device-independent bitmap
// WM_NOTIFY code a link static sends its parent on a press.
constexpr UINT kLinkClicked = static_cast<UINT>(-105);

// The module's resources the controls use.
constexpr int kHandCursor = 4;
constexpr int kLeftThumbCursor = 27;
constexpr int kRightThumbCursor = 28;

}  // namespace mw::ui
