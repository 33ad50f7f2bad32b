// The steady-state streaming path allocates nothing: no heap allocation and no sample
// memory between the first buffer and the end of stream.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "core/frame/sample_memory.h"
#include "test_util.h"

namespace {
std::atomic<long> g_news{0};
}

// The replacement pair counts allocations; malloc and free behind new and delete are
// matched by construction, which the compiler cannot see.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  g_news.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

class NullDownstream : public mw::Downstream {
 public:
  explicit NullDownstream(std::size_t bytes) : buffer_(bytes) {}
  mw::HResult GetDeliveryBuffer(mw::MediaBuffer** b) override {
    *b = &buffer_;
    return mw::S_OK;
  }
  mw::HResult Deliver(mw::MediaBuffer*) override { return mw::S_OK; }
  void ReleaseBuffer(mw::MediaBuffer*) override {}
  mw::HResult DeliverEndOfStream() override { return mw::S_OK; }

 private:
  mw::HeapBuffer buffer_;
};

// 60 buffers of 256 frames, discontinuities at the first and the 30th, changes after the
// given buffers; counts the allocations after the start.
template <class Frame>
void ExpectNoAllocation(Frame& frame, mw::Effect& e, const mwtest::FormatCase& f,
                        std::uint16_t ch,
                        const std::vector<std::tuple<int, const char*, double>>& changes,
                        const char* what) {
  const auto block = mwtest::FormatBlock(f, ch, 8000);
  e.Connect(block.data(), 16);
  ASSERT_EQ(frame.StartStreaming(), mw::S_OK);
  mw::HeapBuffer buffer(256 * f.bits / 8 * ch);
  NullDownstream down(buffer.Size() * 4);
  const long news = g_news.load();
  const auto samples = mw::SampleAllocationCount();
  for (int i = 0; i < 60; ++i) {
    buffer.SetActualLength(buffer.Size());
    buffer.SetDiscontinuity(i == 0 || i == 30);
    ASSERT_EQ(frame.Receive(buffer, down), mw::S_OK);
    for (const auto& [at, field, v] : changes) {  // written in place: no allocation
      const int k = e.Params().Table().Find(field);
      if (at != i) continue;
      if (e.Params().Table().fields[k].type == mw::FieldType::Float64) {
        e.Params().PutDouble(k, v);
      } else {
        e.Params().Put(k, static_cast<std::int32_t>(v));
      }
    }
  }
  ASSERT_EQ(frame.EndOfStream(&down), mw::S_OK);
  EXPECT_EQ(g_news.load(), news) << what << " " << f.bits << " " << ch;
  EXPECT_EQ(mw::SampleAllocationCount(), samples) << what << " " << f.bits << " " << ch;
  frame.StopStreaming();
}

// Every effect with a demanding setting, in every format, mono and stereo, through changes
// that keep the sound (levels, decay, filters, a tap gain, the sweep's rate, a new length or
// ratio), a Chorus size or delay change that clears its lines where they lie,
// discontinuities that reset in place and oscillators that fill their sine tables as they go.
TEST(Allocation, SteadyStreamingAllocatesNothing) {
  struct Plan {
    const char* effect;
    int preset;
    mwtest::Sets before;
    std::vector<std::tuple<int, const char*, double>> changes;
  };
  const Plan plans[] = {
      {"delay", 0, {{"Feedback", 1}, {"DelayTime", 50}, {"DecayTime", 10}, {"DelayOut", -30},
                    {"DryOut", -30}}, {{25, "DryOut", -20}}},
      {"chorus", 12, {{"AttenuateHighs", 1}},
       {{10, "ChorusOut", -20}, {20, "ModulationRate", 9000}, {25, "ChorusSize", 1},
        {40, "ChorusOutDelay", 20}}},
      {"reverb", 3, {}, {{10, "DecayTime", 12}, {20, "ReverbOut", -100},
                         {25, "HighCutoff", 4000}, {40, "BassCutoff", 300}}},
      {"multitap", 3, {{"ModDepth", 80}},
       {{10, "WetOut", -20}, {20, "TapGain1", -70}, {40, "ModRate", 90}}},
      {"stretch", 0, {{"FinalLength", 13000.0}, {"Mode", 5}}, {{20, "FinalLength", 21000.0}}},
      {"pitch", 0, {{"Ratio", 1.4}, {"PreserveDuration", 1}, {"AntiAlias", 1}},
       {{20, "Ratio", 0.7}}},
      {"pitch", 0, {{"Ratio", 0.6}, {"Accuracy", 3}}, {{20, "Ratio", 1.9}}},
  };
  std::size_t count = 0;
  const mw::EffectDescription* const* catalog = mw::Catalog(&count);
  for (std::size_t c = 0; c < count; ++c) {  // a plan for every effect of the catalog
    bool planned = false;
    for (const Plan& p : plans) planned = planned || std::string(p.effect) == catalog[c]->cliName;
    EXPECT_TRUE(planned) << catalog[c]->cliName;
  }
  for (const Plan& plan : plans) {
    for (const auto& f : mwtest::AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        auto e = mwtest::NewEffect(plan.effect, plan.preset, plan.before);
        if (auto* in = dynamic_cast<mw::InPlaceEffect*>(e.get())) {
          ExpectNoAllocation(in->Frame(), *e, f, ch, plan.changes, plan.effect);
        } else {
          ExpectNoAllocation(static_cast<mw::CopyingEffect&>(*e).Frame(), *e, f, ch,
                             plan.changes, plan.effect);
        }
      }
    }
  }
}

}  // namespace
