// The in-place streaming frame: transform, receive, the end-of-stream tail, and the
// properties that must hold for every format, channel count and buffer size.
#include <gtest/gtest.h>

#include <vector>

#include "test_util.h"

namespace {

using mwtest::AllFormats;
using mwtest::FormatCase;

// A downstream peer that records every delivery and can be told to fail.
class RecordingDownstream : public mw::Downstream {
 public:
  explicit RecordingDownstream(std::size_t bufferBytes, std::uint8_t garbage = 0x5A)
      : buffer_(bufferBytes), garbage_(garbage) {}
  mw::HResult GetDeliveryBuffer(mw::MediaBuffer** out) override {
    if (failGet != mw::S_OK) return failGet;
    std::fill(buffer_.Data(), buffer_.Data() + buffer_.Size(), garbage_);
    buffer_.SetActualLength(buffer_.Size());
    *out = &buffer_;
    ++lent;
    return mw::S_OK;
  }
  mw::HResult Deliver(mw::MediaBuffer* b) override {
    lengths.push_back(b->ActualLength());
    bytes.insert(bytes.end(), b->Data(), b->Data() + b->ActualLength());
    return ++deliveries == failDeliverAt ? kDeliverError : mw::S_OK;
  }
  void ReleaseBuffer(mw::MediaBuffer*) override { --lent; }
  mw::HResult DeliverEndOfStream() override {
    ++endOfStreams;
    return mw::S_OK;
  }

  static constexpr mw::HResult kDeliverError = static_cast<mw::HResult>(0x80040227u);
  std::vector<std::int32_t> lengths;
  std::vector<std::uint8_t> bytes;
  int deliveries = 0, endOfStreams = 0, lent = 0, failDeliverAt = -1;
  mw::HResult failGet = mw::S_OK;

 private:
  mw::HeapBuffer buffer_;
  std::uint8_t garbage_;
};

struct Stream {
  std::unique_ptr<mw::InPlaceEffect> effect = mwtest::NewDelay();
  FormatCase format;
  std::uint16_t channels;

  Stream(const FormatCase& f, std::uint16_t ch, std::uint32_t rate, SimpleDelayParams p)
      : format(f), channels(ch) {
    mwtest::SetDelay(*effect, p);
    const auto block = mwtest::FormatBlock(f, ch, rate);
    effect->Frame().SetMediaType(mw::kPinInput, block.data());
    EXPECT_EQ(effect->Frame().StartStreaming(), mw::S_OK);
  }
  std::size_t Align() const { return format.bits / 8 * channels; }
  mw::HResult Send(std::size_t frames, mw::Downstream& d, bool discontinuity = false) {
    mw::HeapBuffer b(frames * Align());
    auto signal = mwtest::MakeSignal(format, channels, frames, 11);
    std::copy(signal.begin(), signal.end(), b.Data());
    b.SetActualLength(b.Size());
    b.SetDiscontinuity(discontinuity);
    return effect->Frame().Receive(b, d);
  }
};

const SimpleDelayParams kNoFeedback{0, 10, 1, -60, -60};

TEST(Tail, LastsTheDelayPlusDecayAndEndsWithEndOfStream) {
  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      for (SimpleDelayParams p : {kNoFeedback, SimpleDelayParams{1, 10, 2, -60, -60}}) {
        Stream s(f, ch, 1000, p);
        const std::uint32_t line = 10u * ch;
        const std::uint32_t tail = (p.Feedback ? 200u * ch : 0u);
        RecordingDownstream d(64 * s.Align());
        ASSERT_EQ(s.Send(50, d), mw::S_OK);
        ASSERT_EQ(s.effect->Frame().EndOfStream(&d), mw::S_OK);
        const std::size_t tailFrames = (tail + line) / ch;
        EXPECT_EQ(d.bytes.size(), (50 + tailFrames) * s.Align());
        EXPECT_EQ(d.endOfStreams, 1);
        EXPECT_EQ(d.lent, 0);
        EXPECT_FALSE(s.effect->Frame().InTail());
      }
    }
  }
}

