#include "core/frame/copying_frame.h"

namespace mw {

HResult DispatchCopyingLoop(CopyingEngine& engine, const EffectFormat& input, int mode,
                            void* in, std::uint32_t* inFrames, void* out,
                            std::uint32_t* outFrames) {
  SampleFormat f;
  if (!input.Sample(&f)) return E_UNEXPECTED;
  switch (f) {
    case SampleFormat::Pcm8:
      return engine.ProcessPcm8(mode, static_cast<std::uint8_t*>(in), inFrames,
                                static_cast<std::uint8_t*>(out), outFrames);
    case SampleFormat::Pcm16:
      return engine.ProcessPcm16(mode, static_cast<std::int16_t*>(in), inFrames,
                                 static_cast<std::int16_t*>(out), outFrames);
    case SampleFormat::Pcm32:
      return engine.ProcessPcm32(mode, static_cast<std::int32_t*>(in), inFrames,
                                 static_cast<std::int32_t*>(out), outFrames);
    case SampleFormat::Float32:
      return engine.ProcessFloat32(mode, static_cast<float*>(in), inFrames,
                                   static_cast<float*>(out), outFrames);
    case SampleFormat::Float64:
      return engine.ProcessFloat64(mode, static_cast<double*>(in), inFrames,
                                   static_cast<double*>(out), outFrames);
  }
  return E_UNEXPECTED;
}

HResult CopyingFrame::SetMediaType(PinDirection direction, const std::uint8_t* formatBlock,
                                   std::uint32_t bytes) {
  if (formatBlock == nullptr || bytes < 16) return E_POINTER;
  const EffectFormat f = EffectFormat::FromFormatBlock(formatBlock, bytes);
  {
    std::lock_guard<std::mutex> g(formatLock_);
    (direction == kPinInput ? input_ : output_) = f;
    (direction == kPinInput ? hasInput_ : hasOutput_) = true;
  }
  if (direction == kPinInput) {
    engine_.AttachFormats(&input_, nullptr);
  } else {
    engine_.AttachFormats(nullptr, &output_);
  }
  engine_.Params().Notify(direction);
  return S_OK;
}

HResult CopyingFrame::GetFormat(std::uint32_t which,
                                std::uint8_t out[EffectFormat::kBytes]) const {
  if (out == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> g(formatLock_);
  if (which == kPinInput && hasInput_) {
    input_.ToBytes(out);
  } else if (which == kPinOutput && hasOutput_) {
    output_.ToBytes(out);
  } else {
    return VFW_E_NOT_CONNECTED;
  }
  return S_OK;
}

HResult CopyingFrame::GetSampleRate(std::uint32_t* rate) const {
  if (rate == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> g(formatLock_);
  if (!hasInput_) {
    *rate = 44100;
    return E_FAIL;
  }
  *rate = input_.nSamplesPerSec;
  return S_OK;
}

HResult CopyingFrame::StartStreaming() {
  pendingTime_ = false;
  pendingSync_ = false;
  ended_ = false;
  return engine_.SetFormat(&input_, &output_);
}

HResult CopyingFrame::StopStreaming() { return engine_.Free(); }

HResult CopyingFrame::RunLoop(int mode, std::uint8_t* in, std::uint32_t* inFrames,
                              MediaBuffer& out, std::uint32_t* outFrames) {
  const std::int32_t size = out.Size();
  *outFrames = size > 0 && output_.nBlockAlign != 0
                   ? static_cast<std::uint32_t>(size) / output_.nBlockAlign
                   : 0;
  return DispatchCopyingLoop(engine_, input_, mode, in, inFrames, out.Data(), outFrames);
}

void CopyingFrame::StampOutput(MediaBuffer& out) {
  if (pendingTime_) {
    out.SetDiscontinuity(true);
    out.SetTimes(times_);
    pendingTime_ = false;
  }
  if (pendingSync_) {
    out.SetSyncPoint(true);
    pendingSync_ = false;
  }
}

HResult CopyingFrame::Receive(MediaBuffer& input, Downstream& downstream) {
  if (input_.nBlockAlign == 0 || output_.nBlockAlign == 0) return E_UNEXPECTED;
  // A sample that claims more data than its buffer holds, or data without memory, is
  // refused.
  const std::int32_t length = input.ActualLength();
  std::uint8_t* data = input.Data();
  if (length > input.Size()) return E_INVALIDARG;
  if (data == nullptr && length > 0) return E_POINTER;
  MediaBuffer* out = nullptr;
  HResult hr = downstream.GetDeliveryBuffer(&out);
  if (Failed(hr)) return hr;
  if (out == nullptr) return E_UNEXPECTED;

  // Samples after the end of the stream, without a flush that would mark the first one a
  // discontinuity, start a new stream all the same: the engine has drained and ended.
  int mode = input.IsDiscontinuity() || ended_ ? kModeDiscontinuity : kModeNormal;
  ended_ = false;
  if (input.IsSyncPoint()) pendingSync_ = true;
  if (mode == kModeDiscontinuity) {
    pendingTime_ = true;
    times_ = SampleTimes{};
    input.GetTimes(&times_);
  }
  std::uint32_t bytes = length > 0 ? static_cast<std::uint32_t>(length) : 0;
  const std::uint32_t inAlign = input_.nBlockAlign;

  hr = engine_.PreFilter(mode, data, bytes / inAlign);
  if (Failed(hr)) {
    downstream.ReleaseBuffer(out);
    return hr;
  }
  for (;;) {
    std::uint32_t inFrames = bytes / inAlign;
    std::uint32_t outFrames = 0;
    hr = RunLoop(mode, data, &inFrames, *out, &outFrames);
    if (Failed(hr)) break;
    if (outFrames > 0) {
      StampOutput(*out);
      out->SetActualLength(static_cast<std::int32_t>(outFrames * output_.nBlockAlign));
      hr = downstream.Deliver(out);
      if (Failed(hr)) break;
    }
    const std::uint32_t consumed = inFrames * inAlign;
    if (consumed >= bytes) break;
    // A step that neither consumed nor wrote anything cannot be followed by one that does
    // (what is left is less than a frame): stop rather than spin.
    if (inFrames == 0 && outFrames == 0) break;
    data += consumed;
    bytes -= consumed;
    mode = kModeNormal;
    if (outFrames > 0) {
      downstream.ReleaseBuffer(out);
      out = nullptr;
      const HResult got = downstream.GetDeliveryBuffer(&out);
      if (Failed(got) || out == nullptr) return Failed(got) ? got : E_UNEXPECTED;
    }
  }
  downstream.ReleaseBuffer(out);
  return hr;
}

HResult CopyingFrame::EndOfStream(Downstream* downstream) {
  if (downstream == nullptr) return S_OK;
  ended_ = true;
  for (;;) {
    MediaBuffer* out = nullptr;
    const HResult got = downstream->GetDeliveryBuffer(&out);
    if (Failed(got) || out == nullptr) return Failed(got) ? got : E_UNEXPECTED;
    if (out->Size() < static_cast<std::int32_t>(output_.nBlockAlign)) {
      // A buffer that cannot hold one frame cannot carry what is held, and the next would
      // be no larger: the stream ends here rather than never.
      downstream->ReleaseBuffer(out);
      return downstream->DeliverEndOfStream();
    }
    std::uint32_t inFrames = 0;
    std::uint32_t outFrames = 0;
    const HResult r = RunLoop(kModeEndOfStream, nullptr, &inFrames, *out, &outFrames);
    if (Failed(r)) {
      // The engines report no error while draining; should one do so all the same, the
      // stream ends here rather than asking again forever.
      downstream->ReleaseBuffer(out);
      downstream->DeliverEndOfStream();
      return r;
    }
    if (r == kTailFinished) {
      HResult delivered = S_OK;
      if (outFrames > 0) {
        StampOutput(*out);
        out->SetActualLength(static_cast<std::int32_t>(outFrames * output_.nBlockAlign));
        delivered = downstream->Deliver(out);
      }
      downstream->ReleaseBuffer(out);
      const HResult eos = downstream->DeliverEndOfStream();
      return Failed(delivered) ? delivered : eos;
    }
    if (outFrames > 0) StampOutput(*out);
    out->SetActualLength(static_cast<std::int32_t>(outFrames * output_.nBlockAlign));
    const HResult delivered = downstream->Deliver(out);
    downstream->ReleaseBuffer(out);
    if (Failed(delivered)) {
      downstream->DeliverEndOfStream();
      return delivered;
    }
  }
}

}  // namespace mw
