// Samples that no parser would send, pushed into each effect filter from the module:
// empty ones, lengths that are not whole frames, samples larger than the allocator's
// buffers, samples without memory or claiming more data than they hold, and an allocator
// whose buffers hold no whole frame. Each is handled or refused with a status, nothing is
// written outside a sample, and what the filter took comes out as the core makes it.
#include <cstring>

#include "graph_util.h"
#include "reliability_util.h"

namespace {

using mwtest::AllModuleEffects;
using mwtest::ComTest;
using mwtest::ForeignSample;
using mwtest::FormatCase;
using mwtest::ModuleEffect;
using mwtest::Ptr;
using mwtest::PushFlags;
using mwtest::PushRig;
using mwtest::WaveType;

// The whole stream through the core with the effect's default settings.
std::vector<std::uint8_t> CoreOutput(const ModuleEffect& e, const FormatCase& f,
                                     std::uint16_t channels, std::uint32_t rate,
                                     const std::vector<std::uint8_t>& input) {
  auto effect = mw::CreateEffect(*e.core);
  return mwtest::RunThrough(*effect, f, channels, rate, input, 4096);
}

// Receives a sample of our own on the effect's input pin.
HRESULT ReceiveForeign(PushRig& rig, ForeignSample* sample) {
  Ptr<IMemInputPin> input;
  EXPECT_EQ(rig.EffectPin(PINDIR_INPUT)->QueryInterface(IID_IMemInputPin, input.OutVoid()), S_OK);
  const HRESULT hr = input->Receive(sample);
  EXPECT_FALSE(sample->GuardTouched());
  return hr;
}

class HostileSamples : public ComTest {};

TEST_F(HostileSamples, EachIsHandledOrRefusedAndWhatWasTakenComesOutRight) {
  const FormatCase& f = mwtest::AllFormats()[1];  // 16-bit stereo: 4-byte frames
  const LONG bufferBytes = 4000;
  const auto input = mwtest::MakeSignal(f, 2, 12000, 21);
  for (const ModuleEffect& e : AllModuleEffects()) {
    SCOPED_TRACE(e.core->cliName);
    PushRig rig;
    Ptr<IBaseFilter> filter;
    ASSERT_EQ(mwtest::NewEffectFilter(e, filter), S_OK);
    WaveType type(f, 2, 8000);
    ASSERT_EQ(rig.ConnectInput(filter.Get(), type.Get(), bufferBytes), S_OK);
    ASSERT_EQ(rig.ConnectOutput(), S_OK);
    ASSERT_EQ(rig.Run(), S_OK);
    std::vector<std::uint8_t> taken;
    auto take = [&](std::size_t from, std::size_t bytes) {
      taken.insert(taken.end(), input.begin() + from, input.begin() + from + bytes);
    };

    // Not whole frames: the whole ones are taken.
    PushFlags first;
    first.discontinuity = true;
    EXPECT_EQ(rig.Push(input.data(), 3999, first), S_OK);
    take(0, 3996);
    // Empty.
    EXPECT_EQ(rig.Push(input.data(), 0), S_OK);
    // Three times as large as the allocator's buffers, from no allocator at all.
    auto* big = new ForeignSample(3 * bufferBytes, 3 * bufferBytes, true);
    std::memcpy(big->Bytes().data(), input.data() + 3996, 3 * bufferBytes);
    EXPECT_EQ(ReceiveForeign(rig, big), S_OK);
    big->Release();
    take(3996, 3 * bufferBytes);
    // Data without memory, and more data than the sample holds: refused.
    auto* none = new ForeignSample(bufferBytes, 400, false);
    EXPECT_EQ(ReceiveForeign(rig, none), E_POINTER);
    none->Release();
    auto* lying = new ForeignSample(400, 800, true);
    EXPECT_EQ(ReceiveForeign(rig, lying), E_INVALIDARG);
    lying->Release();
    // The rest, in ordinary samples.
    for (std::size_t at = 15996; at < input.size(); at += bufferBytes) {
      const std::size_t n = std::min<std::size_t>(bufferBytes, input.size() - at);
      EXPECT_EQ(rig.Push(input.data() + at, n), S_OK);
      take(at, n);
    }
    EXPECT_EQ(rig.EndOfStream(), S_OK);
    EXPECT_TRUE(rig.Sink()->EndOfStreamReceived());
    ASSERT_EQ(rig.Stop(), S_OK);
    const std::vector<BYTE> got = rig.Sink()->TakeData();
    const std::vector<std::uint8_t> want = CoreOutput(e, f, 2, 8000, taken);
    EXPECT_TRUE(got == want) << got.size() << " bytes, the core made " << want.size();
  }
}

// An upstream allocator of buffers smaller than one frame, which the in-place filters
// share downstream: the tail could never advance and end of stream asked for buffers
// forever. Now the tail ends and the end of stream arrives.
TEST_F(HostileSamples, BuffersSmallerThanAFrameEndTheStream) {
  const FormatCase& f = mwtest::AllFormats()[1];
  const auto input = mwtest::MakeSignal(f, 2, 4, 5);
  for (const ModuleEffect& e : AllModuleEffects()) {
    if (e.Copying()) continue;  // their output buffers are four times larger, and at least 512
    SCOPED_TRACE(e.core->cliName);
    PushRig rig;
    Ptr<IBaseFilter> filter;
    ASSERT_EQ(mwtest::NewEffectFilter(e, filter), S_OK);
    WaveType type(f, 2, 8000);
    ASSERT_EQ(rig.ConnectInput(filter.Get(), type.Get(), 3), S_OK);
    ASSERT_EQ(rig.ConnectOutput(), S_OK);
    ASSERT_EQ(rig.Run(), S_OK);
    PushFlags first;
    first.discontinuity = true;
    EXPECT_EQ(rig.Push(input.data(), 3, first), S_OK);
    EXPECT_EQ(rig.EndOfStream(), S_OK);
    EXPECT_TRUE(rig.Sink()->EndOfStreamReceived());
    ASSERT_EQ(rig.Stop(), S_OK);
    EXPECT_TRUE(rig.Sink()->TakeData().empty());
  }
}

}  // namespace
