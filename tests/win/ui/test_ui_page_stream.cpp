// A settings page over a filter that streams: while a worker thread pushes buffer after buffer
// through the Simple Delay filter, the Delay out fader of its page in the system's property
// frame is dragged with real input. Every buffer delivered must sound as the core sounds with
// the parameters the filter held when that buffer went in: the old level up to the move, the
// new one from the next buffer on.
//
// The graph helpers come first: they name the core's status constants, which the platform
// headers would turn into macros.
#include "graph_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <thread>
#include <vector>

#include "core/ui/slider_model.h"
#include "mwppack1/mwppack1.h"
#include "page_harness.h"
#include "win/ui/controls/control_messages.h"

namespace uitest {
namespace {

using namespace mw::ui;

constexpr std::uint16_t kChannels = 2;
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

// What the streaming thread saw around one buffer: the Delay out level the filter held just
// before the buffer went in and just after it came out.
struct BufferLevels {
  std::int32_t before;
  std::int32_t after;
};

// Pushes buffers through the rig on a thread of its own, paced like a live source, until
// told how many more to send.
class Streamer {
 public:
  Streamer(mwtest::PushRig& rig, ISimpleDelayParams* params, const std::vector<std::uint8_t>& input)
      : rig_(rig), params_(params), input_(input) {
    rig_.Sink()->SetWriter([this](const BYTE* data, std::size_t bytes) {
      output_.insert(output_.end(), data, data + bytes);
      return S_OK;
    });
  }
  ~Streamer() {
    last_ = 0;
    Join();
  }
  Streamer(const Streamer&) = delete;
  Streamer& operator=(const Streamer&) = delete;

  // Once the rig runs.
  void Start() {
    thread_ = std::thread([this] { Run(); });
  }
  int Pushed() const { return pushed_; }
  // Sends `more` buffers after those already sent, then stops.
  void FinishAfter(int more) { last_ = pushed_ + more; }
  bool Done() const { return done_; }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // Read after Join.
  HRESULT Failure() const { return failure_; }
  const std::vector<BufferLevels>& Levels() const { return levels_; }
  const std::vector<std::uint8_t>& Output() const { return output_; }

 private:
  std::int32_t DelayOut() const {
    SimpleDelayParams p{};
    return SUCCEEDED(params_->GetParameters(&p)) ? p.DelayOut : INT32_MIN;
  }

  void Run() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const std::size_t bytes = std::size_t{kBufferFrames} * kChannels * sizeof(std::int16_t);
    for (int i = 0; i < kMaxBuffers && i < last_; ++i) {
      mwtest::PushFlags flags;
      flags.discontinuity = i == 0;
      const std::int32_t before = DelayOut();
      const HRESULT hr = rig_.Push(input_.data() + i * bytes, bytes, flags);
      const std::int32_t after = DelayOut();
      if (hr != S_OK) {
        failure_ = hr;
        break;
      }
      levels_.push_back({before, after});
      pushed_ = i + 1;
      Sleep(1);  // a live source's pace: the page's thread gets its share of the processors
    }
    done_ = true;
    CoUninitialize();
  }

  mwtest::PushRig& rig_;
  ISimpleDelayParams* params_;
  const std::vector<std::uint8_t>& input_;
  std::vector<BufferLevels> levels_;
  std::vector<std::uint8_t> output_;
  std::atomic<int> pushed_{0};
  std::atomic<int> last_{kMaxBuffers};
  std::atomic<bool> done_{false};
  HRESULT failure_ = S_OK;
  std::thread thread_;
};

class PageStream : public ModuleSuite {};

TEST_F(PageStream, DelayOutFaderChangesTheOutputFromTheNextBuffer) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  OpenPage page(Module(), kSimpleDelayKind);
  ASSERT_TRUE(page.frame != nullptr && page.frame->Open());
  HWND fader = page.frame->Item(3011);  // Delay out
  if (SendMessageA(fader, SLM_GETRANGEMIN, 0, 0) != -800) {
    GTEST_SKIP() << "the fader windows of this build do not answer their messages";
  }
  Ref<IBaseFilter> filter(Query<IBaseFilter>(page.filter.Get(), IID_IBaseFilter));
  Ref<ISimpleDelayParams> params(
      Query<ISimpleDelayParams>(page.filter.Get(), IID_ISimpleDelayParams));
  ASSERT_TRUE(filter.Get() != nullptr && params.Get() != nullptr);
  SimpleDelayParams initial{};
  ASSERT_EQ(params->GetParameters(&initial), S_OK);

