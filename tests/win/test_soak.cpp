// Soak: each effect filter from the module streams at least MW_SOAK_MINUTES (default 30)
// minutes of audio at MW_SOAK_RATE (default 8000) frames a second, as fast as it goes,
// through real graphs (File Source (Async) -> WAVE parser -> effect -> WavSink) while
// another thread changes its parameters and applies presets at random. The runs seek, stop
// and restart, pause and run again in mid-stream, and every fifth one connects the filter
// to another format. Every run must reach EC_COMPLETE, the process's working set at the end
// must be within a small margin of what it was once every kind of run had been through
// (after the first five runs), the module must be free to unload once the filter is
// released, and a run with fixed settings afterwards must give exactly what the core gives.
// The process is warmed up by an unmeasured soak of the first effect. The figures of each
// effect are printed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "reliability_util.h"

namespace {

using mwtest::AllModuleEffects;
using mwtest::ComTest;
using mwtest::EffectGraph;
using mwtest::FormatCase;
using mwtest::MemoryUse;
using mwtest::ModuleEffect;
using mwtest::Module;
using mwtest::ParamChanger;
using mwtest::Ptr;
using mwtest::ScratchDir;

constexpr DWORD kTimeout = 60000;
constexpr std::uint32_t kFileSeconds = 60;
// The working set may end this much above what it was after the warm-up runs.
constexpr int kWarmUpRuns = 5;
constexpr std::uint64_t kMarginBytes = 8u << 20;

std::uint32_t FromEnvironment(const char* name, std::uint32_t fallback) {
  const char* v = std::getenv(name);
  const long n = v != nullptr ? std::strtol(v, nullptr, 10) : 0;
  return n > 0 ? static_cast<std::uint32_t>(n) : fallback;
}

// Holds the streaming thread inside the sink at a chosen buffer until released, flushed or
// stopped, so that the test acts in mid-stream whatever the speed of the graph.
class Gate {
 public:
  explicit Gate(mwfx::WavSink* sink) : sink_(sink), held_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    sink->SetWriter([this](const BYTE*, std::size_t) {
      if (++calls_ == holdAt_) {
        SetEvent(held_);
        const DWORD start = GetTickCount();
        while (!release_ && sink_->State() != State_Stopped &&
               !static_cast<mw::ds::InputPin*>(sink_->GetPin(0))->Flushing() &&
               GetTickCount() - start < kTimeout) {
          Sleep(1);
        }
      }
      return S_OK;
    });
  }
  ~Gate() { CloseHandle(held_); }
  // Holds at the `n`-th buffer from now.
  void HoldAfter(int n) {
    release_ = false;
    ResetEvent(held_);
    holdAt_ = calls_ + n;
  }
  bool WaitHeld() { return WaitForSingleObject(held_, kTimeout) == WAIT_OBJECT_0; }
  void Release() { release_ = true; }

 private:
  mwfx::WavSink* sink_;
  HANDLE held_;
  std::atomic<int> calls_{0}, holdAt_{-1};
  std::atomic<bool> release_{false};
};

struct Figures {
  double audioSeconds = 0;
  std::uint64_t changes = 0, presets = 0;
  int seeks = 0, stateCycles = 0, renegotiations = 0, runs = 0;
  MemoryUse afterWarmUp, atEnd;
  DWORD milliseconds = 0;
};

HRESULT SeekTo(EffectGraph& g, double seconds) {
  LONGLONG position = static_cast<LONGLONG>(seconds * 10000000.0);
  return g.Seeking()->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                   AM_SEEKING_NoPositioning);
}

// One run of the file through the filter, disturbed in mid-stream as `kind` says, to
// EC_COMPLETE.
void SoakRun(const std::wstring& file, IBaseFilter* filter, int kind, std::mt19937& rng,
             Figures* fig) {
  EffectGraph g;
  ASSERT_TRUE(g.Build(file, filter));
  Gate gate(g.Sink());
  if (kind != 0) gate.HoldAfter(2 + static_cast<int>(rng() % 20));
  ASSERT_EQ(g.Control()->Run(), S_OK);
  if (kind != 0) {
    ASSERT_TRUE(gate.WaitHeld());
    switch (kind) {
      case 1:  // a seek, which flushes the held buffer away
        ASSERT_EQ(SeekTo(g, static_cast<double>(rng() % (kFileSeconds - 5))), S_OK);
        ++fig->seeks;
        break;
      case 2:  // pause and run again, twice, then go on
        for (int i = 0; i < 2; ++i) {
          ASSERT_EQ(g.Control()->Pause(), S_OK);
          ASSERT_EQ(g.Control()->Run(), S_OK);
          ++fig->stateCycles;
        }
        gate.Release();
        break;
      default:  // stop, and play again from the start
        ASSERT_EQ(g.Control()->Stop(), S_OK);
        ASSERT_EQ(SeekTo(g, 0.0), S_OK);
        ASSERT_EQ(g.Control()->Run(), S_OK);
        ++fig->stateCycles;
        break;
    }
  }
  EXPECT_EQ(g.WaitForComplete(kTimeout), S_OK) << "run " << fig->runs << ", kind " << kind;
  ++fig->runs;
  ASSERT_EQ(g.Control()->Stop(), S_OK);
  const std::vector<BYTE> format = g.Sink()->ConnectedFormat();
  ASSERT_GE(format.size(), sizeof(WAVEFORMATEX));
  const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(format.data());
  fig->audioSeconds += static_cast<double>(g.Sink()->BytesReceived()) / wf->nAvgBytesPerSec;
}

