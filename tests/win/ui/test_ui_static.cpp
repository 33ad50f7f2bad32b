// The static control from the module's class: text styles, the link, bitmaps and
// device-independent bitmaps, checked on the pictures the screen shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/ui/static_layout.h"
#include "ui_harness.h"

namespace uitest {
namespace {

constexpr char kStaticClass[] = "MwPpack1Bld211_Static_Class";
constexpr UINT STM_SETBITMAPRES = 0x60A;
constexpr UINT STM_SETBITMAPHANDLE = 0x60B;
constexpr UINT STM_SETDIB = 0x60C;
constexpr std::uint32_t kBlue = Rgb(0, 0, 255);
constexpr std::uint32_t kRed = Rgb(255, 0, 0);

// A packed 8-bit device-independent bitmap: the left half colour 0 (red), the right half
// colour 1 (blue).
std::vector<unsigned char> TwoColourDib(int width, int height) {
  const int stride = (width + 3) & ~3;
  std::vector<unsigned char> dib(sizeof(BITMAPINFOHEADER) + 2 * 4 + stride * height);
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(dib.data());
  h->biSize = sizeof *h;
  h->biWidth = width;
  h->biHeight = height;
  h->biPlanes = 1;
  h->biBitCount = 8;
  h->biCompression = BI_RGB;
  h->biClrUsed = 2;
  const unsigned char palette[8] = {0, 0, 255, 0, 255, 0, 0, 0};  // red, blue (BGR0)
  std::copy(palette, palette + 8, dib.begin() + sizeof *h);
  unsigned char* bits = dib.data() + sizeof *h + 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bits[y * stride + x] = x < width / 2 ? 0 : 1;
  }
  return dib;
}

// A 24 x 24 bitmap: a blue disc on magenta, whose every blue pixel is counted.
constexpr int kBadge = 24;
int kBadgeInkPixels = 0;
HBITMAP BadgeOnMagenta() {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kBadge;
  info.bmiHeader.biHeight = -kBadge;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* pixels = static_cast<std::uint32_t*>(bits);
  kBadgeInkPixels = 0;
  for (int y = 0; y < kBadge; ++y) {
    for (int x = 0; x < kBadge; ++x) {
      const int dx = 2 * x - kBadge + 1;
      const int dy = 2 * y - kBadge + 1;
      const bool disc = dx * dx + dy * dy <= 20 * 20;
      pixels[y * kBadge + x] = disc ? Rgb(40, 110, 200) : Rgb(255, 0, 255);
      kBadgeInkPixels += disc ? 1 : 0;
    }
  }
  return bitmap;
}

// A packed 24-bit device-independent bitmap: a dusk sky (blue to orange from top to bottom,
// lighter to the right) with a pale sun.
std::vector<unsigned char> SkyDib(int width, int height) {
  const int stride = (width * 3 + 3) & ~3;
  std::vector<unsigned char> dib(sizeof(BITMAPINFOHEADER) + stride * height);
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(dib.data());
  h->biSize = sizeof *h;
  h->biWidth = width;
  h->biHeight = -height;  // top-down
  h->biPlanes = 1;
  h->biBitCount = 24;
  h->biCompression = BI_RGB;
  unsigned char* bits = dib.data() + sizeof *h;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double t = static_cast<double>(y) / (height - 1);
      const double u = static_cast<double>(x) / (width - 1);
      double r = 30 + 220 * t * t + 20 * u;
      double g = 50 + 110 * t + 20 * u;
      double b = 140 - 90 * t + 20 * u;
      const double dx = x - width * 0.68;
      const double dy = y - height * 0.62;
      const double sun = 1.0 - (dx * dx + dy * dy) / (height * height * 0.04);
      if (sun > 0) {
        r += (255 - r) * std::min(1.0, sun * 3);
        g += (240 - g) * std::min(1.0, sun * 3);
        b += (200 - b) * std::min(1.0, sun * 3);
      }
      unsigned char* p = bits + y * stride + x * 3;
      p[0] = static_cast<unsigned char>(std::min(b, 255.0));
      p[1] = static_cast<unsigned char>(std::min(g, 255.0));
      p[2] = static_cast<unsigned char>(std::min(r, 255.0));
    }
  }
  return dib;
}

class Static : public ModuleSuite {
 protected:
  void SetUp() override {
    ModuleSuite::SetUp();
    if (HasFatalFailure()) return;
    host_ = std::make_unique<Host>(460, 250, "Static controls");
  }
  HWND Add(const char* text, DWORD style, int x, int y, int width, int height, int id = 100) {
    HWND w = host_->Add(kStaticClass, text, style, x, y, width, height, id, Module());
    SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    return w;
  }
  std::unique_ptr<Host> host_;
};

bool Dark(std::uint32_t p) { return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 300; }