  const mwtest::FormatCase& format = mwtest::AllFormats()[1];  // 16-bit
  const std::vector<std::uint8_t> input =
      mwtest::MakeSignal(format, kChannels, std::size_t{kMaxBuffers} * kBufferFrames, 11);
  mwtest::PushRig rig;
  mwtest::WaveType type(format, kChannels, kRate);
  ASSERT_EQ(rig.ConnectInput(filter.Get(), type.Get(),
                             static_cast<LONG>(kBufferFrames * kChannels * sizeof(std::int16_t))),
            S_OK);
  ASSERT_EQ(rig.ConnectOutput(), S_OK);
  Streamer streamer(rig, params.Get(), input);
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
        LONG level = 0;
        return params->get_DelayOut(&level) == S_OK && level < initial.DelayOut &&
               SendMessageA(fader, SLM_GETPOS, 0, 0) == level;
      },
      5000));
  streamer.FinishAfter(kBuffersAfterTheMove);
  EXPECT_TRUE(PumpUntil([&] { return streamer.Done(); }, 20000));
  streamer.Join();
  EXPECT_EQ(rig.Stop(), S_OK);
  EXPECT_EQ(page.frame->Close(), S_OK);

  SimpleDelayParams moved{};
  ASSERT_EQ(params->GetParameters(&moved), S_OK);
  EXPECT_LT(moved.DelayOut, initial.DelayOut);
  EXPECT_EQ(moved.DryOut, initial.DryOut);  // the other fader stayed where it was
  EXPECT_EQ(moved.DelayTime, initial.DelayTime);
  ASSERT_EQ(streamer.Failure(), S_OK);
  const std::vector<BufferLevels>& levels = streamer.Levels();
  const std::size_t bufferBytes = std::size_t{kBufferFrames} * kChannels * sizeof(std::int16_t);
  ASSERT_EQ(streamer.Output().size(), levels.size() * bufferBytes);
  ASSERT_LT(levels.size(), static_cast<std::size_t>(kMaxBuffers)) << "the move never ended";

  // The Simple Delay's line holds the input and its fed-back echo, never the output levels:
  // the whole stream at one Delay out level gives each buffer's sound at that level.
  std::map<std::int32_t, std::vector<std::uint8_t>> atLevel;
  const std::vector<std::uint8_t> pushed(
      input.begin(), input.begin() + static_cast<std::ptrdiff_t>(levels.size() * bufferBytes));
  auto expected = [&](std::int32_t level, std::size_t buffer) {
    auto found = atLevel.find(level);
    if (found == atLevel.end()) {
      auto core = mwtest::NewEffect("delay", 0,
                                    {{"DryOut", initial.DryOut},
                                     {"DelayOut", level},
                                     {"Feedback", initial.Feedback},
                                     {"DelayTime", initial.DelayTime},
                                     {"DecayTime", initial.DecayTime}});
      found = atLevel
                  .emplace(level, mwtest::RunThrough(*core, format, kChannels, kRate, pushed,
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
      oldBuffers += before == initial.DelayOut;
      if (before == moved.DelayOut) {
        ++newBuffers;
        discriminates = discriminates || expected(initial.DelayOut, i) != got;
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
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace
}  // namespace uitest
