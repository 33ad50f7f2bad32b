// The extended colour indexes of the controls and pages: 0 to 99 are the platform's system
// colours, 100 to 155 the module's own table, whose entries are colours or references to
// system colours. The platform's colours come in through a callback, so the rules run and
// are tested anywhere.
#pragma once

#include <cstdint>

namespace mw {

// 0x00BBGGRR, as the platform spells colours.
using Colour = std::uint32_t;
constexpr Colour kNoColour = 0xFFFFFFFFu;  // an index out of range

constexpr Colour Rgb(int r, int g, int b) {
  return static_cast<Colour>(r & 0xFF) | (static_cast<Colour>(g & 0xFF) << 8) |
         (static_cast<Colour>(b & 0xFF) << 16);
}

// Hue, lightness and saturation on a 0 to 240 scale.
struct Hls {
  int hue = 0;
  int lightness = 0;
  int saturation = 0;
};
Hls RgbToHls(Colour colour);
Colour HlsToRgb(const Hls& hls);

// On displays of 256 colours or fewer, a near-grey of medium lightness (saturation below 20,
// lightness 91 to 149) would dither: it moves to lightness 150 (from above 120) or 90.
Colour AvoidDitheredGrey(Colour colour);

// Module table entries: a colour (high byte 0), or a reference in the low bytes to a system
// colour (high byte 4), or to a system colour that avoids dithered greys (high byte 5).
constexpr std::uint32_t SystemColourRef(int index) { return 0x04000000u | (index & 0xFFFF); }
constexpr std::uint32_t SolidSystemColourRef(int index) {
  return 0x05000000u | (index & 0xFFFF);
}
// The entry of the module table for 100 to 155 (the alternative table for a disabled look
// when `alternative`); 0 outside.
std::uint32_t ModuleColourEntry(int index, bool alternative);

// Named entries the pages use.
enum ModuleColourIndex : int {
  kColourEchoPattern = 138,  // the Multi-Tap graph's echo pattern
  kColourTap = 140,          // its taps
  kColourCurrentTap = 141,   // its current tap
};

using SystemColourFn = Colour (*)(int index, void* context);

// The colour of an extended index: negative indexes use their magnitude with the alternative
// table; kNoColour for an index out of range. `lowColourDisplay`: 256 colours or fewer.
Colour ResolveSysColourEx(int index, SystemColourFn system, void* context,
                          bool lowColourDisplay);

}  // namespace mw
