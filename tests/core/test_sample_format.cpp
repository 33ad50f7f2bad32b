// Sample conversion, the media type test and the kept format copy.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/frame/effect_format.h"
#include "core/frame/sample_format.h"
#include "test_util.h"

namespace {

using mw::Float32Codec;
using mw::Pcm16Codec;
using mw::Pcm32Codec;
using mw::Pcm8Codec;

TEST(Conversion, EveryIntegerCodeSurvivesIdentity) {
  for (int b = 0; b < 256; ++b) {
    const auto code = static_cast<std::uint8_t>(b);
    ASSERT_EQ(Pcm8Codec::Encode(Pcm8Codec::Decode(code)), code) << b;
  }
  for (int s = INT16_MIN; s <= INT16_MAX; ++s) {
    const auto code = static_cast<std::int16_t>(s);
    ASSERT_EQ(Pcm16Codec::Encode(Pcm16Codec::Decode(code)), code) << s;
  }
  for (std::int64_t s = INT32_MIN; s <= INT32_MAX; s += 65521) {
    const auto code = static_cast<std::int32_t>(s);
    ASSERT_EQ(Pcm32Codec::Encode(Pcm32Codec::Decode(code)), code) << s;
  }
  for (std::int32_t code : {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX}) {
    EXPECT_EQ(Pcm32Codec::Encode(Pcm32Codec::Decode(code)), code);
  }
}

TEST(Conversion, EightBitScale) {
  EXPECT_EQ(Pcm8Codec::Decode(0x80), 0.0);
  EXPECT_EQ(Pcm8Codec::Decode(0x00), -1.0);
  EXPECT_EQ(Pcm8Codec::Decode(0xFF), 0.9921875);
  EXPECT_EQ(Pcm8Codec::Encode(1.0), 0xFF);
  EXPECT_EQ(Pcm8Codec::Encode(-1.0), 0x00);
  EXPECT_EQ(Pcm8Codec::Encode(-1.0078125), 0x00);  // -129 before clipping
  EXPECT_EQ(Pcm8Codec::Encode(-1.007), 0x00);      // -128.9 truncates to -128
}

// Truncation toward zero, never rounding: just below the next code stays on this one, on
// both sides of zero, in every integer format.
TEST(Conversion, TruncatesTowardZero) {
  for (int k = 0; k < 127; ++k) {
    EXPECT_EQ(Pcm8Codec::Encode((k + 0.999) / 128.0), 128 + k);
    EXPECT_EQ(Pcm8Codec::Encode(-(k + 0.999) / 128.0), 128 - k);
  }
  for (int k = 0; k < 32767; k += 7) {
    EXPECT_EQ(Pcm16Codec::Encode((k + 0.999) / 32768.0), k);
    EXPECT_EQ(Pcm16Codec::Encode(-(k + 0.999) / 32768.0), -k);
  }
  for (std::int64_t k = 0; k < INT32_MAX; k += 104729) {
    EXPECT_EQ(Pcm32Codec::Encode((k + 0.5) / 2147483648.0), k);
    EXPECT_EQ(Pcm32Codec::Encode(-(k + 0.5) / 2147483648.0), -k);
  }
  EXPECT_EQ(Pcm16Codec::Encode(0.99999), 32767);  // 32767.67
  EXPECT_EQ(Pcm16Codec::Encode(-0.5 / 32768), 0);
}

TEST(Conversion, ClipsAtTheLimits) {
  EXPECT_EQ(Pcm16Codec::Encode(1.0), 32767);
  EXPECT_EQ(Pcm16Codec::Encode(-1.0), -32768);
  EXPECT_EQ(Pcm16Codec::Encode(-1.00003), -32768);
  EXPECT_EQ(Pcm16Codec::Encode(7.5), 32767);
  EXPECT_EQ(Pcm16Codec::Encode(-7.5), -32768);
  EXPECT_EQ(Pcm32Codec::Encode(2147483647.0 / 2147483648.0), INT32_MAX);
  EXPECT_EQ(Pcm32Codec::Encode(1.0), INT32_MAX);  // t = 2147483648.0
  EXPECT_EQ(Pcm32Codec::Encode(-2147483649.0 / 2147483648.0), INT32_MIN);
  EXPECT_EQ(Pcm32Codec::Encode(-1.0), INT32_MIN);
  EXPECT_EQ(Pcm32Codec::Encode(2147483647.5 / 2147483648.0), INT32_MAX);
}

TEST(Conversion, NonFiniteResultsStayInRange) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Pcm8Codec::Encode(inf), 0xFF);
  EXPECT_EQ(Pcm8Codec::Encode(-inf), 0x00);
  EXPECT_EQ(Pcm8Codec::Encode(nan), 0x80);
  EXPECT_EQ(Pcm16Codec::Encode(inf), INT16_MAX);
  EXPECT_EQ(Pcm16Codec::Encode(nan), 0);
  EXPECT_EQ(Pcm32Codec::Encode(-inf), INT32_MIN);
  EXPECT_EQ(Pcm32Codec::Encode(nan), 0);
}

