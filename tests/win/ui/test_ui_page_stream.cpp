// A settings page over a filter that streams: while a worker thread pushes buffer after buffer
// through the Simple Delay filter, a level fader of its page in the system's property frame is
// dragged with real input. Every buffer delivered must sound as the core sounds with the
// parameters the filter held when that buffer went in: the old level up to the move, the new
// one from the next buffer on.
//
// The graph helpers come first: they name the core's status constants, which the platform
// headers would turn into macros.
#include "graph_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/ui/slider_model.h"
#include "mwppack1/mwppack1.h"
#include "page_harness.h"
#include "page_streamer.h"
#include "win/ui/controls/control_messages.h"

namespace uitest {
namespace {

using namespace mw::ui;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kBufferFrames = 441;  // 10 ms, a tenth of the default delay
constexpr int kMaxBuffers = 6000;
constexpr int kBuffersBeforeTheMove = 30;  // the delay line is full well before
constexpr int kBuffersAfterTheMove = 30;

// Where a page's single-thumb fader draws its thumb, on the screen.
POINT FaderThumbOnScreen(HWND fader) {
  mw::SliderModel model(mw::SliderKind::kFader,
                        static_cast<std::uint32_t>(GetWindowLongA(fader, GWL_STYLE)), false, 0);
  RECT client;
  GetClientRect(fader, &client);
  model.Resize(client.right, client.bottom);
  model.SetRange(static_cast<std::int32_t>(SendMessageA(fader, SLM_GETRANGEMIN, 0, 0)),
                 static_cast<std::int32_t>(SendMessageA(fader, SLM_GETRANGEMAX, 0, 0)), false);
  for (int thumb = 1; thumb <= model.ThumbCount(); ++thumb) {
    model.SetChannelPos(
        thumb,
        static_cast<std::int32_t>(SendMessageA(fader, FDM_GETCHANNELPOS, MAKEWPARAM(0, thumb), 0)),
        false, nullptr);
  }
  const mw::Rect r = model.ThumbRect(0);
  POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(fader, &at);
  return at;
}

// The first byte at which two buffers differ, or their size when they are equal.
std::size_t FirstDifference(const std::vector<std::uint8_t>& a,
                            const std::vector<std::uint8_t>& b) {
  return static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first -
                                  a.begin());
}

// A stream and the fader moved while it runs.
struct StreamCase {
  const char* name;
  int format;  // index into AllFormats()
  std::uint16_t channels;
  int fader;
  std::int32_t SimpleDelayParams::*level;
  const char* field;

  std::size_t BufferBytes() const {
    return std::size_t{kBufferFrames} * channels * mwtest::AllFormats()[format].bits / 8;
  }
};

const StreamCase kCases[] = {
    {"DelayOut16BitStereo", 1, 2, 3011, &SimpleDelayParams::DelayOut, "DelayOut"},
    {"DryOutFloatMono", 3, 1, 3009, &SimpleDelayParams::DryOut, "DryOut"},
    {"DelayOut8BitMono", 0, 1, 3011, &SimpleDelayParams::DelayOut, "DelayOut"},
};

// What the streaming thread saw around one buffer: the level the filter held just
// before the buffer went in and just after it came out.
struct BufferLevels {
  std::int32_t before;
  std::int32_t after;
};

// The levels the filter held around each buffer, recorded by the streaming thread.
class LevelWatch {
 public:
  LevelWatch(ISimpleDelayParams* params, const StreamCase& c) : params_(params), case_(c) {}
  void operator()(int, bool before) {
    if (before) {
      pending_ = Level();
    } else {
      levels_.push_back({pending_, Level()});
    }
  }
  // Read after the stream has ended.
  const std::vector<BufferLevels>& Levels() const { return levels_; }

 private:
  std::int32_t Level() const {
    SimpleDelayParams p{};
    return SUCCEEDED(params_->GetParameters(&p)) ? p.*case_.level : INT32_MIN;
  }