TEST(Tail, ExactMultipleOfTheBufferEndsWithTheLastFullBuffer) {
  Stream s(AllFormats()[1], 2, 1000, kNoFeedback);  // a tail of 10 frames
  RecordingDownstream d(5 * s.Align());
  s.Send(3, d);
  s.effect->Frame().EndOfStream(&d);
  const std::vector<std::int32_t> expected = {3 * 4, 5 * 4, 5 * 4};
  EXPECT_EQ(d.lengths, expected);
}

TEST(Tail, SecondEndOfStreamGivesOneEmptyBuffer) {
  Stream s(AllFormats()[1], 1, 1000, kNoFeedback);
  RecordingDownstream d(4 * s.Align());
  s.Send(3, d);
  s.effect->Frame().EndOfStream(&d);
  d.lengths.clear();
  s.Send(3, d);  // more data after a seek, without stopping
  s.effect->Frame().EndOfStream(&d);
  const std::vector<std::int32_t> expected = {6, 0};
  EXPECT_EQ(d.lengths, expected);
  EXPECT_EQ(d.endOfStreams, 2);
}

TEST(Tail, NothingReceivedStillPassesEndOfStreamOn) {
  Stream s(AllFormats()[0], 2, 1000, kNoFeedback);
  RecordingDownstream d(16);
  EXPECT_EQ(s.effect->Frame().EndOfStream(&d), mw::S_OK);
  EXPECT_EQ(d.deliveries, 0);
  EXPECT_EQ(d.endOfStreams, 1);
  // And after a tail, another end of stream without data produces nothing more.
  s.Send(4, d);
  s.effect->Frame().EndOfStream(&d);
  const int deliveries = d.deliveries;
  s.effect->Frame().EndOfStream(&d);
  EXPECT_EQ(d.deliveries, deliveries);
  EXPECT_EQ(d.endOfStreams, 3);
}

// Tail buffers start as silence whatever the downstream's memory held: with no echo and the
// dry path open, the tail is pure silence in every format.
TEST(Tail, BuffersAreFilledWithSilence) {
  for (const auto& f : AllFormats()) {
    Stream s(f, 2, 1000, {0, 10, 1, -800, 0});
    RecordingDownstream d(7 * s.Align(), 0x33);
    s.Send(5, d);
    const std::size_t before = d.bytes.size();
    s.effect->Frame().EndOfStream(&d);
    ASSERT_EQ(d.bytes.size(), before + 10 * s.Align());
    const std::uint8_t silence = f.format == mw::SampleFormat::Pcm8 ? 0x80 : 0x00;
    for (std::size_t i = before; i < d.bytes.size(); ++i) ASSERT_EQ(d.bytes[i], silence) << i;
  }
}

TEST(Tail, ParameterChangeEndsItWithAFullSilentBuffer) {
  Stream s(AllFormats()[1], 1, 1000, {1, 10, 50, 0, 0});  // a long tail
  RecordingDownstream d(8 * s.Align());
  s.Send(4, d);
  s.effect->Params().Put(0, -10);  // DryOut: picked up by the first tail buffer
  s.effect->Frame().EndOfStream(&d);
  ASSERT_EQ(d.lengths.size(), 2u);
  EXPECT_EQ(d.lengths[1], 16);
  for (std::size_t i = 8; i < d.bytes.size(); ++i) EXPECT_EQ(d.bytes[i], 0);
}

TEST(Tail, FailedDeliveryStopsTheLoopButEndOfStreamStillGoes) {
  Stream s(AllFormats()[1], 1, 1000, {1, 10, 50, 0, 0});
  RecordingDownstream d(8 * s.Align());
  s.Send(4, d);
  d.failDeliverAt = 3;
  EXPECT_EQ(s.effect->Frame().EndOfStream(&d), RecordingDownstream::kDeliverError);
  EXPECT_EQ(d.deliveries, 3);
  EXPECT_EQ(d.endOfStreams, 1);
  EXPECT_EQ(d.lent, 0);
  EXPECT_FALSE(s.effect->Frame().InTail());
}

