// The streaming frame of the two effects that change the length of the sound, driven by a
// script from the input: input buffers of any size and length (also lengths that are not
// whole frames, lengths larger than the buffer, and buffers without memory) with the
// discontinuity and sync-point flags, a new sample rate arriving while streaming (the one
// change the filters follow), whole parameter blocks of arbitrary values, single fields,
// presets, records, end of stream into output buffers of any size with refused requests and
// deliveries, and stop/start cycles.
#include "fuzz_stream_script.h"

#include "core/effects/copying_effect.h"
#include "core/frame/format_pair.h"

namespace {

using mwfuzz::FuzzDownstream;

// Rates stay low so that each run stays short.
constexpr std::uint32_t kMaxRate = 4000;
constexpr double kLowestRatio = 1.0 / 64;

struct Run : mwfuzz::StreamScript<Run, mw::CopyingEffect> {
  static constexpr bool kBlockMayBeInvalid = true;
  using StreamScript::StreamScript;
  int encoding = 1;
  std::uint16_t channels = 1;

  // A Pitch Shift Ratio near zero is valid but makes each input frame into up to 2^32 / rate
  // output frames: a run would never end. Such ratios are raised to the lowest one a run
  // can afford (the settings page writes 0.05 at the least).
  void BeforeStep() {
    const int field = effect.Params().Table().Find("Ratio");
    if (field < 0) return;
    double ratio = 0;
    effect.Params().GetDouble(static_cast<std::size_t>(field), &ratio);
    if (ratio < kLowestRatio) effect.Params().PutDouble(static_cast<std::size_t>(field), kLowestRatio);
  }
  std::uint32_t FrameBytes() { return Frame().OutputFormat().nBlockAlign; }

  void SetRate(std::uint32_t rate) {
    MW_TRACE("format %d, %u channels, %u Hz\n", encoding, channels, rate);
    const auto block = mwfuzz::FormatBlockFor(encoding, channels, rate);
    MW_REQUIRE(Frame().SetMediaType(mw::kPinInput, block.data(), 16) == mw::S_OK);
    MW_REQUIRE(Frame().SetMediaType(mw::kPinOutput, block.data(), 16) == mw::S_OK);
  }

  void Connect() {
    encoding = in.ConsumeIntegralInRange<int>(0, 4);
    channels = in.ConsumeBool() ? 2 : 1;
    SetRate(in.ConsumeIntegralInRange<std::uint32_t>(0, kMaxRate));
  }

  void Start() {
    // At the lowest rates a splice frame holds no whole output frame: refused with E_FAIL.
    const mw::HResult hr = Frame().StartStreaming();
    MW_REQUIRE_STATUS(hr, hr == mw::S_OK || hr == mw::E_OUTOFMEMORY || hr == mw::E_FAIL);
    streaming = mw::Succeeded(hr);
  }

  void Receive(FuzzDownstream& down) {
    const Received r = ReceiveSample(down, 1024, true);
    // S_FALSE: a sample without frames after the stream was drained, with nothing to do.
    MW_REQUIRE_STATUS(r.hr, r.hr == mw::S_OK || r.hr == mw::kTailFinished || mw::Failed(r.hr));
  }

  void EndOfStream(FuzzDownstream& down) { EndOfStreamChecked(down); }

  void Own(int op, FuzzDownstream&) {
    if (op == 8) {
      // A new rate with a sample while streaming: the filters follow it.
      SetRate(in.ConsumeIntegralInRange<std::uint32_t>(0, kMaxRate));
    } else {
      Stop();
      if (in.ConsumeBool()) Connect();
      if (in.ConsumeBool()) Start();
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const mw::EffectDescription& d = mwfuzz::PickEffect(in, mwfuzz::Kinds::kCopying);
  mw::CopyingEffect effect(d);
  MW_TRACE("effect %s\n", d.cliName);
  Run(in, effect).Play();
  return 0;
}
