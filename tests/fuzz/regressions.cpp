// Regressions of what fuzzing found: each test replays the shape of one finding against
// the portable core, so that the fault cannot come back unnoticed in the ordinary builds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/effects/catalog.h"
#include "core/effects/copying_effect.h"
#include "core/effects/inplace_effect.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/frame/format_pair.h"
#include "core/frame/le_bytes.h"
#include "core/frame/memory_stream.h"
#include "test_util.h"

namespace {

// Downstream with buffers of a chosen size that gives up after a number of buffers, so
// that a frame which would ask forever is caught rather than hanging the test.
class CappedDownstream final : public mw::Downstream {
 public:
  explicit CappedDownstream(std::size_t bufferBytes, int cap = 10000)
      : buffer_(bufferBytes), cap_(cap) {}
  mw::HResult GetDeliveryBuffer(mw::MediaBuffer** out) override {
    if (++requests > cap_) return mw::E_FAIL;
    buffer_.Clear();
    *out = &buffer_;
    return mw::S_OK;
  }
  mw::HResult Deliver(mw::MediaBuffer* b) override {
    ++deliveries;
    bytes += static_cast<std::uint64_t>(b->ActualLength());
    if (kept != nullptr) kept->insert(kept->end(), b->Data(), b->Data() + b->ActualLength());
    return mw::S_OK;
  }
  void ReleaseBuffer(mw::MediaBuffer*) override {}
  mw::HResult DeliverEndOfStream() override {
    ++endOfStreams;
    return mw::S_OK;
  }
  int requests = 0, deliveries = 0, endOfStreams = 0;
  std::uint64_t bytes = 0;
  std::vector<std::uint8_t>* kept = nullptr;  // where delivered bytes go, if anywhere

