#include "core/frame/stream_host.h"

namespace mw {

HResult SinkDownstream::GetDeliveryBuffer(MediaBuffer** buffer) {
  if (buffer == nullptr) return E_POINTER;
  if (lent_) return E_UNEXPECTED;
  lent_ = true;
  buffer_.Clear();
  *buffer = &buffer_;
  return S_OK;
}

HResult SinkDownstream::Deliver(MediaBuffer* buffer) {
  ++deliveries_;
  const std::int32_t n = buffer->ActualLength();
  if (n <= 0) return S_OK;
  return sink_(buffer->Data(), static_cast<std::size_t>(n));
}

void SinkDownstream::ReleaseBuffer(MediaBuffer* buffer) {
  if (buffer == &buffer_) lent_ = false;
}

HResult SinkDownstream::DeliverEndOfStream() {
  ++endOfStreams_;
  return S_OK;
}

namespace {

// Start, every source buffer through Receive, end of stream, stop.
template <class Frame>
HResult Run(Frame& frame, std::size_t inBytes, std::size_t outBytes,
            const StreamSource& source, const SinkDownstream::Sink& sink) {
  if (inBytes == 0 || inBytes > INT32_MAX || outBytes == 0 || outBytes > INT32_MAX) {
    return E_INVALIDARG;
  }
  HResult hr = frame.StartStreaming();
  if (Failed(hr)) return hr;
  HeapBuffer input(inBytes);
  SinkDownstream downstream(outBytes, sink);
  bool first = true;
  for (;;) {
    const std::int64_t got = source(input.Data(), inBytes);
    if (got < 0) {
      hr = E_FAIL;
      break;
    }
    if (got == 0) break;
    input.SetActualLength(static_cast<std::int32_t>(got));
    input.SetDiscontinuity(first);
    first = false;
    hr = frame.Receive(input, downstream);
    if (Failed(hr)) break;
  }
  if (Succeeded(hr)) hr = frame.EndOfStream(&downstream);
  frame.StopStreaming();
  return Failed(hr) ? hr : S_OK;
}

}  // namespace

HResult RunStream(InPlaceFrame& frame, std::uint32_t bufferFrames, const StreamSource& source,
                  const SinkDownstream::Sink& sink) {
  const std::size_t bytes = std::size_t{bufferFrames} * frame.Format().nBlockAlign;
  return Run(frame, bytes, bytes, source, sink);
}

HResult RunCopyingStream(CopyingFrame& frame, std::uint32_t inFrames, std::uint32_t outFrames,
                         const StreamSource& source, const SinkDownstream::Sink& sink) {
  return Run(frame, std::size_t{inFrames} * frame.InputFormat().nBlockAlign,
             std::size_t{outFrames} * frame.OutputFormat().nBlockAlign, source, sink);
}

}  // namespace mw
