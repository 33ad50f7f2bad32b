// The banner across the top of the settings pages and the About box: a picture at the left,
// the caption in a dark strip, and clickable text items at the right. Layout and hit test
// come from the core; this file measures, paints and talks to the window system.
#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/ui/logo_layout.h"
#include "win/ui/controls/control_classes.h"
#include "win/ui/controls/control_messages.h"
#include "win/ui/controls/offscreen.h"
#include "win/ui/util/home_page.h"
#include "win/ui/util/shared_fonts.h"
#include "win/ui/util/ui_module.h"

namespace mw::ui {
namespace {

constexpr int kItemTextLimit = 63;
constexpr COLORREF kStripColour = RGB(100, 100, 100);
constexpr COLORREF kTextColour = RGB(220, 220, 220);
constexpr COLORREF kHotTextColour = RGB(255, 255, 255);

int g_bitmapIds[3] = {};

struct LogoItem {
  char text[kItemTextLimit + 1];
};

struct LogoState {
  HWND window = nullptr;
  int hot = -1;  // the part under the pointer: a command, the banner's identifier, 0 or -1
  bool imageCommand = false;
  BITMAPINFOHEADER* pictures[2] = {};  // own copies of the pictures at rest and highlighted
  HDRAWDIB drawDib = nullptr;
  LogoLayout layout;
  std::vector<LogoItemBox> boxes;
  std::vector<LogoItem> items;
  UINT_PTR timer = 0;
  bool captured = false;
};

LogoState* State(HWND window) { return WindowState<LogoState>(window); }

// A copy of a banner picture resource; null when it is missing or its header is not the
// 40-byte one.
BITMAPINFOHEADER* CopyPicture(int id) {
  HINSTANCE module = UiModule();
  if (id == 0 || module == nullptr) return nullptr;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_BITMAP);
  if (found == nullptr) return nullptr;
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr || size < sizeof(BITMAPINFOHEADER)) return nullptr;
  const auto* header = static_cast<const BITMAPINFOHEADER*>(data);
  const int bits = header->biBitCount;
  if (header->biSize != sizeof(BITMAPINFOHEADER) || header->biWidth <= 0 ||
      header->biHeight == 0 || (bits != 1 && bits != 4 && bits != 8) ||
      header->biCompression != BI_RGB || header->biClrUsed > (1u << bits)) {
    return nullptr;
  }
  // Header, colour table and rows, in 64 bits so that no header can make it wrap.
  const std::uint64_t colours = header->biClrUsed != 0 ? header->biClrUsed : 1u << bits;
  const std::uint64_t stride = (static_cast<std::uint64_t>(header->biWidth) * bits + 31) / 32 * 4;
  const std::uint64_t rows = static_cast<std::uint64_t>(std::llabs(header->biHeight));
  if (header->biSize + colours * 4 + stride * rows > size) return nullptr;
  auto* copy = static_cast<BITMAPINFOHEADER*>(std::malloc(size));
  if (copy != nullptr) std::memcpy(copy, data, size);
  return copy;
}

void DrawPicture(LogoState* s, HDC dc, const BITMAPINFOHEADER* picture) {
  if (picture == nullptr || s->drawDib == nullptr) return;
  const DWORD colours = picture->biClrUsed != 0 ? picture->biClrUsed : 1u << picture->biBitCount;
  auto* bits = reinterpret_cast<BYTE*>(const_cast<BITMAPINFOHEADER*>(picture)) +
               picture->biSize + colours * 4;
  const int height = std::abs(picture->biHeight);
  DrawDibDraw(s->drawDib, dc, 0, 0, picture->biWidth, height,
              const_cast<BITMAPINFOHEADER*>(picture), bits, 0, 0, picture->biWidth, height, 0);
}

bool HasCaption(HWND window) { return GetWindowTextLengthA(window) > 0; }

void LayOut(LogoState* s) {
  RECT client;
  GetClientRect(s->window, &client);
  HDC dc = GetDC(s->window);
  HGDIOBJ previous = SelectObject(dc, GetSharedFont(kFontBannerItems));
  for (std::size_t i = 0; i < s->items.size(); ++i) {
    SIZE extent{};
    const char* text = s->items[i].text;
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
    s->boxes[i].textWidth = extent.cx;
  }
  SelectObject(dc, previous);
  ReleaseDC(s->window, dc);
  const int pictureWidth = s->pictures[0] != nullptr ? s->pictures[0]->biWidth : 0;
  s->layout = LayOutLogo(client.right, client.bottom, pictureWidth, HasCaption(s->window),
                         s->boxes.data(), s->boxes.size());
}

