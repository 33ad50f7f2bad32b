// The streaming frame of the two effects that change the length of the sound, driven by a
// script from the input: input buffers of any size and length (also lengths that are not
// whole frames, lengths larger than the buffer, and buffers without memory) with the
// discontinuity and sync-point flags, a new sample rate arriving while streaming (the one
// change the filters follow), whole parameter blocks of arbitrary values, single fields,
// presets, records, end of stream into output buffers of any size with refused requests and
// deliveries, and stop/start cycles.
#include "fuzz_support.h"

#include "core/effects/copying_effect.h"
#include "core/frame/format_pair.h"
#include "core/frame/memory_stream.h"

namespace {

using mwfuzz::FuzzBuffer;
using mwfuzz::FuzzDownstream;

// Rates stay low so that each run stays short.
constexpr std::uint32_t kMaxRate = 4000;
constexpr double kLowestRatio = 1.0 / 64;

struct Run {
  FuzzedDataProvider& in;
  mw::CopyingEffect& effect;
  int encoding = 1;
  std::uint16_t channels = 1;
  bool streaming = false;

  mw::CopyingFrame& Frame() { return effect.Frame(); }

  // A Pitch Shift Ratio near zero is valid but makes each input frame into up to 2^32 / rate
  // output frames: a run would never end. Such ratios are raised to the lowest one a run
  // can afford (the settings page writes 0.05 at the least).
  void KeepRunShort() {
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

  void Stop() {
    MW_REQUIRE(Frame().StopStreaming() == mw::S_OK);
    streaming = false;
  }

  void Receive(FuzzDownstream& down) {
    const std::size_t size = in.ConsumeIntegralInRange<std::size_t>(0, 1024);
    FuzzBuffer sample(size);
    const bool lie = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    const std::int32_t actual =
        lie ? in.ConsumeIntegral<std::int32_t>()
            : in.ConsumeIntegralInRange<std::int32_t>(0, static_cast<std::int32_t>(size));
    const bool noMemory = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    const bool discontinuity = in.ConsumeBool();
    const bool sync = in.ConsumeBool();
    sample.Prepare(actual, discontinuity, sync, noMemory);
    const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(size);
    std::copy(bytes.begin(), bytes.end(), sample.Bytes().begin());
    const std::uint64_t before = down.delivered;
    const mw::HResult hr = Frame().Receive(sample, down);
    MW_TRACE("receive %d of %zu bytes: 0x%08X, %llu delivered\n", actual, size,
             static_cast<unsigned>(hr), static_cast<unsigned long long>(down.delivered - before));
    MW_REQUIRE(!down.Lent());
    // S_FALSE: a sample without frames after the stream was drained, with nothing to do.
    MW_REQUIRE_STATUS(hr, hr == mw::S_OK || hr == mw::kTailFinished || mw::Failed(hr));
    // A sample that lies about its length, or has data but no memory, is refused whole.
    if (actual > static_cast<std::int32_t>(size)) {
      MW_REQUIRE_STATUS(hr, hr == mw::E_INVALIDARG && down.delivered == before);
    } else if (noMemory && actual > 0) {
      MW_REQUIRE_STATUS(hr, hr == mw::E_POINTER && down.delivered == before);
    }
  }

  void EndOfStream(FuzzDownstream& down) {
    const int eos = down.endOfStreams;
    const std::uint64_t before = down.delivered;
    const mw::HResult hr = Frame().EndOfStream(&down);
    MW_TRACE("end of stream: 0x%08X, %llu delivered\n", static_cast<unsigned>(hr),
             static_cast<unsigned long long>(down.delivered - before));
    MW_REQUIRE(!down.Lent());
    if (mw::Succeeded(hr)) MW_REQUIRE(down.endOfStreams == eos + 1);
  }

  void SetBlock() {
    mw::ParamStore& store = effect.Params();
    const auto block = mwfuzz::TakeBytes(in, store.BlockSize());
    const mw::HResult hr = store.SetParameters(block.data());
    if (mwfuzz::Tracing()) {
      for (std::size_t i = 0; i < store.Table().count; ++i) {
        const mw::FieldInfo& f = store.Table().fields[i];
        double v = 0;
        std::int32_t n = 0;
        if (f.type == mw::FieldType::Float64) store.GetDouble(i, &v); else store.Get(i, &n);
        MW_TRACE("  %s = %g\n", f.name, f.type == mw::FieldType::Float64 ? v : n);
      }
    }
    MW_REQUIRE_STATUS(hr, hr == mw::S_OK || hr == mw::E_FAIL || hr == mw::E_INVALIDARG);
    mwfuzz::RequireInRange(store);
  }

  void PutField() {
    mw::ParamStore& store = effect.Params();
    const std::size_t field = in.ConsumeIntegralInRange<std::size_t>(0, store.Table().count);
    MW_TRACE("put field %zu\n", field);
    if (field < store.Table().count && store.Table().fields[field].type == mw::FieldType::Float64) {
      const mw::HResult hr = store.PutDouble(field, in.ConsumeFloatingPoint<double>());
      MW_REQUIRE_STATUS(hr, hr == mw::S_OK || hr == mw::E_INVALIDARG);
    } else {
      const mw::HResult hr = store.Put(field, in.ConsumeIntegral<std::int32_t>());
      MW_REQUIRE(field < store.Table().count ? hr == mw::S_OK : hr == mw::E_INVALIDARG);
    }
    mwfuzz::RequireInRange(store);
  }

  void Preset() {
    const std::int32_t index = in.ConsumeIntegralInRange<std::int32_t>(-1, effect.PresetCount());
    const mw::HResult hr = effect.ApplyPreset(index);
    MW_REQUIRE(index >= 0 && index < effect.PresetCount() ? hr == mw::S_OK
                                                           : hr == mw::E_INVALIDARG);
  }

  void Record() {
    const auto bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 200));
    mw::MemoryStream s(bytes.data(), bytes.size());
    effect.Load(s);
    mwfuzz::RequireInRange(effect.Params());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const mw::EffectDescription& d = mwfuzz::PickEffect(in, mwfuzz::Kinds::kCopying);
  mw::CopyingEffect effect(d);
  Run run{in, effect};
  MW_TRACE("effect %s\n", d.cliName);
  run.SetBlock();
  run.KeepRunShort();
  run.Connect();
  run.Start();

