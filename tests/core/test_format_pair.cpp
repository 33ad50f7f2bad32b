// The two formats of the copying filters: which pairs transform, the proposed form of a
// format block, and which input changes streaming can follow — over every format, both
// channel counts and the extensible shape.
#include <gtest/gtest.h>

#include <vector>

#include "core/frame/format_pair.h"
#include "test_util.h"

namespace {

using mwtest::FormatCase;

std::vector<std::uint8_t> Block(const FormatCase& f, std::uint16_t channels, std::uint32_t rate,
                                bool extensible = false) {
  const auto plain = mwtest::FormatBlock(f, channels, rate);
  std::vector<std::uint8_t> b(plain.begin(), plain.end());
  b.resize(extensible ? 40 : 18, 0);
  if (extensible) {
    mw::PutLe16(b.data(), mw::kWaveFormatExtensible);
    mw::PutLe16(b.data() + 16, 22);
    mw::PutLe16(b.data() + 18, f.bits);
    mw::PutLe32(b.data() + 20, channels == 1 ? 4 : 3);
    const std::uint8_t sub[16] = {0, 0, 0, 0, 0x00, 0x00, 0x10, 0x00,
                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    std::copy(sub, sub + 16, b.begin() + 24);
    mw::PutLe16(b.data() + 24, f.tag);
  }
  return b;
}

mw::ProposedMediaType Audio(const std::vector<std::uint8_t>& b) {
  mw::ProposedMediaType t;
  t.majorType = mw::kMediaTypeAudio;
  t.formatBlock = b.data();
  t.formatBytes = static_cast<std::uint32_t>(b.size());
  return t;
}

TEST(FormatPair, OnlyEqualFormatsTransform) {
  for (const FormatCase& f : mwtest::AllFormats()) {
    for (std::uint16_t channels : {1, 2}) {
      for (bool extensible : {false, true}) {
        SCOPED_TRACE(testing::Message() << f.bits << "/" << f.tag << " " << channels << " "
                                        << extensible);
        const auto in = Block(f, channels, 22050, extensible);
        EXPECT_EQ(mw::CheckFormatPair(Audio(in), Audio(in)), mw::S_OK);
        // Alignment, byte rate and cbSize are not compared: a normalised copy still fits.
        auto out = in;
        mw::PutLe16(out.data() + 12, 1);
        mw::PutLe32(out.data() + 8, 7);
        EXPECT_EQ(mw::CheckFormatPair(Audio(in), Audio(out)), mw::S_OK);

        const std::vector<std::uint8_t> others[] = {
            Block(f, channels, 44100, extensible),
            Block(f, static_cast<std::uint16_t>(3 - channels), 22050, extensible),
            Block(mwtest::AllFormats()[f.bits == 16 ? 2 : 1], channels, 22050, extensible),
            Block(f, channels, 22050, !extensible),  // the tag differs
        };
        for (const auto& other : others) {
          EXPECT_EQ(mw::CheckFormatPair(Audio(in), Audio(other)), mw::E_INVALIDARG);
          EXPECT_EQ(mw::CheckFormatPair(Audio(other), Audio(in)), mw::E_INVALIDARG);
        }
        mw::ProposedMediaType video = Audio(in);
        video.majorType = mw::Guid{};
        mw::ProposedMediaType compressed = Audio(in);
        compressed.temporalCompression = true;
        mw::ProposedMediaType shortBlock = Audio(in);
        shortBlock.formatBytes = 15;
        for (const auto& bad : {video, compressed, shortBlock}) {
          EXPECT_EQ(mw::CheckFormatPair(bad, Audio(in)), mw::E_INVALIDARG);
          EXPECT_EQ(mw::CheckFormatPair(Audio(in), bad), mw::E_INVALIDARG);
        }
      }
    }
    const auto three = Block(f, 3, 8000);
    EXPECT_EQ(mw::CheckFormatPair(Audio(three), Audio(three)), mw::E_INVALIDARG);
  }
}

TEST(FormatPair, NormalisedBlocksDescribeTheirSamples) {
  for (const FormatCase& f : mwtest::AllFormats()) {
    for (std::uint16_t channels : {1, 2}) {
      for (bool extensible : {false, true}) {
        auto b = Block(f, channels, 11025, extensible);
        const auto original = b;
        mw::PutLe16(b.data() + 12, 99);    // wrong alignment
        mw::PutLe32(b.data() + 8, 12345);  // wrong byte rate
        mw::PutLe16(b.data() + 16, extensible ? 30 : 8);
        mw::NormaliseFormatBlock(b.data(), static_cast<std::uint32_t>(b.size()));
        // Back to the consistent block: only those fields changed.
        EXPECT_EQ(b, original) << f.bits << " " << channels << " " << extensible;
        EXPECT_EQ(mw::ChannelsOf(b.data()), channels);
      }
    }
  }
  // A 16-byte block has no cbSize to touch.
  std::vector<std::uint8_t> b(17, 0xEE);
  const auto plain = mwtest::FormatBlock(mwtest::AllFormats()[1], 2, 8000);
  std::copy(plain.begin(), plain.end(), b.begin());
  mw::NormaliseFormatBlock(b.data(), 16);
  EXPECT_EQ(b[16], 0xEE);
}

TEST(FormatPair, StreamingFollowsOnlyANewRate) {
  for (const FormatCase& f : mwtest::AllFormats()) {
    for (std::uint16_t channels : {1, 2}) {
      const auto a = Block(f, channels, 8000);
      const auto cur = mw::EffectFormat::FromFormatBlock(a.data(), 18);
      const auto ext = Block(f, channels, 96000, true);
      EXPECT_TRUE(mw::FollowsWhileStreaming(cur, mw::EffectFormat::FromFormatBlock(ext.data(), 40)));
      const auto mono = Block(f, static_cast<std::uint16_t>(3 - channels), 8000);
      EXPECT_FALSE(mw::FollowsWhileStreaming(cur, mw::EffectFormat::FromFormatBlock(mono.data(), 18)));
      for (const FormatCase& g : mwtest::AllFormats()) {
        const auto other = Block(g, channels, 8000);
        EXPECT_EQ(mw::FollowsWhileStreaming(cur, mw::EffectFormat::FromFormatBlock(other.data(), 18)),
                  &g == &f);
      }
    }
  }
}

}  // namespace
