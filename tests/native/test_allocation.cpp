// The steady-state streaming path allocates nothing: no heap allocation and no sample
// memory between the first buffer and the end of stream.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "frame/sample_memory.h"
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

TEST(Allocation, SteadyStreamingAllocatesNothing) {
  for (const auto& f : mwtest::AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      auto e = mwtest::NewDelay();
      mwtest::SetDelay(*e, {1, 50, 10, -30, -30});
      const auto block = mwtest::FormatBlock(f, ch, 8000);
      e->Frame().SetMediaType(mw::kPinInput, block.data());
      ASSERT_EQ(e->Frame().StartStreaming(), mw::S_OK);
      mw::HeapBuffer buffer(256 * f.bits / 8 * ch);
      NullDownstream down(buffer.Size());
      buffer.SetActualLength(buffer.Size());

      const long news = g_news.load();
      const auto samples = mw::SampleAllocationCount();
      for (int i = 0; i < 50; ++i) {
        buffer.SetActualLength(buffer.Size());
        buffer.SetDiscontinuity(i == 0);
        ASSERT_EQ(e->Frame().Receive(buffer, down), mw::S_OK);
        if (i == 25) e->Params().Put(0, -20);  // a level change keeps the line
      }
      ASSERT_EQ(e->Frame().EndOfStream(&down), mw::S_OK);
      EXPECT_EQ(g_news.load(), news);
      EXPECT_EQ(mw::SampleAllocationCount(), samples);
      e->Frame().StopStreaming();
    }
  }
}

// Multi-Tap Delay with every tap, feedback and the sweep: changes that keep the buffer
// length (levels, a tap gain, the rate) allocate nothing either.
TEST(Allocation, MultiTapStreamingAllocatesNothing) {
  for (const auto& f : mwtest::AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      auto e = mw::CreateEffect(*mw::FindEffect("multitap"));
      e->ApplyPreset(3);
      e->Params().Put(4, 80);  // ModDepth
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
        if (i == 10) e->Params().Put(2, -20);  // WetOut
        if (i == 20) e->Params().Put(11, -70);  // TapGain1
        if (i == 40) e->Params().Put(3, 90);  // ModRate
      }
      ASSERT_EQ(e->Frame().EndOfStream(&down), mw::S_OK);
      EXPECT_EQ(g_news.load(), news);
      EXPECT_EQ(mw::SampleAllocationCount(), samples);
      e->Frame().StopStreaming();
    }
  }
}

// Reverb: partial updates (levels, decay, filters) keep the lines, and a discontinuity
// clears them where they lie.
TEST(Allocation, ReverbStreamingAllocatesNothing) {
  for (const auto& f : mwtest::AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      auto e = mw::CreateEffect(*mw::FindEffect("reverb"));
      e->ApplyPreset(3);
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
        if (i == 10) e->Params().Put(5, 12);      // DecayTime
        if (i == 20) e->Params().Put(3, -100);    // ReverbOut
        if (i == 25) e->Params().Put(10, 4000);   // HighCutoff
        if (i == 40) e->Params().Put(9, 300);     // BassCutoff
      }
      ASSERT_EQ(e->Frame().EndOfStream(&down), mw::S_OK);
      EXPECT_EQ(g_news.load(), news);
      EXPECT_EQ(mw::SampleAllocationCount(), samples);
      e->Frame().StopStreaming();
    }
  }
}

// Chorus: partial updates keep the lines, a size change clears them where they lie, a
// discontinuity resets in place, and the oscillators' sine tables fill as they go.
TEST(Allocation, ChorusStreamingAllocatesNothing) {
  for (const auto& f : mwtest::AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      auto e = mw::CreateEffect(*mw::FindEffect("chorus"));
      e->ApplyPreset(12);
      e->Params().Put(9, 1);  // AttenuateHighs
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
        if (i == 10) e->Params().Put(2, -20);    // ChorusOut
        if (i == 20) e->Params().Put(7, 9000);   // ModulationRate
        if (i == 25) e->Params().Put(3, 1);      // ChorusSize
        if (i == 40) e->Params().Put(6, 20);     // ChorusOutDelay
      }
      ASSERT_EQ(e->Frame().EndOfStream(&down), mw::S_OK);
      EXPECT_EQ(g_news.load(), news);
      EXPECT_EQ(mw::SampleAllocationCount(), samples);
      e->Frame().StopStreaming();
    }
  }
}

}  // namespace
