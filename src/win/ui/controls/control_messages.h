// Messages, notifications and class names of the module's own controls, as the pages and
// dialog templates use them.
#pragma once

#include <windows.h>

#include <cstddef>

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

// Slider messages, answered by the trackbar and the fader (the fader has no channel span, fill
// or shading messages).
constexpr UINT SLM_GETPOS = 0x60A;
constexpr UINT SLM_GETRANGEMIN = 0x60B;
constexpr UINT SLM_GETRANGEMAX = 0x60C;
constexpr UINT SLM_SETRANGE = 0x60D;     // wParam: redraw; lParam: minimum | maximum << 16
constexpr UINT SLM_SETRANGEMIN = 0x60E;  // wParam: redraw; lParam: minimum
constexpr UINT SLM_SETRANGEMAX = 0x60F;  // wParam: redraw; lParam: maximum
constexpr UINT SLM_SETPOS = 0x610;       // wParam: redraw; lParam: position
constexpr UINT SLM_SETDEFAULTPOS = 0x611;
constexpr UINT SLM_GETCHANNELSPAN = 0x61E;      // groove left << 16 | travel in pixels
constexpr UINT SLM_SETFILLFROMDEFAULT = 0x61F;  // wParam: repaint; lParam bit 0
constexpr UINT SLM_SETSHADEDFILL = 0x620;       // wParam: repaint; lParam bit 0
constexpr UINT SLM_SETCOLOR = 0x627;
constexpr UINT SLM_GETCOLOR = 0x628;
constexpr UINT SLM_SETNOTIFYDATA = 0x629;
constexpr UINT SLM_GETNOTIFYDATA = 0x62A;

// Fader messages.
constexpr UINT FDM_SETUP = 0x62D;              // lParam: FaderSetupRecord
constexpr UINT FDM_SETACTIVECHANNELS = 0x62E;  // lParam: thumb mask
constexpr UINT FDM_SETCHANNELPOS = 0x62F;      // wParam: repaint | thumb (from 1, 0: all) << 16
constexpr UINT FDM_GETCHANNELPOS = 0x630;      // wParam: thumb << 16 (0: fill lParam's array)
constexpr UINT FDM_SETFLAG = 0x631;            // lParam bit 0: linked thumbs
constexpr UINT FDM_GETFLAG = 0x632;            // -1 linked, 0 not

// FDM_SETUP's record, applied in this order: range, default (clamped), line and page size
// (page 0: a tenth of the range, at least 1), the style bits selected by styleMask (the
// thumb count follows 0x0040), then the thumb positions (clamped).
struct FaderSetupRecord {
  INT32 minimum;
  INT32 maximum;
  INT32 defaultPosition;
  INT32 lineSize;
  INT32 pageSize;
  UINT32 styleValue;
  UINT32 styleMask;
  INT32 positions[2];
};

// WM_NOTIFY codes of the sliders: a key they do not use (SliderKeyNotify), and a fader's
// scroll codes with style 0x0002 (FaderScrollNotify). Losing the focus sends NM_KILLFOCUS
// with the header alone.
constexpr UINT kSliderUnusedKey = static_cast<UINT>(-102);
constexpr UINT kFaderScroll = static_cast<UINT>(-104);
constexpr UINT kSliderKillFocus = static_cast<UINT>(-8);  // the platform's NM_KILLFOCUS

struct SliderKeyNotify {
  NMHDR header;
  INT32 key;     // the virtual-key code
  INT32 repeat;  // the key message's repeat count
  INT32 flags;   // the key message's flags (the high word of its lParam)
};

struct FaderScrollNotify {
  NMHDR header;
  INT32 notifyData;
  INT32 thumbCount;
  INT32 activeMask;
  INT32 scrollCode;
  const INT32* positions;  // thumbCount positions, valid while the message is handled
};

// The platform's header, then 32-bit fields; the positions pointer is pointer-sized.
static_assert(offsetof(SliderKeyNotify, key) == sizeof(NMHDR), "fields follow the header");
static_assert(offsetof(FaderScrollNotify, notifyData) == sizeof(NMHDR), "fields follow the header");
static_assert(offsetof(FaderScrollNotify, positions) % sizeof(void*) == 0 &&
                  sizeof(FaderScrollNotify) == offsetof(FaderScrollNotify, positions) + sizeof(void*),
              "the positions pointer ends the record");

// The module's resources the controls use.
constexpr int kHandCursor = 4;
constexpr int kLeftThumbCursor = 27;
constexpr int kRightThumbCursor = 28;

}  // namespace mw::ui