TEST(Conversion, FloatsPassUnclipped) {
  EXPECT_EQ(Float32Codec::Encode(1.75), 1.75f);
  EXPECT_EQ(Float32Codec::Encode(-300.0), -300.0f);
  EXPECT_EQ(Float32Codec::Encode(0.1), 0.1f);  // rounded to single precision
  EXPECT_EQ(mw::Float64Codec::Encode(123.456), 123.456);
}

mw::ProposedMediaType Proposal(const std::uint8_t* block, std::uint32_t bytes) {
  mw::ProposedMediaType t;
  t.majorType = mw::kMediaTypeAudio;
  t.formatBlock = block;
  t.formatBytes = bytes;
  return t;
}

TEST(MediaTypeTest, AcceptsTheFiveFormatsMonoAndStereo) {
  for (const auto& f : mwtest::AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      for (std::uint32_t rate : {0u, 1u, 8000u, 44100u, 4000000000u}) {
        auto block = mwtest::FormatBlock(f, ch, rate);
        EXPECT_EQ(mw::CheckInputType(Proposal(block.data(), 16)), mw::S_OK);
        mw::PutLe16(block.data() + 12, 999);  // alignment and byte rate are not looked at
        mw::PutLe32(block.data() + 8, 1);
        EXPECT_EQ(mw::CheckInputType(Proposal(block.data(), 18)), mw::S_OK);
      }
    }
  }
}

TEST(MediaTypeTest, RefusesEverythingElse) {
  auto block = mwtest::FormatBlock(mwtest::AllFormats()[1], 2, 44100);
  auto t = Proposal(block.data(), 16);
  t.majorType.data1 ^= 1;
  EXPECT_EQ(mw::CheckInputType(t), mw::E_INVALIDARG);
  t = Proposal(block.data(), 16);
  t.temporalCompression = true;
  EXPECT_EQ(mw::CheckInputType(t), mw::E_INVALIDARG);
  EXPECT_EQ(mw::CheckInputType(Proposal(block.data(), 14)), mw::E_INVALIDARG);
  EXPECT_EQ(mw::CheckInputType(Proposal(nullptr, 16)), mw::E_INVALIDARG);

  struct Bad {
    std::uint16_t tag, channels, bits;
  };
  for (Bad b : {Bad{1, 3, 16}, Bad{1, 0, 16}, Bad{1, 2, 24}, Bad{1, 1, 12}, Bad{3, 2, 16},
                Bad{3, 1, 8}, Bad{2, 2, 16}, Bad{0xFFFE, 2, 16}, Bad{6, 1, 8}}) {
    auto bad = mwtest::FormatBlock({mw::SampleFormat::Pcm16, b.tag, b.bits}, b.channels, 8000);
    EXPECT_EQ(mw::CheckInputType(Proposal(bad.data(), 16)), mw::E_INVALIDARG)
        << b.tag << "/" << b.channels << "/" << b.bits;
  }
}