  const std::size_t bufferBytes = in.ConsumeIntegralInRange<int>(0, 7) == 0
                                      ? in.ConsumeIntegralInRange<std::size_t>(0, 16)
                                      : in.ConsumeIntegralInRange<std::size_t>(1, 64) * 16;
  FuzzDownstream down(bufferBytes, run.FrameBytes(), in.ConsumeIntegralInRange<int>(0, 40),
                      in.ConsumeIntegralInRange<int>(0, 40));

  for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
    run.KeepRunShort();
    down.Restart(run.FrameBytes());
    const int op = in.ConsumeIntegralInRange<int>(0, 9);
    MW_TRACE("step %d: op %d\n", step, op);
    switch (op) {
      case 0:
      case 1:
      case 2:
        if (run.streaming) run.Receive(down);
        break;
      case 3:
        if (run.streaming) run.EndOfStream(down);
        break;
      case 4:
        run.SetBlock();
        break;
      case 5:
        run.PutField();
        break;
      case 6:
        run.Preset();
        break;
      case 7:
        run.Record();
        break;
      case 8:
        // A new rate with a sample while streaming: the filters follow it.
        run.SetRate(in.ConsumeIntegralInRange<std::uint32_t>(0, kMaxRate));
        break;
      default:
        run.Stop();
        if (in.ConsumeBool()) run.Connect();
        if (in.ConsumeBool()) run.Start();
        break;
    }
  }
  run.KeepRunShort();
  if (run.streaming) run.EndOfStream(down);
  run.Stop();
  return 0;
}
