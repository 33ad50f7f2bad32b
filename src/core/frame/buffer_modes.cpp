#include "core/frame/buffer_modes.h"

#include "core/frame/copying_engine.h"
#include "core/frame/engine.h"

namespace mw {

HResult EffectEngine::ApplyTaken(bool dropHistory) {
  pending_ = false;
  return ApplySnapshot(!dropHistory || policy_.reset == ResetRule::kKeepsHistory);
}

HResult EffectEngine::Reset() {
  TakeSnapshot();
  const HResult hr = ApplyTaken(true);
  started_ = false;
  return hr;
}

HResult EffectEngine::UpdateParameters(bool reset) {
  if (format_ == nullptr) return E_UNEXPECTED;
  const bool changed = TakeSnapshot() || pending_;
  if (!changed && !reset) return S_FALSE;
  return ApplyTaken(reset);
}

LoopStart EffectEngine::BeginLoop(int mode, const void* buffer, std::uint32_t* frames,
                                  bool limited, bool countsDown) {
  const LoopStart finished = {false, kTailFinished, 0};
  if (frames == nullptr) return {false, E_POINTER, 0};
  if (policy_.tail == TailRule::kNone && (limited || mode == kModeTail)) {
    *frames = 0;
    return finished;
  }
  if (!HasUsableFormat()) {
    return {false, E_UNEXPECTED, 0};
  }
  if (buffer == nullptr && *frames != 0) return {false, E_POINTER, 0};

  // A finished limited run refuses further limited calls until an unlimited call re-arms the
  // count-down, with a fresh set-up.
  if (countsDown && countDownFinished_) {
    if (limited) {
      *frames = 0;
      return finished;
    }
    valid_ = false;
    ArmCountDown();
  }

  const bool changed = TakeSnapshot() || pending_;
  if (mode == kModeDiscontinuity && started_) {
    // A discontinuity in mid-stream: the reset applies the whole current block.
    const HResult hr = Reset();
    if (Failed(hr)) return {false, hr, 0};
  } else if (mode == kModeTail) {
    if (changed || !Ready()) {
      pending_ = pending_ || changed;
      if (policy_.tail == TailRule::kEndsOnChange) return finished;  // untouched and whole
    }
    if (!HasMemory()) {
      *frames = 0;
      return finished;
    }
  } else if (changed || !Ready()) {
    if (limited) {
      pending_ = pending_ || changed;  // a limited call never sets up
    } else {
      const HResult hr = ApplyTaken(mode == kModeDiscontinuity);
      if (Failed(hr)) return {false, hr, 0};
    }
  }
  if (mode != kModeTail && !Ready()) {
    // Only a limited call can get here: there is nothing set up to run.
    *frames = 0;
    return {false, E_UNEXPECTED, 0};
  }
  started_ = true;

  std::uint32_t count = *frames;
  if (countsDown) {
    if (limited) {
      if (static_cast<std::int64_t>(count) > countDown_) {
        count = static_cast<std::uint32_t>(countDown_ < 0 ? 0 : countDown_);
      }
      countDown_ -= count;
      if (countDown_ <= 0) countDownFinished_ = true;
    } else {
      countDown_ = CountDownStart();
    }
  }
  return {true, S_OK, count};
}

bool CopyingEngine::BeginLoop(int mode, const void* in, std::uint32_t*& inFrames,
                              const void* out, std::uint32_t*& outFrames, HResult* result) {
  if (inFrames == nullptr || mode == kModeEndOfStream || in == nullptr) {
    if (inFrames != nullptr) *inFrames = 0;
    noInput_ = 0;
    inFrames = &noInput_;
  }
  if (outFrames == nullptr || out == nullptr) {
    if (outFrames != nullptr) *outFrames = 0;
    noOutput_ = 0;
    outFrames = &noOutput_;
  }

  HResult hr = S_OK;
  const bool changed = TakeSnapshot();
  if (mode == kModeDiscontinuity && started_) {
    hr = Reset();
  } else if ((changed || !valid_) && mode != kModeEndOfStream) {
    hr = Setup();
  }
  started_ = true;
  if (Ready()) {
    *result = S_OK;
    return true;
  }
  *inFrames = 0;
  *outFrames = 0;
  // Nothing was set up, so nothing is held: a drain is over at once.
  if (mode == kModeEndOfStream) {
    *result = kTailFinished;
  } else {
    *result = Failed(hr) ? hr : E_UNEXPECTED;
  }
  return false;
}

}  // namespace mw
