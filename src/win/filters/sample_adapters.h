// The portable core's views of the framework: a proposed media type as the format test
// sees it, a media sample as the frames' media buffer (data, flags, times) and an output
// pin as their downstream peer.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <optional>

#include <cstring>

#include "win/dshow/pins.h"
#include "core/frame/effect_format.h"
#include "core/frame/inplace_frame.h"

namespace mw {

inline ProposedMediaType ToProposed(const AM_MEDIA_TYPE& type) {
  ProposedMediaType p;
  std::memcpy(&p.majorType, &type.majortype, sizeof p.majorType);
  p.temporalCompression = type.bTemporalCompression != FALSE;
  p.formatBlock = type.pbFormat;
  p.formatBytes = type.pbFormat != nullptr ? type.cbFormat : 0;
  return p;
}

class SampleBuffer final : public MediaBuffer {
 public:
  explicit SampleBuffer(IMediaSample* s) : s_(s) {}
  std::uint8_t* Data() override {
    BYTE* p = nullptr;
    s_->GetPointer(&p);
    return p;
  }
  std::int32_t Size() override { return s_->GetSize(); }
  std::int32_t ActualLength() override { return s_->GetActualDataLength(); }
  void SetActualLength(std::int32_t bytes) override { s_->SetActualDataLength(bytes); }
  bool IsDiscontinuity() override { return s_->IsDiscontinuity() == S_OK; }
  bool IsSyncPoint() override { return s_->IsSyncPoint() == S_OK; }
  void SetDiscontinuity(bool on) override { s_->SetDiscontinuity(on ? TRUE : FALSE); }
  void SetSyncPoint(bool on) override { s_->SetSyncPoint(on ? TRUE : FALSE); }
  // Times the sample does not carry leave `times` as it is.
  void GetTimes(SampleTimes* times) override {
    REFERENCE_TIME start = times->start, stop = times->stop;
    if (SUCCEEDED(s_->GetTime(&start, &stop))) {
      times->start = start;
      times->stop = stop;
    }
    LONGLONG mediaStart = times->mediaStart, mediaStop = times->mediaStop;
    if (SUCCEEDED(s_->GetMediaTime(&mediaStart, &mediaStop))) {
      times->mediaStart = mediaStart;
      times->mediaStop = mediaStop;
    }
  }
  void SetTimes(const SampleTimes& times) override {
    REFERENCE_TIME start = times.start, stop = times.stop;
    s_->SetTime(&start, &stop);
    LONGLONG mediaStart = times.mediaStart, mediaStop = times.mediaStop;
    s_->SetMediaTime(&mediaStart, &mediaStop);
  }
  IMediaSample* Sample() const { return s_; }

 private:
  IMediaSample* s_;
};

// The output pin as the frame's downstream peer. One delivery buffer is out at a time.
class PinDownstream final : public Downstream {
 public:
  explicit PinDownstream(ds::OutputPin& pin) : pin_(pin) {}
  HRESULT GetDeliveryBuffer(MediaBuffer** buffer) override {
    IMediaSample* s = nullptr;
    const HRESULT hr = pin_.GetDeliveryBuffer(&s, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    lent_.emplace(s);
    *buffer = &*lent_;
    return S_OK;
  }
  HRESULT Deliver(MediaBuffer* buffer) override {
    return pin_.Deliver(static_cast<SampleBuffer*>(buffer)->Sample());
  }
  void ReleaseBuffer(MediaBuffer* buffer) override {
    static_cast<SampleBuffer*>(buffer)->Sample()->Release();
    lent_.reset();
  }
  HRESULT DeliverEndOfStream() override { return pin_.DeliverEndOfStream(); }

 private:
  ds::OutputPin& pin_;
  std::optional<SampleBuffer> lent_;
};

}  // namespace mw
