#include "core/frame/guid.h"

#include <cstdio>

#include "core/frame/le_bytes.h"

namespace mw {

void GuidToBytes(const Guid& g, std::uint8_t out[16]) {
  PutLe32(out, g.data1);
  PutLe16(out + 4, g.data2);
  PutLe16(out + 6, g.data3);
  std::memcpy(out + 8, g.data4, 8);
}

Guid GuidFromBytes(const std::uint8_t in[16]) {
  Guid g;
  g.data1 = GetLe32(in);
  g.data2 = GetLe16(in + 4);
  g.data3 = GetLe16(in + 6);
  std::memcpy(g.data4, in + 8, 8);
  return g;
}

std::string GuidToRegistryString(const Guid& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1],
                g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return buf;
}

}  // namespace mw
