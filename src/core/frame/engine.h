// The contract between the filter frame and an effect's signal-processing engine.
//
// The frame hands the engine its format, resets and frees it around streaming, and runs
// one per-format loop per buffer. Each loop is written once as a template over the stored
// sample type (see sample_format.h); the virtual call happens per buffer, never per sample.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/frame/buffer_modes.h"
#include "core/frame/effect_format.h"
#include "core/frame/hresult.h"
#include "core/frame/param_store.h"

namespace mw {

// Buffer modes of the per-format loops.
enum LoopMode : int {
  kModeDiscontinuity = 0,  // the buffer starts a discontinuity
  kModeNormal = 1,
  kModeTail = 2,           // silence written by the frame to collect the tail
};

// A loop's result when the tail is finished (S_FALSE).
constexpr HResult kTailFinished = 1;

class EffectEngine {
 public:
  EffectEngine(const ParamTable& table, BufferPolicy policy) : params_(table), policy_(policy) {}
  virtual ~EffectEngine() = default;
  EffectEngine(const EffectEngine&) = delete;
  EffectEngine& operator=(const EffectEngine&) = delete;

  ParamStore& Params() { return params_; }
  const ParamStore& Params() const { return params_; }
  const BufferPolicy& Policy() const { return policy_; }

  // Points the engine at the filter's format copy without touching its state.
  void AttachFormat(const EffectFormat* format) { format_ = format; }
  const EffectFormat* Format() const { return format_; }
  // True when a format is attached and it has one or two channels, the only layouts the
  // engines set up for.
  bool HasUsableFormat() const {
    return format_ != nullptr && format_->nChannels >= 1 && format_->nChannels <= 2;
  }

  // Stores the format and resets.
  HResult SetFormat(const EffectFormat* format) {
    format_ = format;
    return Reset();
  }
  // Takes the parameters and sets up from scratch as the reset rule says; clears `started`.
  virtual HResult Reset();
  // Releases all sample memory.
  virtual HResult Free() = 0;
  // The direct-processing parameter update: take the block and set up when it changed or
  // a reset is asked for (keeping history unless resetting); S_FALSE when nothing to do.
  virtual HResult UpdateParameters(bool reset);
  // Whether end of stream produces a tail.
  bool HasTail() const { return policy_.tail != TailRule::kNone; }
  // Whether a parameter change waits to be applied (not yet taken, or taken by a buffer
  // that could not apply it).
  bool ChangePending() const { return pending_ || params_.ChangedPending(); }
  // The direct-processing count-down: frames a limited call may still process.
  std::int64_t CountDown() const { return countDown_; }

  virtual HResult ProcessPcm8(int mode, std::uint8_t* buffer, std::uint32_t* frames) = 0;
  virtual HResult ProcessPcm16(int mode, std::int16_t* buffer, std::uint32_t* frames) = 0;
  virtual HResult ProcessPcm32(int mode, std::int32_t* buffer, std::uint32_t* frames) = 0;
  virtual HResult ProcessFloat32(int mode, float* buffer, std::uint32_t* frames,
                                 bool limited) = 0;
  virtual HResult ProcessFloat64(int mode, double* buffer, std::uint32_t* frames) = 0;

  bool Valid() const { return valid_; }
  bool Started() const { return started_; }

  // Real-time sizing, for hosts whose processing must never allocate: sample memory is made
  // for the largest request any parameter values can make at the format's rate and channel
  // count, and later set-ups clear it where it lies. Off by default; output is the same.
  void SetRealTimeSizing(bool on) { realTimeSizing_ = on; }

 protected:
  // The reserve to pass to FreshSamples: with real-time sizing and a usable format, the
  // largest count of samples the engine's memory can need; else 0.
  std::size_t SampleReserve() const {
    return realTimeSizing_ && HasUsableFormat() ? LargestSampleCount() : 0;
  }
  virtual std::size_t LargestSampleCount() const { return 0; }

