// The splice engine and Time Stretch: working sizes, the offset search, stream lengths, and
// output that does not depend on how input and output are cut into buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/dsp/splice_engine.h"
#include "core/effects/stretch/time_stretch.h"
#include "core/frame/memory_stream.h"
#include "test_util.h"

namespace {

using mw::kSpliceModes;
using mwtest::AllFormats;

TEST(SpliceSizes, WorkedNumbers) {
  const mw::SpliceSizes s = mw::SpliceSizesFor(kSpliceModes[0], 44100);
  EXPECT_EQ(s.frame, 13230);
  EXPECT_EQ(s.outputHop, 6615);
  EXPECT_EQ(s.crossfade, 661);
  EXPECT_EQ(s.range, 661);
  EXPECT_EQ(s.step, 2);
  EXPECT_EQ(s.accept, 25.0f);
  EXPECT_EQ(mw::InputHopFor(s.outputHop, s.frame, 1.0), 6615);
  EXPECT_EQ(mw::InputHopFor(s.outputHop, s.frame, 5.0), 1323);
  EXPECT_EQ(mw::InputHopFor(s.outputHop, s.frame, 0.5), 13230);
  EXPECT_EQ(mw::InputHopFor(s.outputHop, s.frame, 0.25), 13230);  // never beyond a frame

  // Below 32 kHz the step scales with the rate, and never reaches 0.
  EXPECT_EQ(mw::SpliceSizesFor(kSpliceModes[15], 22050).step, 4);
  EXPECT_EQ(mw::SpliceSizesFor(kSpliceModes[0], 22050).step, 1);
  EXPECT_EQ(mw::SpliceSizesFor(kSpliceModes[0], 8000).step, 1);
  EXPECT_EQ(mw::SpliceSizesFor(kSpliceModes[1], 44100).accept, 100.0f);
}

// Every mode at every rate keeps each read of a frame inside the input buffer.
TEST(SpliceSizes, ReadsStayInsideTheFrame) {
  for (const mw::SpliceMode& m : kSpliceModes) {
    for (std::uint32_t fs : {100u, 1000u, 8000u, 11025u, 22050u, 31999u, 44100u, 96000u,
                             192000u}) {
      const mw::SpliceSizes s = mw::SpliceSizesFor(m, fs);
      if (s.outputHop < 1) continue;
      EXPECT_LE(s.crossfade, s.outputHop - 1);
      EXPECT_LE(s.range, s.outputHop - s.crossfade);
      EXPECT_GE(s.step, 1);
      // The last candidate offset plus the frame's reach.
      EXPECT_LE(s.range - 1 + s.crossfade + s.outputHop, s.frame) << m.frameMs << " " << fs;
    }
  }
}

// The window ramps up over the crossfade, holds, and ramps down so that the two ramps
// of neighbouring frames sum to one.
template <class T>
void CheckWindow() {
  mw::SpliceCore<T> core;
  ASSERT_EQ(core.Configure(kSpliceModes[6], 8000, 1.0, 1), mw::S_OK);
  const mw::SpliceSizes& s = core.Sizes();
  const auto& w = core.Window();
  ASSERT_GT(s.crossfade, 1);
  for (std::int32_t k = 0; k < s.crossfade; ++k) {
    EXPECT_EQ(w[k] + w[s.outputHop + k], T(1)) << k;
  }
  EXPECT_EQ(w[0], T(0));
  EXPECT_EQ(w[s.outputHop + s.crossfade], T(0));
  EXPECT_EQ(w[s.crossfade], T(1));
  EXPECT_EQ(w[s.outputHop], T(1));
}
TEST(SpliceCore, WindowRampsSumToOne) {
  CheckWindow<float>();
  CheckWindow<double>();
}

// The vectorised search always picks what the plain sequential search picks: random
// frames, near-silent references (early acceptance) and equal candidates (ties).
template <class T>
void CheckSearch(std::uint32_t channels) {
  std::mt19937 rng(77 + channels);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  for (std::uint32_t m = 0; m < mw::kSpliceModeCount; ++m) {
    for (std::uint32_t fs : {8000u, 22050u, 44100u}) {
      mw::SpliceCore<T> core;
      ASSERT_EQ(core.Configure(kSpliceModes[m], fs, 1.0, channels), mw::S_OK);
      const mw::SpliceSizes& s = core.Sizes();
      for (int trial = 0; trial < 4; ++trial) {
        const double level = trial == 0 ? 1e-6 : 1.0;  // a quiet reference accepts early
        for (std::uint32_t c = 0; c < channels; ++c) {
          T* x = core.InputChannel(static_cast<int>(c));
          T* y = core.AccumulationChannel(static_cast<int>(c));
          for (std::int32_t k = 0; k < s.frame; ++k) {
            x[k] = static_cast<T>(trial == 3 ? 0.25 : noise(rng));
            y[k] = static_cast<T>(level * noise(rng));
          }
        }
        EXPECT_EQ(core.FindSpliceOffset(), core.FindSpliceOffsetPlain())
            << "mode " << m << " rate " << fs << " trial " << trial << " ch " << channels;
      }
    }
  }
}
TEST(SpliceCore, VectorSearchAgreesWithPlainSearch) {
  CheckSearch<float>(1);
  CheckSearch<float>(2);
  CheckSearch<double>(1);
  CheckSearch<double>(2);
}

std::unique_ptr<mw::Effect> Stretch(double finalLength, std::uint32_t mode = 0) {
  auto e = mw::CreateEffect(*mw::FindEffect("stretch"));
  const mw::ParamTable& t = e->Params().Table();
  EXPECT_EQ(e->Params().PutDouble(t.Find("FinalLength"), finalLength), mw::S_OK);
  EXPECT_EQ(e->Params().Put(t.Find("Mode"), static_cast<std::int32_t>(mode)), mw::S_OK);
  return e;
}

std::size_t Frames(const std::vector<std::uint8_t>& bytes, const mwtest::FormatCase& f,
                   std::uint16_t ch) {
  return bytes.size() / (f.bits / 8 * ch);
}

// A second of input at 44.1 kHz in mode 0 gives 44100, 83784 and 24255 frames at 100, 200
// and 50 %, in every format and both channel counts, however it is cut into buffers.
TEST(TimeStretch, StreamLengthsAndBufferIndependence) {
  struct Want {
    double length;
    std::size_t frames;
  };
  for (const Want w : {Want{10000.0, 44100}, Want{20000.0, 83784}, Want{5000.0, 24255}}) {
    for (const auto& f : AllFormats()) {
      for (std::uint16_t ch : {1, 2}) {
        const auto input = mwtest::MakeSignal(f, ch, 44100, 99);
        auto reference = Stretch(w.length);
        const auto expected = mwtest::RunThrough(*reference, f, ch, 44100, input, 4096);
        EXPECT_EQ(Frames(expected, f, ch), w.frames) << w.length << " " << f.bits << " " << ch;
        for (const auto& [in, out] : {std::pair<std::uint32_t, std::uint32_t>{1, 1},
                                      {7, 3}, {13230, 6615}, {50000, 200000}}) {
          auto e = Stretch(w.length);
          EXPECT_EQ(mwtest::RunThrough(*e, f, ch, 44100, input, in, nullptr, out), expected)
              << w.length << " " << f.bits << " ch" << ch << " in " << in << " out " << out;
        }
      }
    }
  }
}

// Input shorter than an output hop comes out as exactly that many frames whatever the
// ratio; an empty stream gives nothing.
TEST(TimeStretch, ShortAndEmptyStreams) {
  const auto& f = AllFormats()[1];
  for (double length : {5000.0, 12500.0, 50000.0}) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{100}, std::size_t{6614}}) {
      auto e = Stretch(length);
      mw::HResult hr = mw::E_FAIL;
      const auto out =
          mwtest::RunThrough(*e, f, 2, 44100, mwtest::MakeSignal(f, 2, n, 5), 512, &hr);
      EXPECT_EQ(hr, mw::S_OK);
      EXPECT_EQ(Frames(out, f, 2), n) << length << " " << n;
    }
  }
}