TEST(Tail, RefusedBufferLeavesTailModeForLaterData) {
  Stream s(AllFormats()[1], 1, 1000, {0, 10, 1, -800, 0});
  RecordingDownstream d(8 * s.Align());
  s.Send(4, d);
  d.failGet = static_cast<mw::HResult>(0x80040210u);
  EXPECT_EQ(s.effect->Frame().EndOfStream(&d), d.failGet);
  EXPECT_EQ(d.endOfStreams, 0);
  EXPECT_FALSE(s.effect->Frame().InTail());
  d.failGet = mw::S_OK;
  d.bytes.clear();
  s.Send(4, d);  // real samples after the restart are processed, not silenced
  auto signal = mwtest::MakeSignal(s.format, 1, 4, 11);
  EXPECT_EQ(d.bytes, signal);
}

TEST(Transform, KeepsWholeFramesOnly) {
  Stream s(AllFormats()[1], 2, 1000, kNoFeedback);
  mw::HeapBuffer b(64);
  b.SetActualLength(7);
  RecordingDownstream d(64);
  EXPECT_EQ(s.effect->Frame().Receive(b, d), mw::S_OK);
  EXPECT_EQ(d.lengths, std::vector<std::int32_t>{4});
  b.SetActualLength(3);
  s.effect->Frame().Receive(b, d);
  EXPECT_EQ(d.lengths.back(), 0);
}

TEST(Transform, SetupFailureIsReturnedAndNothingDelivered) {
  auto e = mwtest::NewDelay();
  const SimpleDelayParams p{0, 5000, 1, 0, 0};
  mwtest::SetDelay(*e, p);
  const auto block = mwtest::FormatBlock(AllFormats()[1], 2, 4000000000u);
  e->Frame().SetMediaType(mw::kPinInput, block.data());
  EXPECT_EQ(e->Frame().StartStreaming(), mw::E_OUTOFMEMORY);
  mw::HeapBuffer b(16);
  b.SetActualLength(16);
  RecordingDownstream d(16);
  EXPECT_EQ(e->Frame().Receive(b, d), mw::E_OUTOFMEMORY);
  EXPECT_EQ(d.deliveries, 0);
}

// Whatever the buffer size, the delivered stream is the same, tail included.
TEST(StreamProperties, OutputDoesNotDependOnTheBufferSize) {
  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      const auto input = mwtest::MakeSignal(f, ch, 300, 7);
      std::vector<std::uint8_t> reference;
      for (std::uint32_t frames : {4096u, 1u, 2u, 3u, 7u, 64u, 300u, 301u}) {
        auto e = mwtest::NewDelay();
        mwtest::SetDelay(*e, {1, 7, 3, -20, -30});
        mw::HResult hr;
        auto out = mwtest::RunThrough(*e, f, ch, 2000, input, frames, &hr);
        ASSERT_EQ(hr, mw::S_OK);
        if (reference.empty()) {
          reference = out;
          EXPECT_EQ(out.size(), input.size() + (600u * ch + 14u * ch) / ch * (f.bits / 8) * ch);
        } else {
          EXPECT_EQ(out, reference) << "format " << f.bits << "/" << f.tag << " ch " << ch
                                    << " buffer " << frames;
        }
      }
    }
  }
}

// No echo and a dry gain of exactly one: every stored code comes back unchanged, and the
// tail is silence.
TEST(StreamProperties, IdentitySettingsReproduceTheInput) {
  for (const auto& f : AllFormats()) {
    for (std::uint16_t ch : {1, 2}) {
      for (std::uint32_t frames : {1u, 5u, 4096u}) {
        const auto input = mwtest::MakeSignal(f, ch, 200, 5);
        auto e = mwtest::NewDelay();
        e->Params().Put(1, -800);  // DelayOut
        e->Params().Put(0, 0);     // DryOut
        auto out = mwtest::RunThrough(*e, f, ch, 8000, input, frames);
        ASSERT_GE(out.size(), input.size());
        EXPECT_TRUE(std::equal(input.begin(), input.end(), out.begin()));
        const std::uint8_t silence = f.format == mw::SampleFormat::Pcm8 ? 0x80 : 0;
        for (std::size_t i = input.size(); i < out.size(); ++i) ASSERT_EQ(out[i], silence);
      }
    }
  }
}

}  // namespace