// The longest run of pixels of one colour in a row.
int LongestRun(const Picture& p, std::uint32_t colour) {
  int best = 0;
  for (int y = 0; y < p.height; ++y) {
    int run = 0;
    for (int x = 0; x < p.width; ++x) {
      run = p.At(x, y) == colour ? run + 1 : 0;
      best = std::max(best, run);
    }
  }
  return best;
}

TEST_F(Static, TextStylesLinkAndEllipsis) {
  const char* kLong = "A single line far too long to fit in its box";
  HWND wrapped = Add("Left-aligned text that wraps onto a second line.", 0, 10, 10, 200, 34);
  HWND centred = Add("Centred text", 1, 10, 50, 200, 18);
  HWND right = Add("Right-aligned text", 2, 10, 72, 200, 18);
  HWND framed = Add("Framed text", 4, 10, 94, 200, 20);
  HWND cut = Add(kLong, 0x1000 | 0x0100 | 12, 10, 120, 150, 18);
  HWND uncut = Add(kLong, 0x0100 | 12, 10, 142, 150, 18);
  HWND link = Add("marrowind.example", 0x0050, 10, 166, 200, 18, 123);
  HWND disabled = Add("Disabled text", WS_DISABLED, 10, 190, 200, 18);
  Park();
  host_->Settle();
  const Picture all = Capture(host_->window());
  SavePng(all, "static_text_styles");

  // Only the link is blue, and it is underlined: a long run of blue in one row.
  const Picture linkPixels = Capture(link);
  EXPECT_GT(linkPixels.Count([](std::uint32_t p) { return p == kBlue; }), 40);
  EXPECT_GE(LongestRun(linkPixels, kBlue), 60);
  for (HWND w : {wrapped, centred, right, framed, cut, disabled}) {
    EXPECT_EQ(Capture(w).Count([](std::uint32_t p) { return p == kBlue; }), 0);
  }
  // The underlined font is the link's own copy of the one it was given.
  auto* kept = reinterpret_cast<HFONT>(SendMessageA(link, WM_GETFONT, 0, 0));
  ASSERT_NE(kept, nullptr);
  EXPECT_NE(kept, GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTA font{};
  ASSERT_NE(GetObjectA(kept, sizeof font, &font), 0);
  EXPECT_TRUE(font.lfUnderline);
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(centred, WM_GETFONT, 0, 0)),
            GetStockObject(DEFAULT_GUI_FONT));

  // Alignment: where the ink starts and ends in each box.
  const auto inkColumns = [](const Picture& p, int* first, int* last) {
    *first = p.width;
    *last = -1;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        if (Dark(p.At(x, y))) {
          *first = std::min(*first, x);
          *last = std::max(*last, x);
        }
      }
    }
  };
  // The text box is the control less 2 pixels at each side; the ink starts about where the
  // text's advance puts it.
  const auto textWidth = [](const char* text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE size{};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    return static_cast<int>(size.cx);
  };
  int first = 0;
  int last = 0;
  inkColumns(Capture(centred), &first, &last);
  EXPECT_NEAR(first, 2 + (196 - textWidth("Centred text")) / 2, 2) << "centred";
  inkColumns(Capture(right), &first, &last);
  EXPECT_NEAR(first, 198 - textWidth("Right-aligned text"), 2) << "right-aligned";
  inkColumns(Capture(wrapped), &first, &last);
  EXPECT_NEAR(first, 2, 2) << "left-aligned";
  // The frame: the window-frame colour all around.
  const Picture frame = Capture(framed);
  const std::uint32_t frameColour = FromColorRef(GetSysColor(COLOR_WINDOWFRAME));
  for (int x = 0; x < frame.width; ++x) {
    EXPECT_EQ(frame.At(x, 0), frameColour);
    EXPECT_EQ(frame.At(x, frame.height - 1), frameColour);
  }
  // Both stay inside the text box; the shortened one ends in dots where the other goes on.
  const Picture shortened = Capture(cut);
  const Picture clipped = Capture(uncut);
  inkColumns(shortened, &first, &last);
  EXPECT_LE(last, 150 - 2);
  const int dotsFrom = last - textWidth("...") + 2;
  EXPECT_GT(CountDifferent(shortened.Crop({dotsFrom, 0, 150, 18}),
                           clipped.Crop({dotsFrom, 0, 150, 18})), 5);
  EXPECT_EQ(CountDifferent(shortened.Crop({0, 0, 40, 18}), clipped.Crop({0, 0, 40, 18})), 0);
  // Disabled text is drawn, but not in the text colour.
  const Picture grey = Capture(disabled);
  EXPECT_GT(grey.Count([](std::uint32_t p) { return p == FromColorRef(GetSysColor(COLOR_GRAYTEXT)); }),
            20);
  EXPECT_EQ(grey.Count([](std::uint32_t p) { return p == Rgb(0, 0, 0); }), 0);
}