// The output follows the ratio: about r x N frames for every mode and rate.
TEST(TimeStretch, LengthFollowsTheRatio) {
  const auto& f = AllFormats()[3];
  for (std::uint32_t m = 0; m < mw::kSpliceModeCount; m += 3) {
    for (std::uint32_t fs : {8000u, 48000u}) {
      for (double length : {5000.0, 13300.0, 50000.0}) {
        const std::size_t n = fs * 2;
        auto e = Stretch(length, m);
        const auto out = mwtest::RunThrough(*e, f, 1, fs, mwtest::MakeSignal(f, 1, n, 3), 1000);
        const double want = n * length * 0.0001;
        const double frame = mw::SpliceSizesFor(kSpliceModes[m], fs).frame;
        EXPECT_NEAR(static_cast<double>(Frames(out, f, 1)), want, frame * length * 0.0001)
            << m << " " << fs << " " << length;
      }
    }
  }
}

// Changing only the length keeps the held sound; the output up to the change is the
// same as without it. A discontinuity mid-stream starts afresh.
TEST(TimeStretch, ChangesWhileStreaming) {
  const auto& f = AllFormats()[1];
  const auto input = mwtest::MakeSignal(f, 1, 30000, 8);
  const auto block = mwtest::FormatBlock(f, 1, 22050);
  auto run = [&](bool change, bool discontinuity) {
    auto e = Stretch(10000.0);
    auto& copying = static_cast<mw::CopyingEffect&>(*e);
    e->Connect(block.data(), 16);
    std::vector<std::uint8_t> out;
    mw::SinkDownstream down(8192, [&](const std::uint8_t* d, std::size_t n) {
      out.insert(out.end(), d, d + n);
      return mw::S_OK;
    });
    EXPECT_EQ(copying.Frame().StartStreaming(), mw::S_OK);
    mw::HeapBuffer buffer(2000);
    for (std::size_t offset = 0; offset < input.size(); offset += 2000) {
      const std::size_t n = std::min<std::size_t>(2000, input.size() - offset);
      std::memcpy(buffer.Data(), input.data() + offset, n);
      buffer.SetActualLength(static_cast<std::int32_t>(n));
      buffer.SetDiscontinuity(offset == 0 || (discontinuity && offset == 30000));
      if (change && offset == 30000) {
        e->Params().PutDouble(e->Params().Table().Find("FinalLength"), 30000.0);
      }
      EXPECT_EQ(copying.Frame().Receive(buffer, down), mw::S_OK);
    }
    EXPECT_EQ(copying.Frame().EndOfStream(&down), mw::S_OK);
    copying.Frame().StopStreaming();
    return out;
  };
  const auto plain = run(false, false);
  const auto longer = run(true, false);
  const auto restarted = run(false, true);
  EXPECT_EQ(plain.size(), 30000u * 2);
  EXPECT_GT(longer.size(), plain.size() + 20000);
  // Up to the change both produced the same sound.
  ASSERT_GE(longer.size(), 10000u);
  EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 10000, longer.begin()));
  EXPECT_NE(restarted, plain);
}

