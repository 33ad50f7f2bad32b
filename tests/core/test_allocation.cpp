// The steady-state streaming path allocates nothing: no heap allocation and no sample
// memory between the first buffer and the end of stream.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
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

// Each effect of the catalog with a demanding setting, in every format, mono and stereo:
// between the first buffer and the end of stream nothing is allocated, through changes that
// keep the sound (levels, decay, filters, a tap gain, the sweep's rate), a Chorus size or
// delay change that clears its lines where they lie, discontinuities that reset in place
// and oscillators that fill their sine tables as they go.
struct Plan {
  const char* effect;
  int preset;
  std::vector<std::pair<const char*, std::int32_t>> before;        // settings before the start
  std::vector<std::tuple<int, const char*, std::int32_t>> changes;  // after buffer i
};

TEST(Allocation, SteadyStreamingAllocatesNothing) {
  const Plan plans[] = {
      {"delay", 0, {{"Feedback", 1}, {"DelayTime", 50}, {"DecayTime", 10}, {"DelayOut", -30},
                    {"DryOut", -30}}, {{25, "DryOut", -20}}},
      {"chorus", 12, {{"AttenuateHighs", 1}},
       {{10, "ChorusOut", -20}, {20, "ModulationRate", 9000}, {25, "ChorusSize", 1},
        {40, "ChorusOutDelay", 20}}},
      {"reverb", 3, {},
       {{10, "DecayTime", 12}, {20, "ReverbOut", -100}, {25, "HighCutoff", 4000},
        {40, "BassCutoff", 300}}},
      {"multitap", 3, {{"ModDepth", 80}},
       {{10, "WetOut", -20}, {20, "TapGain1", -70}, {40, "ModRate", 90}}},
  };
  std::size_t count = 0;
  const mw::EffectDescription* const* catalog = mw::Catalog(&count);
  for (std::size_t c = 0; c < count; ++c) {
    if (catalog[c]->kind != mw::EffectKind::kInPlace) continue;
    const Plan* plan = nullptr;
    for (const Plan& p : plans) {
      if (std::strcmp(p.effect, catalog[c]->cliName) == 0) plan = &p;
    }
    ASSERT_NE(plan, nullptr) << catalog[c]->cliName << " has no plan";
    const mw::ParamTable& table = catalog[c]->params;
    for (const auto& change : plan->changes) ASSERT_GE(table.Find(std::get<1>(change)), 0);
    for (const auto& f : mwtest::AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        auto e = std::make_unique<mw::InPlaceEffect>(*catalog[c]);
        e->ApplyPreset(plan->preset);
        for (const auto& [field, v] : plan->before) {
          ASSERT_EQ(e->Params().Put(table.Find(field), v), mw::S_OK) << field;
        }
        const auto block = mwtest::FormatBlock(f, ch, 8000);
        e->Frame().SetMediaType(mw::kPinInput, block.data());
        ASSERT_EQ(e->Frame().StartStreaming(), mw::S_OK);
        mw::HeapBuffer buffer(256 * f.bits / 8 * ch);
        NullDownstream down(buffer.Size());

        const long news = g_news.load();
        const auto samples = mw::SampleAllocationCount();
        for (int i = 0; i < 50; ++i) {
          buffer.SetActualLength(buffer.Size());
          buffer.SetDiscontinuity(i == 0 || i == 30);
          ASSERT_EQ(e->Frame().Receive(buffer, down), mw::S_OK);
          for (const auto& [at, field, v] : plan->changes) {
            if (at == i) e->Params().Put(table.Find(field), v);
          }
        }
        ASSERT_EQ(e->Frame().EndOfStream(&down), mw::S_OK);
        EXPECT_EQ(g_news.load(), news) << plan->effect << " " << f.bits << " " << ch;
        EXPECT_EQ(mw::SampleAllocationCount(), samples) << plan->effect << " " << f.bits;
        e->Frame().StopStreaming();
      }
    }
  }
}

}  // namespace

namespace {

// The effects that change the length: from the start of streaming to the end of the drain
// nothing is allocated, through a length or ratio change that keeps the sound and a
// discontinuity that starts afresh in the same buffers.
TEST(Allocation, CopyingStreamingAllocatesNothing) {
  struct CopyPlan {
    const char* effect;
    std::vector<std::pair<const char*, double>> before;
    const char* changed;
    double to;
  };
  const CopyPlan plans[] = {
      {"stretch", {{"FinalLength", 13000.0}, {"Mode", 5}}, "FinalLength", 21000.0},
      {"pitch", {{"Ratio", 1.4}, {"PreserveDuration", 1}, {"AntiAlias", 1}}, "Ratio", 0.7},
      {"pitch", {{"Ratio", 0.6}, {"Accuracy", 3}}, "Ratio", 1.9},
  };
  for (const CopyPlan& plan : plans) {
    for (const auto& f : mwtest::AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        auto e = mw::CreateEffect(*mw::FindEffect(plan.effect));
        mw::ParamStore& p = e->Params();
        for (const auto& [field, v] : plan.before) {
          const int i = p.Table().Find(field);
          ASSERT_GE(i, 0) << field;
          if (p.Table().fields[i].type == mw::FieldType::Float64) p.PutDouble(i, v);
          else p.Put(i, static_cast<std::int32_t>(v));
        }
        auto& frame = static_cast<mw::CopyingEffect&>(*e).Frame();
        const auto block = mwtest::FormatBlock(f, ch, 8000);
        e->Connect(block.data(), 16);
        ASSERT_EQ(frame.StartStreaming(), mw::S_OK);
        mw::HeapBuffer buffer(256 * f.bits / 8 * ch);
        NullDownstream down(buffer.Size() * 4);

        const long news = g_news.load();
        const auto samples = mw::SampleAllocationCount();
        for (int i = 0; i < 60; ++i) {
          buffer.SetActualLength(buffer.Size());
          buffer.SetDiscontinuity(i == 0 || i == 40);
          ASSERT_EQ(frame.Receive(buffer, down), mw::S_OK);
          if (i == 20) p.PutDouble(p.Table().Find(plan.changed), plan.to);
        }
        ASSERT_EQ(frame.EndOfStream(&down), mw::S_OK);
        EXPECT_EQ(g_news.load(), news) << plan.effect << " " << f.bits << " " << ch;
        EXPECT_EQ(mw::SampleAllocationCount(), samples) << plan.effect << " " << f.bits;
        frame.StopStreaming();
      }
    }
  }
}

}  // namespace
