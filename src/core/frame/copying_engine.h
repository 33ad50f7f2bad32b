// The contract between the copying filter frame and the engine of an effect whose output
// length differs from its input length (Time Stretch, Pitch Shift).
//
// The frame hands the engine its input and output formats, frees it at stop, and runs one
// per-format loop per step: the loop consumes up to `inFrames` input frames, writes up to
// `outFrames` output frames and reports both counts back. Each loop is one template over
// the stored sample type; the virtual call happens per step, never per sample.
#pragma once

#include <cstdint>

#include "core/frame/effect_format.h"
#include "core/frame/engine.h"
#include "core/frame/hresult.h"
#include "core/frame/param_store.h"

namespace mw {

// Mode 2 of the copying loops: end of stream, no input; drain what is held.
constexpr int kModeEndOfStream = kModeTail;

class CopyingEngine {
 public:
  explicit CopyingEngine(const ParamTable& table) : params_(table) {}
  virtual ~CopyingEngine() = default;
  CopyingEngine(const CopyingEngine&) = delete;
  CopyingEngine& operator=(const CopyingEngine&) = delete;

  ParamStore& Params() { return params_; }
  const ParamStore& Params() const { return params_; }

  // Points the engine at the filter's format copies without touching its state; a null
  // pointer leaves that side as it is.
  void AttachFormats(const EffectFormat* input, const EffectFormat* output) {
    if (input != nullptr) input_ = input;
    if (output != nullptr) output_ = output;
  }
  const EffectFormat* InputFormat() const { return input_; }
  const EffectFormat* OutputFormat() const { return output_; }

  // Keeps both formats, chooses the per-format code and resets (start of streaming).
  virtual HResult SetFormat(const EffectFormat* input, const EffectFormat* output) = 0;
  // Releases all sample memory.
  virtual HResult Free() = 0;
  // Called once per received buffer before the loops; may change the samples in place.
  virtual HResult PreFilter(int /*mode*/, void* /*data*/, std::uint32_t /*frames*/) {
    return S_OK;
  }

  // A loop returns S_OK, kTailFinished (1: the stream is completely drained) or an error.
  virtual HResult ProcessPcm8(int mode, std::uint8_t* in, std::uint32_t* inFrames,
                              std::uint8_t* out, std::uint32_t* outFrames) = 0;
  virtual HResult ProcessPcm16(int mode, std::int16_t* in, std::uint32_t* inFrames,
                               std::int16_t* out, std::uint32_t* outFrames) = 0;
  virtual HResult ProcessPcm32(int mode, std::int32_t* in, std::uint32_t* inFrames,
                               std::int32_t* out, std::uint32_t* outFrames) = 0;
  virtual HResult ProcessFloat32(int mode, float* in, std::uint32_t* inFrames, float* out,
                                 std::uint32_t* outFrames) = 0;
  virtual HResult ProcessFloat64(int mode, double* in, std::uint32_t* inFrames, double* out,
                                 std::uint32_t* outFrames) = 0;

  bool Valid() const { return valid_; }
  bool Started() const { return started_; }

  // Real-time sizing, for hosts whose processing must never allocate: the format's set-up
  // makes room for the largest buffers any parameter values need, so that later set-ups
  // allocate nothing. Off by default; output is the same.
  void SetRealTimeSizing(bool on) { realTimeSizing_ = on; }

 protected:
  // What the loop prologue asks of the engine.
  // Copies the parameter block into the engine's snapshot; true when it changed.
  virtual bool TakeSnapshot() = 0;
  // Sets up from scratch for the snapshot and restarts the stream (clears `started`).
  virtual HResult Reset() = 0;
  // Applies the snapshot, in full or keeping the running state as the change allows.
  virtual HResult Setup() = 0;
  // Set up to run the loop's precision.
  virtual bool Ready() const { return valid_; }

  // The head of every loop. Missing counts read as none; at end of stream, or without an
  // input buffer, no input is read, and without an output buffer nothing is written (those
  // counts become 0). Then the parameter pick-up: a discontinuity after processing resets;
  // otherwise a change, or a missing set-up, sets up, except at end of stream. False when
  // nothing is set up to run: both counts are then 0 and *result is what the loop returns
  // (a drain is over at once; any other call fails).
  bool BeginLoop(int mode, const void* in, std::uint32_t*& inFrames, const void* out,
                 std::uint32_t*& outFrames, HResult* result);

  ParamStore params_;
  const EffectFormat* input_ = nullptr;
  const EffectFormat* output_ = nullptr;
  bool valid_ = false;
  bool started_ = false;
  bool realTimeSizing_ = false;

 private:
  std::uint32_t noInput_ = 0;
  std::uint32_t noOutput_ = 0;
};

// The five loops of an engine whose one loop template is `template <class Codec> HResult
// Loop(int mode, Codec::Stored* in, std::uint32_t* inFrames, Codec::Stored* out,
// std::uint32_t* outFrames)`: declared in the class, defined beside the template.
#define MW_DECLARE_COPYING_LOOPS                                                           \
  HResult ProcessPcm8(int mode, std::uint8_t* in, std::uint32_t* inFrames,                \
                      std::uint8_t* out, std::uint32_t* outFrames) override;              \
  HResult ProcessPcm16(int mode, std::int16_t* in, std::uint32_t* inFrames,               \
                       std::int16_t* out, std::uint32_t* outFrames) override;             \
  HResult ProcessPcm32(int mode, std::int32_t* in, std::uint32_t* inFrames,               \
                       std::int32_t* out, std::uint32_t* outFrames) override;             \
  HResult ProcessFloat32(int mode, float* in, std::uint32_t* inFrames, float* out,        \
                         std::uint32_t* outFrames) override;                              \
  HResult ProcessFloat64(int mode, double* in, std::uint32_t* inFrames, double* out,      \
                         std::uint32_t* outFrames) override;

#define MW_DEFINE_COPYING_LOOP(Engine, Name, Codec)                                        \
  HResult Engine::Name(int mode, Codec::Stored* in, std::uint32_t* inFrames,              \
                       Codec::Stored* out, std::uint32_t* outFrames) {                    \
    return Loop<Codec>(mode, in, inFrames, out, outFrames);                               \
  }
#define MW_DEFINE_COPYING_LOOPS(Engine)                                                    \
  MW_DEFINE_COPYING_LOOP(Engine, ProcessPcm8, Pcm8Codec)                                  \
  MW_DEFINE_COPYING_LOOP(Engine, ProcessPcm16, Pcm16Codec)                                \
  MW_DEFINE_COPYING_LOOP(Engine, ProcessPcm32, Pcm32Codec)                                \
  MW_DEFINE_COPYING_LOOP(Engine, ProcessFloat32, Float32Codec)                            \
  MW_DEFINE_COPYING_LOOP(Engine, ProcessFloat64, Float64Codec)

// Runs the loop for the input format on raw buffers of whole frames.
HResult DispatchCopyingLoop(CopyingEngine& engine, const EffectFormat& input, int mode,
                            void* in, std::uint32_t* inFrames, void* out,
                            std::uint32_t* outFrames);

}  // namespace mw
