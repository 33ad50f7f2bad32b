// The streaming frame of the four in-place effects, and their direct float processing,
// driven by a script from the input: buffers of any size and length (also lengths that are
// not whole frames, lengths larger than the buffer, and buffers without memory), the
// discontinuity flag, whole parameter blocks of arbitrary values, single fields, presets,
// records, end of stream into downstream buffers of any size with refused requests and
// deliveries, and stop/start cycles. Nothing may be touched outside a buffer, every stored
// field stays in range, deliveries carry whole frames, and every end of stream finishes.
#include "fuzz_stream_script.h"

#include "core/effects/inplace_effect.h"

namespace {

using mwfuzz::FuzzDownstream;

constexpr std::uint32_t kMaxRate = 2000;

struct Run : mwfuzz::StreamScript<Run, mw::InPlaceEffect> {
  static constexpr bool kBlockMayBeInvalid = false;
  using StreamScript::StreamScript;
  std::uint32_t frameBytes = 0;

  void BeforeStep() {}
  std::uint32_t FrameBytes() const { return frameBytes; }

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

  void Receive(FuzzDownstream& down) {
    const Received r = ReceiveSample(down, 2048, false);
    if (mw::Succeeded(r.hr) && down.delivered != r.before) {
      // Delivered in place: the sample's own whole frames.
      MW_REQUIRE(r.actual >= 0 && r.actual <= static_cast<std::int32_t>(r.size) && !r.noMemory);
      MW_REQUIRE(down.delivered - r.before ==
                 static_cast<std::uint64_t>(r.actual) / frameBytes * frameBytes);
    }
  }

  void EndOfStream(FuzzDownstream& down) {
    EndOfStreamChecked(down);
    MW_REQUIRE(!Frame().InTail() && !Frame().Received());
  }

  void Own(int op, FuzzDownstream&) {
    if (op == 8) {
      // A stop, perhaps a new connection, and a start: as the framework's pins allow.
      Stop();
      if (in.ConsumeBool()) Connect();
      if (in.ConsumeBool()) Start();
    } else {
      Direct();
    }
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
  MW_TRACE("effect %s\n", d.cliName);
  Run(in, effect).Play();
  return 0;
}
