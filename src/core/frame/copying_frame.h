// The streaming frame of the filters whose output length differs from their input length.
// Every received buffer is turned into as many fresh output buffers as it takes, obtained
// one at a time from downstream; at end of stream the engine is drained into further
// buffers. Output buffers carry no times, except the first one written after an input
// discontinuity, which carries that input buffer's times.
#pragma once

#include <cstdint>
#include <mutex>

#include "core/frame/copying_engine.h"
#include "core/frame/effect_format.h"
#include "core/frame/inplace_frame.h"

namespace mw {

class CopyingFrame {
 public:
  explicit CopyingFrame(CopyingEngine& engine) : engine_(engine) {}
  CopyingFrame(const CopyingFrame&) = delete;
  CopyingFrame& operator=(const CopyingFrame&) = delete;

  CopyingEngine& Engine() { return engine_; }
  const EffectFormat& InputFormat() const { return input_; }
  const EffectFormat& OutputFormat() const { return output_; }

  // Keeps a normalised copy of a format block (at least 16 bytes) for one side, points the
  // engine at it and posts the change notice with the direction as its code.
  HResult SetMediaType(PinDirection direction, const std::uint8_t* formatBlock,
                       std::uint32_t bytes = 16);
  // The 18-byte format of one side (0 input, 1 output); VFW_E_NOT_CONNECTED when that
  // side has none or `which` names no side.
  HResult GetFormat(std::uint32_t which, std::uint8_t out[EffectFormat::kBytes]) const;
  // The input's sample rate; 44100 with E_FAIL while there is no format.
  HResult GetSampleRate(std::uint32_t* rate) const;

  HResult StartStreaming();
  HResult StopStreaming();
  HResult Receive(MediaBuffer& input, Downstream& downstream);
  HResult EndOfStream(Downstream* downstream);

 private:
  HResult RunLoop(int mode, std::uint8_t* in, std::uint32_t* inFrames, MediaBuffer& out,
                  std::uint32_t* outFrames);
  void StampOutput(MediaBuffer& out);

  CopyingEngine& engine_;
  // The formats are written on the threads that connect and on the streaming thread (a
  // sample that carries a new type), and read by the streaming thread and, through
  // GetFormat and GetSampleRate, by any thread: their writes and those reads hold this lock.
  mutable std::mutex formatLock_;
  EffectFormat input_, output_;
  bool hasInput_ = false, hasOutput_ = false;
  bool pendingTime_ = false;
  bool pendingSync_ = false;
  // The stream was drained: a buffer that follows starts a new stream.
  bool ended_ = false;
  SampleTimes times_;
};

}  // namespace mw
