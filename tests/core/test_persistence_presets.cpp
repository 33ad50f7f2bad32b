// The persisted record and the preset table.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/frame/memory_stream.h"
#include "test_util.h"

namespace {

std::vector<std::uint8_t> Saved(mw::InPlaceEffect& e, bool clearDirty = true) {
  mw::MemoryStream s;
  EXPECT_EQ(e.Save(s, clearDirty), mw::S_OK);
  return s.Bytes();
}

SimpleDelayParams Read(mw::InPlaceEffect& e) {
  SimpleDelayParams p;
  e.Params().GetParameters(&p);
  return p;
}

bool Same(const SimpleDelayParams& a, const SimpleDelayParams& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// A stream that fails its n-th call with a given status.
class FailingStream : public mw::MemoryStream {
 public:
  FailingStream(const std::vector<std::uint8_t>& bytes, int failAt, mw::HResult status)
      : MemoryStream(bytes.data(), bytes.size()), failAt_(failAt), status_(status) {}
  mw::HResult Read(void* b, std::uint32_t n, std::uint32_t* done) override {
    if (++calls_ == failAt_) return status_;
    return MemoryStream::Read(b, n, done);
  }
  mw::HResult Write(const void* b, std::uint32_t n, std::uint32_t* done) override {
    if (++calls_ == failAt_) return status_;
    return MemoryStream::Write(b, n, done);
  }

 private:
  int calls_ = 0;
  int failAt_;
  mw::HResult status_;
};

constexpr mw::HResult kStreamError = static_cast<mw::HResult>(0x80030070u);

TEST(Record, FreshSimpleDelayRecordBytes) {
  auto e = mwtest::NewDelay();
  const std::vector<std::uint8_t> expected = {
      0x28, 0x00, 0x00, 0x00,                          // 40 bytes
      0x73, 0xA8, 0x41, 0x3C, 0x2D, 0x5E, 0xD0, 0x11,  // the parameter interface's id
      0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F,
      0x00, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00,  // Feedback 0, DelayTime 100
      0x01, 0x00, 0x00, 0x00, 0xC4, 0xFF, 0xFF, 0xFF,  // DecayTime 1, DelayOut -60
      0xC4, 0xFF, 0xFF, 0xFF};                         // DryOut -60
  EXPECT_EQ(Saved(*e), expected);
  EXPECT_EQ(e->SizeMax(), 40u);
}

TEST(Record, SaveClearsDirtyOnlyWhenAsked) {
  auto e = mwtest::NewDelay();
  Saved(*e, false);
  EXPECT_EQ(e->IsDirty(), mw::S_OK);
  Saved(*e, true);
  EXPECT_EQ(e->IsDirty(), mw::S_FALSE);
  e->Params().Put(3, 250);
  EXPECT_EQ(e->IsDirty(), mw::S_OK);
}

TEST(Record, FailedWritesReturnTheirStatusAndKeepDirty) {
  auto e = mwtest::NewDelay();
  for (int call : {1, 2}) {
    FailingStream s({}, call, kStreamError);
    EXPECT_EQ(e->Save(s, true), kStreamError);
    EXPECT_EQ(e->IsDirty(), mw::S_OK);
  }
}

TEST(Record, LoadRoundTripNotifies) {
  auto a = mwtest::NewDelay();
  a->ApplyPreset(4);
  a->Params().Put(0, 33);  // DryOut
  const auto bytes = Saved(*a);

  auto b = mwtest::NewDelay();
  mwtest::RecordingSink sink;
  b->Params().SetNotifySink(&sink);
  b->Params().RegisterNotifyWindow(0x42, 32700);
  mw::MemoryStream s(bytes.data(), bytes.size());
  EXPECT_EQ(b->Load(s), mw::S_OK);
  EXPECT_TRUE(Same(Read(*a), Read(*b)));
  EXPECT_EQ(b->IsDirty(), mw::S_OK);
  ASSERT_EQ(sink.posted.size(), 1u);
  EXPECT_EQ(sink.posted[0].wparam, (100u << 16) | 32700u);
}

TEST(Record, WrongSizeOrTagIsRefusedWithoutChangeOrNotice) {
  auto a = mwtest::NewDelay();
  a->ApplyPreset(2);
  const auto good = Saved(*a);

  std::vector<std::vector<std::uint8_t>> bad;
  bad.push_back(good);
  bad.back()[0] = 44;
  bad.push_back(good);
  bad.back()[4] = 0x83;  // the Chorus parameter interface's first byte
  bad.push_back(good);
  bad.back()[19] ^= 0xFF;
  for (const auto& bytes : bad) {
    auto b = mwtest::NewDelay();
    mwtest::RecordingSink sink;
    b->Params().SetNotifySink(&sink);
    b->Params().RegisterNotifyWindow(0x42, 32700);
    const SimpleDelayParams before = Read(*b);
    mw::MemoryStream s(bytes.data(), bytes.size());
    EXPECT_EQ(b->Load(s), mw::E_FAIL);
    EXPECT_TRUE(Same(before, Read(*b)));
    EXPECT_TRUE(sink.posted.empty());
  }
}

// A stream that ends anywhere inside the record changes nothing.
TEST(Record, ShortRecordsAreRefused) {
  auto a = mwtest::NewDelay();
  a->ApplyPreset(3);
  const auto good = Saved(*a);
  for (std::size_t n = 0; n < good.size(); ++n) {
    auto b = mwtest::NewDelay();
    b->Params().ClearDirty();
    const SimpleDelayParams before = Read(*b);
    mw::MemoryStream s(good.data(), n);
    EXPECT_EQ(b->Load(s), mw::E_FAIL) << n;
    EXPECT_TRUE(Same(before, Read(*b))) << n;
    EXPECT_EQ(b->IsDirty(), mw::S_FALSE) << n;
  }
}

TEST(Record, StreamErrorsAreReturned) {
  auto a = mwtest::NewDelay();
  const auto good = Saved(*a);
  auto b = mwtest::NewDelay();
  mwtest::RecordingSink sink;
  b->Params().SetNotifySink(&sink);
  b->Params().RegisterNotifyWindow(0x42, 32700);

  FailingStream first(good, 1, kStreamError);
  EXPECT_EQ(b->Load(first), kStreamError);
  EXPECT_TRUE(sink.posted.empty());

  // A failure reading the block still announces the (unchanged) settings.
  FailingStream second(good, 2, kStreamError);
  EXPECT_EQ(b->Load(second), kStreamError);
  EXPECT_EQ(sink.posted.size(), 1u);
}

TEST(Record, OutOfRangeFieldsAreCorrectedOnLoad) {
  auto a = mwtest::NewDelay();
  auto bytes = Saved(*a);
  mw::PutLe32(bytes.data() + 24, 0);        // DelayTime 0
  mw::PutLe32(bytes.data() + 32, 0x7FFFFFFF);  // DelayOut far above 0
  auto b = mwtest::NewDelay();
  mw::MemoryStream s(bytes.data(), bytes.size());
  EXPECT_EQ(b->Load(s), mw::S_OK);
  EXPECT_EQ(Read(*b).DelayTime, 1);
  EXPECT_EQ(Read(*b).DelayOut, 0);
}

TEST(Presets, SimpleDelayTable) {
  auto e = mwtest::NewDelay();
  ASSERT_EQ(e->PresetCount(), 7);
  const char* names[] = {"(Default)",
                         "Default all parameters",
                         "Echo chamber",
                         "Slap-back echo",
                         "Grand Canyon",
                         "Shift selection forwards  (select one channel only)",
                         "Pseudo-stereo (select one channel only)"};
  for (int i = 0; i < 7; ++i) {
    const char* name = nullptr;
    EXPECT_EQ(e->PresetName(i, &name), mw::S_OK);
    EXPECT_STREQ(name, names[i]);
  }
  const char* name = nullptr;
  EXPECT_EQ(e->PresetName(7, &name), mw::E_INVALIDARG);
  EXPECT_EQ(e->PresetName(-1, &name), mw::E_INVALIDARG);
  EXPECT_EQ(e->ApplyPreset(7), mw::E_INVALIDARG);
  EXPECT_EQ(e->ApplyPreset(-1), mw::E_INVALIDARG);
}

TEST(Presets, ApplyWritesTheWholeRowAndNotifies) {
  auto e = mwtest::NewDelay();
  mwtest::RecordingSink sink;
  e->Params().SetNotifySink(&sink);
  e->Params().RegisterNotifyWindow(0x42, 32700);
  EXPECT_EQ(e->ApplyPreset(2), mw::S_OK);
  const SimpleDelayParams p = Read(*e);
  EXPECT_TRUE(Same(p, SimpleDelayParams{1, 400, 20, -30, -90}));
  ASSERT_EQ(sink.posted.size(), 1u);
  EXPECT_EQ(sink.posted[0].wparam >> 16, 100u);

  // Every row is in range, applies cleanly and marks the block, even when unchanged.
  for (int i = 0; i < e->PresetCount(); ++i) {
    EXPECT_EQ(e->ApplyPreset(i), mw::S_OK);
    const SimpleDelayParams before = Read(*e);
    e->Save(*std::make_unique<mw::MemoryStream>(), true);
    SimpleDelayParams scratch;
    e->Params().Take(&scratch);
    EXPECT_EQ(e->ApplyPreset(i), mw::S_OK);
    EXPECT_TRUE(Same(before, Read(*e)));
    EXPECT_EQ(e->IsDirty(), mw::S_OK);
    EXPECT_TRUE(e->Params().ChangedPending());
  }
  const char* n = nullptr;
  e->PresetName(5, &n);
  EXPECT_NE(std::strstr(n, "forwards  ("), nullptr);  // two spaces
}

}  // namespace
