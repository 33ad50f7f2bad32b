// The persisted record loader of every effect over arbitrary bytes: short, long and lying
// size fields, foreign tags, streams that fail or deliver less than asked. A refused record
// changes nothing (block, dirty and changed flags) and posts no notice unless its header was
// accepted; an accepted one leaves exactly what SetParameters makes of its block, every
// field in range, and saves back to a record that loads to the same block.
#include "fuzz_support.h"

#include "core/frame/le_bytes.h"
#include "core/frame/memory_stream.h"

namespace {

using mwfuzz::StoreState;

// What a fresh effect holds after SetParameters of the record's block (converted from the
// older layout when its tag is the older one).
StoreState Expected(const mw::EffectDescription& d, const std::vector<std::uint8_t>& record) {
  auto fresh = mw::CreateEffect(d);
  std::uint8_t block[mw::ParamStore::kMaxBlockBytes] = {};
  std::memcpy(block, record.data() + mw::kRecordHeaderBytes, fresh->Params().BlockSize());
  const mw::Guid tag = mw::GuidFromBytes(record.data() + 4);
  if (d.record.olderTag != nullptr && tag == *d.record.olderTag) d.record.convertOlder(block);
  fresh->Params().SetParameters(block);
  return StoreState::Of(fresh->Params());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const mw::EffectDescription& d = mwfuzz::PickEffect(in, mwfuzz::Kinds::kAll);
  auto effect = mw::CreateEffect(d);
  mw::ParamStore& store = effect->Params();
  mwfuzz::CountingSink sink;
  store.SetNotifySink(&sink);
  store.RegisterNotifyWindow(1, mw::ParamStore::kPageNotifyId);

  // A state to keep: some preset, saved so that the dirty flag is clear, taken by a buffer
  // or not.
  effect->ApplyPreset(in.ConsumeIntegralInRange<std::int32_t>(0, effect->PresetCount() - 1));
  mw::MemoryStream saved;
  MW_REQUIRE(effect->Save(saved, in.ConsumeBool()) == mw::S_OK);
  if (in.ConsumeBool()) {
    std::uint8_t scratch[mw::ParamStore::kMaxBlockBytes];
    store.Take(scratch);
  }

  // The stream: fails at one of its first reads (or never), with a failure or a success
  // status, and may deliver fewer bytes per read than asked.
  const int failAt = in.ConsumeIntegralInRange<int>(0, 3);
  const mw::HResult failure = in.ConsumeBool() ? mw::E_FAIL : mw::S_FALSE;
  const std::uint32_t chunk = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(1, 64) : 0;
  // Often a header of this effect (own or older tag, its record size) before the rest, so
  // that the block itself gets exercised.
  std::vector<std::uint8_t> bytes;
  if (in.ConsumeBool()) {
    bytes.resize(mw::kRecordHeaderBytes);
    mw::PutLe32(bytes.data(), effect->SizeMax());
    const bool older = d.record.olderTag != nullptr && in.ConsumeBool();
    mw::GuidToBytes(older ? *d.record.olderTag : d.record.tag, bytes.data() + 4);
  }
  const std::vector<std::uint8_t> rest = in.ConsumeRemainingBytes<std::uint8_t>();
  bytes.insert(bytes.end(), rest.begin(), rest.end());

  const StoreState before = StoreState::Of(store);
  const int postsBefore = sink.posts;
  mwfuzz::ScriptedStream stream(bytes, failAt, failure, chunk);
  const mw::HResult hr = effect->Load(stream);
  const StoreState after = StoreState::Of(store);
  const std::uint32_t blockSize = store.BlockSize();

  const bool headerFits = bytes.size() >= mw::kRecordHeaderBytes &&
                          mw::GetLe32(bytes.data()) == effect->SizeMax();
  if (mw::Failed(hr) || hr == mw::S_FALSE) {
    MW_REQUIRE(after.SameAs(before, blockSize));
    MW_REQUIRE(sink.posts == postsBefore || sink.posts == postsBefore + 1);
    if (!headerFits) MW_REQUIRE(sink.posts == postsBefore);
    return 0;
  }
  MW_REQUIRE(hr == mw::S_OK);
  MW_REQUIRE(headerFits && bytes.size() >= effect->SizeMax());
  // The block loaded is the record's block as SetParameters keeps it.
  const StoreState expected = Expected(d, bytes);
  MW_REQUIRE(std::memcmp(after.block, expected.block, blockSize) == 0);
  MW_REQUIRE(after.dirty && after.changed);
  MW_REQUIRE(sink.posts == postsBefore + 1 && sink.lastCode == mw::ParamStore::kCodeReloaded);
  mwfuzz::RequireInRange(store);

  // Saved again and loaded into a fresh effect: the same block.
  mw::MemoryStream again;
  MW_REQUIRE(effect->Save(again, true) == mw::S_OK);
  MW_REQUIRE(again.Bytes().size() == effect->SizeMax());
  MW_REQUIRE(effect->IsDirty() == mw::S_FALSE);
  auto other = mw::CreateEffect(d);
  mw::MemoryStream replay(again.Bytes().data(), again.Bytes().size());
  MW_REQUIRE(other->Load(replay) == mw::S_OK);
  std::uint8_t a[mw::ParamStore::kMaxBlockBytes], b[mw::ParamStore::kMaxBlockBytes];
  store.GetParameters(a);
  other->Params().GetParameters(b);
  MW_REQUIRE(std::memcmp(a, b, blockSize) == 0);
  return 0;
}