  ISimpleDelayParams* params_;
  const StreamCase& case_;
  std::int32_t pending_ = 0;
  std::vector<BufferLevels> levels_;
};

class PageStream : public ModuleSuite, public ::testing::WithParamInterface<StreamCase> {};

TEST_P(PageStream, FaderMoveChangesTheOutputFromTheNextBuffer) {
  const StreamCase& c = GetParam();
  const ComScope com;
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  HWND fader = page.frame->Item(c.fader);
  Ref<IBaseFilter> filter(Query<IBaseFilter>(page.filter.Get(), IID_IBaseFilter));
  Ref<ISimpleDelayParams> params(
      Query<ISimpleDelayParams>(page.filter.Get(), IID_ISimpleDelayParams));
  ASSERT_TRUE(filter.Get() != nullptr && params.Get() != nullptr);
  SimpleDelayParams initial{};
  ASSERT_EQ(params->GetParameters(&initial), S_OK);

  const mwtest::FormatCase& format = mwtest::AllFormats()[static_cast<std::size_t>(c.format)];
  const std::size_t bufferBytes = c.BufferBytes();
  const std::vector<std::uint8_t> input =
      mwtest::MakeSignal(format, c.channels, std::size_t{kMaxBuffers} * kBufferFrames, 11);
  mwtest::PushRig rig;
  mwtest::WaveType type(format, c.channels, kRate);
  ASSERT_EQ(rig.ConnectInput(filter.Get(), type.Get(), static_cast<LONG>(bufferBytes)), S_OK);
  ASSERT_EQ(rig.ConnectOutput(), S_OK);
  LevelWatch watch(params.Get(), c);
  PageStreamer streamer(rig, input, bufferBytes, kMaxBuffers, std::ref(watch));
  ASSERT_EQ(rig.Run(), S_OK);
  streamer.Start();

  EXPECT_TRUE(PumpUntil(
      [&] { return streamer.Pushed() >= kBuffersBeforeTheMove || streamer.Done(); }, 20000));
  // Down the fader by a fifth of its height, in steps, with the stream running.
  RECT box;
  GetClientRect(fader, &box);
  const POINT thumb = FaderThumbOnScreen(fader);
  MoveTo(thumb);
  Press();
  MoveInSteps(thumb, POINT{thumb.x, thumb.y + box.bottom / 5}, 6);
  Release();
  Park();
  // The page wrote the filter through its parameter interface, and shows what it wrote.
  EXPECT_TRUE(PumpUntil(
      [&] {
        SimpleDelayParams now{};
        return params->GetParameters(&now) == S_OK && now.*c.level < initial.*c.level &&
               SendMessageA(fader, SLM_GETPOS, 0, 0) == now.*c.level;
      },
      5000));
  streamer.FinishAfter(kBuffersAfterTheMove);
  EXPECT_TRUE(PumpUntil([&] { return streamer.Done(); }, 20000));
  streamer.Join();
  EXPECT_EQ(rig.Stop(), S_OK);
  EXPECT_EQ(page.frame->Close(), S_OK);

  SimpleDelayParams moved{};
  ASSERT_EQ(params->GetParameters(&moved), S_OK);
  const std::int32_t oldLevel = initial.*c.level, newLevel = moved.*c.level;
  EXPECT_LT(newLevel, oldLevel);
  moved.*c.level = oldLevel;  // nothing but the dragged fader's field moved
  EXPECT_EQ(std::memcmp(&moved, &initial, sizeof moved), 0);
  ASSERT_EQ(streamer.Failure(), S_OK);
  const std::vector<BufferLevels>& levels = watch.Levels();
  ASSERT_EQ(streamer.Output().size(), levels.size() * bufferBytes);
  ASSERT_LT(levels.size(), static_cast<std::size_t>(kMaxBuffers)) << "the move never ended";

  // The Simple Delay's line holds the input and its fed-back echo, never the output levels:
  // the whole stream at one level gives each buffer's sound at that level.
  std::map<std::int32_t, std::vector<std::uint8_t>> atLevel;
  const std::vector<std::uint8_t> pushed(
      input.begin(), input.begin() + static_cast<std::ptrdiff_t>(levels.size() * bufferBytes));
  auto expected = [&](std::int32_t level, std::size_t buffer) {
    auto found = atLevel.find(level);
    if (found == atLevel.end()) {
      auto core = mwtest::NewEffect("delay", 0,
                                    {{"DryOut", initial.DryOut},
                                     {"DelayOut", initial.DelayOut},
                                     {"Feedback", initial.Feedback},
                                     {"DelayTime", initial.DelayTime},
                                     {"DecayTime", initial.DecayTime},
                                     {c.field, level}});
      found = atLevel
                  .emplace(level, mwtest::RunThrough(*core, format, c.channels, kRate, pushed,
                                                     kBufferFrames))
                  .first;
    }
    return mwtest::Slice(found->second, buffer * bufferBytes, (buffer + 1) * bufferBytes);
  };

  int oldBuffers = 0, newBuffers = 0;
  bool discriminates = false;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const std::vector<std::uint8_t> got =
        mwtest::Slice(streamer.Output(), i * bufferBytes, (i + 1) * bufferBytes);
    const auto [before, after] = levels[i];
    if (before == after) {
      // Nothing moved while the buffer went through: it has the level it found.
      const std::size_t differs = FirstDifference(got, expected(before, i));
      ASSERT_EQ(differs, bufferBytes)
          << "buffer " << i << " does not sound as at level " << before << " (the filter held "
          << "it all through the buffer) from byte " << differs;
      oldBuffers += before == oldLevel;
      if (before == newLevel) {
        ++newBuffers;
        discriminates = discriminates || expected(oldLevel, i) != got;
      }
    } else {
      // A move came while the buffer went through: one level of the way, the buffer whole.
      bool matches = false;
      for (std::int32_t level = std::min(before, after);
           level <= std::max(before, after) && !matches; ++level) {
        matches = got == expected(level, i);
      }
      EXPECT_TRUE(matches) << "buffer " << i << " between levels " << before << " and " << after;
    }
  }
  EXPECT_GE(oldBuffers, kBuffersBeforeTheMove);
  EXPECT_GE(newBuffers, kBuffersAfterTheMove);
  EXPECT_TRUE(discriminates) << "the old and the new level sound alike";
}

INSTANTIATE_TEST_SUITE_P(Streams, PageStream, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StreamCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace uitest