// Extensible blocks are taken for what they store: integer PCM or IEEE float with every
// bit valid, under the plain tag; anything else extensible is refused.
TEST(MediaTypeTest, ExtensibleBlocksOfTheFiveEncodings) {
  auto extensible = [](const mwtest::FormatCase& f, std::uint16_t ch, std::uint16_t valid) {
    auto plain = mwtest::FormatBlock(f, ch, 48000);
    std::vector<std::uint8_t> b(40, 0);
    std::copy(plain.begin(), plain.end(), b.begin());
    mw::PutLe16(b.data(), mw::kWaveFormatExtensible);
    mw::PutLe16(b.data() + 16, 22);
    mw::PutLe16(b.data() + 18, valid);
    mw::PutLe32(b.data() + 24, f.tag);
    const std::uint8_t tail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                   0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    std::copy(tail, tail + 12, b.begin() + 28);
    return b;
  };
  for (const auto& f : mwtest::AllFormats()) {
    auto b = extensible(f, 2, f.bits);
    EXPECT_EQ(mw::CheckInputType(Proposal(b.data(), 40)), mw::S_OK) << f.bits;
    EXPECT_EQ(mw::EffectFormat::FromFormatBlock(b.data(), 40).wFormatTag, f.tag);
    EXPECT_EQ(mw::CheckInputType(Proposal(b.data(), 39)), mw::E_INVALIDARG);  // cut short
    b = extensible(f, 2, static_cast<std::uint16_t>(f.bits - 8));  // padded container
    EXPECT_EQ(mw::CheckInputType(Proposal(b.data(), 40)), mw::E_INVALIDARG);
    b = extensible(f, 3, f.bits);
    EXPECT_EQ(mw::CheckInputType(Proposal(b.data(), 40)), mw::E_INVALIDARG);
  }
  auto b = extensible(mwtest::AllFormats()[1], 1, 16);
  mw::PutLe32(b.data() + 24, 2);  // ADPCM
  EXPECT_EQ(mw::CheckInputType(Proposal(b.data(), 40)), mw::E_INVALIDARG);
  b = extensible(mwtest::AllFormats()[1], 1, 16);
  b[39] ^= 1;  // not the audio base identifier
  EXPECT_EQ(mw::CheckInputType(Proposal(b.data(), 40)), mw::E_INVALIDARG);
}

TEST(EffectFormatCopy, RecomputesAlignmentAndRate) {
  for (const auto& f : mwtest::AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      auto block = mwtest::FormatBlock(f, ch, 22050);
      mw::PutLe32(block.data() + 8, 12345);  // wrong values offered by the peer
      mw::PutLe16(block.data() + 12, 77);
      const mw::EffectFormat e = mw::EffectFormat::FromFormatBlock(block.data());
      EXPECT_EQ(e.nBlockAlign, f.bits / 8 * ch);
      EXPECT_EQ(e.nAvgBytesPerSec, e.nBlockAlign * 22050u);
      EXPECT_EQ(e.cbSize, 0);

      std::uint8_t bytes[mw::EffectFormat::kBytes];
      e.ToBytes(bytes);
      EXPECT_EQ(mw::GetLe16(bytes), f.tag);
      EXPECT_EQ(mw::GetLe16(bytes + 2), ch);
      EXPECT_EQ(mw::GetLe32(bytes + 4), 22050u);
      EXPECT_EQ(mw::GetLe32(bytes + 8), e.nAvgBytesPerSec);
      EXPECT_EQ(mw::GetLe16(bytes + 12), e.nBlockAlign);
      EXPECT_EQ(mw::GetLe16(bytes + 14), f.bits);
      EXPECT_EQ(mw::GetLe16(bytes + 16), 0);
    }
  }
}

}  // namespace
