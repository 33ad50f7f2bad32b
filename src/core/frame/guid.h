// A 128-bit identifier in its standard binary layout (u32, u16, u16, 8 bytes).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace mw {

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];

  friend bool operator==(const Guid& a, const Guid& b) {
    return std::memcmp(&a, &b, sizeof(Guid)) == 0;
  }
  friend bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }
};
static_assert(sizeof(Guid) == 16, "Guid must match the 16-byte binary layout");

// The 16 bytes as stored in a record or a media type block (little-endian fields).
void GuidToBytes(const Guid& g, std::uint8_t out[16]);
Guid GuidFromBytes(const std::uint8_t in[16]);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with upper-case hexadecimal digits.
std::string GuidToRegistryString(const Guid& g);

}  // namespace mw
