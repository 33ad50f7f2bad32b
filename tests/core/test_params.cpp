// The parameter rules every effect shares: the changed and dirty flags, the whole-block
// setter, notification slots, snapshots that are never torn, the persisted record's
// refusals and stream errors, and presets. (Clamping, record layouts and preset tables of
// every effect are checked through the command line against the reference models.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "core/frame/memory_stream.h"
#include "test_util.h"

namespace {

constexpr std::size_t kDryOut = 0, kDelayTime = 3, kDecayTime = 4;
constexpr mw::HResult kStreamError = static_cast<mw::HResult>(0x80030070u);

SimpleDelayParams Read(mw::Effect& e) {
  SimpleDelayParams p;
  EXPECT_EQ(e.Params().GetParameters(&p), mw::S_OK);
  return p;
}

bool Same(const SimpleDelayParams& a, const SimpleDelayParams& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::vector<std::uint8_t> Saved(mw::Effect& e, bool clearDirty = true) {
  mw::MemoryStream s;
  EXPECT_EQ(e.Save(s, clearDirty), mw::S_OK);
  return s.Bytes();
}

// A stream that fails its n-th call with a given status.
class FailingStream : public mw::MemoryStream {
 public:
  FailingStream(const std::vector<std::uint8_t>& bytes, int failAt)
      : MemoryStream(bytes.data(), bytes.size()), failAt_(failAt) {}
  mw::HResult Read(void* b, std::uint32_t n, std::uint32_t* done) override {
    return ++calls_ == failAt_ ? kStreamError : MemoryStream::Read(b, n, done);
  }
  mw::HResult Write(const void* b, std::uint32_t n, std::uint32_t* done) override {
    return ++calls_ == failAt_ ? kStreamError : MemoryStream::Write(b, n, done);
  }

 private:
  int calls_ = 0;
  int failAt_;
};

// A page registered for change notices on a new Simple Delay.
struct Watched {
  std::unique_ptr<mw::InPlaceEffect> e = mwtest::NewDelay();
  mwtest::RecordingSink sink;
  Watched() {
    e->Params().SetNotifySink(&sink);
    e->Params().RegisterNotifyWindow(0x42, 32700);
  }
};

TEST(Parameters, FlagsMarkRealChangesOnly) {
  mw::SimpleDelayEngine engine;  // a new engine holds zeros, changed but not dirty
  SimpleDelayParams p;
  engine.Params().GetParameters(&p);
  EXPECT_EQ(p.Feedback | p.DelayTime | p.DecayTime | p.DelayOut | p.DryOut, 0);
  EXPECT_TRUE(engine.Params().ChangedPending());
  EXPECT_FALSE(engine.Params().Dirty());

  auto e = mwtest::NewDelay();  // a filter applies preset 0: dirty
  EXPECT_EQ(e->IsDirty(), mw::S_OK);
  mw::ParamStore& s = e->Params();
  EXPECT_TRUE(s.Take(&p));
  EXPECT_FALSE(s.Take(&p));  // the changed flag is handed out once
  s.ClearDirty();
  s.Put(kDelayTime, 100);  // already stored
  EXPECT_FALSE(s.ChangedPending() || s.Dirty());
  s.Put(kDelayTime, 0);  // clamps to 1: a change
  EXPECT_TRUE(s.ChangedPending() && s.Dirty());
  s.Take(&p);
  s.ClearDirty();
  s.Put(kDelayTime, -3);  // clamps to the stored 1
  EXPECT_FALSE(s.ChangedPending() || s.Dirty());
  EXPECT_EQ(s.Put(5, 1), mw::E_INVALIDARG);
  EXPECT_EQ(s.Get(0, nullptr), mw::E_POINTER);
}

TEST(Parameters, WholeBlockSetterClampsEveryFieldAndSaysSo) {
  auto e = mwtest::NewDelay();
  mw::ParamStore& s = e->Params();
  SimpleDelayParams p{0, 9999, 0, 5, -60};
  EXPECT_EQ(s.SetParameters(&p), mw::E_FAIL);
  EXPECT_TRUE(Same(Read(*e), SimpleDelayParams{0, 5000, 1, 0, -60}));
  p = {-42, 100, 1, -60, 900};  // unranged fields are never reported
  EXPECT_EQ(s.SetParameters(&p), mw::S_OK);
  EXPECT_TRUE(Same(Read(*e), p));
  s.Take(&p);
  s.ClearDirty();
  p = Read(*e);
  EXPECT_EQ(s.SetParameters(&p), mw::S_OK);  // equal values still mark the block
  EXPECT_TRUE(s.ChangedPending() && s.Dirty());
  EXPECT_EQ(s.SetParameters(nullptr), mw::E_POINTER);
  EXPECT_EQ(s.GetParameters(nullptr), mw::E_POINTER);
}

// Two slots; the same window takes a new id; id 0 frees a slot; a third window is out of
// memory; destroyed windows are dropped at the next notice; plain writes post nothing.
TEST(Notification, SlotsAndNotices) {
  auto e = mwtest::NewDelay();
  mw::ParamStore& s = e->Params();
  mwtest::RecordingSink sink;
  s.SetNotifySink(&sink);
  EXPECT_EQ(s.RegisterNotifyWindow(0x100, 32700), mw::S_OK);
  EXPECT_EQ(s.RegisterNotifyWindow(0x200, 32700), mw::S_OK);
  EXPECT_EQ(s.RegisterNotifyWindow(0x300, 32700), mw::E_OUTOFMEMORY);
  EXPECT_EQ(s.RegisterNotifyWindow(0x100, 5), mw::S_OK);
  EXPECT_EQ(s.RegisterNotifyWindow(0x300, 0), mw::S_OK);  // unregistering a stranger
  s.Put(kDelayTime, 300);
  SimpleDelayParams p{1, 200, 5, -10, -10};
  s.SetParameters(&p);
  EXPECT_TRUE(sink.posted.empty());
  s.Notify(100);
  ASSERT_EQ(sink.posted.size(), 2u);
  for (const auto& n : sink.posted) {
    EXPECT_EQ(n.wparam, (100u << 16) | (n.window == 0x100 ? 5u : 32700u)) << n.window;
  }
  EXPECT_EQ(s.RegisterNotifyWindow(0x200, 0), mw::S_OK);
  EXPECT_EQ(s.RegisterNotifyWindow(0x300, 32700), mw::S_OK);
  sink.Destroy(0x100);
  sink.posted.clear();
  s.Notify(1);
  ASSERT_EQ(sink.posted.size(), 1u);
  EXPECT_EQ(sink.posted[0].window, 0x300u);
  EXPECT_EQ(s.RegisterNotifyWindow(0x400, 32700), mw::S_OK);  // the dropped slot is free
}

// The streaming thread's snapshot is always one whole block, never a mix of two writes.
TEST(Parameters, SnapshotsAreNeverTorn) {
  auto e = mwtest::NewDelay();
  mw::ParamStore& s = e->Params();
  const SimpleDelayParams a{0, 100, 1, -60, -60}, b{1, 4000, 150, -5, 20};
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop.load(); ++i) s.SetParameters(i % 2 ? &a : &b);
  });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    SimpleDelayParams p;
    s.Take(&p);
    torn += !Same(p, a) && !Same(p, b);
  }
  stop = true;
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST(Record, SaveClearsDirtyOnlyWhenAskedAndOnlyWhenWritten) {
  auto e = mwtest::NewDelay();
  Saved(*e, false);
  EXPECT_EQ(e->IsDirty(), mw::S_OK);
  for (int call : {1, 2}) {
    FailingStream s({}, call);
    EXPECT_EQ(e->Save(s, true), kStreamError);
    EXPECT_EQ(e->IsDirty(), mw::S_OK);
  }
  Saved(*e, true);
  EXPECT_EQ(e->IsDirty(), mw::S_FALSE);
  e->Params().Put(kDecayTime, 50);
  EXPECT_EQ(e->IsDirty(), mw::S_OK);
}

