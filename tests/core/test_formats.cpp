// Sample conversion, the media type test, the kept format copy, and the two formats of the
// copying filters: which pairs transform and which changes streaming can follow.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "core/frame/effect_format.h"
#include "core/frame/format_pair.h"
#include "core/frame/sample_format.h"
#include "test_util.h"

namespace {

using mw::Pcm16Codec;
using mw::Pcm32Codec;
using mw::Pcm8Codec;
using mwtest::AllFormats;
using mwtest::FormatCase;

TEST(Conversion, EveryIntegerCodeSurvivesIdentity) {
  for (int b = 0; b < 256; ++b) {
    ASSERT_EQ(Pcm8Codec::Encode(Pcm8Codec::Decode(static_cast<std::uint8_t>(b))), b);
  }
  for (int s = INT16_MIN; s <= INT16_MAX; ++s) {
    ASSERT_EQ(Pcm16Codec::Encode(Pcm16Codec::Decode(static_cast<std::int16_t>(s))), s);
  }
  for (std::int64_t s = INT32_MIN; s <= INT32_MAX; s += 65521) {
    ASSERT_EQ(Pcm32Codec::Encode(Pcm32Codec::Decode(static_cast<std::int32_t>(s))), s);
  }
  for (std::int32_t s : {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX}) {
    EXPECT_EQ(Pcm32Codec::Encode(Pcm32Codec::Decode(s)), s);
  }
}

// Truncation toward zero, never rounding, on both sides of zero, and clipping at the ends.
TEST(Conversion, TruncatesTowardZeroAndClips) {
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
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  const std::pair<double, int> pcm8[] = {{1.0, 0xFF}, {-1.0, 0}, {-1.0078125, 0}, {-1.007, 0},
                                         {inf, 0xFF}, {-inf, 0}, {nan, 0x80}};
  for (const auto& [y, code] : pcm8) EXPECT_EQ(Pcm8Codec::Encode(y), code) << y;
  const std::pair<double, int> pcm16[] = {{0.99999, 32767}, {-0.5 / 32768, 0}, {1.0, 32767},
                                          {-1.00003, -32768}, {7.5, 32767}, {inf, 32767},
                                          {nan, 0}};
  for (const auto& [y, code] : pcm16) EXPECT_EQ(Pcm16Codec::Encode(y), code) << y;
  const std::pair<double, std::int32_t> pcm32[] = {
      {2147483647.0 / 2147483648.0, INT32_MAX}, {1.0, INT32_MAX},
      {2147483647.5 / 2147483648.0, INT32_MAX}, {-2147483649.0 / 2147483648.0, INT32_MIN},
      {-1.0, INT32_MIN}, {-inf, INT32_MIN}, {nan, 0}};
  for (const auto& [y, code] : pcm32) EXPECT_EQ(Pcm32Codec::Encode(y), code) << y;
  EXPECT_EQ(Pcm8Codec::Decode(0xFF), 0.9921875);
  EXPECT_EQ(mw::Float32Codec::Encode(-300.0), -300.0f);
  EXPECT_EQ(mw::Float32Codec::Encode(0.1), 0.1f);
}

mw::ProposedMediaType Audio(const std::uint8_t* block, std::uint32_t bytes) {
  mw::ProposedMediaType t;
  t.majorType = mw::kMediaTypeAudio;
  t.formatBlock = block;
  t.formatBytes = bytes;
  return t;
}

mw::ProposedMediaType Audio(const std::vector<std::uint8_t>& b) {
  return Audio(b.data(), static_cast<std::uint32_t>(b.size()));
}

// A format block of 18 bytes, or the 40-byte extensible form (`valid` bits in each sample).
std::vector<std::uint8_t> Block(const FormatCase& f, std::uint16_t channels, std::uint32_t rate,
                                bool extensible = false, int valid = -1) {
  const auto plain = mwtest::FormatBlock(f, channels, rate);
  std::vector<std::uint8_t> b(plain.begin(), plain.end());
  b.resize(extensible ? 40 : 18, 0);
  if (extensible) {
    const std::uint8_t sub[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    mw::PutLe16(b.data(), mw::kWaveFormatExtensible);
    mw::PutLe16(b.data() + 16, 22);
    mw::PutLe16(b.data() + 18, static_cast<std::uint16_t>(valid < 0 ? f.bits : valid));
    mw::PutLe32(b.data() + 20, channels == 1 ? 4 : 3);
    mw::PutLe16(b.data() + 24, f.tag);
    std::copy(sub, sub + 14, b.begin() + 26);
  }
  return b;
}

TEST(MediaTypeTest, TheFiveFormatsMonoAndStereoAtAnyRate) {
  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      for (std::uint32_t rate : {0u, 1u, 44100u, 4000000000u}) {
        auto block = Block(f, ch, rate);
        EXPECT_EQ(mw::CheckInputType(Audio(block.data(), 16)), mw::S_OK);
        mw::PutLe16(block.data() + 12, 999);  // alignment and byte rate are not looked at
        mw::PutLe32(block.data() + 8, 1);
        EXPECT_EQ(mw::CheckInputType(Audio(block)), mw::S_OK);
      }
      // Extensible blocks are taken for what they store, with every bit valid.
      auto b = Block(f, ch, 48000, true);
      EXPECT_EQ(mw::CheckInputType(Audio(b)), mw::S_OK) << f.bits;
      EXPECT_EQ(mw::EffectFormat::FromFormatBlock(b.data(), 40).wFormatTag, f.tag);
      EXPECT_EQ(mw::CheckInputType(Audio(b.data(), 39)), mw::E_INVALIDARG);  // cut short
      b = Block(f, ch, 48000, true, f.bits - 8);  // padded container
      EXPECT_EQ(mw::CheckInputType(Audio(b)), mw::E_INVALIDARG);
    }
  }
}

