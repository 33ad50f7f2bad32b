// The streaming frame of the in-place filters: each received buffer is processed where it
// lies and passed on; at end of stream the frame keeps asking downstream for fresh buffers,
// fills them with silence run through the engine, and delivers them until the engine
// reports the tail finished, then passes end-of-stream on. The same frame offers the
// graph-less float processing operations.
//
// The frame is written against two small abstractions so that the component shell and the
// command-line host drive the same code: a media buffer and a downstream peer.
#pragma once

#include <cstdint>
#include <mutex>

#include "core/frame/effect_format.h"
#include "core/frame/engine.h"
#include "core/frame/hresult.h"

namespace mw {

// A sample's time stamps (start and stop) and media times, in the units the host uses.
struct SampleTimes {
  std::int64_t start = 0, stop = 0;
  std::int64_t mediaStart = 0, mediaStop = 0;
};

class MediaBuffer {
 public:
  virtual ~MediaBuffer() = default;
  virtual std::uint8_t* Data() = 0;
  virtual std::int32_t Size() = 0;  // capacity in bytes
  virtual std::int32_t ActualLength() = 0;
  virtual void SetActualLength(std::int32_t bytes) = 0;
  virtual bool IsDiscontinuity() = 0;
  // Flags and times, used by the copying frame; buffers that carry none ignore them.
  virtual bool IsSyncPoint() { return false; }
  virtual void SetDiscontinuity(bool) {}
  virtual void SetSyncPoint(bool) {}
  // Whatever the buffer holds; missing values stay as they are in `times`.
  virtual void GetTimes(SampleTimes* /*times*/) {}
  virtual void SetTimes(const SampleTimes& /*times*/) {}
};

class Downstream {
 public:
  virtual ~Downstream() = default;
  // A fresh buffer without time stamps or flags; the caller releases it.
  virtual HResult GetDeliveryBuffer(MediaBuffer** buffer) = 0;
  virtual HResult Deliver(MediaBuffer* buffer) = 0;
  virtual void ReleaseBuffer(MediaBuffer* buffer) = 0;
  virtual HResult DeliverEndOfStream() = 0;
};

enum PinDirection : std::uint16_t { kPinInput = 0, kPinOutput = 1 };

class InPlaceFrame {
 public:
  explicit InPlaceFrame(EffectEngine& engine) : engine_(engine) {}
  InPlaceFrame(const InPlaceFrame&) = delete;
  InPlaceFrame& operator=(const InPlaceFrame&) = delete;

  EffectEngine& Engine() { return engine_; }
  const EffectFormat& Format() const { return format_; }
  bool InTail() const { return inTail_; }
  bool Received() const { return received_; }

  // Keeps a normalised copy of an accepted format block (at least 16 bytes), points the
  // engine at it and posts the change notice with the pin direction as its code.
  HResult SetMediaType(PinDirection direction, const std::uint8_t* formatBlock,
                       std::uint32_t bytes = 16);
  // The 18-byte format, for any thread; VFW_E_NOT_CONNECTED while there is none.
  HResult GetFormat(std::uint8_t out[EffectFormat::kBytes]) const;

  HResult StartStreaming();
  HResult StopStreaming();
  HResult Transform(MediaBuffer& sample);
  HResult Receive(MediaBuffer& sample, Downstream& downstream);
  HResult EndOfStream(Downstream* downstream);

  // Graph-less float processing.
  HResult Initialize(std::uint32_t channels, std::uint32_t sampleRate);
  HResult Process(float* buffer, std::uint32_t frames, bool limited);
  HResult ProcessTail(float* buffer, std::uint32_t* frames);
  HResult Stop();
  HResult ParametersChanged();
  HResult UpdateParameters(bool reset);

 private:
  EffectEngine& engine_;
  // The format is written on the threads that connect (and start direct processing) and
  // read by the streaming thread and, through GetFormat, by any thread: its writes and
  // GetFormat's reads hold this lock.
  mutable std::mutex formatLock_;
  EffectFormat format_;
  bool hasFormat_ = false;
  bool inTail_ = false;
  bool received_ = false;
};

}  // namespace mw
