// The streaming frame of the four in-place effects, and their direct float processing,
// driven by a script from the input: buffers of any size and length (also lengths that are
// not whole frames, lengths larger than the buffer, and buffers without memory), the
// discontinuity flag, whole parameter blocks of arbitrary values, single fields, presets,
// records, end of stream into downstream buffers of any size with refused requests and
// deliveries, and stop/start cycles. Nothing may be touched outside a buffer, every stored
// field stays in range, deliveries carry whole frames, and every end of stream finishes.
#include "fuzz_support.h"

#include "core/effects/inplace_effect.h"
#include "core/frame/memory_stream.h"

namespace {

using mwfuzz::FuzzBuffer;
using mwfuzz::FuzzDownstream;

constexpr std::uint32_t kMaxRate = 2000;

struct Run {
  FuzzedDataProvider& in;
  mw::InPlaceEffect& effect;
  bool streaming = false;
  std::uint32_t frameBytes = 0;

  mw::InPlaceFrame& Frame() { return effect.Frame(); }

  void Connect() {
    const int encoding = in.ConsumeIntegralInRange<int>(0, 4);
    const std::uint16_t channels = in.ConsumeBool() ? 2 : 1;
    // Low rates keep the lines and tails, and so each run, short; 0 and 1 are edge cases.
    const std::uint32_t rate = in.ConsumeIntegralInRange<std::uint32_t>(0, kMaxRate);
    const auto block = mwfuzz::FormatBlockFor(encoding, channels, rate);
    MW_REQUIRE(Frame().SetMediaType(mw::kPinInput, block.data(), 16) == mw::S_OK);
    MW_REQUIRE(Frame().SetMediaType(mw::kPinOutput, block.data(), 16) == mw::S_OK);
    frameBytes = Frame().Format().nBlockAlign;
  }

  void Start() {
    const mw::HResult hr = Frame().StartStreaming();
    MW_REQUIRE_STATUS(hr, hr == mw::S_OK || hr == mw::E_OUTOFMEMORY);
    streaming = mw::Succeeded(hr);
  }

  void Stop() {
    MW_REQUIRE(Frame().StopStreaming() == mw::S_OK);
    streaming = false;
  }

  void Receive(FuzzDownstream& down) {
    const std::size_t size = in.ConsumeIntegralInRange<std::size_t>(0, 2048);
    FuzzBuffer sample(size);
    const bool lie = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    const std::int32_t actual =
        lie ? in.ConsumeIntegral<std::int32_t>()
            : in.ConsumeIntegralInRange<std::int32_t>(0, static_cast<std::int32_t>(size));
    const bool noMemory = in.ConsumeIntegralInRange<int>(0, 15) == 0;
    const bool discontinuity = in.ConsumeBool();
    sample.Prepare(actual, discontinuity, false, noMemory);
    const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(size);
    std::copy(bytes.begin(), bytes.end(), sample.Bytes().begin());

    const std::uint64_t before = down.delivered;
    const mw::HResult hr = Frame().Receive(sample, down);
    MW_TRACE("receive %d of %zu bytes: 0x%08X, %llu delivered\n", actual, size,
             static_cast<unsigned>(hr), static_cast<unsigned long long>(down.delivered - before));
    MW_REQUIRE(!down.Lent());
    // A sample that lies about its length, or has data but no memory, is refused whole.
    if (actual > static_cast<std::int32_t>(size)) {
      MW_REQUIRE_STATUS(hr, hr == mw::E_INVALIDARG && down.delivered == before);
    } else if (noMemory && actual > 0) {
      MW_REQUIRE_STATUS(hr, hr == mw::E_POINTER && down.delivered == before);
    }
    if (mw::Succeeded(hr) && down.delivered != before) {
      // Delivered in place: the sample's own whole frames.
      MW_REQUIRE(actual >= 0 && actual <= static_cast<std::int32_t>(size) && !noMemory);
      MW_REQUIRE(down.delivered - before ==
                 static_cast<std::uint64_t>(actual) / frameBytes * frameBytes);
    }
  }

  void EndOfStream(FuzzDownstream& down) {
    const int eos = down.endOfStreams;
    const std::uint64_t before = down.delivered;
    const mw::HResult hr = Frame().EndOfStream(&down);
    MW_TRACE("end of stream: 0x%08X, %llu delivered\n", static_cast<unsigned>(hr),
             static_cast<unsigned long long>(down.delivered - before));
    MW_REQUIRE(!down.Lent() && !Frame().InTail() && !Frame().Received());
    if (mw::Succeeded(hr)) MW_REQUIRE(down.endOfStreams == eos + 1);
  }

