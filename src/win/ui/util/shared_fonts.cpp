#include "win/ui/util/shared_fonts.h"

#include <cstdlib>
#include <mutex>

namespace mw::ui {
namespace {

struct FontDescription {
  int id;
  const char* face;
  int points;
  const char* fallbackFace;  // used when the font would be taller than `fallbackAbove` pixels
  int fallbackAbove;
  int weight;
  int escapement;
};

constexpr FontDescription kFonts[] = {
    {kFontBannerCaption, "Helv", 8, nullptr, 0, FW_BOLD, 0},
    {kFontBannerItems, "Small Fonts", 7, "Helv", 9, FW_NORMAL, 0},
};
constexpr int kFontCount = sizeof kFonts / sizeof kFonts[0];
constexpr int kNonClientCount = kFontNonClientLast - kFontNonClientFirst + 1;

std::mutex g_lock;
HFONT g_tableFonts[kFontCount] = {};
HFONT g_nonClientFonts[kNonClientCount] = {};

HFONT StockFont(int id) { return static_cast<HFONT>(GetStockObject(id)); }

BYTE UserCharset() {
  char codePage[8];
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, codePage,
                     sizeof codePage) > 0) {
    CHARSETINFO info{};
    const UINT_PTR cp = static_cast<UINT_PTR>(std::atoi(codePage));
    if (TranslateCharsetInfo(reinterpret_cast<DWORD*>(cp), &info, TCI_SRCCODEPAGE)) {
      return static_cast<BYTE>(info.ciCharset);
    }
  }
  return DEFAULT_CHARSET;
}

HFONT CreateTableFont(const FontDescription& d) {
  HDC screen = GetDC(nullptr);
  const int resolution = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  const int pixels = d.points * resolution / 72;
  const char* face = d.fallbackFace != nullptr && pixels > d.fallbackAbove ? d.fallbackFace
                                                                           : d.face;
  LOGFONTA font{};
  font.lfHeight = -pixels;
  font.lfWeight = d.weight;
  font.lfEscapement = font.lfOrientation = d.escapement;
  font.lfCharSet = UserCharset();
  font.lfOutPrecision = OUT_TT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = PROOF_QUALITY;
  font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
  return CreateFontIndirectA(&font);
}

HFONT CreateNonClientFont(int id) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return nullptr;
  }
  const LOGFONTA* fonts[kNonClientCount] = {&metrics.lfCaptionFont, &metrics.lfSmCaptionFont,
                                            &metrics.lfMenuFont, &metrics.lfStatusFont,
                                            &metrics.lfMessageFont};
  return CreateFontIndirectA(fonts[id - kFontNonClientFirst]);
}

}  // namespace

HFONT GetSharedFont(int id) {
  if ((id >= OEM_FIXED_FONT && id <= DEVICE_DEFAULT_FONT) || id == SYSTEM_FIXED_FONT ||
      id == DEFAULT_GUI_FONT) {
    return StockFont(id);
  }
  std::lock_guard<std::mutex> hold(g_lock);
  HFONT* slot = nullptr;
  if (id >= kFontNonClientFirst && id <= kFontNonClientLast) {
    slot = &g_nonClientFonts[id - kFontNonClientFirst];
    if (*slot == nullptr) *slot = CreateNonClientFont(id);
  } else {
    for (int i = 0; i < kFontCount; ++i) {
      if (kFonts[i].id != id) continue;
      slot = &g_tableFonts[i];
      if (*slot == nullptr) *slot = CreateTableFont(kFonts[i]);
    }
  }
  if (slot == nullptr) return StockFont(SYSTEM_FONT);
  return *slot != nullptr ? *slot : StockFont(DEFAULT_GUI_FONT);
}

void ReleaseSharedFonts() {
  std::lock_guard<std::mutex> hold(g_lock);
  for (HFONT& f : g_tableFonts) {
    if (f != nullptr) DeleteObject(f);
    f = nullptr;
  }
  for (HFONT& f : g_nonClientFonts) {
    if (f != nullptr) DeleteObject(f);
    f = nullptr;
  }
}

}  // namespace mw::ui
