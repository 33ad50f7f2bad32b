// A Pitch Shift or Time Stretch page over a filter that streams: while a worker thread pushes
// buffer after buffer through the filter, a value is typed into the page's edit box with real
// input. The filter's whole output must be what the core makes of the same buffers when each
// buffer meets the parameters the filter held when that buffer went in: the old setting up to
// the change, the new one from the next buffer on.
//
// The graph helpers come first: they name the core's status constants, which the platform
// headers would turn into macros.
#include "graph_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/effects/catalog.h"
#include "mwppack1/mwppack1.h"
#include "page_harness.h"
#include "page_streamer.h"

namespace uitest {
namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kBufferFrames = 1024;
constexpr int kMaxBuffers = 4000;
constexpr int kBuffersBeforeTheChange = 40;  // well past the first splice frame
constexpr int kBuffersAfterTheChange = 40;

using Bytes = std::vector<std::uint8_t>;

template <class Params, class Interface>
Bytes BlockBytes(IUnknown* filter, const IID& iid) {
  Ref<Interface> p(Query<Interface>(filter, iid));
  Params block{};
  if (p.Get() == nullptr || FAILED(p->GetParameters(&block))) return {};
  const auto* at = reinterpret_cast<const std::uint8_t*>(&block);
  return Bytes(at, at + sizeof block);
}

Bytes PitchBytes(IUnknown* filter) {
  return BlockBytes<PitchShiftParams, IPitchShiftParams>(filter, IID_IPitchShiftParams);
}

Bytes StretchBytes(IUnknown* filter) {
  return BlockBytes<TimeStretchParams, ITimeStretchParams>(filter, IID_ITimeStretchParams);
}

// A stream and the value typed while it runs.
struct LengthStreamCase {
  const char* name;
  const char* effect;  // the core's name of the effect
  const CLSID* filter;
  const CLSID* page;
  const wchar_t* filterName;
  Bytes (*block)(IUnknown* filter);
  int edit;
  const char* typed;
  int format;  // index into AllFormats()
  std::uint16_t channels;

  std::size_t BufferBytes() const {
    return std::size_t{kBufferFrames} * channels * mwtest::AllFormats()[format].bits / 8;
  }
};

const LengthStreamCase kCases[] = {
    {"PitchShiftSemitones16BitStereo", "pitch", &CLSID_MwPitchShift, &CLSID_MwPitchShiftPage,
     L"Marrowind Pitch Shift", &PitchBytes, 2011, "5", 1, 2},
    {"TimeStretchPercentFloatMono", "stretch", &CLSID_MwTimeStretch, &CLSID_MwTimeStretchPage,
     L"Marrowind Time Stretch", &StretchBytes, 1007, "150", 3, 1},
};

// What the streaming thread saw around one buffer: the block the filter held just before the
// buffer went in and just after it came out, and how much output there was by then.
struct BufferSeen {
  Bytes before;
  Bytes after;
  std::size_t outputBefore;
};

class BlockWatch {
 public:
  BlockWatch(IUnknown* filter, const LengthStreamCase& c) : filter_(filter), case_(c) {}
  void Attach(const PageStreamer* streamer) { streamer_ = streamer; }
  void operator()(int, bool before) {
    if (before) {
      pending_ = {case_.block(filter_), {}, streamer_->Output().size()};
    } else {
      pending_.after = case_.block(filter_);
      seen_.push_back(std::move(pending_));
    }
  }
  // Read after the stream has ended.
  const std::vector<BufferSeen>& Seen() const { return seen_; }