 private:
  mw::HeapBuffer buffer_;
  int cap_;
};

// A media buffer that reports what its sender chose: a length beyond its size, or data
// without memory.
class LyingBuffer final : public mw::MediaBuffer {
 public:
  LyingBuffer(std::size_t size, std::int32_t actual, bool memory)
      : bytes_(size), actual_(actual), memory_(memory) {}
  std::uint8_t* Data() override { return memory_ ? bytes_.data() : nullptr; }
  std::int32_t Size() override { return static_cast<std::int32_t>(bytes_.size()); }
  std::int32_t ActualLength() override { return actual_; }
  void SetActualLength(std::int32_t n) override { actual_ = n; }
  bool IsDiscontinuity() override { return false; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::int32_t actual_;
  bool memory_;
};

// A format block of `bytes` bytes followed by guard bytes that nothing may touch.
struct GuardedBlock {
  static constexpr std::size_t kGuard = 8;
  std::vector<std::uint8_t> memory;
  explicit GuardedBlock(std::uint32_t bytes) : memory(bytes + kGuard, 0xAB) {
    const auto plain = mwtest::FormatBlock(mwtest::AllFormats()[1], 2, 44100);
    std::memcpy(memory.data(), plain.data(), std::min<std::size_t>(bytes, plain.size()));
  }
  bool GuardIntact(std::uint32_t bytes) const {
    for (std::size_t i = bytes; i < memory.size(); ++i) {
      if (memory[i] != 0xAB) return false;
    }
    return true;
  }
};

// The copying filters propose the input's type normalised; a 17-byte format block has no
// room for cbSize, which was written all the same, one byte past the block.
TEST(Regressions, NormalisingAShortBlockWritesOnlyInsideIt) {
  for (std::uint32_t bytes : {16u, 17u, 18u, 20u}) {
    GuardedBlock b(bytes);
    mw::NormaliseFormatBlock(b.memory.data(), bytes);
    EXPECT_TRUE(b.GuardIntact(bytes)) << bytes << " bytes";
    EXPECT_EQ(mw::GetLe16(b.memory.data() + 12), 4) << bytes << " bytes";
    if (bytes >= 18) {
      EXPECT_EQ(mw::GetLe16(b.memory.data() + 16), 0) << bytes << " bytes";
    }
  }
}

// A Pitch Shift record whose Ratio is not a positive finite number: the store refuses the
// block whole, so the load took nothing but answered S_OK and posted a change notice.
TEST(Regressions, ARecordWhoseBlockIsRefusedIsRefused) {
  const double bad[] = {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(), -0.0};
  for (double ratio : bad) {
    auto source = mw::CreateEffect(mw::kPitchShift);
    mw::MemoryStream saved;
    ASSERT_EQ(source->Save(saved, true), mw::S_OK);
    std::vector<std::uint8_t> record = saved.Bytes();
    std::memcpy(record.data() + mw::kRecordHeaderBytes + offsetof(PitchShiftParams, Ratio),
                &ratio, sizeof ratio);

    auto target = mw::CreateEffect(mw::kPitchShift);
    ASSERT_EQ(target->ApplyPreset(2), mw::S_OK);
    mw::MemoryStream clean;
    ASSERT_EQ(target->Save(clean, true), mw::S_OK);
    mwtest::RecordingSink sink;
    target->Params().SetNotifySink(&sink);
    ASSERT_EQ(target->Params().RegisterNotifyWindow(7, mw::ParamStore::kPageNotifyId), mw::S_OK);
    PitchShiftParams before, after;
    target->Params().GetParameters(&before);

    mw::MemoryStream in(record.data(), record.size());
    EXPECT_EQ(target->Load(in), mw::E_FAIL) << ratio;
    target->Params().GetParameters(&after);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << ratio;
    EXPECT_EQ(target->IsDirty(), mw::S_FALSE) << ratio;
    EXPECT_TRUE(sink.posted.empty()) << ratio;
  }
}

// Downstream buffers smaller than one frame (an upstream allocator of tiny buffers, which
// the in-place filters share): the tail could never advance, and end of stream asked for
// buffers forever. Now the tail ends and end of stream goes on.
TEST(Regressions, EndOfStreamIntoBuffersSmallerThanAFrameFinishes) {
  for (const char* name : {"delay", "reverb", "multitap"}) {
    for (std::size_t bytes : {0u, 1u, 3u}) {
      mw::InPlaceEffect e(*mw::FindEffect(name));
      const auto block = mwtest::FormatBlock(mwtest::AllFormats()[1], 2, 8000);
      ASSERT_EQ(e.Connect(block.data(), 16), mw::S_OK);
      ASSERT_EQ(e.Frame().StartStreaming(), mw::S_OK);
      mw::HeapBuffer sample(400);
      sample.SetActualLength(400);
      CappedDownstream input(400), tiny(bytes);
      ASSERT_EQ(e.Frame().Receive(sample, input), mw::S_OK);
      EXPECT_EQ(e.Frame().EndOfStream(&tiny), mw::S_OK) << name << ", " << bytes;
      EXPECT_EQ(tiny.endOfStreams, 1) << name << ", " << bytes;
      EXPECT_LE(tiny.requests, 1) << name << ", " << bytes;
      EXPECT_FALSE(e.Frame().InTail());
    }
  }
  for (const char* name : {"pitch", "stretch"}) {
    mw::CopyingEffect e(*mw::FindEffect(name));
    const auto block = mwtest::FormatBlock(mwtest::AllFormats()[4], 2, 44100);
    ASSERT_EQ(e.Connect(block.data(), 16), mw::S_OK);
    ASSERT_EQ(e.Frame().StartStreaming(), mw::S_OK);
    mw::HeapBuffer sample(16000);
    sample.SetActualLength(16000);
    CappedDownstream out(4096), tiny(15);
    ASSERT_EQ(e.Frame().Receive(sample, out), mw::S_OK);
    EXPECT_EQ(e.Frame().EndOfStream(&tiny), mw::S_OK) << name;
    EXPECT_EQ(tiny.endOfStreams, 1) << name;
    EXPECT_EQ(tiny.deliveries, 0) << name;
  }
}

// Pitch Shift switched to keep the duration while streaming, then ending before a buffer
// took the change: the drain took the new setting, which was never set up, and asked its
// splice engine for frames forever. The drain now goes on the way the stream went: it
// gives what the same stream gives without the change.
TEST(Regressions, PitchShiftDrainsAsTheStreamWentWhenPreserveDurationChanges) {
  const int field = mw::kPitchShift.params.Find("PreserveDuration");
  for (int withInput = 0; withInput < 2; ++withInput) {
    for (std::uint32_t preserveFirst = 0; preserveFirst < 2; ++preserveFirst) {
      std::uint64_t drained[2] = {};
      for (int change = 0; change < 2; ++change) {
        mw::CopyingEffect e(mw::kPitchShift);
        const auto block = mwtest::FormatBlock(mwtest::AllFormats()[2], 1, 3100);
        ASSERT_EQ(e.Connect(block.data(), 16), mw::S_OK);
        ASSERT_EQ(e.Params().Put(static_cast<std::size_t>(field), preserveFirst), mw::S_OK);
        ASSERT_EQ(e.Frame().StartStreaming(), mw::S_OK);
        CappedDownstream out(4096);
        if (withInput) {
          mw::HeapBuffer sample(4000);
          sample.SetActualLength(4000);
          ASSERT_EQ(e.Frame().Receive(sample, out), mw::S_OK);
        }
        if (change) {
          ASSERT_EQ(e.Params().Put(static_cast<std::size_t>(field), 1 - preserveFirst), mw::S_OK);
        }
        out.requests = 0;
        out.bytes = 0;
        EXPECT_EQ(e.Frame().EndOfStream(&out), mw::S_OK);
        EXPECT_EQ(out.endOfStreams, 1);
        EXPECT_LT(out.requests, 100);
        drained[change] = out.bytes;
      }
      EXPECT_EQ(drained[0], drained[1]) << "input " << withInput << ", preserve " << preserveFirst;
    }
  }
}

// Samples arriving after the end of the stream, without a discontinuity: the drained
// engine went on half ended, and a later end of stream asked for frames forever. Such
// samples now start a new stream, which gives what a fresh start gives.
TEST(Regressions, ACopyingStreamThatGoesOnAfterItsEndStartsAgain) {
  for (const char* name : {"pitch", "stretch"}) {
    for (std::uint32_t preserve = 0; preserve < 2; ++preserve) {
      std::vector<std::uint8_t> outputs[2];
      for (int again = 0; again < 2; ++again) {
        mw::CopyingEffect e(*mw::FindEffect(name));
        const int field = e.Params().Table().Find("PreserveDuration");
        if (field >= 0) e.Params().Put(static_cast<std::size_t>(field), preserve);
        const auto block = mwtest::FormatBlock(mwtest::AllFormats()[0], 2, 1000);
        ASSERT_EQ(e.Connect(block.data(), 16), mw::S_OK);
        ASSERT_EQ(e.Frame().StartStreaming(), mw::S_OK);
        const auto signal = mwtest::MakeSignal(mwtest::AllFormats()[0], 2, 300, 5);
        mw::HeapBuffer sample(signal.size());
        std::memcpy(sample.Data(), signal.data(), signal.size());
        sample.SetActualLength(static_cast<std::int32_t>(signal.size()));
        sample.SetDiscontinuity(true);
        if (again) {
          CappedDownstream first(4096);
          ASSERT_EQ(e.Frame().Receive(sample, first), mw::S_OK);
          ASSERT_EQ(e.Frame().EndOfStream(&first), mw::S_OK);
          sample.SetDiscontinuity(false);
        }
        CappedDownstream out(4096, 200);
        out.kept = &outputs[again];
        ASSERT_GE(e.Frame().Receive(sample, out), 0) << name;
        EXPECT_EQ(e.Frame().EndOfStream(&out), mw::S_OK) << name;
        EXPECT_EQ(out.endOfStreams, 1) << name;
      }
      EXPECT_FALSE(outputs[0].empty()) << name;
      EXPECT_TRUE(outputs[0] == outputs[1]) << name << ", preserve " << preserve;
    }
  }
}

// Pitch Shift at 0 samples per second (the format test accepts any rate, also while
// streaming): the effective ratio became 0 and each input frame made output without end.
// Now the engine cannot be set up there: the start, or the buffers, fail with a status,
// and end of stream finishes.
TEST(Regressions, PitchShiftRefusesARateOfZero) {
  const auto zero = mwtest::FormatBlock(mwtest::AllFormats()[0], 1, 0);
  const auto normal = mwtest::FormatBlock(mwtest::AllFormats()[0], 1, 8000);
  {
    mw::CopyingEffect e(mw::kPitchShift);
    ASSERT_EQ(e.Connect(zero.data(), 16), mw::S_OK);
    EXPECT_EQ(e.Frame().StartStreaming(), mw::E_FAIL);
  }
  mw::CopyingEffect e(mw::kPitchShift);
  ASSERT_EQ(e.Connect(normal.data(), 16), mw::S_OK);
  ASSERT_EQ(e.Frame().StartStreaming(), mw::S_OK);
  mw::HeapBuffer sample(500);
  sample.SetActualLength(500);
  CappedDownstream out(4096, 100);
  ASSERT_EQ(e.Frame().Receive(sample, out), mw::S_OK);
  // The rate changes to 0 with a sample: the filters follow a new rate while streaming.
  ASSERT_EQ(e.Connect(zero.data(), 16), mw::S_OK);
  sample.SetDiscontinuity(true);
  const int requests = out.requests;
  EXPECT_EQ(e.Frame().Receive(sample, out), mw::E_FAIL);
  EXPECT_EQ(out.requests, requests + 1);  // one buffer asked for, none filled
  EXPECT_EQ(e.Frame().EndOfStream(&out), mw::S_OK);
  EXPECT_EQ(out.endOfStreams, 1);
  EXPECT_LT(out.requests, 100);
}

// Samples that lie: a length beyond the buffer, or data without memory. Each is refused
// with a status and nothing is delivered; a buffer without memory that holds nothing, in
// stereo, is no fault (the loops were handed a null pointer to step through).
TEST(Regressions, LyingSamplesAreRefused) {
  const auto block = mwtest::FormatBlock(mwtest::AllFormats()[3], 2, 8000);
  for (const char* name : {"delay", "chorus", "reverb", "multitap"}) {
    mw::InPlaceEffect e(*mw::FindEffect(name));
    ASSERT_EQ(e.Connect(block.data(), 16), mw::S_OK);
    ASSERT_EQ(e.Frame().StartStreaming(), mw::S_OK);
    CappedDownstream down(64);
    LyingBuffer longer(64, 128, true), empty(64, 64, false), none(0, 0, false);
    EXPECT_EQ(e.Frame().Receive(longer, down), mw::E_INVALIDARG) << name;
    EXPECT_EQ(e.Frame().Receive(empty, down), mw::E_POINTER) << name;
    EXPECT_EQ(down.deliveries, 0) << name;
    EXPECT_EQ(e.Frame().Receive(none, down), mw::S_OK) << name;
    EXPECT_EQ(e.Frame().Process(nullptr, 0, false), mw::S_OK) << name;
    std::uint32_t frames = 0;
    EXPECT_GE(e.Frame().ProcessTail(nullptr, &frames), 0) << name;
  }
  for (const char* name : {"pitch", "stretch"}) {
    mw::CopyingEffect e(*mw::FindEffect(name));
    ASSERT_EQ(e.Connect(block.data(), 16), mw::S_OK);
    ASSERT_EQ(e.Frame().StartStreaming(), mw::S_OK);
    CappedDownstream down(4096);
    LyingBuffer longer(64, 128, true), empty(64, 64, false);
    EXPECT_EQ(e.Frame().Receive(longer, down), mw::E_INVALIDARG) << name;
    EXPECT_EQ(e.Frame().Receive(empty, down), mw::E_POINTER) << name;
    EXPECT_EQ(down.requests, 0) << name;
  }
}

}  // namespace