TEST_F(Static, LinkPressNotifiesWithTheHandCursor) {
  HWND link = Add("marrowind.example", 0x0050, 10, 10, 200, 18, 123);
  HWND plain = Add("Plain text", 0, 10, 40, 200, 18, 124);
  host_->Settle();
  MoveTo(Host::OnScreen(link, 20, 9));
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;
  ASSERT_TRUE(GetCursorInfo(&cursor));
  EXPECT_EQ(cursor.hCursor, LoadCursorA(Module(), MAKEINTRESOURCEA(4)));
  Press();
  Release();
  Pump(20);
  const auto notes = host_->NotesOf(WM_NOTIFY);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].code, static_cast<UINT>(-105));
  EXPECT_EQ(notes[0].from, link);
  EXPECT_EQ(notes[0].id, 123u);
  EXPECT_EQ(LOWORD(notes[0].wParam), 123);
  // A plain static is transparent to the mouse: a click on it reaches nothing of it.
  EXPECT_EQ(SendMessageA(plain, WM_NCHITTEST, 0, 0), HTTRANSPARENT);
  EXPECT_EQ(SendMessageA(link, WM_NCHITTEST, 0, 0), HTCLIENT);
  EXPECT_EQ(SendMessageA(plain, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
  ClickAt(Host::OnScreen(plain, 20, 9));
  EXPECT_EQ(host_->NotesOf(WM_NOTIFY).size(), 1u);
  Park();
}

TEST_F(Static, BitmapsOwnColoursMappedAndDisabled) {
  HWND own = Add("#5", 0x2000, 10, 10, 130, 30);
  HWND mapped = Add("", 0, 150, 10, 130, 30);
  HWND greyed = Add("#5", 0x2000 | WS_DISABLED, 290, 10, 130, 30);
  HWND stretched = Add("", 0x8000 | 0x2000, 10, 50, 238, 40);
  EXPECT_EQ(SendMessageA(mapped, STM_SETBITMAPHANDLE, 0,
                         reinterpret_cast<LPARAM>(BadgeOnMagenta())), 1);
  EXPECT_EQ(SendMessageA(stretched, STM_SETBITMAPRES, 0, reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(6))), 1);
  EXPECT_EQ(SendMessageA(stretched, STM_SETBITMAPRES, 0, reinterpret_cast<LPARAM>("nothing")), 0);
  EXPECT_EQ(SendMessageA(stretched, STM_SETBITMAPHANDLE, 0, 0), 0);
  EXPECT_EQ(SendMessageA(stretched, STM_SETBITMAPRES, 0, reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(6))), 1);
  Park();
  host_->Settle();
  SavePng(Capture(host_->window()), "static_bitmaps");

  // The picture at its own size, centred, pixel for pixel the resource's.
  HBITMAP source = static_cast<HBITMAP>(LoadImageA(Module(), MAKEINTRESOURCEA(5),
                                                   IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_NE(source, nullptr);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 119;
  info.bmiHeader.biHeight = -20;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<std::uint32_t> expected(119 * 20);
  HDC screen = GetDC(nullptr);
  ASSERT_EQ(GetDIBits(screen, source, 0, 20, expected.data(), &info, DIB_RGB_COLORS), 20);
  ReleaseDC(nullptr, screen);
  DeleteObject(source);
  const RECT at{(130 - 119) / 2, (30 - 20) / 2, (130 - 119) / 2 + 119, (30 - 20) / 2 + 20};
  const Picture shown = Capture(own).Crop(at);
  int same = 0;
  for (int i = 0; i < 119 * 20; ++i) same += (expected[i] & 0xFFFFFF) == shown.pixels[i] ? 1 : 0;
  EXPECT_EQ(same, 119 * 20);

  // Without its own colours, the top-left pixel's colour (the magenta) becomes the button
  // face; the badge keeps its colours.
  const std::uint32_t face = FromColorRef(GetSysColor(COLOR_BTNFACE));
  const Picture map = Capture(mapped);
  EXPECT_EQ(map.Count([](std::uint32_t p) { return p == Rgb(255, 0, 255); }), 0);
  EXPECT_EQ(map.Count([](std::uint32_t p) { return p == Rgb(40, 110, 200); }),
            kBadgeInkPixels);
  EXPECT_EQ(map.Count([&](std::uint32_t p) { return p != face; }), kBadgeInkPixels);

  // Disabled: every other pixel greyed to the button face, the rest as enabled.
  const Picture grey = Capture(greyed).Crop(at);
  const int changed = CountDifferent(grey, shown);
  EXPECT_GT(changed, 119 * 20 * 4 / 10);
  EXPECT_LE(changed, 119 * 20 / 2);
  EXPECT_GE(grey.Count([&](std::uint32_t p) { return p == face; }), 119 * 20 / 2);

  // Stretched to fill the control: the highlighted picture over all of it.
  const Picture fill = Capture(stretched);
  EXPECT_EQ(fill.Count([&](std::uint32_t p) { return p == face; }), 0);
}

TEST_F(Static, DeviceIndependentBitmapPlacedAndCopied) {
  const std::vector<unsigned char> dib = TwoColourDib(40, 20);
  HWND fitted = Add("", 0x0020, 10, 10, 120, 60);
  HWND natural = Add("", 4, 140, 10, 120, 60);
  HWND greyed = Add("", 0x0020 | WS_DISABLED, 270, 10, 120, 60);
  for (HWND w : {fitted, natural, greyed}) {
    EXPECT_EQ(SendMessageA(w, STM_SETDIB, 0, reinterpret_cast<LPARAM>(dib.data())), 1);
  }
  // A larger true-colour picture shrunk to the control's width.
  const std::vector<unsigned char> sky = SkyDib(240, 120);
  HWND shrunk = Add("", 0x4000, 140, 80, 160, 100);
  EXPECT_EQ(SendMessageA(shrunk, STM_SETDIB, 0, reinterpret_cast<LPARAM>(sky.data())), 1);
  // Bad headers are refused without harm.
  std::vector<unsigned char> bad = dib;
  reinterpret_cast<BITMAPINFOHEADER*>(bad.data())->biSize = 12;
  HWND refused = Add("", 0, 10, 90, 60, 30);
  EXPECT_EQ(SendMessageA(refused, STM_SETDIB, 0, reinterpret_cast<LPARAM>(bad.data())), 0);
  reinterpret_cast<BITMAPINFOHEADER*>(bad.data())->biSize = 40;
  reinterpret_cast<BITMAPINFOHEADER*>(bad.data())->biWidth = -4;
  EXPECT_EQ(SendMessageA(refused, STM_SETDIB, 0, reinterpret_cast<LPARAM>(bad.data())), 0);
  EXPECT_EQ(SendMessageA(refused, STM_SETDIB, 0, 0), 0);
  // Sizes past what a control takes (4 GB of pixels; a claimed image size near 4 GB).
  BITMAPINFOHEADER huge = *reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
  huge.biWidth = huge.biHeight = 32768;
  huge.biBitCount = 32;
  huge.biClrUsed = 0;
  EXPECT_EQ(SendMessageA(refused, STM_SETDIB, 0, reinterpret_cast<LPARAM>(&huge)), 0);
  huge.biWidth = huge.biHeight = 4;
  huge.biSizeImage = 0xFFFFFFF0u;
  EXPECT_EQ(SendMessageA(refused, STM_SETDIB, 0, reinterpret_cast<LPARAM>(&huge)), 0);
  Park();
  host_->Settle();
  SavePng(Capture(host_->window()), "static_dib");

  // The fitted picture doubles (120 x 60 would be more than twice 40 x 20), centred.
  const mw::UiRect r = mw::PlaceStaticPicture(0x0020, true, {0, 0, 120, 60}, 40, 20);
  ASSERT_EQ(r.Width(), 80);
  const Picture fit = Capture(fitted);
  EXPECT_EQ(fit.At(r.left + 2, r.top + 2), kRed);
  EXPECT_EQ(fit.At(r.right - 3, r.bottom - 3), kBlue);
  EXPECT_NE(fit.At(r.left - 1, r.top + 5), kRed);
  EXPECT_NE(fit.At(r.right, r.top + 5), kBlue);
  EXPECT_EQ(fit.Count([](std::uint32_t p) { return p == kRed; }), 40 * 40);
  // Own size inside a frame.
  const Picture own = Capture(natural);
  EXPECT_EQ(own.Count([](std::uint32_t p) { return p == kBlue; }), 20 * 20);
  // Shrunk to 160 x 80, centred, with the picture's colours (a smooth gradient, not a few
  // flat ones).
  const Picture small = Capture(shrunk);
  const std::uint32_t face = FromColorRef(GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(small.At(80, 9), face);
  EXPECT_NE(small.At(80, 10), face);
  EXPECT_NE(small.At(80, 89), face);
  EXPECT_EQ(small.At(80, 90), face);
  std::vector<std::uint32_t> colours = small.pixels;
  std::sort(colours.begin(), colours.end());
  EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 500);
  // Disabled: greyed.
  const Picture grey = Capture(greyed);
  EXPECT_GT(CountDifferent(grey, fit), 80 * 40 * 4 / 10);
  EXPECT_LT(grey.Count([](std::uint32_t p) { return p == kRed; }), 40 * 40 * 6 / 10);
}

}  // namespace
}  // namespace uitest
