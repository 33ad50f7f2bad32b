// The filter's own copy of the negotiated wave format and the test of proposed media types.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/frame/guid.h"
#include "core/frame/hresult.h"
#include "core/frame/sample_format.h"

namespace mw {

// The wave format as kept by a filter, with the fields of the 18-byte WAVEFORMATEX layout.
struct EffectFormat {
  std::uint16_t wFormatTag = 0;
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;
  std::uint16_t wBitsPerSample = 0;
  std::uint16_t cbSize = 0;

  static constexpr std::size_t kBytes = 18;

  // Builds the copy from a format block of at least 16 bytes: block alignment and byte
  // rate are recomputed from bits, channels and rate, and cbSize is 0. An extensible block
  // is kept under the plain tag of its sample encoding.
  static EffectFormat FromFormatBlock(const std::uint8_t* block, std::uint32_t bytes = 16);
  // A format for direct float processing.
  static EffectFormat Float32(std::uint16_t channels, std::uint32_t rate);

  void ToBytes(std::uint8_t out[kBytes]) const;
  // The accepted sample format; false when the fields name none of the five.
  bool Sample(SampleFormat* out) const {
    return SampleFormatOf(wFormatTag, wBitsPerSample, out);
  }
};

// {73647561-0000-0010-8000-00AA00389B71}
constexpr Guid kMediaTypeAudio = {0x73647561, 0x0000, 0x0010,
                                  {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// The parts of a proposed media type that the input test looks at.
struct ProposedMediaType {
  Guid majorType{};
  bool temporalCompression = false;
  const std::uint8_t* formatBlock = nullptr;
  std::uint32_t formatBytes = 0;
};

// S_OK for an accepted type, E_INVALIDARG otherwise (every filter uses the same test).
HResult CheckInputType(const ProposedMediaType& type);

constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

// The format tag that a block's samples are stored under: the block's own, or for an
// extensible block naming integer PCM or IEEE float with all its bits valid, 1 or 3
// (0 for any other extensible block).
std::uint16_t EffectiveFormatTag(const std::uint8_t* block, std::uint32_t bytes);

}  // namespace mw
