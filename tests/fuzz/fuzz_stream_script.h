// The script both streaming targets play from the input: a whole parameter block, a
// connection and a start, then up to 48 steps of received samples, ends of stream, blocks,
// single fields, presets and records, plus two steps of the target's own, and a last end
// of stream and stop. `Run` derives from StreamScript<Run, Effect> and provides
// BeforeStep(), Connect(), Start(), FrameBytes(), Receive(down), EndOfStream(down) and
// Own(op, down) for the ops 8 and 9; its kBlockMayBeInvalid says whether a whole block may
// be refused as invalid (a floating-point field that is not a number).
#pragma once

#include "fuzz_support.h"

#include "core/frame/memory_stream.h"

namespace mwfuzz {

template <class Run, class Effect>
class StreamScript {
 public:
  StreamScript(FuzzedDataProvider& input, Effect& e) : in(input), effect(e) {}

  FuzzedDataProvider& in;
  Effect& effect;
  bool streaming = false;

  auto& Frame() { return effect.Frame(); }

  void Stop() {
    MW_REQUIRE(Frame().StopStreaming() == mw::S_OK);
    streaming = false;
  }

  // One sample of up to `maxSize` bytes that may lie about its length or have no memory,
  // through Receive; a sample that does either is refused whole.
  struct Received {
    mw::HResult hr;
    std::size_t size;
    std::int32_t actual;
    bool noMemory;
    std::uint64_t before;
  };
  Received ReceiveSample(FuzzDownstream& down, std::size_t maxSize, bool withSync) {
    Received r{};
    r.size = in.ConsumeIntegralInRange<std::size_t>(0, maxSize);
    FuzzBuffer sample(r.size);
    const bool lie = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    r.actual = lie ? in.ConsumeIntegral<std::int32_t>()
                   : in.ConsumeIntegralInRange<std::int32_t>(0, static_cast<std::int32_t>(r.size));
    r.noMemory = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    const bool discontinuity = in.ConsumeBool();
    const bool sync = withSync && in.ConsumeBool();
    sample.Prepare(r.actual, discontinuity, sync, r.noMemory);
    const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(r.size);
    std::copy(bytes.begin(), bytes.end(), sample.Bytes().begin());

    r.before = down.delivered;
    r.hr = Frame().Receive(sample, down);
    MW_TRACE("receive %d of %zu bytes: 0x%08X, %llu delivered\n", r.actual, r.size,
             static_cast<unsigned>(r.hr),
             static_cast<unsigned long long>(down.delivered - r.before));
    MW_REQUIRE(!down.Lent());
    if (r.actual > static_cast<std::int32_t>(r.size)) {
      MW_REQUIRE_STATUS(r.hr, r.hr == mw::E_INVALIDARG && down.delivered == r.before);
    } else if (r.noMemory && r.actual > 0) {
      MW_REQUIRE_STATUS(r.hr, r.hr == mw::E_POINTER && down.delivered == r.before);
    }
    return r;
  }

  // End of stream: nothing stays lent, and a success passes exactly one end on.
  mw::HResult EndOfStreamChecked(FuzzDownstream& down) {
    const int eos = down.endOfStreams;
    const std::uint64_t before = down.delivered;
    const mw::HResult hr = Frame().EndOfStream(&down);
    MW_TRACE("end of stream: 0x%08X, %llu delivered\n", static_cast<unsigned>(hr),
             static_cast<unsigned long long>(down.delivered - before));
    MW_REQUIRE(!down.Lent());
    if (mw::Succeeded(hr)) MW_REQUIRE(down.endOfStreams == eos + 1);
    return hr;
  }

  void SetBlock() {
    mw::ParamStore& store = effect.Params();
    const auto block = TakeBytes(in, store.BlockSize());
    const mw::HResult hr = store.SetParameters(block.data());
    if (Tracing()) {
      for (std::size_t i = 0; i < store.Table().count; ++i) {
        const mw::FieldInfo& f = store.Table().fields[i];
        double v = 0;
        std::int32_t n = 0;
        if (f.type == mw::FieldType::Float64) store.GetDouble(i, &v); else store.Get(i, &n);
        MW_TRACE("  %s = %g\n", f.name, f.type == mw::FieldType::Float64 ? v : n);
      }
    }
    MW_REQUIRE_STATUS(hr, hr == mw::S_OK || hr == mw::E_FAIL ||
                              (Run::kBlockMayBeInvalid && hr == mw::E_INVALIDARG));
    RequireInRange(store);
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
    RequireInRange(store);
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
    RequireInRange(effect.Params());
  }

  void Play() {
    Run& run = static_cast<Run&>(*this);
    SetBlock();
    run.BeforeStep();
    run.Connect();
    run.Start();

    // Downstream buffers: a size for the whole run, often of whole frames, sometimes too
    // small for one frame.
    const std::size_t bufferBytes = in.ConsumeIntegralInRange<int>(0, 7) == 0
                                        ? in.ConsumeIntegralInRange<std::size_t>(0, 16)
                                        : in.ConsumeIntegralInRange<std::size_t>(1, 64) * 16;
    FuzzDownstream down(bufferBytes, run.FrameBytes(), in.ConsumeIntegralInRange<int>(0, 40),
                        in.ConsumeIntegralInRange<int>(0, 40));

    for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
      run.BeforeStep();
      down.Restart(run.FrameBytes());
      const int op = in.ConsumeIntegralInRange<int>(0, 9);
      MW_TRACE("step %d: op %d\n", step, op);
      switch (op) {
        case 0:
        case 1:
        case 2:
          if (streaming) run.Receive(down);
          break;
        case 3:
          if (streaming) run.EndOfStream(down);
          break;
        case 4:
          SetBlock();
          break;
        case 5:
          PutField();
          break;
        case 6:
          Preset();
          break;
        case 7:
          Record();
          break;
        default:
          run.Own(op, down);
          break;
      }
    }
    run.BeforeStep();
    if (streaming) run.EndOfStream(down);
    Stop();
  }
};

}  // namespace mwfuzz
