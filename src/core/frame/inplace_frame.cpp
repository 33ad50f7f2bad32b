#include "core/frame/inplace_frame.h"

#include <cstring>

namespace mw {
namespace {

// Stands in for a buffer without memory in a call that covers no frames, so that the
// loops' per-channel pointers point into an object; nothing is read or written there.
alignas(8) std::uint8_t g_noFrames[16];

}  // namespace

HResult InPlaceFrame::SetMediaType(PinDirection direction, const std::uint8_t* formatBlock,
                                   std::uint32_t bytes) {
  if (formatBlock == nullptr || bytes < 16) return E_POINTER;
  {
    std::lock_guard<std::mutex> g(formatLock_);
    format_ = EffectFormat::FromFormatBlock(formatBlock, bytes);
    hasFormat_ = true;
  }
  engine_.AttachFormat(&format_);
  engine_.Params().Notify(direction);
  return S_OK;
}

HResult InPlaceFrame::GetFormat(std::uint8_t out[EffectFormat::kBytes]) const {
  if (out == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> g(formatLock_);
  if (!hasFormat_) return VFW_E_NOT_CONNECTED;
  format_.ToBytes(out);
  return S_OK;
}

HResult InPlaceFrame::StartStreaming() {
  inTail_ = false;
  received_ = false;
  return engine_.SetFormat(&format_);
}

HResult InPlaceFrame::StopStreaming() { return engine_.Free(); }

HResult InPlaceFrame::Transform(MediaBuffer& sample) {
  std::int32_t length = sample.ActualLength();
  std::uint8_t* data = sample.Data();
  received_ = true;
  if (format_.nBlockAlign == 0) return E_UNEXPECTED;

  int mode;
  if (inTail_) {
    mode = kModeTail;
    length = sample.Size();
  } else {
    mode = sample.IsDiscontinuity() ? kModeDiscontinuity : kModeNormal;
    // A sample that claims more data than its buffer holds is refused.
    if (length > sample.Size()) return E_INVALIDARG;
  }
  if (length < 0) length = 0;
  std::uint32_t frames = static_cast<std::uint32_t>(length) / format_.nBlockAlign;
  if (data == nullptr) {
    if (length != 0) return E_POINTER;
    data = g_noFrames;
  }
  if (mode == kModeTail && length > 0) {
    const bool pcm8 = format_.wFormatTag == kWaveFormatPcm && format_.wBitsPerSample == 8;
    std::memset(data, pcm8 ? 0x80 : 0, static_cast<std::size_t>(length));
  }

  const HResult r = DispatchLoop(engine_, format_, mode, data, &frames);
  sample.SetActualLength(static_cast<std::int32_t>(frames * format_.nBlockAlign));
  return r;
}

HResult InPlaceFrame::Receive(MediaBuffer& sample, Downstream& downstream) {
  const HResult r = Transform(sample);
  if (r < 0) return r;
  if (r == S_OK) return downstream.Deliver(&sample);
  if (r == kTailFinished) return S_OK;
  return r;
}

HResult InPlaceFrame::EndOfStream(Downstream* downstream) {
  if (downstream == nullptr) return S_OK;
  // Nothing arrived since the start: no tail, but end-of-stream still goes on so that the
  // graph completes.
  if (!received_ || !engine_.HasTail()) {
    received_ = false;
    return downstream->DeliverEndOfStream();
  }

  inTail_ = true;
  bool done = false;
  HResult result = S_OK;
  do {
    MediaBuffer* buffer = nullptr;
    const HResult got = downstream->GetDeliveryBuffer(&buffer);
    if (Failed(got) || buffer == nullptr) {
      // Downstream cannot take more (it is stopping or flushing). Leave tail mode so that
      // samples arriving after a restart of data are not overwritten with silence.
      inTail_ = false;
      received_ = false;
      return Failed(got) ? got : E_UNEXPECTED;
    }
    if (buffer->Size() < static_cast<std::int32_t>(format_.nBlockAlign)) {
      // A buffer that cannot hold one frame cannot carry the tail, and the next would be
      // no larger: the tail ends here rather than never.
      downstream->ReleaseBuffer(buffer);
      break;
    }
    buffer->SetActualLength(0);
    const HResult r = Transform(*buffer);
    if (r < 0) {
      downstream->ReleaseBuffer(buffer);
      result = r;
      break;
    }
    if (r == kTailFinished) done = true;
    result = downstream->Deliver(buffer);
    downstream->ReleaseBuffer(buffer);
  } while (result >= 0 && !done);

  inTail_ = false;
  received_ = false;
  const HResult eos = downstream->DeliverEndOfStream();
  return result < 0 ? result : eos;
}

HResult InPlaceFrame::Initialize(std::uint32_t channels, std::uint32_t sampleRate) {
  const std::uint16_t n = static_cast<std::uint16_t>(channels & 0xFFFFu);
  if (n != 1 && n != 2) return E_INVALIDARG;
  {
    std::lock_guard<std::mutex> g(formatLock_);
    format_ = EffectFormat::Float32(n, sampleRate);
    hasFormat_ = true;
  }
  engine_.AttachFormat(&format_);
  return StartStreaming();
}

HResult InPlaceFrame::Process(float* buffer, std::uint32_t frames, bool limited) {
  if (buffer == nullptr && frames != 0) return E_POINTER;
  if (engine_.Format() == nullptr) return E_UNEXPECTED;  // not initialised: changes nothing
  received_ = true;
  if (buffer == nullptr) buffer = reinterpret_cast<float*>(g_noFrames);
  return engine_.ProcessFloat32(kModeNormal, buffer, &frames, limited);
}

HResult InPlaceFrame::ProcessTail(float* buffer, std::uint32_t* frames) {
  if (frames == nullptr) return E_POINTER;
  if (!engine_.HasTail()) {
    *frames = 0;
    return kTailFinished;
  }
  if (!received_) {
    *frames = 0;
    return S_FALSE;
  }
  if (buffer == nullptr) {
    if (*frames != 0) return E_POINTER;
    buffer = reinterpret_cast<float*>(g_noFrames);
  }
  return engine_.ProcessFloat32(kModeTail, buffer, frames, false);
}

HResult InPlaceFrame::Stop() { return StopStreaming(); }

HResult InPlaceFrame::ParametersChanged() {
  return engine_.ChangePending() ? S_OK : S_FALSE;
}

HResult InPlaceFrame::UpdateParameters(bool reset) { return engine_.UpdateParameters(reset); }

}  // namespace mw