 private:
  IUnknown* filter_;
  const LengthStreamCase& case_;
  const PageStreamer* streamer_ = nullptr;
  BufferSeen pending_;
  std::vector<BufferSeen> seen_;
};

// Writes the fields of `target` that differ from the core effect's block, one by one, as the
// page's setters did.
void WriteDifferences(mw::Effect& effect, const Bytes& target) {
  mw::ParamStore& store = effect.Params();
  const mw::ParamTable& table = store.Table();
  for (std::size_t i = 0; i < table.count; ++i) {
    const mw::FieldInfo& f = table.fields[i];
    if (f.type == mw::FieldType::Float64) {
      double now = 0.0, wanted = 0.0;
      store.GetDouble(i, &now);
      std::memcpy(&wanted, target.data() + f.offset, sizeof wanted);
      if (std::memcmp(&now, &wanted, sizeof now) != 0) store.PutDouble(i, wanted);
    } else {
      std::int32_t now = 0, wanted = 0;
      store.Get(i, &now);
      std::memcpy(&wanted, target.data() + f.offset, sizeof wanted);
      if (now != wanted) store.Put(i, wanted);
    }
  }
}

// The core's output for the pushed buffers, each meeting the block of `blocks` at its index.
Bytes CoreOutput(const LengthStreamCase& c, const Bytes& input, const std::vector<Bytes>& blocks) {
  auto effect = mw::CreateEffect(*mw::FindEffect(c.effect));
  WriteDifferences(*effect, blocks.front());
  const mwtest::FormatCase& format = mwtest::AllFormats()[static_cast<std::size_t>(c.format)];
  const auto wave = mwtest::FormatBlock(format, c.channels, kRate);
  effect->Connect(wave.data(), 16);
  const std::size_t bytes = c.BufferBytes();
  std::size_t buffer = 0;
  Bytes out;
  const mw::HResult hr = effect->RunWholeStream(
      kBufferFrames, kBufferFrames * 4,
      [&](std::uint8_t* data, std::size_t size) -> std::int64_t {
        if (buffer >= blocks.size() || size < bytes) return 0;
        WriteDifferences(*effect, blocks[buffer]);
        std::memcpy(data, input.data() + buffer * bytes, bytes);
        ++buffer;
        return static_cast<std::int64_t>(bytes);
      },
      [&](const std::uint8_t* data, std::size_t size) {
        out.insert(out.end(), data, data + size);
        return mw::HResult{0};  // the core's success
      });
  EXPECT_EQ(hr, mw::HResult{0});
  return out;
}

class LengthPageStream : public ModuleSuite,
                         public ::testing::WithParamInterface<LengthStreamCase> {};

TEST_P(LengthPageStream, ATypedValueChangesTheOutputFromTheNextBuffer) {
  const LengthStreamCase& c = GetParam();
  const ComScope com;
  Ref<IUnknown> filter(CreateFromModule(Module(), *c.filter));
  ASSERT_NE(filter.Get(), nullptr);
  Ref<IBaseFilter> base(Query<IBaseFilter>(filter.Get(), IID_IBaseFilter));
  const mwtest::FormatCase& format = mwtest::AllFormats()[static_cast<std::size_t>(c.format)];
  const std::size_t bufferBytes = c.BufferBytes();
  const Bytes input =
      mwtest::MakeSignal(format, c.channels, std::size_t{kMaxBuffers} * kBufferFrames, 17);
  mwtest::PushRig rig;
  mwtest::WaveType type(format, c.channels, kRate);
  ASSERT_EQ(rig.ConnectInput(base.Get(), type.Get(), static_cast<LONG>(bufferBytes)), S_OK);
  ASSERT_EQ(rig.ConnectOutput(), S_OK);
  FrameOnThread frame(Module(), filter.Get(), *c.page, c.filterName);
  ASSERT_TRUE(frame.Open());
  const Bytes initial = c.block(filter.Get());

  BlockWatch watch(filter.Get(), c);
  PageStreamer streamer(rig, input, bufferBytes, kMaxBuffers, std::ref(watch));
  watch.Attach(&streamer);
  ASSERT_EQ(rig.Run(), S_OK);
  streamer.Start();
  EXPECT_TRUE(PumpUntil(
      [&] { return streamer.Pushed() >= kBuffersBeforeTheChange || streamer.Done(); }, 20000));
  TypeInto(frame, c.edit, c.typed);
  EXPECT_TRUE(PumpUntil([&] { return c.block(filter.Get()) != initial; }, 5000));
  Pump(300);  // the page's writes are all in
  const Bytes changed = c.block(filter.Get());
  streamer.FinishAfter(kBuffersAfterTheChange);
  EXPECT_TRUE(PumpUntil([&] { return streamer.Done(); }, 20000));
  streamer.Join();
  EXPECT_EQ(rig.Stop(), S_OK);
  EXPECT_EQ(frame.Close(), S_OK);
  ASSERT_EQ(streamer.Failure(), S_OK);
  ASSERT_NE(changed, initial);

  // The blocks the buffers met; a buffer during which the page wrote is where the check ends.
  const std::vector<BufferSeen>& seen = watch.Seen();
  std::vector<Bytes> blocks;
  std::size_t checkedBytes = streamer.Output().size();
  int before = 0, after = 0;
  for (const BufferSeen& s : seen) {
    if (s.before != s.after) {
      checkedBytes = s.outputBefore;
      break;
    }
    blocks.push_back(s.before);
    before += s.before == initial;
    after += s.before == changed;
  }
  ASSERT_GE(before, kBuffersBeforeTheChange);
  ASSERT_FALSE(blocks.empty());
  const Bytes expected = CoreOutput(c, input, blocks);
  ASSERT_GE(expected.size(), checkedBytes);
  const Bytes got(streamer.Output().begin(),
                  streamer.Output().begin() + static_cast<std::ptrdiff_t>(checkedBytes));
  const auto differs = std::mismatch(got.begin(), got.end(), expected.begin()).first - got.begin();
  EXPECT_EQ(static_cast<std::size_t>(differs), checkedBytes)
      << "the filter's output leaves the core's at byte " << differs << " of " << checkedBytes;
  if (checkedBytes == streamer.Output().size()) {
    EXPECT_GE(after, kBuffersAfterTheChange);
    // The old setting all through sounds otherwise: the change was heard.
    const Bytes unchanged = CoreOutput(c, input, std::vector<Bytes>(blocks.size(), initial));
    EXPECT_NE(Bytes(unchanged.begin(),
                    unchanged.begin() + static_cast<std::ptrdiff_t>(
                                            std::min(unchanged.size(), checkedBytes))),
              got);
  } else {
    std::printf("[ note ] the page wrote while a buffer went through: checked the output "
                "up to that buffer (%zu of %zu bytes)\n",
                checkedBytes, streamer.Output().size());
  }
}

INSTANTIATE_TEST_SUITE_P(LengthStreams, LengthPageStream, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LengthStreamCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace uitest