TEST(MediaTypeTest, RefusesEverythingElse) {
  auto block = Block(AllFormats()[1], 2, 44100);
  auto t = Audio(block.data(), 16);
  t.majorType.data1 ^= 1;
  EXPECT_EQ(mw::CheckInputType(t), mw::E_INVALIDARG);
  t = Audio(block.data(), 16);
  t.temporalCompression = true;
  EXPECT_EQ(mw::CheckInputType(t), mw::E_INVALIDARG);
  EXPECT_EQ(mw::CheckInputType(Audio(block.data(), 14)), mw::E_INVALIDARG);
  EXPECT_EQ(mw::CheckInputType(Audio(nullptr, 16)), mw::E_INVALIDARG);
  struct Bad {
    std::uint16_t tag, channels, bits;
  };
  for (Bad b : {Bad{1, 3, 16}, Bad{1, 0, 16}, Bad{1, 2, 24}, Bad{1, 1, 12}, Bad{3, 2, 16},
                Bad{3, 1, 8}, Bad{2, 2, 16}, Bad{0xFFFE, 2, 16}, Bad{6, 1, 8}}) {
    auto bad = mwtest::FormatBlock({mw::SampleFormat::Pcm16, b.tag, b.bits}, b.channels, 8000);
    EXPECT_EQ(mw::CheckInputType(Audio(bad.data(), 16)), mw::E_INVALIDARG)
        << b.tag << "/" << b.channels << "/" << b.bits;
  }
  auto ext = Block(AllFormats()[1], 3, 8000, true);
  EXPECT_EQ(mw::CheckInputType(Audio(ext)), mw::E_INVALIDARG);
  ext = Block(AllFormats()[1], 1, 8000, true);
  mw::PutLe32(ext.data() + 24, 2);  // ADPCM
  EXPECT_EQ(mw::CheckInputType(Audio(ext)), mw::E_INVALIDARG);
  ext = Block(AllFormats()[1], 1, 8000, true);
  ext[39] ^= 1;  // not the audio base identifier
  EXPECT_EQ(mw::CheckInputType(Audio(ext)), mw::E_INVALIDARG);
}

