// Real filter graphs under Wine: File Source (Async) -> WAVE parser -> Simple Delay from
// mwppack1.dll -> WavSink, run to EC_COMPLETE. What reaches the sink must be what the
// portable core produces for the same samples and settings, tail included; seeks and
// restarts must start the echoes afresh; an empty file must still complete.
#include <vector>

#include "graph_util.h"

namespace {

using mwtest::ComTest;
using mwtest::DelayGraph;
using mwtest::FormatCase;
using mwtest::HoldingWriter;
using mwtest::ScratchDir;

constexpr DWORD kTimeout = 30000;

// Audible echoes with feedback, so that history left in the engine would show:
// Feedback, DelayTime, DecayTime, DelayOut, DryOut.
const SimpleDelayParams kEcho = {1, 120, 3, -20, -10};

std::vector<std::uint8_t> CoreOutput(const FormatCase& f, std::uint16_t channels,
                                     std::uint32_t rate, const std::vector<std::uint8_t>& input,
                                     const SimpleDelayParams& params) {
  auto effect = mwtest::NewDelay();
  mwtest::SetDelay(*effect, params);
  return mwtest::RunThrough(*effect, f, channels, rate, input, 4096);
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& v, std::size_t from,
                                std::size_t to) {
  return std::vector<std::uint8_t>(v.begin() + from, v.begin() + to);
}

std::vector<std::uint8_t> Join(const std::vector<std::uint8_t>& a,
                               const std::vector<std::uint8_t>& b) {
  std::vector<std::uint8_t> out(a);
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

class Graphs : public ComTest {};

TEST_F(Graphs, EveryFormatMatchesTheCoreTailIncluded) {
  ScratchDir dir;
  const std::uint32_t rate = 8000;
  int n = 0;
  for (const FormatCase& f : mwtest::AllFormats()) {
    for (std::uint16_t channels : {1, 2}) {
      ++n;
      const bool extensible = n % 3 == 0;  // both shapes of fmt chunk reach the parser
      SCOPED_TRACE(testing::Message() << f.bits << "-bit tag " << f.tag << ", " << channels
                                      << " channel(s)" << (extensible ? ", extensible" : ""));
      // 1.3 s: more than one of the parser's one-second buffers.
      const auto input = mwtest::MakeSignal(f, channels, 10400, 40 + n);
      const std::wstring file = dir.Path(L"in" + std::to_wstring(n) + L".wav");
      mwtest::WriteWav(file, f, channels, rate, input, extensible);

      DelayGraph g;
      ASSERT_TRUE(g.Build(file, kEcho));
      const std::vector<BYTE> format = g.Sink()->ConnectedFormat();
      ASSERT_GE(format.size(), sizeof(WAVEFORMATEX));
      const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(format.data());
      EXPECT_EQ(wf->nChannels, channels);
      EXPECT_EQ(wf->nSamplesPerSec, rate);
      EXPECT_EQ(wf->wBitsPerSample, f.bits);
      ASSERT_EQ(g.Control()->Run(), S_OK);
      ASSERT_EQ(g.WaitForComplete(kTimeout), S_OK);
      ASSERT_EQ(g.Control()->Stop(), S_OK);

      const std::vector<BYTE> got = g.Sink()->TakeData();
      const std::vector<std::uint8_t> want = CoreOutput(f, channels, rate, input, kEcho);
      ASSERT_GT(want.size(), input.size());  // the echoes' tail follows the input
      EXPECT_TRUE(got == want) << got.size() << " bytes, the core made " << want.size();
    }
  }
}

TEST_F(Graphs, AnEmptyFileCompletesWithNothingReceived) {
  ScratchDir dir;
  for (const FormatCase& f : {mwtest::AllFormats()[0], mwtest::AllFormats()[3]}) {
    SCOPED_TRACE(f.bits);
    const std::wstring file = dir.Path(L"empty" + std::to_wstring(f.bits) + L".wav");
    mwtest::WriteWav(file, f, 2, 8000, {}, false);
    DelayGraph g;
    ASSERT_TRUE(g.Build(file, kEcho));
    ASSERT_EQ(g.Control()->Run(), S_OK);
    EXPECT_EQ(g.WaitForComplete(kTimeout), S_OK);
    g.Control()->Stop();
    EXPECT_TRUE(g.Sink()->TakeData().empty());
  }
}

// Seeks back to 0.5 s while the second buffer is being received: after the seek the output
// must be that of a fresh engine fed from 0.5 s, with no echo of what came before.
void SeekClearsTheEchoes(bool pauseFirst) {
  ScratchDir dir;
  const FormatCase& f = mwtest::AllFormats()[1];  // 16-bit
  const std::uint16_t channels = 1;
  const std::uint32_t rate = 8000;
  const auto input = mwtest::MakeSignal(f, channels, 3 * rate, 99);
  const std::size_t align = f.bits / 8 * channels;
  mwtest::WriteWav(dir.Path(L"in.wav"), f, channels, rate, input, false);

  DelayGraph g;
  ASSERT_TRUE(g.Build(dir.Path(L"in.wav"), kEcho));
  HoldingWriter writer(g, 2, kTimeout);
  ASSERT_EQ(g.Control()->Run(), S_OK);
  ASSERT_TRUE(writer.WaitHeld());
  if (pauseFirst) {
    ASSERT_EQ(g.Control()->Pause(), S_OK);
  }
  const std::size_t seekFrame = rate / 2;  // 0.5 s
  LONGLONG position = 10000000 / 2;
  ASSERT_EQ(g.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                      AM_SEEKING_NoPositioning),
            S_OK);
  if (pauseFirst) {
    ASSERT_EQ(g.Control()->Run(), S_OK);
  }
  ASSERT_EQ(g.WaitForComplete(kTimeout), S_OK);
  ASSERT_EQ(g.Control()->Stop(), S_OK);

  const std::vector<std::uint8_t>& got = writer.Bytes();
  const std::size_t before = writer.HeldBytes();
  ASSERT_GT(before, seekFrame * align);  // the engine had heard more than the seek skips
  ASSERT_LT(before, input.size());
  ASSERT_GE(got.size(), before);

  const auto whole = CoreOutput(f, channels, rate, input, kEcho);
  EXPECT_TRUE(Slice(got, 0, before) == Slice(whole, 0, before));

  const std::vector<std::uint8_t> rest = Slice(input, seekFrame * align, input.size());
  const auto fresh = CoreOutput(f, channels, rate, rest, kEcho);
  EXPECT_TRUE(Slice(got, before, got.size()) == fresh);

  // The check can fail: an engine that kept its history would have produced this.
  const auto continued =
      CoreOutput(f, channels, rate, Join(Slice(input, 0, before), rest), kEcho);
  EXPECT_FALSE(Slice(continued, before, continued.size()) == fresh);
}

TEST_F(Graphs, SeekWhileRunningStartsTheEchoesAfresh) { SeekClearsTheEchoes(false); }

TEST_F(Graphs, SeekWhilePausedStartsTheEchoesAfresh) { SeekClearsTheEchoes(true); }

// Stopped in mid-stream, rewound and run again: the second run is the whole file from a
// fresh engine, with no echo of where the first run stopped.
TEST_F(Graphs, StopAndRunAgainStartsFromFreshMemory) {
  ScratchDir dir;
  const FormatCase& f = mwtest::AllFormats()[3];  // 32-bit float
  const std::uint16_t channels = 2;
  const std::uint32_t rate = 8000;
  const auto input = mwtest::MakeSignal(f, channels, 3 * rate, 5);
  mwtest::WriteWav(dir.Path(L"in.wav"), f, channels, rate, input, true);
  const auto whole = CoreOutput(f, channels, rate, input, kEcho);

  DelayGraph g;
  ASSERT_TRUE(g.Build(dir.Path(L"in.wav"), kEcho));
  std::size_t stoppedAt = 0;
  {
    HoldingWriter writer(g, 2, kTimeout);
    ASSERT_EQ(g.Control()->Run(), S_OK);
    ASSERT_TRUE(writer.WaitHeld());
    ASSERT_EQ(g.Control()->Stop(), S_OK);
    stoppedAt = writer.Bytes().size();
    ASSERT_GT(stoppedAt, 0u);
    ASSERT_LT(stoppedAt, input.size());
    EXPECT_TRUE(writer.Bytes() == Slice(whole, 0, stoppedAt));
    g.Sink()->SetWriter(nullptr);
  }

  for (int run = 2; run <= 3; ++run) {
    SCOPED_TRACE(run);
    LONGLONG zero = 0;
    ASSERT_EQ(g.Seeking()->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr,
                                        AM_SEEKING_NoPositioning),
              S_OK);
    ASSERT_EQ(g.Control()->Run(), S_OK);
    ASSERT_EQ(g.WaitForComplete(kTimeout), S_OK);
    ASSERT_EQ(g.Control()->Stop(), S_OK);
    EXPECT_TRUE(g.Sink()->TakeData() == whole);
  }

  // The check can fail: an engine that kept the first run's history would differ.
  const auto continued =
      CoreOutput(f, channels, rate, Join(Slice(input, 0, stoppedAt), input), kEcho);
  EXPECT_FALSE(Slice(continued, stoppedAt, stoppedAt + whole.size()) == whole);
}

}  // namespace