  // What the state machine asks of the engine.
  // Copies the parameter block into the engine's snapshot; true when it changed.
  virtual bool TakeSnapshot() = 0;
  // Derives the working values from the snapshot; with `keep`, the sound held survives
  // where the effect keeps it. Sets `valid`.
  virtual HResult ApplySnapshot(bool keep) = 0;
  // Set up for the current format: an ordinary buffer can run.
  virtual bool Ready() const = 0;
  // Sample memory fit for the current format exists: a tail can run on it.
  virtual bool HasMemory() const { return Ready(); }
  // Where the direct-processing count-down starts.
  virtual std::int64_t CountDownStart() const { return 0; }

  // The prologue of every per-format loop (buffer_modes.h). `countsDown`: the 32-bit float
  // loop, which keeps the direct-processing count-down.
  LoopStart BeginLoop(int mode, const void* buffer, std::uint32_t* frames, bool limited,
                      bool countsDown);
  // Restarts the count-down from CountDownStart(); engines call it when their sample memory
  // is created.
  void ArmCountDown() {
    countDown_ = CountDownStart();
    countDownFinished_ = false;
  }

  ParamStore params_;
  const EffectFormat* format_ = nullptr;
  bool valid_ = false;
  bool started_ = true;

 private:
  // Applies the snapshot, dropping the sound held when asked to and the reset rule allows;
  // a waiting change is applied with it.
  HResult ApplyTaken(bool dropHistory);

  const BufferPolicy policy_;
  // A change taken by a buffer that could not apply it, waiting for one that can.
  bool pending_ = false;
  std::int64_t countDown_ = 0;
  bool countDownFinished_ = false;
  bool realTimeSizing_ = false;
};

// The five per-format loops of an engine whose one loop template is
// `template <class Codec> HResult Loop(int mode, Codec::Stored*, std::uint32_t* frames,
// bool limited)`: declared in the class, defined beside the template in its source file.
#define MW_DECLARE_FORMAT_LOOPS                                                              \
  HResult ProcessPcm8(int mode, std::uint8_t* buffer, std::uint32_t* frames) override;     \
  HResult ProcessPcm16(int mode, std::int16_t* buffer, std::uint32_t* frames) override;    \
  HResult ProcessPcm32(int mode, std::int32_t* buffer, std::uint32_t* frames) override;    \
  HResult ProcessFloat32(int mode, float* buffer, std::uint32_t* frames, bool limited)      \
      override;                                                                             \
  HResult ProcessFloat64(int mode, double* buffer, std::uint32_t* frames) override;

#define MW_DEFINE_FORMAT_LOOPS(Engine)                                                       \
  HResult Engine::ProcessPcm8(int mode, std::uint8_t* buffer, std::uint32_t* frames) {     \
    return Loop<Pcm8Codec>(mode, buffer, frames, false);                                    \
  }                                                                                         \
  HResult Engine::ProcessPcm16(int mode, std::int16_t* buffer, std::uint32_t* frames) {    \
    return Loop<Pcm16Codec>(mode, buffer, frames, false);                                   \
  }                                                                                         \
  HResult Engine::ProcessPcm32(int mode, std::int32_t* buffer, std::uint32_t* frames) {    \
    return Loop<Pcm32Codec>(mode, buffer, frames, false);                                   \
  }                                                                                         \
  HResult Engine::ProcessFloat32(int mode, float* buffer, std::uint32_t* frames,            \
                                 bool limited) {                                            \
    return Loop<Float32Codec>(mode, buffer, frames, limited);                               \
  }                                                                                         \
  HResult Engine::ProcessFloat64(int mode, double* buffer, std::uint32_t* frames) {        \
    return Loop<Float64Codec>(mode, buffer, frames, false);                                 \
  }

// Runs the loop that matches the format on a raw buffer of whole frames.
HResult DispatchLoop(EffectEngine& engine, const EffectFormat& format, int mode, void* data,
                     std::uint32_t* frames);

}  // namespace mw
