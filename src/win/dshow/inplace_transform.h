// The in-place transform filter: one input pin "Input" and one output pin "Output" that
// share one allocator, so a received sample is changed where it lies and delivered on.
// Locks and state changes are those of every two-pin filter (two_pin_filter.h).
#pragma once

#include "win/dshow/two_pin_filter.h"

namespace mw::ds {

class InPlaceTransformFilter;

class InPlaceInputPin final : public PassThroughInputPin {
 public:
  explicit InPlaceInputPin(InPlaceTransformFilter* filter);

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

 private:
  InPlaceTransformFilter* owner_;
};

class InPlaceOutputPin final : public SeekingOutputPin {
 public:
  explicit InPlaceOutputPin(InPlaceTransformFilter* filter);

  HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT DecideAllocator(IMemInputPin* peer, IMemAllocator** allocator) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  InPlaceTransformFilter* owner_;
};

class InPlaceTransformFilter : public TwoPinFilterWith<InPlaceInputPin, InPlaceOutputPin> {
 public:
  InPlaceTransformFilter(IUnknown* outer, const CLSID& clsid);

  // The default transforms the sample and delivers it.
  HRESULT Receive(IMediaSample* sample) override;
  // The effect's work on a sample: S_OK to deliver it, S_FALSE to drop it, or a failure.
  virtual HRESULT Transform(IMediaSample* sample) = 0;
};

}  // namespace mw::ds
