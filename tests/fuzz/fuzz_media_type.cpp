// The media type test over arbitrary format blocks, plain and extensible, of any length:
// the input test, the pair test of the copying filters, the normalised form they propose,
// and the filter's own copy of an accepted format. Blocks live in storage of exactly their
// length, so any read or write past a block's end is caught.
#include "fuzz_support.h"

#include <memory>

#include "core/frame/effect_format.h"
#include "core/frame/format_pair.h"
#include "core/frame/le_bytes.h"

namespace {

// A block from the input: often an extensible one with the audio sub-format base, so that
// its deeper checks are reached.
std::vector<std::uint8_t> TakeBlock(FuzzedDataProvider& in) {
  const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 64);
  std::vector<std::uint8_t> b = mwfuzz::TakeBytes(in, n);
  if (n >= 40 && in.ConsumeBool()) {
    static const std::uint8_t kTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                           0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    mw::PutLe16(b.data(), mw::kWaveFormatExtensible);
    std::memcpy(b.data() + 28, kTail, sizeof kTail);
  }
  return b;
}

mw::ProposedMediaType Proposed(FuzzedDataProvider& in, const std::vector<std::uint8_t>& block,
                               const std::uint8_t* memory) {
  mw::ProposedMediaType t;
  t.majorType = in.ConsumeIntegralInRange<int>(0, 7) == 0
                    ? mw::GuidFromBytes(mwfuzz::TakeBytes(in, 16).data())
                    : mw::kMediaTypeAudio;
  t.temporalCompression = in.ConsumeIntegralInRange<int>(0, 7) == 0;
  t.formatBlock = memory;
  t.formatBytes = static_cast<std::uint32_t>(block.size());
  return t;
}

// A copy of the block in storage of exactly its length (null for an empty one).
std::unique_ptr<std::uint8_t[]> Exact(const std::vector<std::uint8_t>& b) {
  if (b.empty()) return nullptr;
  std::unique_ptr<std::uint8_t[]> p(new std::uint8_t[b.size()]);
  std::memcpy(p.get(), b.data(), b.size());
  return p;
}

void CheckAccepted(const mw::ProposedMediaType& t) {
  const mw::EffectFormat f = mw::EffectFormat::FromFormatBlock(t.formatBlock, t.formatBytes);
  mw::SampleFormat s;
  MW_REQUIRE(f.Sample(&s));
  MW_REQUIRE(f.nChannels == 1 || f.nChannels == 2);
  MW_REQUIRE(f.nBlockAlign == f.wBitsPerSample / 8 * f.nChannels && f.nBlockAlign != 0);
  MW_REQUIRE(f.cbSize == 0);
  std::uint8_t bytes[mw::EffectFormat::kBytes];
  f.ToBytes(bytes);
  MW_REQUIRE(mw::GetLe16(bytes + 12) == f.nBlockAlign);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::vector<std::uint8_t> a = TakeBlock(in), b = TakeBlock(in);
  const auto memA = Exact(a), memB = Exact(b);
  const mw::ProposedMediaType ta = Proposed(in, a, memA.get());
  const mw::ProposedMediaType tb = Proposed(in, b, memB.get());

  const mw::HResult ha = mw::CheckInputType(ta);
  MW_REQUIRE(ha == mw::S_OK || ha == mw::E_INVALIDARG);
  if (ha == mw::S_OK) CheckAccepted(ta);
  if (a.size() >= 16) {
    const std::uint16_t tag = mw::EffectiveFormatTag(memA.get(), static_cast<std::uint32_t>(a.size()));
    if (ha == mw::S_OK) MW_REQUIRE(tag == mw::kWaveFormatPcm || tag == mw::kWaveFormatIeeeFloat);
  }

  // The pair test agrees with its rule, and with the input test on the encoding.
  const mw::HResult pair = mw::CheckFormatPair(ta, tb);
  MW_REQUIRE(pair == mw::S_OK || pair == mw::E_INVALIDARG);
  if (pair == mw::S_OK) {
    MW_REQUIRE(a.size() >= 16 && b.size() >= 16);
    MW_REQUIRE(mw::ChannelsOf(memA.get()) == mw::ChannelsOf(memB.get()));
    MW_REQUIRE(std::memcmp(memA.get(), memB.get(), 2) == 0 &&
               std::memcmp(memA.get() + 4, memB.get() + 4, 4) == 0 &&
               std::memcmp(memA.get() + 14, memB.get() + 14, 2) == 0);
  }

  // The proposed form of an accepted type: written within the block, accepted too, and the
  // filter's copy of it is the same format. (An extensible block with too small a cbSize is
  // refused, and its normalised form, which states the extension's size, is not; the
  // filters normalise only types they accepted.)
  if (a.size() >= 16) {
    auto normal = Exact(a);
    mw::NormaliseFormatBlock(normal.get(), static_cast<std::uint32_t>(a.size()));
    mw::ProposedMediaType tn = ta;
    tn.formatBlock = normal.get();
    if (ha == mw::S_OK) {
      MW_REQUIRE(mw::CheckInputType(tn) == mw::S_OK);
      const mw::EffectFormat x = mw::EffectFormat::FromFormatBlock(memA.get(), ta.formatBytes);
      const mw::EffectFormat y = mw::EffectFormat::FromFormatBlock(normal.get(), tn.formatBytes);
      std::uint8_t bx[mw::EffectFormat::kBytes], by[mw::EffectFormat::kBytes];
      x.ToBytes(bx);
      y.ToBytes(by);
      MW_REQUIRE(std::memcmp(bx, by, sizeof bx) == 0);
      MW_REQUIRE(mw::CheckFormatPair(ta, tn) == mw::S_OK);
    }
  }

  // A type that the input test accepts is one that a filter can keep and report.
  if (ha == mw::S_OK) {
    const mw::EffectDescription& d = mwfuzz::PickEffect(in, mwfuzz::Kinds::kAll);
    auto effect = mw::CreateEffect(d);
    MW_REQUIRE(effect->Connect(memA.get(), ta.formatBytes) == mw::S_OK);
  }
  return 0;
}
