// The parameter rules: clamping, the changed/dirty flags, notification slots, and the
// lock that keeps snapshots whole.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "test_util.h"

namespace {

constexpr std::size_t kDryOut = 0, kDelayOut = 1, kFeedback = 2, kDelayTime = 3, kDecayTime = 4;

SimpleDelayParams Read(mw::InPlaceEffect& e) {
  SimpleDelayParams p;
  EXPECT_EQ(e.Params().GetParameters(&p), mw::S_OK);
  return p;
}

TEST(Parameters, FieldTableFollowsTheAccessorOrder) {
  auto e = mwtest::NewDelay();
  const mw::ParamTable& t = e->Params().Table();
  ASSERT_EQ(t.count, 5u);
  const char* names[] = {"DryOut", "DelayOut", "Feedback", "DelayTime", "DecayTime"};
  for (std::size_t i = 0; i < t.count; ++i) EXPECT_STREQ(t.fields[i].name, names[i]);
  EXPECT_EQ(t.Find("DelayTime"), 3);
  EXPECT_EQ(t.Find("delaytime"), -1);
  EXPECT_EQ(t.blockSize, 20u);
}

TEST(Parameters, NewEngineIsZeroAndChangedUntilThePresetIsApplied) {
  mw::SimpleDelayEngine engine;
  SimpleDelayParams p;
  engine.Params().GetParameters(&p);
  EXPECT_EQ(p.Feedback | p.DelayTime | p.DecayTime | p.DelayOut | p.DryOut, 0);
  EXPECT_TRUE(engine.Params().ChangedPending());
  EXPECT_FALSE(engine.Params().Dirty());

  auto e = mwtest::NewDelay();  // a filter applies preset 0
  p = Read(*e);
  EXPECT_EQ(p.Feedback, 0);
  EXPECT_EQ(p.DelayTime, 100);
  EXPECT_EQ(p.DecayTime, 1);
  EXPECT_EQ(p.DelayOut, -60);
  EXPECT_EQ(p.DryOut, -60);
  EXPECT_EQ(e->IsDirty(), mw::S_OK);
}

TEST(Parameters, SingleFieldSettersClampAndAlwaysSucceed) {
  auto e = mwtest::NewDelay();
  mw::ParamStore& s = e->Params();
  struct Case {
    std::size_t field;
    std::int32_t in, stored;
  };
  for (Case c : {Case{kDelayTime, 0, 1}, Case{kDelayTime, -5, 1}, Case{kDelayTime, 5001, 5000},
                 Case{kDelayTime, INT32_MAX, 5000}, Case{kDecayTime, 0, 1},
                 Case{kDecayTime, 201, 200}, Case{kDelayOut, -801, -800},
                 Case{kDelayOut, 1, 0}, Case{kDelayOut, INT32_MIN, -800},
                 Case{kDryOut, 60, 60}, Case{kDryOut, -5000, -5000},
                 Case{kFeedback, 7, 7}, Case{kFeedback, -1, -1}}) {
    EXPECT_EQ(s.Put(c.field, c.in), mw::S_OK);
    std::int32_t v;
    EXPECT_EQ(s.Get(c.field, &v), mw::S_OK);
    EXPECT_EQ(v, c.stored) << c.field << " <- " << c.in;
  }
  EXPECT_EQ(s.Put(5, 1), mw::E_INVALIDARG);
  EXPECT_EQ(s.Get(0, nullptr), mw::E_POINTER);
}

TEST(Parameters, UnchangedValueLeavesTheFlags) {
  auto e = mwtest::NewDelay();
  mw::ParamStore& s = e->Params();
  SimpleDelayParams p;
  s.Take(&p);
  s.ClearDirty();
  s.Put(kDelayTime, 100);   // already stored
  s.Put(kDelayTime, 0);     // clamps to 1: a change
  EXPECT_TRUE(s.ChangedPending());
  EXPECT_TRUE(s.Dirty());
  s.Take(&p);
  s.ClearDirty();
  s.Put(kDelayTime, -3);    // clamps to the stored 1
  EXPECT_FALSE(s.ChangedPending());
  EXPECT_FALSE(s.Dirty());
}

TEST(Parameters, WholeBlockSetterClampsAndReportsIt) {
  auto e = mwtest::NewDelay();
  mw::ParamStore& s = e->Params();
  SimpleDelayParams p{1, 0, 1, -60, -60};
  EXPECT_EQ(s.SetParameters(&p), mw::E_FAIL);
  EXPECT_EQ(Read(*e).DelayTime, 1);

  // Unranged fields are never reported, however odd.
  p = {-42, 100, 1, -60, 900};
  EXPECT_EQ(s.SetParameters(&p), mw::S_OK);
  EXPECT_EQ(Read(*e).Feedback, -42);
  EXPECT_EQ(Read(*e).DryOut, 900);

  // Every ranged field is corrected, not only the first.
  p = {0, 9999, 0, 5, -60};
  EXPECT_EQ(s.SetParameters(&p), mw::E_FAIL);
  const SimpleDelayParams q = Read(*e);
  EXPECT_EQ(q.DelayTime, 5000);
  EXPECT_EQ(q.DecayTime, 1);
  EXPECT_EQ(q.DelayOut, 0);

  // Equal values still mark the block.
  s.Take(&p);
  s.ClearDirty();
  p = Read(*e);
  EXPECT_EQ(s.SetParameters(&p), mw::S_OK);
  EXPECT_TRUE(s.ChangedPending());
  EXPECT_TRUE(s.Dirty());
  EXPECT_EQ(s.SetParameters(nullptr), mw::E_POINTER);
  EXPECT_EQ(s.GetParameters(nullptr), mw::E_POINTER);
}

TEST(Parameters, TakeHandsOutTheChangedFlagOnce) {
  auto e = mwtest::NewDelay();
  SimpleDelayParams p;
  EXPECT_TRUE(e->Params().Take(&p));
  EXPECT_FALSE(e->Params().Take(&p));
  e->Params().Put(kDecayTime, 50);
  EXPECT_TRUE(e->Params().Take(&p));
  EXPECT_EQ(p.DecayTime, 50);
}

TEST(Notification, TwoSlotsThenOutOfMemory) {
  auto e = mwtest::NewDelay();
  mw::ParamStore& s = e->Params();
  mwtest::RecordingSink sink;
  s.SetNotifySink(&sink);
  EXPECT_EQ(s.RegisterNotifyWindow(0x100, 32700), mw::S_OK);
  EXPECT_EQ(s.RegisterNotifyWindow(0x200, 32700), mw::S_OK);
  EXPECT_EQ(s.RegisterNotifyWindow(0x300, 32700), mw::E_OUTOFMEMORY);
  EXPECT_EQ(s.RegisterNotifyWindow(0x100, 5), mw::S_OK);  // the same window: new id
  EXPECT_EQ(s.RegisterNotifyWindow(0x300, 0), mw::S_OK);  // unregistering a stranger

  s.Notify(100);
  ASSERT_EQ(sink.posted.size(), 2u);
  std::uint32_t seen = 0;
  for (const auto& p : sink.posted) {
    EXPECT_EQ(p.wparam >> 16, 100u);
    const std::uint32_t id = p.window == 0x100 ? 5u : 32700u;
    EXPECT_EQ(p.wparam & 0xFFFF, id);
    seen |= p.window;
  }
  EXPECT_EQ(seen, 0x300u);

  // Unregistering frees a slot for a third window.
  EXPECT_EQ(s.RegisterNotifyWindow(0x200, 0), mw::S_OK);
  EXPECT_EQ(s.RegisterNotifyWindow(0x300, 32700), mw::S_OK);
  sink.posted.clear();
  s.Notify(1);
  ASSERT_EQ(sink.posted.size(), 2u);
  for (const auto& p : sink.posted) EXPECT_NE(p.window, 0x200u);
}

TEST(Notification, DestroyedWindowsAreDroppedAtTheNextNotice) {
  auto e = mwtest::NewDelay();
  mw::ParamStore& s = e->Params();
  mwtest::RecordingSink sink;
  s.SetNotifySink(&sink);
  s.RegisterNotifyWindow(0x10, 32700);
  s.RegisterNotifyWindow(0x20, 32700);
  sink.Destroy(0x10);
  s.Notify(100);
  ASSERT_EQ(sink.posted.size(), 1u);
  EXPECT_EQ(sink.posted[0].window, 0x20u);
  // Its slot is free again.
  EXPECT_EQ(s.RegisterNotifyWindow(0x30, 32700), mw::S_OK);
}

TEST(Notification, PlainWritesPostNothing) {
  auto e = mwtest::NewDelay();
  mwtest::RecordingSink sink;
  e->Params().SetNotifySink(&sink);
  e->Params().RegisterNotifyWindow(0x10, 32700);
  e->Params().Put(kDelayTime, 300);
  SimpleDelayParams p{1, 200, 5, -10, -10};
  e->Params().SetParameters(&p);
  EXPECT_TRUE(sink.posted.empty());
}

// The streaming thread's snapshot is always one whole block, never a mix of two writes.
TEST(Parameters, SnapshotsAreNeverTorn) {
  auto e = mwtest::NewDelay();
  mw::ParamStore& s = e->Params();
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    const SimpleDelayParams a{0, 100, 1, -60, -60}, b{1, 4000, 150, -5, 20};
    for (int i = 0; !stop.load(); ++i) s.SetParameters(i % 2 ? &a : &b);
  });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    SimpleDelayParams p;
    s.Take(&p);
    const bool isA = p.Feedback == 0 && p.DelayTime == 100 && p.DecayTime == 1 &&
                     p.DelayOut == -60 && p.DryOut == -60;
    const bool isB = p.Feedback == 1 && p.DelayTime == 4000 && p.DecayTime == 150 &&
                     p.DelayOut == -5 && p.DryOut == 20;
    if (!isA && !isB) ++torn;
  }
  stop = true;
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
