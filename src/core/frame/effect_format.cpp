#include "core/frame/effect_format.h"

#include <cstring>

#include "core/frame/le_bytes.h"

namespace mw {

bool SampleFormatOf(std::uint16_t formatTag, std::uint16_t bitsPerSample, SampleFormat* out) {
  if (formatTag == kWaveFormatPcm) {
    switch (bitsPerSample) {
      case 8: *out = SampleFormat::Pcm8; return true;
      case 16: *out = SampleFormat::Pcm16; return true;
      case 32: *out = SampleFormat::Pcm32; return true;
      default: return false;
    }
  }
  if (formatTag == kWaveFormatIeeeFloat) {
    switch (bitsPerSample) {
      case 32: *out = SampleFormat::Float32; return true;
      case 64: *out = SampleFormat::Float64; return true;
      default: return false;
    }
  }
  return false;
}

const char* SampleFormatName(SampleFormat f) {
  switch (f) {
    case SampleFormat::Pcm8: return "8-bit unsigned PCM";
    case SampleFormat::Pcm16: return "16-bit PCM";
    case SampleFormat::Pcm32: return "32-bit PCM";
    case SampleFormat::Float32: return "32-bit float";
    case SampleFormat::Float64: return "64-bit float";
  }
  return "?";
}

std::uint16_t EffectiveFormatTag(const std::uint8_t* b, std::uint32_t bytes) {
  const std::uint16_t tag = GetLe16(b);
  if (tag != kWaveFormatExtensible) return tag;
  // WAVEFORMATEXTENSIBLE: cbSize at 16 (at least 22), valid bits at 18, the sub-format
  // GUID at 24, which for these encodings is the plain tag within the audio base GUID.
  if (bytes < 40 || GetLe16(b + 16) < 22 || GetLe16(b + 18) != GetLe16(b + 14)) return 0;
  static const std::uint8_t kBaseTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                             0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  const std::uint32_t sub = GetLe32(b + 24);
  if (std::memcmp(b + 28, kBaseTail, sizeof kBaseTail) != 0) return 0;
  if (sub == kWaveFormatPcm || sub == kWaveFormatIeeeFloat) return static_cast<std::uint16_t>(sub);
  return 0;
}

EffectFormat EffectFormat::FromFormatBlock(const std::uint8_t* b, std::uint32_t bytes) {
  EffectFormat f;
  f.wFormatTag = EffectiveFormatTag(b, bytes);
  f.nChannels = GetLe16(b + 2);
  f.nSamplesPerSec = GetLe32(b + 4);
  f.wBitsPerSample = GetLe16(b + 14);
  f.nBlockAlign = static_cast<std::uint16_t>((f.wBitsPerSample / 8) * f.nChannels);
  f.nAvgBytesPerSec = static_cast<std::uint32_t>(f.nBlockAlign) * f.nSamplesPerSec;
  f.cbSize = 0;
  return f;
}

EffectFormat EffectFormat::Float32(std::uint16_t channels, std::uint32_t rate) {
  EffectFormat f;
  f.wFormatTag = kWaveFormatIeeeFloat;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.wBitsPerSample = 32;
  f.nBlockAlign = static_cast<std::uint16_t>(4 * channels);
  f.nAvgBytesPerSec = static_cast<std::uint32_t>(f.nBlockAlign) * rate;
  f.cbSize = 0;
  return f;
}

void EffectFormat::ToBytes(std::uint8_t out[kBytes]) const {
  PutLe16(out, wFormatTag);
  PutLe16(out + 2, nChannels);
  PutLe32(out + 4, nSamplesPerSec);
  PutLe32(out + 8, nAvgBytesPerSec);
  PutLe16(out + 12, nBlockAlign);
  PutLe16(out + 14, wBitsPerSample);
  PutLe16(out + 16, cbSize);
}

HResult CheckInputType(const ProposedMediaType& type) {
  if (type.majorType != kMediaTypeAudio) return E_INVALIDARG;
  if (type.temporalCompression) return E_INVALIDARG;
  if (type.formatBytes < 16 || type.formatBlock == nullptr) return E_INVALIDARG;
  const std::uint16_t channels = GetLe16(type.formatBlock + 2);
  if (channels != 1 && channels != 2) return E_INVALIDARG;
  SampleFormat f;
  if (!SampleFormatOf(EffectiveFormatTag(type.formatBlock, type.formatBytes),
                      GetLe16(type.formatBlock + 14), &f)) {
    return E_INVALIDARG;
  }
  return S_OK;
}

}  // namespace mw
