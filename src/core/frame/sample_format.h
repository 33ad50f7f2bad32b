// The five accepted sample encodings and the exact conversions between stored samples
// and the engines' double-precision working values.
//
// Decoding multiplies by a power of two, so it is exact. Encoding truncates toward zero
// and clips; clamping before the truncation gives the same code as truncating first and
// clipping after, and keeps every conversion to an integer inside the target's range.
// A NaN (only reachable through absurd gains) is stored as silence rather than as
// whatever an out-of-range conversion happens to produce.
#pragma once

#include <cstdint>

namespace mw {

enum class SampleFormat { Pcm8, Pcm16, Pcm32, Float32, Float64 };

constexpr std::uint16_t kWaveFormatPcm = 1;
constexpr std::uint16_t kWaveFormatIeeeFloat = 3;

// The format for a format tag and bit depth; false when the pair is not accepted.
bool SampleFormatOf(std::uint16_t formatTag, std::uint16_t bitsPerSample, SampleFormat* out);
const char* SampleFormatName(SampleFormat f);

struct Pcm8Codec {
  using Stored = std::uint8_t;
  static constexpr SampleFormat kFormat = SampleFormat::Pcm8;
  static double Decode(Stored b) { return (static_cast<int>(b) - 128) / 128.0; }
  static Stored Encode(double y) {
    double t = y * 128.0;
    if (t != t) return 128;
    if (t < -128.0) t = -128.0;
    if (t > 127.0) t = 127.0;
    return static_cast<Stored>(static_cast<int>(t) + 128);
  }
};

struct Pcm16Codec {
  using Stored = std::int16_t;
  static constexpr SampleFormat kFormat = SampleFormat::Pcm16;
  static double Decode(Stored s) { return s * 3.0517578125e-05; }
  static Stored Encode(double y) {
    double t = y * 32768.0;
    if (t != t) return 0;
    if (t < -32768.0) t = -32768.0;
    if (t > 32767.0) t = 32767.0;
    return static_cast<Stored>(static_cast<int>(t));
  }
};

struct Pcm32Codec {
  using Stored = std::int32_t;
  static constexpr SampleFormat kFormat = SampleFormat::Pcm32;
  static double Decode(Stored s) { return s * 4.656612873077393e-10; }
  static Stored Encode(double y) {
    double t = y * 2147483648.0;
    if (t != t) return 0;
    if (t < -2147483648.0) return INT32_MIN;
    if (t > 2147483647.0) return INT32_MAX;
    return static_cast<Stored>(t);
  }
};

struct Float32Codec {
  using Stored = float;
  static constexpr SampleFormat kFormat = SampleFormat::Float32;
  static double Decode(Stored f) { return f; }
  static Stored Encode(double y) { return static_cast<float>(y); }
};

struct Float64Codec {
  using Stored = double;
  static constexpr SampleFormat kFormat = SampleFormat::Float64;
  static double Decode(Stored d) { return d; }
  static Stored Encode(double y) { return y; }
};

static_assert(0.0078125 == 1.0 / 128.0, "8-bit multiplier must be exact");
static_assert(3.0517578125e-05 == 1.0 / 32768.0, "16-bit multiplier must be exact");
static_assert(4.656612873077393e-10 == 1.0 / 2147483648.0, "32-bit multiplier must be exact");

}  // namespace mw
