// The in-place transform filter: one input pin "Input" and one output pin "Output" that
// share one allocator, so a received sample is changed where it lies and delivered on.
// Locks and state changes are those of every two-pin filter (two_pin_filter.h).
#pragma once

#include "win/dshow/two_pin_filter.h"

namespace mw::ds {

class TransInPlaceFilter;

class InPlaceInputPin final : public PassThroughInputPin {
 public:
  explicit InPlaceInputPin(TransInPlaceFilter* filter);

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;

  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

 private:
  TransInPlaceFilter* owner_;
};

class InPlaceOutputPin final : public SeekingOutputPin {
 public:
  explicit InPlaceOutputPin(TransInPlaceFilter* filter);

  HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT DecideAllocator(IMemInputPin* peer, IMemAllocator** allocator) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  TransInPlaceFilter* owner_;
};

class TransInPlaceFilter : public TwoPinFilter {
 public:
  TransInPlaceFilter(IUnknown* outer, const CLSID& clsid);

  // The effect's part.
  virtual HRESULT CheckInputType(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) = 0;
  virtual HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) = 0;
  // Called with the receive lock held; the default transforms and delivers the sample.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT Transform(IMediaSample* sample) = 0;

  InPlaceInputPin& Input() { return input_; }
  InPlaceOutputPin& Output() { return output_; }
  InputPin& InputSide() override { return input_; }
  OutputPin& OutputSide() override { return output_; }

 protected:
  InPlaceInputPin input_;
  InPlaceOutputPin output_;
};

}  // namespace mw::ds
