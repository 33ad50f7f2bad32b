#include "core/ui/colors.h"

#include <algorithm>

namespace mw {
namespace {

constexpr int kHlsMax = 240;
constexpr int kRgbMax = 255;

// System colour indexes used by the table.
constexpr int kSysWindow = 5;
constexpr int kSysWindowText = 8;
constexpr int kSysButtonFace = 15;
constexpr int kSysButtonShadow = 16;
constexpr int kSysGrayText = 17;
constexpr int kSysButtonText = 18;
constexpr int kSysHighlight = 13;
constexpr int kSysButtonHighlight = 20;

struct Entry {
  int index;
  std::uint32_t normal;
  std::uint32_t alternative;
};

// Entries not listed are the button face, avoiding dithered greys.
constexpr Entry kTable[] = {
    {100, SystemColourRef(kSysWindow), SystemColourRef(kSysButtonFace)},
    {101, SystemColourRef(kSysWindowText), SystemColourRef(kSysGrayText)},
    {102, SolidSystemColourRef(kSysButtonFace), SolidSystemColourRef(kSysButtonFace)},
    {103, SystemColourRef(kSysButtonText), SystemColourRef(kSysGrayText)},
    {104, SystemColourRef(kSysButtonShadow), SystemColourRef(kSysButtonShadow)},
    {105, SystemColourRef(kSysButtonHighlight), SystemColourRef(kSysButtonHighlight)},
    {106, SystemColourRef(kSysHighlight), SystemColourRef(kSysGrayText)},
    // Banner colours: the dark strip, its text and a highlighted item.
    {110, Rgb(100, 100, 100), Rgb(128, 128, 128)},
    {111, Rgb(220, 220, 220), Rgb(192, 192, 192)},
    {112, Rgb(255, 255, 255), Rgb(220, 220, 220)},
    // Level displays: the scale, its marks and the area above 0 dB.
    {120, Rgb(40, 48, 64), Rgb(128, 128, 128)},
    {121, Rgb(96, 104, 120), Rgb(160, 160, 160)},
    {122, Rgb(208, 64, 48), Rgb(160, 128, 128)},
    // The Multi-Tap graph: the echo pattern, the taps and the current tap.
    {138, Rgb(120, 146, 188), Rgb(176, 182, 192)},
    {139, Rgb(48, 64, 96), Rgb(128, 128, 128)},
    {140, Rgb(24, 132, 72), Rgb(136, 152, 144)},
    {141, Rgb(214, 48, 40), Rgb(168, 136, 136)},
};

int HueToRgb(int n1, int n2, int hue) {
  if (hue < 0) hue += kHlsMax;
  if (hue > kHlsMax) hue -= kHlsMax;
  if (hue < kHlsMax / 6) return n1 + ((n2 - n1) * hue + kHlsMax / 12) / (kHlsMax / 6);
  if (hue < kHlsMax / 2) return n2;
  if (hue < kHlsMax * 2 / 3) {
    return n1 + ((n2 - n1) * (kHlsMax * 2 / 3 - hue) + kHlsMax / 12) / (kHlsMax / 6);
  }
  return n1;
}

}  // namespace

Hls RgbToHls(Colour colour) {
  const int r = static_cast<int>(colour & 0xFF);
  const int g = static_cast<int>((colour >> 8) & 0xFF);
  const int b = static_cast<int>((colour >> 16) & 0xFF);
  const int high = std::max({r, g, b});
  const int low = std::min({r, g, b});
  Hls hls;
  hls.lightness = ((high + low) * kHlsMax + kRgbMax) / (2 * kRgbMax);
  if (high == low) {
    hls.hue = kHlsMax * 2 / 3;  // undefined for greys; the platform's convention
    return hls;
  }
  const int spread = high - low;
  if (hls.lightness <= kHlsMax / 2) {
    hls.saturation = (spread * kHlsMax + (high + low) / 2) / (high + low);
  } else {
    hls.saturation = (spread * kHlsMax + (2 * kRgbMax - high - low) / 2) /
                     (2 * kRgbMax - high - low);
  }
  const int rd = ((high - r) * (kHlsMax / 6) + spread / 2) / spread;
  const int gd = ((high - g) * (kHlsMax / 6) + spread / 2) / spread;
  const int bd = ((high - b) * (kHlsMax / 6) + spread / 2) / spread;
  int hue;
  if (r == high) {
    hue = bd - gd;
  } else if (g == high) {
    hue = kHlsMax / 3 + rd - bd;
  } else {
    hue = kHlsMax * 2 / 3 + gd - rd;
  }
  if (hue < 0) hue += kHlsMax;
  if (hue > kHlsMax) hue -= kHlsMax;
  hls.hue = hue;
  return hls;
}

Colour HlsToRgb(const Hls& hls) {
  const int l = std::clamp(hls.lightness, 0, kHlsMax);
  const int s = std::clamp(hls.saturation, 0, kHlsMax);
  if (s == 0) {
    const int v = (l * kRgbMax + kHlsMax / 2) / kHlsMax;
    return Rgb(v, v, v);
  }
  const int n2 = l <= kHlsMax / 2 ? (l * (kHlsMax + s) + kHlsMax / 2) / kHlsMax
                                  : l + s - (l * s + kHlsMax / 2) / kHlsMax;
  const int n1 = 2 * l - n2;
  const auto channel = [&](int hue) {
    return std::clamp((HueToRgb(n1, n2, hue) * kRgbMax + kHlsMax / 2) / kHlsMax, 0, kRgbMax);
  };
  return Rgb(channel(hls.hue + kHlsMax / 3), channel(hls.hue), channel(hls.hue - kHlsMax / 3));
}

Colour AvoidDitheredGrey(Colour colour) {
  Hls hls = RgbToHls(colour);
  if (hls.saturation >= 20 || hls.lightness < 91 || hls.lightness > 149) return colour;
  hls.lightness = hls.lightness > 120 ? 150 : 90;
  return HlsToRgb(hls);
}

std::uint32_t ModuleColourEntry(int index, bool alternative) {
  if (index < 100 || index > 155) return 0;
  for (const Entry& e : kTable) {
    if (e.index == index) return alternative ? e.alternative : e.normal;
  }
  return SolidSystemColourRef(kSysButtonFace);
}

Colour ResolveSysColourEx(int index, SystemColourFn system, void* context,
                          bool lowColourDisplay) {
  if (index < -155 || index > 155) return kNoColour;
  const bool alternative = index < 0;
  if (alternative) index = -index;
  if (index <= 99) return system(index, context);
  const std::uint32_t entry = ModuleColourEntry(index, alternative);
  switch (entry >> 24) {
    case 4:
      return system(static_cast<int>(entry & 0xFFFF), context);
    case 5: {
      const Colour c = system(static_cast<int>(entry & 0xFFFF), context);
      return lowColourDisplay && c != kNoColour ? AvoidDitheredGrey(c) : c;
    }
    default:
      return entry & 0x00FFFFFFu;
  }
}

}  // namespace mw
