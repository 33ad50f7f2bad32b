#include "core/frame/format_pair.h"

#include "core/frame/le_bytes.h"

namespace mw {
namespace {

constexpr std::uint32_t kExtensibleBytes = 40;
constexpr std::uint16_t kExtensionBytes = 22;

bool Usable(const ProposedMediaType& t) {
  return t.majorType == kMediaTypeAudio && !t.temporalCompression &&
         t.formatBlock != nullptr && t.formatBytes >= 16;
}

}  // namespace

HResult CheckFormatPair(const ProposedMediaType& in, const ProposedMediaType& out) {
  if (!Usable(in) || !Usable(out)) return E_INVALIDARG;
  const std::uint8_t* a = in.formatBlock;
  const std::uint8_t* b = out.formatBlock;
  const std::uint16_t channels = ChannelsOf(a);
  if (GetLe16(a) != GetLe16(b) || GetLe16(a + 14) != GetLe16(b + 14) ||
      GetLe32(a + 4) != GetLe32(b + 4) || channels != ChannelsOf(b)) {
    return E_INVALIDARG;
  }
  return channels == 1 || channels == 2 ? S_OK : E_INVALIDARG;
}

void NormaliseFormatBlock(std::uint8_t* block, std::uint32_t bytes) {
  const std::uint16_t align = static_cast<std::uint16_t>((GetLe16(block + 14) / 8) * ChannelsOf(block));
  PutLe16(block + 12, align);
  PutLe32(block + 8, static_cast<std::uint32_t>(GetLe32(block + 4) * align));
  // cbSize is a 16-bit field: a 17-byte block has no room for it.
  if (bytes >= 18) {
    const bool extension = GetLe16(block) == kWaveFormatExtensible && bytes >= kExtensibleBytes;
    PutLe16(block + 16, extension ? kExtensionBytes : 0);
  }
}

std::uint16_t ChannelsOf(const std::uint8_t* block) { return GetLe16(block + 2); }

bool FollowsWhileStreaming(const EffectFormat& current, const EffectFormat& next) {
  return current.wFormatTag == next.wFormatTag && current.wBitsPerSample == next.wBitsPerSample &&
         current.nChannels == next.nChannels;
}

}  // namespace mw