  void SetBlock() {
    mw::ParamStore& store = effect.Params();
    const auto block = mwfuzz::TakeBytes(in, store.BlockSize());
    const mw::HResult hr = store.SetParameters(block.data());
    MW_REQUIRE_STATUS(hr, hr == mw::S_OK || hr == mw::E_FAIL);
    mwfuzz::RequireInRange(store);
  }

  void PutField() {
    mw::ParamStore& store = effect.Params();
    const std::size_t field = in.ConsumeIntegralInRange<std::size_t>(0, store.Table().count);
    MW_TRACE("put field %zu\n", field);
    const mw::HResult hr = store.Put(field, in.ConsumeIntegral<std::int32_t>());
    MW_REQUIRE(field < store.Table().count ? hr == mw::S_OK : hr == mw::E_INVALIDARG);
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

  // The direct float interface in any order a host might call it.
  void Direct() {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: {
        const std::uint32_t channels = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::uint32_t>(1, 2)
                                                        : in.ConsumeIntegral<std::uint32_t>();
        const mw::HResult hr =
            Frame().Initialize(channels, in.ConsumeIntegralInRange<std::uint32_t>(0, kMaxRate));
        const std::uint16_t low = static_cast<std::uint16_t>(channels);
        MW_REQUIRE(low == 1 || low == 2 ? (hr == mw::S_OK || hr == mw::E_OUTOFMEMORY)
                                        : hr == mw::E_INVALIDARG);
        if (mw::Succeeded(hr)) {
          streaming = true;
          frameBytes = Frame().Format().nBlockAlign;
        }
        break;
      }
      case 1:
      case 2: {
        // Buffers hold whole frames of the current format: the interface counts frames.
        const std::uint32_t frames = in.ConsumeIntegralInRange<std::uint32_t>(0, 512);
        const std::uint16_t channels = Frame().Format().nChannels;
        std::vector<float> buffer(std::size_t{frames} * (channels == 0 ? 1 : channels));
        for (float& x : buffer) x = in.ConsumeFloatingPointInRange<float>(-4.0f, 4.0f);
        if (in.ConsumeBool()) {
          const mw::HResult hr = Frame().Process(buffer.empty() ? nullptr : buffer.data(),
                                                 frames, in.ConsumeBool());
          MW_REQUIRE_STATUS(hr, hr == mw::S_OK || hr == mw::kTailFinished || hr == mw::E_OUTOFMEMORY ||
                     hr == mw::E_UNEXPECTED);
        } else {
          std::fill(buffer.begin(), buffer.end(), 0.0f);
          std::uint32_t n = frames;
          const mw::HResult hr = Frame().ProcessTail(buffer.empty() ? nullptr : buffer.data(), &n);
          MW_REQUIRE(n <= frames || mw::Failed(hr));
        }
        break;
      }
      case 3:
        Frame().ParametersChanged();
        break;
      case 4:
        Frame().UpdateParameters(in.ConsumeBool());
        break;
      default:
        MW_REQUIRE(Frame().Stop() == mw::S_OK);
        streaming = false;
        break;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const mw::EffectDescription& d = mwfuzz::PickEffect(in, mwfuzz::Kinds::kInPlace);
  mw::InPlaceEffect effect(d);
  Run run{in, effect};
  MW_TRACE("effect %s\n", d.cliName);
  run.SetBlock();
  run.Connect();
  run.Start();

  // Downstream buffers: a size for the whole run, often of whole frames, sometimes too
  // small for one frame.
  const std::size_t bufferBytes = in.ConsumeIntegralInRange<int>(0, 7) == 0
                                      ? in.ConsumeIntegralInRange<std::size_t>(0, 16)
                                      : in.ConsumeIntegralInRange<std::size_t>(1, 64) * 16;
  FuzzDownstream down(bufferBytes, run.frameBytes, in.ConsumeIntegralInRange<int>(0, 40),
                      in.ConsumeIntegralInRange<int>(0, 40));

  for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
    down.Restart(run.frameBytes);
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
        // A stop, perhaps a new connection, and a start: as the framework's pins allow.
        run.Stop();
        if (in.ConsumeBool()) run.Connect();
        if (in.ConsumeBool()) run.Start();
        break;
      default:
        run.Direct();
        break;
    }
  }
  if (run.streaming) run.EndOfStream(down);
  run.Stop();
  return 0;
}
