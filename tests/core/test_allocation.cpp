// The steady-state streaming path allocates nothing: no heap allocation and no sample
// memory between the first buffer and the end of stream.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
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
  mw::SinkDownstream down(buffer.Size() * 4,
                          [](const std::uint8_t*, std::size_t) { return mw::S_OK; });
  const long news = g_news.load();
  const auto samples = mw::SampleAllocationCount();
  for (int i = 0; i < 60; ++i) {
    buffer.SetActualLength(buffer.Size());
    buffer.SetDiscontinuity(i == 0 || i == 30);
    ASSERT_EQ(frame.Receive(buffer, down), mw::S_OK);
    for (const auto& [at, field, v] : changes) {  // written in place: no allocation
      if (at == i) {
        EXPECT_EQ(mwtest::PutField(e.Params(), field, v), mw::S_OK) << field;
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

struct SizedRun {
  std::vector<std::uint8_t> output;
  long news = 0;
  std::uint64_t samples = 0;  // sample memory made after the start
};

// 40 buffers of 300 frames of a signal with the changes written before the given buffers,
// with real-time sizing on or off; the allocations after the start are counted.
template <class Frame, class Engine>
SizedRun RunSized(Frame& frame, Engine& engine, mw::Effect& e, bool sized,
                  const mwtest::FormatCase& f, std::uint16_t ch,
                  const std::vector<std::tuple<int, const char*, double>>& changes) {
  engine.SetRealTimeSizing(sized);
  const auto block = mwtest::FormatBlock(f, ch, 11025);
  e.Connect(block.data(), 16);
  EXPECT_EQ(frame.StartStreaming(), mw::S_OK);
  const std::uint32_t bytes = 300 * f.bits / 8 * ch;
  const std::vector<std::uint8_t> signal = mwtest::MakeSignal(f, ch, 300 * 40, 7);
  mw::HeapBuffer buffer(bytes);
  SizedRun run;
  run.output.reserve(std::size_t{bytes} * 48);  // the stream's output, without growing
  mw::SinkDownstream down(bytes * 4, [&run](const std::uint8_t* d, std::size_t n) {
    run.output.insert(run.output.end(), d, d + n);
    return mw::S_OK;
  });
  run.news = g_news.load();
  run.samples = mw::SampleAllocationCount();
  for (int i = 0; i < 40; ++i) {
    for (const auto& [at, field, v] : changes) {  // no allocation in the writes
      if (at == i) {
        EXPECT_EQ(mwtest::PutField(e.Params(), field, v), mw::S_OK) << field;
      }
    }
    std::memcpy(buffer.Data(), signal.data() + std::size_t{bytes} * i, bytes);
    buffer.SetActualLength(static_cast<std::int32_t>(bytes));
    buffer.SetDiscontinuity(i == 0 || i == 30);
    EXPECT_EQ(frame.Receive(buffer, down), mw::S_OK);
  }
  run.news = g_news.load() - run.news;
  run.samples = mw::SampleAllocationCount() - run.samples;
  EXPECT_EQ(frame.EndOfStream(&down), mw::S_OK);
  frame.StopStreaming();
  return run;
}

// Real-time sizing makes the largest memory at the start: changes that resize the delay
// lines, the reverb's lines or the splice buffers and the resampler's ring (up and down, across a discontinuity)
// allocate nothing afterwards, and every delivered byte is what the sizing-off run makes.
TEST(Allocation, RealTimeSizingAllocatesOnlyAtTheStartAndChangesNoSample) {
  struct Plan {
    const char* effect;
    mwtest::Sets before;
    std::vector<std::tuple<int, const char*, double>> changes;
  };
  const Plan plans[] = {
      {"delay", {{"Feedback", 1}, {"DelayTime", 30}},
       {{5, "DelayTime", 5000}, {12, "DelayTime", 7}, {20, "DecayTime", 200},
        {33, "DelayTime", 900}}},
      {"reverb", {{"ReverbMode", 2}},
       {{5, "ReverbMode", 10}, {12, "PreDelay", 200}, {20, "EarlyStyle", 5},
        {33, "ReverbMode", 0}, {35, "PreDelay", 0}}},
      {"multitap", {{"TapCount", 2}},
       {{5, "TapDelay2", 2500}, {10, "TapCount", 8}, {15, "ModDepth", 100},
        {20, "TapDelay8", 2500}, {33, "TapCount", 1}}},
      {"pitch", {{"PreserveDuration", 1}, {"Ratio", 1.3}, {"Mode", 16}},
       {{5, "Mode", 0}, {12, "Accuracy", 3}, {20, "Mode", 16}, {25, "Ratio", 0.7},
        {33, "Mode", 1}}},
  };
  for (const Plan& plan : plans) {
    for (const auto& f : mwtest::AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        SizedRun runs[2];
        for (bool sized : {false, true}) {
          auto e = mwtest::NewEffect(plan.effect, 0, plan.before);
          if (auto* in = dynamic_cast<mw::InPlaceEffect*>(e.get())) {
            runs[sized] = RunSized(in->Frame(), in->Engine(), *e, sized, f, ch, plan.changes);
          } else {
            auto& copying = static_cast<mw::CopyingEffect&>(*e);
            runs[sized] = RunSized(copying.Frame(), copying.Engine(), *e, sized, f, ch,
                                   plan.changes);
          }
        }
        const std::string what = std::string(plan.effect) + " " + std::to_string(f.bits) +
                                 " bits, " + std::to_string(ch) + " channels";
        EXPECT_EQ(runs[1].news, 0) << what;
        EXPECT_EQ(runs[1].samples, 0u) << what;
        EXPECT_GT(runs[0].samples + static_cast<std::uint64_t>(runs[0].news), 0u)
            << what << ": the changes resize memory when the sizing is off";
        EXPECT_EQ(runs[0].output, runs[1].output) << what;
      }
    }
  }
}

}  // namespace