TEST(TimeStretch, ParametersAndRecords) {
  auto e = Stretch(10000.0);
  mw::ParamStore& p = e->Params();
  const mw::ParamTable& t = p.Table();
  const std::size_t length = t.Find("FinalLength"), tempo = t.Find("InitialTempo");
  double d = 0;
  p.PutDouble(length, 1000.0);
  p.GetDouble(length, &d);
  EXPECT_EQ(d, 5000.0);
  p.PutDouble(length, 60000.0);
  p.GetDouble(length, &d);
  EXPECT_EQ(d, 50000.0);
  p.PutDouble(length, std::nan(""));
  p.GetDouble(length, &d);
  EXPECT_EQ(d, 5000.0);
  std::int32_t v = 0;
  p.Put(tempo, 70000);
  p.Get(tempo, &v);
  EXPECT_EQ(v, 50000);
  p.Put(t.Find("Mode"), 19);
  p.Get(t.Find("Mode"), &v);
  EXPECT_EQ(v, 18);

  TimeStretchParams block{12000.0, 40, 100, -5.0, 9, 0};
  EXPECT_EQ(p.SetParameters(&block), mw::E_FAIL);
  TimeStretchParams got{};
  p.GetParameters(&got);
  EXPECT_EQ(got.Mode, 18u);
  EXPECT_EQ(got.InputFormat, 2u);
  EXPECT_EQ(got.InitialTime, 0.0);
  EXPECT_EQ(got.FinalLength, 12000.0);

  // A record under the earlier tag holds tenths.
  const std::uint8_t older[16] = {0x43, 0x9C, 0x7E, 0x1B, 0xD3, 0x92, 0xD0, 0x11,
                                  0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F};
  TimeStretchParams tenths{1100.0, 0, 1200, 100.0, 0, 0};
  std::string record(20 + sizeof tenths, '\0');
  mw::PutLe32(reinterpret_cast<std::uint8_t*>(&record[0]), 52);
  std::memcpy(&record[4], older, 16);
  std::memcpy(&record[20], &tenths, sizeof tenths);
  mw::MemoryStream in(record.data(), record.size());
  ASSERT_EQ(e->Load(in), mw::S_OK);
  p.GetParameters(&got);
  EXPECT_EQ(got.FinalLength, 11000.0);
  EXPECT_EQ(got.InitialTempo, 12000u);
  EXPECT_EQ(got.InitialTime, 100.0);
  mw::MemoryStream out;
  ASSERT_EQ(e->Save(out, true), mw::S_OK);
  ASSERT_EQ(out.Bytes().size(), 52u);
  EXPECT_NE(std::memcmp(out.Bytes().data() + 4, older, 16), 0);  // saved under today's tag
}

}  // namespace
