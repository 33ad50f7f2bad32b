// What the tests of a page over a streaming filter share: COM for the test's thread, and a
// worker that pushes buffer after buffer through a push rig, paced like a live source, until
// told how many more to send, and lets the test look at the filter just before each buffer
// goes in and just after it comes out. Include after graph_util.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace uitest {

// COM for the test's thread, as the host's streaming side uses it.
struct ComScope {
  ComScope() : result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  HRESULT result;
};

class PageStreamer {
 public:
  // Called on the streaming thread around buffer `index` (`before` the push, or after it).
  using Watch = std::function<void(int index, bool before)>;

  PageStreamer(mwtest::PushRig& rig, const std::vector<std::uint8_t>& input,
               std::size_t bufferBytes, int maxBuffers, Watch watch)
      : rig_(rig),
        input_(input),
        bufferBytes_(bufferBytes),
        maxBuffers_(maxBuffers),
        last_(maxBuffers),
        watch_(std::move(watch)) {
    rig_.Sink()->SetWriter([this](const BYTE* data, std::size_t bytes) {
      output_.insert(output_.end(), data, data + bytes);
      return S_OK;
    });
  }
  ~PageStreamer() {
    last_ = 0;
    Join();
  }
  PageStreamer(const PageStreamer&) = delete;
  PageStreamer& operator=(const PageStreamer&) = delete;

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
  // Read after Join, or from the watch (the streaming thread writes it).
  HRESULT Failure() const { return failure_; }
  const std::vector<std::uint8_t>& Output() const { return output_; }

 private:
  void Run() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (int i = 0; i < maxBuffers_ && i < last_; ++i) {
      mwtest::PushFlags flags;
      flags.discontinuity = i == 0;
      watch_(i, true);
      const HRESULT hr = rig_.Push(input_.data() + i * bufferBytes_, bufferBytes_, flags);
      if (hr != S_OK) {
        failure_ = hr;
        break;
      }
      watch_(i, false);
      pushed_ = i + 1;
      Sleep(1);  // a live source's pace: the page's thread gets its share of the processors
    }
    done_ = true;
    CoUninitialize();
  }

  mwtest::PushRig& rig_;
  const std::vector<std::uint8_t>& input_;
  const std::size_t bufferBytes_;
  const int maxBuffers_;
  std::vector<std::uint8_t> output_;
  std::atomic<int> pushed_{0};
  std::atomic<int> last_;
  std::atomic<bool> done_{false};
  HRESULT failure_ = S_OK;
  Watch watch_;
  std::thread thread_;
};

}  // namespace uitest