int HitTest(LogoState* s, int x, int y) {
  return HitTestLogo(s->layout, s->boxes.data(), s->boxes.size(), x, y,
                     GetDlgCtrlID(s->window));
}

POINT PointerInClient(HWND window) {
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(window, &p);
  return p;
}

void StartHoverTimer(LogoState* s) {
  if (s->timer == 0) s->timer = SetTimer(s->window, kLogoHoverTimer, kLogoHoverMilliseconds,
                                         nullptr);
}

void FillSolid(HDC dc, const UiRect& r, COLORREF colour) {
  const RECT area{r.left, r.top, r.right, r.bottom};
  const COLORREF previous = SetBkColor(dc, colour);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
  SetBkColor(dc, previous);
}

void PaintCaption(LogoState* s, HDC dc, const RECT& client) {
  char caption[256];
  const int length = GetWindowTextA(s->window, caption, sizeof caption);
  const int right = s->layout.picture.right;
  if (length <= 0 || right >= client.right) return;
  HGDIOBJ pen = SelectObject(dc, GetStockObject(WHITE_PEN));
  HGDIOBJ brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  Rectangle(dc, right, 0, client.right, client.bottom);
  SelectObject(dc, pen);
  SelectObject(dc, brush);
  const UiRect& c = s->layout.caption;
  if (c.Empty()) return;
  FillSolid(dc, c, kStripColour);
  HGDIOBJ font = SelectObject(dc, GetSharedFont(kFontBannerCaption));
  SetTextColor(dc, kTextColour);
  RECT text{c.left + 4, c.top, c.right, c.bottom};
  DrawTextA(dc, caption, length, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, font);
}

void PaintItems(LogoState* s, HDC dc) {
  if (s->items.empty()) return;
  FillSolid(dc, s->layout.items, kStripColour);
  HGDIOBJ font = SelectObject(dc, GetSharedFont(kFontBannerItems));
  for (std::size_t i = 0; i < s->items.size(); ++i) {
    const LogoItemBox& box = s->boxes[i];
    // While a press is held, only the pressed item lights up under the pointer.
    const bool hot = box.hot && (!s->captured || box.command == s->hot);
    RECT r{box.rect.left, box.rect.top, box.rect.right, box.rect.bottom};
    SetTextColor(dc, hot ? kHotTextColour : kTextColour);
    DrawTextA(dc, s->items[i].text, -1, &r,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (hot && !box.rect.Empty()) {
      HGDIOBJ pen = SelectObject(dc, GetStockObject(WHITE_PEN));
      MoveToEx(dc, r.left, r.bottom - 1, nullptr);
      LineTo(dc, r.left, r.top);
      LineTo(dc, r.right - 1, r.top);
      SelectObject(dc, GetStockObject(BLACK_PEN));
      LineTo(dc, r.right - 1, r.bottom - 1);
      LineTo(dc, r.left - 1, r.bottom - 1);
      SelectObject(dc, pen);
    }
  }
  SelectObject(dc, font);
}

void Paint(LogoState* s, HDC target) {
  RECT client;
  GetClientRect(s->window, &client);
  OffscreenDC off(target, client);
  HDC dc = off.dc();
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  const bool highlighted = s->hot == GetDlgCtrlID(s->window) && s->pictures[1] != nullptr;
  DrawPicture(s, dc, s->pictures[highlighted ? 1 : 0]);
  SetBkMode(dc, TRANSPARENT);
  PaintCaption(s, dc, client);
  PaintItems(s, dc);
}

// A click released over the part it was pressed on.
void Activate(LogoState* s, int part, int x, int y) {
  HWND parent = GetParent(s->window);
  const int id = GetDlgCtrlID(s->window);
  bool overItem = false;
  for (const LogoItemBox& box : s->boxes) overItem = overItem || box.rect.Contains(x, y);
  if (part != id || overItem || !s->layout.picture.Contains(x, y) || s->imageCommand) {
    PostMessageA(parent, WM_COMMAND, MAKEWPARAM(part, 0), reinterpret_cast<LPARAM>(s->window));
  } else if (!HasCaption(s->window)) {
    PostMessageA(parent, kLogoAboutMessage, 0, 0);
  } else {
    OpenHomePage(parent);
  }
}

void SetHot(LogoState* s, int part) {
  if (part == s->hot) return;
  s->hot = part;
  InvalidateRect(s->window, nullptr, FALSE);
}

void Destroy(LogoState* s) {
  if (s->timer != 0) KillTimer(s->window, s->timer);
  if (s->drawDib != nullptr) DrawDibClose(s->drawDib);
  std::free(s->pictures[0]);
  std::free(s->pictures[1]);
  delete s;
}

LRESULT AddItem(LogoState* s, WPARAM wParam, LPARAM lParam) {
  LogoItem item{};
  if (lParam != 0) lstrcpynA(item.text, reinterpret_cast<const char*>(lParam), sizeof item.text);
  LogoItemBox box;
  box.command = LOWORD(wParam);
  try {
    s->items.push_back(item);
    s->boxes.push_back(box);
  } catch (const std::bad_alloc&) {
    s->items.resize(s->boxes.size());
    return 0;
  }
  LayOut(s);
  if (HIWORD(wParam) != 0) InvalidateRect(s->window, nullptr, FALSE);
  return 1;
}

}  // namespace

