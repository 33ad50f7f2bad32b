// The static control: text (aligned, wrapped, shortened with an ellipsis), a web-style
// link, a bitmap, or a device-independent bitmap drawn with DrawDib.
#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/ui/static_layout.h"
#include "win/ui/controls/control_classes.h"
#include "win/ui/controls/control_messages.h"
#include "win/ui/controls/offscreen.h"
#include "win/ui/util/ui_module.h"

namespace mw::ui {
namespace {

constexpr int kStateSlot = sizeof(LONG_PTR);  // the state lives in the second slot
constexpr int kMaxText = 512;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);
constexpr std::size_t kMaxDibBytes = 64u << 20;

struct StaticState {
  HWND window;
  HBITMAP bitmap;     // owned
  HFONT font;         // the kept font
  bool fontOwned;     // the link style's underlined copy
  HDRAWDIB drawDib;
  BITMAPINFOHEADER* dib;  // owned copy of a packed device-independent bitmap
  HPALETTE palette;       // owned, from the copy's colour table
};

HBRUSH g_checker = nullptr;

StaticState* State(HWND window) { return WindowState<StaticState>(window, kStateSlot); }

unsigned Style(HWND window) {
  return static_cast<unsigned>(GetWindowLongA(window, GWL_STYLE)) & 0xFFFFu;
}

UiRect ToUi(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// --- content -----------------------------------------------------------------------------

void FreeDib(StaticState* s) {
  std::free(s->dib);
  s->dib = nullptr;
  if (s->palette != nullptr) DeleteObject(s->palette);
  s->palette = nullptr;
}

// Without the own-colours style, every pixel of a colour bitmap that has the colour of its
// top-left pixel becomes the button face. The stored bitmap becomes a 32-bit copy with the
// change made (a bitmap with a colour table might have no entry near the button face);
// returns the bitmap to keep.
HBITMAP MapBackground(HBITMAP bitmap) {
  BITMAP info{};
  if (GetObjectA(bitmap, sizeof info, &info) == 0 || info.bmBitsPixel <= 1) return bitmap;
  const int width = info.bmWidth;
  const int height = info.bmHeight;
  if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > (16 << 20)) {
    return bitmap;
  }
  BITMAPINFO header{};
  header.bmiHeader.biSize = sizeof header.bmiHeader;
  header.bmiHeader.biWidth = width;
  header.bmiHeader.biHeight = -height;  // top-down
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  header.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  void* bits = nullptr;
  HBITMAP copy = CreateDIBSection(screen, &header, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (copy != nullptr &&
      GetDIBits(screen, bitmap, 0, height, bits, &header, DIB_RGB_COLORS) == height) {
    auto* pixels = static_cast<std::uint32_t*>(bits);
    const std::uint32_t key = pixels[0] & 0xFFFFFFu;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const std::uint32_t replacement = (GetRValue(face) << 16) | (GetGValue(face) << 8) |
                                      GetBValue(face);
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
      if ((pixels[i] & 0xFFFFFFu) == key) pixels[i] = replacement;
    }
    GdiFlush();
    DeleteObject(bitmap);
    bitmap = copy;
  } else if (copy != nullptr) {
    DeleteObject(copy);
  }
  ReleaseDC(nullptr, screen);
  return bitmap;
}

bool SetBitmap(HWND window, StaticState* s, HBITMAP bitmap) {
  if (s->bitmap != nullptr) DeleteObject(s->bitmap);
  if (bitmap != nullptr && (Style(window) & kStaticOwnColours) == 0) {
    bitmap = MapBackground(bitmap);
  }
  s->bitmap = bitmap;
  InvalidateRect(window, nullptr, FALSE);
  return bitmap != nullptr;
}

HBITMAP LoadBitmapResource(HINSTANCE module, const char* name) {
  if (name == nullptr || *name == '\0') return nullptr;
  // A name of digits is the resource's number.
  bool digits = true;
  for (const char* p = name; *p != '\0'; ++p) digits = digits && *p >= '0' && *p <= '9';
  const LPCSTR resource = digits && std::strlen(name) <= 5
                              ? MAKEINTRESOURCEA(std::atoi(name) & 0xFFFF)
                              : name;
  return static_cast<HBITMAP>(
      LoadImageA(module, resource, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

HINSTANCE WindowModule(HWND window) {
  return reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
}

// The size of a packed device-independent bitmap from its header: header, colour table and
// pixels (the image size, or computed from width, bit count and height); 0 when the header
// makes no sense.
std::size_t PackedDibSize(const BITMAPINFOHEADER* h, std::size_t* declared) {
  if (h->biSize < sizeof(BITMAPINFOHEADER) || h->biSize > sizeof(BITMAPV5HEADER)) return 0;
  if (h->biWidth <= 0 || h->biWidth > 32768 || h->biHeight == 0 || h->biHeight < -32768 ||
      h->biHeight > 32768 || h->biPlanes != 1) {
    return 0;
  }
  const int bits = h->biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return 0;
  std::size_t colours = h->biClrUsed != 0 ? h->biClrUsed : bits <= 8 ? (1u << bits) : 0;
  if (colours > 4096) return 0;
  std::size_t table = colours * sizeof(RGBQUAD);
  if (h->biCompression == BI_BITFIELDS && h->biSize == sizeof(BITMAPINFOHEADER)) table += 12;
  // In 64 bits, and held to the limit before any sum, so that nothing wraps.
  const std::uint64_t rows = static_cast<std::uint64_t>(std::abs(h->biHeight));
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h->biWidth) * bits + 31) / 32 * 4;
  if (rowBytes * rows > kMaxDibBytes || h->biSizeImage > kMaxDibBytes) return 0;
  const std::size_t computed = static_cast<std::size_t>(rowBytes * rows);
  const std::size_t image = h->biSizeImage != 0 ? h->biSizeImage : computed;
  *declared = h->biSize + table + image;
  // Room for the full image whatever the header claims, so drawing never reads past the copy.
  const std::size_t total = h->biSize + table + (image > computed ? image : computed);
  return total <= kMaxDibBytes ? total : 0;
}

bool SetDib(HWND window, StaticState* s, const BITMAPINFOHEADER* source) {
  FreeDib(s);
  InvalidateRect(window, nullptr, FALSE);
  if (source == nullptr) return false;
  std::size_t declared = 0;
  const std::size_t size = PackedDibSize(source, &declared);
  if (size == 0) return false;
  s->dib = static_cast<BITMAPINFOHEADER*>(std::calloc(1, size));
  if (s->dib == nullptr) return false;
  std::memcpy(s->dib, source, declared);
  const int bits = s->dib->biBitCount;
  const std::size_t colours = s->dib->biClrUsed != 0 ? s->dib->biClrUsed
                              : bits <= 8             ? (1u << bits)
                                                      : 0;
  if (colours > 0 && colours <= 256) {
    const auto* table = reinterpret_cast<const RGBQUAD*>(
        reinterpret_cast<const BYTE*>(s->dib) + s->dib->biSize);
    auto* palette = static_cast<LOGPALETTE*>(
        std::calloc(1, sizeof(LOGPALETTE) + colours * sizeof(PALETTEENTRY)));
    if (palette != nullptr) {
      palette->palVersion = 0x300;
      palette->palNumEntries = static_cast<WORD>(colours);
      for (std::size_t i = 0; i < colours; ++i) {
        palette->palPalEntry[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
      }
      s->palette = CreatePalette(palette);
      std::free(palette);
    }
  }
  if (s->drawDib == nullptr) s->drawDib = DrawDibOpen();
  return true;
}

const BYTE* DibBits(const BITMAPINFOHEADER* h) {
  const int bits = h->biBitCount;
  std::size_t colours = h->biClrUsed != 0 ? h->biClrUsed : bits <= 8 ? (1u << bits) : 0;
  std::size_t table = colours * sizeof(RGBQUAD);
  if (h->biCompression == BI_BITFIELDS && h->biSize == sizeof(BITMAPINFOHEADER)) table += 12;
  return reinterpret_cast<const BYTE*>(h) + h->biSize + table;
}

// The link style keeps an underlined copy of the font; other styles keep the font itself.
void SetFont(HWND window, StaticState* s, HFONT font) {
  if (s->fontOwned && s->font != nullptr) DeleteObject(s->font);
  s->font = font;
  s->fontOwned = false;
  if ((Style(window) & kStaticLink) == 0) return;
  LOGFONTA description{};
  HFONT base = font != nullptr ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (GetObjectA(base, sizeof description, &description) == 0) return;
  description.lfUnderline = TRUE;
  HFONT underlined = CreateFontIndirectA(&description);
  if (underlined != nullptr) {
    s->font = underlined;
    s->fontOwned = true;
  }
}

// --- painting ----------------------------------------------------------------------------

// Greys a picture of a disabled control: every other pixel becomes the button face.
void GreyOut(HDC dc, const UiRect& r) {
  if (g_checker == nullptr) return;
  const COLORREF text = SetTextColor(dc, RGB(0, 0, 0));
  const COLORREF back = SetBkColor(dc, RGB(255, 255, 255));
  HGDIOBJ previous = SelectObject(dc, g_checker);
  PatBlt(dc, r.left, r.top, r.Width(), r.Height(), 0x00A000C9);  // destination AND pattern
  SetTextColor(dc, GetSysColor(COLOR_BTNFACE));
  SetBkColor(dc, RGB(0, 0, 0));
  PatBlt(dc, r.left, r.top, r.Width(), r.Height(), 0x00FA0089);  // destination OR pattern
  SelectObject(dc, previous);
  SetTextColor(dc, text);
  SetBkColor(dc, back);
}

void DrawBitmap(HDC dc, HWND window, HBITMAP bitmap, const UiRect& content) {
  BITMAP info{};
  if (GetObjectA(bitmap, sizeof info, &info) == 0) return;
  const UiRect r = PlaceStaticPicture(Style(window), false, content, info.bmWidth,
                                      info.bmHeight);
  HDC memory = CreateCompatibleDC(dc);
  if (memory == nullptr) return;
  HGDIOBJ previous = SelectObject(memory, bitmap);
  const bool mono = info.bmBitsPixel == 1;
  SetStretchBltMode(dc, mono ? BLACKONWHITE : COLORONCOLOR);
  const COLORREF text = SetTextColor(dc, RGB(0, 0, 0));
  const COLORREF back = SetBkColor(dc, RGB(255, 255, 255));
  StretchBlt(dc, r.left, r.top, r.Width(), r.Height(), memory, 0, 0, info.bmWidth,
             info.bmHeight, SRCCOPY);
  SetTextColor(dc, text);
  SetBkColor(dc, back);
  SelectObject(memory, previous);
  DeleteDC(memory);
  if (!IsWindowEnabled(window)) GreyOut(dc, r);
}

void PaintText(HDC dc, HWND window, StaticState* s, const UiRect& content) {
  char text[kMaxText + 1];
  const int length = GetWindowTextA(window, text, sizeof text);
  if (length <= 0) return;
  const StaticTextStyle style = DecodeStaticStyle(Style(window));
  UINT flags = DT_EXPANDTABS;
  flags |= style.align == TextAlign::kCentre ? DT_CENTER
           : style.align == TextAlign::kRight ? DT_RIGHT
                                              : DT_LEFT;
  if (style.wordWrap) flags |= DT_WORDBREAK;
  if (style.singleLine) flags |= DT_SINGLELINE;
  if (style.ellipsis) flags |= DT_END_ELLIPSIS;
  if (style.noPrefix) flags |= DT_NOPREFIX;
  HGDIOBJ previousFont = SelectObject(
      dc, s->font != nullptr ? s->font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  RECT r{content.left + 2, content.top, content.right - 2, content.bottom};
  // Centred vertically: the text's own height, measured with the same rules.
  RECT measured = r;
  ::DrawTextA(dc, text, length, &measured, flags | DT_CALCRECT);
  const int height = measured.bottom - measured.top;
  if (height < r.bottom - r.top) r.top += (r.bottom - r.top - height) / 2;
  SetBkMode(dc, TRANSPARENT);
  if (!IsWindowEnabled(window)) {
    // Engraved: a light copy one pixel down and right under the grey text.
    const COLORREF previous = SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
    RECT shadow{r.left + 1, r.top + 1, r.right + 1, r.bottom + 1};
    ::DrawTextA(dc, text, length, &shadow, flags);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    ::DrawTextA(dc, text, length, &r, flags);
    SetTextColor(dc, previous);
  } else {
    if (style.link) SetTextColor(dc, kLinkColour);
    ::DrawTextA(dc, text, length, &r, flags);
  }
  SelectObject(dc, previousFont);
}

// Background and frame; returns the content rectangle.
UiRect PaintBackground(HDC dc, HWND window, const RECT& client) {
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  HWND parent = GetParent(window);
  auto brush = reinterpret_cast<HBRUSH>(SendMessageA(
      parent != nullptr ? parent : window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
      reinterpret_cast<LPARAM>(window)));
  FillRect(dc, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_WINDOW));
  UiRect content = ToUi(client);
  if (DecodeStaticStyle(Style(window)).frame) {
    FrameRect(dc, &client, GetSysColorBrush(COLOR_WINDOWFRAME));
    content = {content.left + 1, content.top + 1, content.right - 1, content.bottom - 1};
  }
  return content;
}

// DrawDib, halftoned. Pictures it does not take (top-down rows, for one) go through the
// platform's own stretching; if that fails too, the place gets the background.
void DrawDib(StaticState* s, HDC dc, const UiRect& r) {
  const int height = std::abs(s->dib->biHeight);
  auto* bits = const_cast<BYTE*>(DibBits(s->dib));
  if (s->drawDib != nullptr) {
    if (s->palette != nullptr) DrawDibSetPalette(s->drawDib, s->palette);
    DrawDibRealize(s->drawDib, dc, FALSE);
    if (DrawDibDraw(s->drawDib, dc, r.left, r.top, r.Width(), r.Height(), s->dib, bits, 0, 0,
                    s->dib->biWidth, height, DDF_HALFTONE)) {
      return;
    }
  }
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  if (StretchDIBits(dc, r.left, r.top, r.Width(), r.Height(), 0, 0, s->dib->biWidth, height,
                    bits, reinterpret_cast<const BITMAPINFO*>(s->dib), DIB_RGB_COLORS,
                    SRCCOPY) == 0) {
    const RECT area{r.left, r.top, r.right, r.bottom};
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
  }
}

void Paint(HWND window, StaticState* s, HDC target) {
  RECT client;
  GetClientRect(window, &client);
  if (s->dib != nullptr) {
    // Device-independent bitmaps go straight to the window: the background around the
    // picture first, then the picture, so nothing is drawn twice.
    const UiRect framed = DecodeStaticStyle(Style(window)).frame
                              ? UiRect{client.left + 1, client.top + 1, client.right - 1,
                                       client.bottom - 1}
                              : ToUi(client);
    const int height = std::abs(s->dib->biHeight);
    const UiRect r = PlaceStaticPicture(Style(window), true, framed, s->dib->biWidth, height);
    const int saved = SaveDC(target);
    ExcludeClipRect(target, r.left, r.top, r.right, r.bottom);
    PaintBackground(target, window, client);
    RestoreDC(target, saved);
    DrawDib(s, target, r);
    if (!IsWindowEnabled(window)) GreyOut(target, r);
    return;
  }
  OffscreenDC off(target, client);
  HDC dc = off.dc();
  const UiRect content = PaintBackground(dc, window, client);
  if (s->bitmap != nullptr) {
    DrawBitmap(dc, window, s->bitmap, content);
  } else {
    PaintText(dc, window, s, content);
  }
}

void Destroy(StaticState* s) {
  if (s->bitmap != nullptr) DeleteObject(s->bitmap);
  if (s->fontOwned && s->font != nullptr) DeleteObject(s->font);
  FreeDib(s);
  if (s->drawDib != nullptr) DrawDibClose(s->drawDib);
  std::free(s);
}

}  // namespace

bool CreateCheckerBrush() {
  static const WORD kPattern[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
  HBITMAP pattern = CreateBitmap(8, 8, 1, 1, kPattern);
  if (pattern == nullptr) return false;
  g_checker = CreatePatternBrush(pattern);
  DeleteObject(pattern);  // the brush keeps its own copy
  return g_checker != nullptr;
}

void DeleteCheckerBrush() {
  if (g_checker != nullptr) DeleteObject(g_checker);
  g_checker = nullptr;
}

HBRUSH CheckerBrush() { return g_checker; }

LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  StaticState* s = State(window);
  switch (message) {
    case WM_CREATE: {
      s = static_cast<StaticState*>(std::calloc(1, sizeof(StaticState)));
      if (s == nullptr) return -1;
      s->window = window;
      SetWindowLongPtrA(window, kStateSlot, reinterpret_cast<LONG_PTR>(s));
      SetFont(window, s, nullptr);
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      if (create->lpszName != nullptr && !IS_INTRESOURCE(create->lpszName) &&
          create->lpszName[0] == '#') {
        SetBitmap(window, s, LoadBitmapResource(WindowModule(window), create->lpszName + 1));
      }
      return 0;
    }
    case WM_NCDESTROY:
      if (s != nullptr) Destroy(s);
      SetWindowLongPtrA(window, kStateSlot, 0);
      break;
    case WM_ERASEBKGND:
      return 1;  // painted whole in WM_PAINT
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (s == nullptr) break;
      return PaintMessage(window, message, wParam, [&](HDC dc) { Paint(window, s, dc); });
    }
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
      const auto* text = reinterpret_cast<const char*>(lParam);
      if (s != nullptr && text != nullptr && text[0] == '#') {
        SetBitmap(window, s, LoadBitmapResource(WindowModule(window), text + 1));
      }
      InvalidateRect(window, nullptr, FALSE);
      return result;
    }
    case WM_ENABLE:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_SETFONT:
      if (s == nullptr) break;
      SetFont(window, s, reinterpret_cast<HFONT>(wParam));
      if (LOWORD(lParam) != 0) InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return s != nullptr ? reinterpret_cast<LRESULT>(s->font) : 0;
    case STM_SETBITMAPRES: {
      if (s == nullptr) return 0;
      HINSTANCE module = wParam != 0 ? reinterpret_cast<HINSTANCE>(wParam)
                                     : WindowModule(window);
      HBITMAP bitmap = nullptr;
      if (lParam != 0) {
        const auto* name = reinterpret_cast<const char*>(lParam);
        bitmap = static_cast<HBITMAP>(LoadImageA(module, name, IMAGE_BITMAP, 0, 0,
                                                 LR_CREATEDIBSECTION));
      }
      return SetBitmap(window, s, bitmap) ? 1 : 0;
    }
    case STM_SETBITMAPHANDLE:
      return s != nullptr && SetBitmap(window, s, reinterpret_cast<HBITMAP>(lParam)) ? 1 : 0;
    case STM_SETDIB:
      return s != nullptr &&
                     SetDib(window, s, reinterpret_cast<const BITMAPINFOHEADER*>(lParam))
                 ? 1
                 : 0;
    case WM_NCHITTEST:
      return (Style(window) & kStaticMouse) != 0 ? HTCLIENT : HTTRANSPARENT;
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_SETCURSOR:
      if ((Style(window) & kStaticLink) != 0) {
        HCURSOR hand = LoadCursorA(UiModule(), MAKEINTRESOURCEA(kHandCursor));
        SetCursor(hand != nullptr ? hand : LoadCursorA(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      if ((Style(window) & kStaticLink) != 0) {
        NMHDR note{};
        note.hwndFrom = window;
        note.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(window));
        note.code = kLinkClicked;
        SendMessageA(GetParent(window), WM_NOTIFY, note.idFrom, reinterpret_cast<LPARAM>(&note));
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace mw::ui