// The kept copy: alignment and byte rate recomputed, cbSize 0, the 18 bytes laid out; a
// normalised block changes only those fields.
TEST(FormatCopy, RecomputesAlignmentAndRate) {
  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      for (bool extensible : {false, true}) {
        auto b = Block(f, ch, 22050, extensible);
        const auto original = b;
        mw::PutLe32(b.data() + 8, 12345);  // wrong values offered by the peer
        mw::PutLe16(b.data() + 12, 77);
        mw::PutLe16(b.data() + 16, extensible ? 30 : 8);
        const auto e =
            mw::EffectFormat::FromFormatBlock(b.data(), static_cast<std::uint32_t>(b.size()));
        std::uint8_t bytes[mw::EffectFormat::kBytes];
        e.ToBytes(bytes);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 18),
                  Block(f, ch, 22050, false)) << f.bits << " " << ch;
        mw::NormaliseFormatBlock(b.data(), static_cast<std::uint32_t>(b.size()));
        EXPECT_EQ(b, original) << f.bits << " " << ch << " " << extensible;
        EXPECT_EQ(mw::ChannelsOf(b.data()), ch);
      }
    }
  }
  std::vector<std::uint8_t> b(17, 0xEE);  // a 16-byte block has no cbSize to touch
  const auto plain = mwtest::FormatBlock(AllFormats()[1], 2, 8000);
  std::copy(plain.begin(), plain.end(), b.begin());
  mw::NormaliseFormatBlock(b.data(), 16);
  EXPECT_EQ(b[16], 0xEE);
}

// The copying filters transform only between equal formats (alignment, byte rate and cbSize
// aside), and while streaming follow only a new rate.
TEST(FormatPair, OnlyEqualFormatsTransformAndOnlyTheRateMayChange) {
  for (const FormatCase& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      for (bool extensible : {false, true}) {
        const auto in = Block(f, ch, 22050, extensible);
        auto out = in;
        mw::PutLe16(out.data() + 12, 1);
        mw::PutLe32(out.data() + 8, 7);
        EXPECT_EQ(mw::CheckFormatPair(Audio(in), Audio(out)), mw::S_OK);
        const std::vector<std::uint8_t> others[] = {
            Block(f, ch, 44100, extensible),
            Block(f, static_cast<std::uint16_t>(3 - ch), 22050, extensible),
            Block(AllFormats()[f.bits == 16 ? 2 : 1], ch, 22050, extensible),
            Block(f, ch, 22050, !extensible)};
        for (const auto& other : others) {
          EXPECT_EQ(mw::CheckFormatPair(Audio(in), Audio(other)), mw::E_INVALIDARG);
          EXPECT_EQ(mw::CheckFormatPair(Audio(other), Audio(in)), mw::E_INVALIDARG);
        }
        mw::ProposedMediaType compressed = Audio(in);
        compressed.temporalCompression = true;
        EXPECT_EQ(mw::CheckFormatPair(compressed, Audio(in)), mw::E_INVALIDARG);
        EXPECT_EQ(mw::CheckFormatPair(Audio(in), Audio(in.data(), 15)), mw::E_INVALIDARG);
      }
      const auto cur = mw::EffectFormat::FromFormatBlock(Block(f, ch, 8000).data(), 18);
      EXPECT_TRUE(mw::FollowsWhileStreaming(
          cur, mw::EffectFormat::FromFormatBlock(Block(f, ch, 96000, true).data(), 40)));
      for (const FormatCase& g : AllFormats()) {
        for (std::uint16_t gch : {1, 2}) {
          EXPECT_EQ(mw::FollowsWhileStreaming(
                        cur, mw::EffectFormat::FromFormatBlock(Block(g, gch, 8000).data(), 18)),
                    &g == &f && gch == ch);
        }
      }
    }
  }
}

}  // namespace