void SetLogoBitmapIds(int picture, int highlighted, int spare) {
  g_bitmapIds[0] = picture;
  g_bitmapIds[1] = highlighted;
  g_bitmapIds[2] = spare;
}

int LogoBitmapId(int which) { return which >= 0 && which < 3 ? g_bitmapIds[which] : 0; }

LRESULT CALLBACK LogoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LogoState* s = State(window);
  if (s == nullptr && message != WM_CREATE) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      s = new (std::nothrow) LogoState;
      if (s == nullptr) return -1;
      s->window = window;
      s->pictures[0] = CopyPicture(g_bitmapIds[0]);
      s->pictures[1] = CopyPicture(g_bitmapIds[1]);
      s->drawDib = DrawDibOpen();
      SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(s));
      LayOut(s);
      return 0;
    case WM_DESTROY:
      Destroy(s);
      SetWindowLongPtrA(window, 0, 0);
      return 0;
    case WM_SIZE:
      LayOut(s);
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
      LayOut(s);
      InvalidateRect(window, nullptr, FALSE);
      return result;
    }
    case WM_ERASEBKGND:
      return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      return PaintMessage(window, message, wParam, [s](HDC dc) { Paint(s, dc); });
    case LGM_CLEARITEMS:
      s->items.clear();
      s->boxes.clear();
      LayOut(s);
      InvalidateRect(window, nullptr, FALSE);
      return 1;
    case LGM_ADDITEM:
      return AddItem(s, wParam, lParam);
    case LGM_SETIMAGECOMMAND:
      s->imageCommand = wParam != 0;
      return static_cast<LRESULT>(wParam);
    case WM_SETCURSOR: {
      if (LOWORD(lParam) != HTCLIENT) break;
      const POINT p = PointerInClient(window);
      HCURSOR cursor = nullptr;
      if (HitTest(s, p.x, p.y) >= 1) {
        cursor = LoadCursorA(UiModule(), MAKEINTRESOURCEA(kHandCursor));
      }
      SetCursor(cursor != nullptr ? cursor : LoadCursorA(nullptr, IDC_ARROW));
      StartHoverTimer(s);
      return TRUE;
    }
    case WM_MOUSEMOVE: {
      StartHoverTimer(s);
      const int part = HitTest(s, static_cast<short>(LOWORD(lParam)),
                               static_cast<short>(HIWORD(lParam)));
      if (s->captured) {
        InvalidateRect(window, nullptr, FALSE);  // the pressed item lights up or goes dark
      } else {
        SetHot(s, part);
      }
      return 0;
    }
    case WM_TIMER: {
      if (wParam != kLogoHoverTimer) break;
      const POINT p = PointerInClient(window);
      const int part = HitTest(s, p.x, p.y);
      if (part < 0 && !s->captured) {
        KillTimer(window, kLogoHoverTimer);
        s->timer = 0;
      }
      if (!s->captured) SetHot(s, part);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // the class takes double clicks: the second press is a press too
      SetHot(s, HitTest(s, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))));
      SetCapture(window);
      s->captured = true;
      return 0;
    case WM_LBUTTONUP: {
      const int x = static_cast<short>(LOWORD(lParam));
      const int y = static_cast<short>(HIWORD(lParam));
      const bool wasCaptured = s->captured;
      s->captured = false;
      if (GetCapture() == window) ReleaseCapture();
      const int part = HitTest(s, x, y);
      if (wasCaptured && part == s->hot && part >= 1) Activate(s, part, x, y);
      s->hot = -1;
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    case WM_CAPTURECHANGED:
      s->captured = false;
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace mw::ui