TEST(Record, LoadSetsTheBlockAndNotifies) {
  auto a = mwtest::NewDelay();
  a->ApplyPreset(4);
  a->Params().Put(kDryOut, 33);
  const auto bytes = Saved(*a);
  Watched b;
  b.e->Params().ClearDirty();
  mw::MemoryStream s(bytes.data(), bytes.size());
  EXPECT_EQ(b.e->Load(s), mw::S_OK);
  EXPECT_TRUE(Same(Read(*a), Read(*b.e)));
  EXPECT_EQ(b.e->IsDirty(), mw::S_OK);
  ASSERT_EQ(b.sink.posted.size(), 1u);
  EXPECT_EQ(b.sink.posted[0].wparam, (100u << 16) | 32700u);
}

// A wrong size or tag (with no notice), or a record cut anywhere, is refused with nothing
// changed; a stream error on the header is returned as it is, and one on the block still
// announces the (unchanged) settings.
TEST(Record, RefusedRecordsAndStreamErrors) {
  auto a = mwtest::NewDelay();
  a->ApplyPreset(2);
  const auto good = Saved(*a);
  std::vector<std::vector<std::uint8_t>> bad(3, good);
  bad[0][0] = 44;
  bad[1][4] = 0x83;  // the Chorus parameter interface's first byte
  bad[2][19] ^= 0xFF;
  for (std::size_t n = 0; n < good.size(); ++n) bad.emplace_back(good.begin(), good.begin() + n);
  for (const auto& bytes : bad) {
    Watched b;
    b.e->Params().ClearDirty();
    const SimpleDelayParams before = Read(*b.e);
    mw::MemoryStream s(bytes.data(), bytes.size());
    EXPECT_EQ(b.e->Load(s), mw::E_FAIL) << bytes.size();
    EXPECT_TRUE(Same(before, Read(*b.e)));
    EXPECT_EQ(b.e->IsDirty(), mw::S_FALSE);
    EXPECT_TRUE(b.sink.posted.empty() || bytes.size() >= 20);
  }
  for (int call : {1, 2}) {
    Watched b;
    FailingStream s(good, call);
    EXPECT_EQ(b.e->Load(s), kStreamError);
    EXPECT_EQ(b.sink.posted.size(), call == 1 ? 0u : 1u);
  }
}

