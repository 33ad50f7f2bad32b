// A minimal host around the streaming frames without a filter graph: it plays the upstream
// source (buffers of a fixed frame count, the first one flagged as a discontinuity) and the
// downstream peer (fresh buffers of a fixed size, delivered bytes handed to a sink). The command-line host and the tests drive the frame through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/frame/copying_frame.h"
#include "core/frame/inplace_frame.h"

namespace mw {

class HeapBuffer final : public MediaBuffer {
 public:
  explicit HeapBuffer(std::size_t capacity) : bytes_(capacity) {}
  std::uint8_t* Data() override { return bytes_.data(); }
  std::int32_t Size() override { return static_cast<std::int32_t>(bytes_.size()); }
  std::int32_t ActualLength() override { return actual_; }
  void SetActualLength(std::int32_t bytes) override { actual_ = bytes; }
  bool IsDiscontinuity() override { return discontinuity_; }
  void SetDiscontinuity(bool on) override { discontinuity_ = on; }
  bool IsSyncPoint() override { return syncPoint_; }
  void SetSyncPoint(bool on) override { syncPoint_ = on; }
  void GetTimes(SampleTimes* times) override {
    if (hasTimes_) *times = times_;
  }
  void SetTimes(const SampleTimes& times) override {
    times_ = times;
    hasTimes_ = true;
  }
  bool HasTimes() const { return hasTimes_; }
  // Back to a fresh buffer: no data, flags or times.
  void Clear() {
    actual_ = 0;
    discontinuity_ = syncPoint_ = hasTimes_ = false;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::int32_t actual_ = 0;
  bool discontinuity_ = false;
  bool syncPoint_ = false;
  bool hasTimes_ = false;
  SampleTimes times_;
};

// Delivered bytes go to a sink; delivery buffers come from one preallocated buffer.
class SinkDownstream final : public Downstream {
 public:
  using Sink = std::function<HResult(const std::uint8_t* data, std::size_t bytes)>;

  SinkDownstream(std::size_t bufferBytes, Sink sink)
      : buffer_(bufferBytes), sink_(std::move(sink)) {}

  HResult GetDeliveryBuffer(MediaBuffer** buffer) override;
  HResult Deliver(MediaBuffer* buffer) override;
  void ReleaseBuffer(MediaBuffer* buffer) override;
  HResult DeliverEndOfStream() override;

  int Deliveries() const { return deliveries_; }
  int EndOfStreams() const { return endOfStreams_; }

 private:
  HeapBuffer buffer_;
  Sink sink_;
  bool lent_ = false;
  int deliveries_ = 0;
  int endOfStreams_ = 0;
};

// Fills `buffer` with up to `bytes` bytes of whole frames; returns the count read, or a
// negative value on a read error.
using StreamSource = std::function<std::int64_t(std::uint8_t* buffer, std::size_t bytes)>;

// Start, every source buffer through Receive, end of stream with its tail, stop.
HResult RunStream(InPlaceFrame& frame, std::uint32_t bufferFrames, const StreamSource& source,
                  const SinkDownstream::Sink& sink);
// The same for a copying frame, with input buffers of `inFrames` and output buffers of
// `outFrames` frames.
HResult RunCopyingStream(CopyingFrame& frame, std::uint32_t inFrames, std::uint32_t outFrames,
                         const StreamSource& source, const SinkDownstream::Sink& sink);

}  // namespace mw
