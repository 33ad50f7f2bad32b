// Graph-less float processing: initialise, process, tail, and updates that keep or drop the
// history. (The limited calls of every in-place effect are checked in the buffer-mode and
// engine tests.)
#include <gtest/gtest.h>

#include <vector>

#include "core/dsp/exact_math.h"
#include "test_util.h"

namespace {

struct Direct {
  std::unique_ptr<mw::InPlaceEffect> effect = mwtest::NewDelay();
  mw::InPlaceFrame& frame = effect->Frame();
  mw::SimpleDelayEngine& engine = mwtest::DelayEngine(*effect);
};

TEST(DirectProcess, InitializeChecksTheChannelCount) {
  Direct d;
  EXPECT_EQ(d.frame.Initialize(0, 44100), mw::E_INVALIDARG);
  EXPECT_EQ(d.frame.Initialize(3, 44100), mw::E_INVALIDARG);
  EXPECT_EQ(d.frame.Initialize(0x10002, 44100), mw::S_OK);  // only the low 16 bits count
  const mw::EffectFormat& f = d.frame.Format();
  EXPECT_EQ(f.wFormatTag, 3);
  EXPECT_EQ(f.wBitsPerSample, 32);
  EXPECT_EQ(f.nChannels, 2);
  EXPECT_EQ(f.nBlockAlign, 8);
  EXPECT_EQ(f.nAvgBytesPerSec, 8u * 44100);
  std::uint8_t bytes[18];
  EXPECT_EQ(d.effect->GetFormat(bytes), mw::S_OK);
}

TEST(DirectProcess, CallsBeforeInitializeAreRefusedSafely) {
  Direct d;
  std::uint8_t bytes[18];
  EXPECT_EQ(d.effect->GetFormat(bytes), mw::VFW_E_NOT_CONNECTED);
  float x[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  EXPECT_EQ(d.frame.Process(x, 4, false), mw::E_UNEXPECTED);
  EXPECT_EQ(x[0], 0.5f);
  EXPECT_EQ(d.frame.UpdateParameters(true), mw::E_UNEXPECTED);
  EXPECT_EQ(d.frame.Process(nullptr, 4, false), mw::E_POINTER);
  std::uint32_t n = 4;
  EXPECT_EQ(d.frame.ProcessTail(x, &n), mw::S_FALSE);  // nothing received
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(d.frame.ProcessTail(x, nullptr), mw::E_POINTER);
}

// Processing a float buffer directly gives what the streaming path gives for the same data.
TEST(DirectProcess, MatchesTheStreamingPath) {
  const auto& f32 = mwtest::AllFormats()[3];
  for (std::uint16_t ch : {1, 2}) {
    const auto input = mwtest::MakeSignal(f32, ch, 500, 9);
    auto streamed = mwtest::NewDelay();
    mwtest::SetDelay(*streamed, {1, 20, 4, -30, -10});
    const auto expected = mwtest::RunThrough(*streamed, f32, ch, 1000, input, 64);

    Direct d;
    mwtest::SetDelay(*d.effect, {1, 20, 4, -30, -10});
    ASSERT_EQ(d.frame.Initialize(ch, 1000), mw::S_OK);
    std::vector<float> x(input.size() / 4);
    std::memcpy(x.data(), input.data(), input.size());
    for (std::size_t at = 0; at < 500; at += 100) {
      ASSERT_EQ(d.frame.Process(x.data() + at * ch, 100, false), mw::S_OK);
    }
    std::vector<float> out = x;
    for (;;) {
      std::vector<float> tail(33 * ch, 0.0f);
      std::uint32_t n = 33;
      const mw::HResult hr = d.frame.ProcessTail(tail.data(), &n);
      ASSERT_GE(hr, 0);
      out.insert(out.end(), tail.begin(), tail.begin() + n * ch);
      if (hr == 1) break;
    }
    ASSERT_EQ(out.size() * 4, expected.size());
    EXPECT_EQ(std::memcmp(out.data(), expected.data(), expected.size()), 0);
    EXPECT_EQ(d.frame.Stop(), mw::S_OK);
    EXPECT_FALSE(d.engine.HasLine());
  }
}

TEST(DirectProcess, UpdateParametersKeepsHistoryUnlessResetting) {
  Direct d;
  mwtest::SetDelay(*d.effect, {0, 10, 1, 0, -800});
  ASSERT_EQ(d.frame.Initialize(1, 1000), mw::S_OK);
  std::vector<float> x(5, 0.0f);
  x[0] = 1.0f;
  d.frame.Process(x.data(), 5, false);
  d.effect->Params().Put(1, -60);
  EXPECT_EQ(d.frame.UpdateParameters(false), mw::S_OK);
  std::vector<float> y(10, 0.0f);
  d.frame.Process(y.data(), 10, false);
  EXPECT_EQ(y[5], static_cast<float>(mw::ExactPow(10.0, -0.3)));
  d.frame.Process(x.data(), 5, false);
  EXPECT_EQ(d.frame.UpdateParameters(true), mw::S_OK);  // clears the line
  std::vector<float> z(10, 0.0f);
  d.frame.Process(z.data(), 10, false);
  for (float v : z) EXPECT_EQ(v, 0.0f);
}

}  // namespace