// The core's output for the preset's settings, the whole stream in buffers of 4096 frames.
std::vector<std::uint8_t> CoreOutput(const ModuleEffect& e, LONG preset, const FormatCase& f,
                                     std::uint16_t channels, std::uint32_t rate,
                                     const std::vector<std::uint8_t>& input) {
  auto effect = mw::CreateEffect(*e.core);
  effect->ApplyPreset(preset);
  return mwtest::RunThrough(*effect, f, channels, rate, input, 4096);
}

class Soak : public ComTest {};

TEST_F(Soak, EveryEffectHoldsUpInLongDisturbedStreams) {
  const std::uint32_t minutes = FromEnvironment("MW_SOAK_MINUTES", 30);
  const std::uint32_t rate = FromEnvironment("MW_SOAK_RATE", 8000);
  ScratchDir dir;
  // The main format, another one to connect to now and then, and a short file for the
  // run with fixed settings.
  const FormatCase& pcm16 = mwtest::AllFormats()[1];
  const FormatCase& float32 = mwtest::AllFormats()[3];
  mwtest::WriteWav(dir.Path(L"main.wav"), pcm16, 2, rate,
                   mwtest::MakeSignal(pcm16, 2, std::size_t{kFileSeconds} * rate, 1), false);
  mwtest::WriteWav(dir.Path(L"other.wav"), float32, 1, rate,
                   mwtest::MakeSignal(float32, 1, std::size_t{kFileSeconds} * rate, 2), false);
  const auto fixedInput = mwtest::MakeSignal(pcm16, 2, 5 * rate, 3);
  mwtest::WriteWav(dir.Path(L"fixed.wav"), pcm16, 2, rate, fixedInput, false);

  // Wine's own heaps and threads grow to their working size during the process's first long
  // stream, at a moment that differs from run to run (20 to 30 MB, once). The first effect
  // therefore soaks twice: the first time only warms the process up and is not measured.
  std::vector<const ModuleEffect*> order;
  for (const ModuleEffect& e : AllModuleEffects()) order.push_back(&e);
  order.insert(order.begin(), order.front());
  for (std::size_t index = 0; index < order.size(); ++index) {
    const ModuleEffect& e = *order[index];
    const bool processWarmUp = index == 0;
    SCOPED_TRACE(e.core->cliName);
    Figures fig;
    const DWORD start = GetTickCount();
    std::mt19937 rng(7);
    {
      Ptr<IBaseFilter> filter;
      ASSERT_EQ(mwtest::NewEffectFilter(e, filter), S_OK);
      {
        ParamChanger changer(e, filter.Get(), 99, 2);
        bool measured = false;
        for (int pass = 0; !measured || fig.audioSeconds < minutes * 60.0; ++pass) {
          const bool other = pass % 5 == 4;
          if (other) ++fig.renegotiations;
          SoakRun(dir.Path(other ? L"other.wav" : L"main.wav"), filter.Get(), pass % 4, rng, &fig);
          if (HasFatalFailure()) return;
          if (!measured && pass + 1 >= kWarmUpRuns) {
            fig.afterWarmUp = mwtest::CurrentMemoryUse();
            measured = true;
          }
        }
        changer.Stop();
        fig.changes = changer.Changes();
        fig.presets = changer.Presets();
      }

      // Fixed settings now: the output is the core's, to the byte.
      mwtest::ParamsAccess p(e, filter.Get());
      const LONG preset = p.PresetCount() - 1;
      ASSERT_EQ(p.ApplyPreset(preset), S_OK);
      EffectGraph g;
      ASSERT_TRUE(g.Build(dir.Path(L"fixed.wav"), filter.Get()));
      ASSERT_EQ(g.Control()->Run(), S_OK);
      ASSERT_EQ(g.WaitForComplete(kTimeout), S_OK);
      ASSERT_EQ(g.Control()->Stop(), S_OK);
      const std::vector<BYTE> got = g.Sink()->TakeData();
      const std::vector<std::uint8_t> want = CoreOutput(e, preset, pcm16, 2, rate, fixedInput);
      EXPECT_TRUE(got == want) << got.size() << " bytes, the core made " << want.size();
    }
    fig.atEnd = mwtest::CurrentMemoryUse();
    fig.milliseconds = GetTickCount() - start;
    // Every object of the module has been released with the filter.
    EXPECT_EQ(Module::Get().CanUnloadNow(), S_OK);
    if (!processWarmUp) {
      EXPECT_LE(fig.atEnd.workingSet, fig.afterWarmUp.workingSet + kMarginBytes);
    }
    EXPECT_GE(fig.audioSeconds, minutes * 60.0);
    std::printf(
        "%s %-8s %6.1f audio minutes at %u Hz in %5.1f s; %llu parameter changes (%llu "
        "presets); %d seeks, %d state cycles, %d renegotiations, %d runs to EC_COMPLETE; "
        "working set %.1f MB after the warm-up, %.1f MB at the end (committed %.1f / "
        "%.1f MB)\n",
        processWarmUp ? "warm-up" : "soak   ", e.core->cliName, fig.audioSeconds / 60.0, rate,
        fig.milliseconds / 1000.0,
        static_cast<unsigned long long>(fig.changes),
        static_cast<unsigned long long>(fig.presets), fig.seeks, fig.stateCycles,
        fig.renegotiations, fig.runs, fig.afterWarmUp.workingSet / 1048576.0,
        fig.atEnd.workingSet / 1048576.0, fig.afterWarmUp.privateBytes / 1048576.0,
        fig.atEnd.privateBytes / 1048576.0);
    std::fflush(stdout);
  }
}

}  // namespace
