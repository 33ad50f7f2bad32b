// Pictures as PNG files: 8-bit RGB, the image data in stored (uncompressed) deflate blocks.
// Large, but simple and exact; the pictures are of settings pages and small controls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mwfx {

// `pixels` are 0x00RRGGBB, row by row from the top, `width` * `height` of them.
std::vector<unsigned char> EncodePng(int width, int height, const std::uint32_t* pixels);

// Writes the file; false when it cannot be written completely.
bool WritePng(const std::string& path, int width, int height, const std::uint32_t* pixels);

}  // namespace mwfx