// Indices out of range are refused; applying a row writes it whole, marks the block even
// when nothing differs, and notifies.
TEST(Presets, ApplyWritesTheWholeRowAndNotifies) {
  Watched w;
  const char* name = nullptr;
  for (int bad : {-1, 7}) {
    EXPECT_EQ(w.e->PresetName(bad, &name), mw::E_INVALIDARG);
    EXPECT_EQ(w.e->ApplyPreset(bad), mw::E_INVALIDARG);
  }
  EXPECT_TRUE(w.sink.posted.empty());
  for (int i = 0; i < w.e->PresetCount(); ++i) {
    EXPECT_EQ(w.e->ApplyPreset(i), mw::S_OK);
    const SimpleDelayParams before = Read(*w.e);
    Saved(*w.e, true);
    SimpleDelayParams scratch;
    w.e->Params().Take(&scratch);
    EXPECT_EQ(w.e->ApplyPreset(i), mw::S_OK);
    EXPECT_TRUE(Same(before, Read(*w.e)));
    EXPECT_EQ(w.e->IsDirty(), mw::S_OK);
    EXPECT_TRUE(w.e->Params().ChangedPending());
  }
  EXPECT_EQ(w.sink.posted.size(), 2u * w.e->PresetCount());
  for (const auto& n : w.sink.posted) EXPECT_EQ(n.wparam >> 16, 100u);
}

}  // namespace
