// The copying transform filter: one input pin "Input" and one output pin "Output" with an
// allocator each, for filters whose output differs in length from their input. The input
// pin keeps its own allocator for upstream; the output pin sizes the downstream allocator
// with the filter's DecideBufferSize, and the filter fills fresh output samples from each
// received one.
//
// Locks and state changes are those of every two-pin filter (two_pin_filter.h).
//
// A media sample may arrive carrying a new media type. The type is checked as a connection
// would check it, offered to the filter (which may refuse it while streaming), then becomes
// the input pin's type; when the output's type no longer fits it, the output takes the
// type the filter now proposes, and the next sample delivered carries it downstream.
#pragma once

#include "win/dshow/two_pin_filter.h"

namespace mw::ds {

class CopyingTransformFilter;

class CopyingInputPin final : public PassThroughInputPin {
 public:
  explicit CopyingInputPin(CopyingTransformFilter* filter);

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT CompleteConnect(IPin* peer) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

 protected:
  // Takes a type that the sample carries, then hands the sample to the filter.
  HRESULT OnReceive(IMediaSample* sample) override;

 private:
  // A type carried by a received sample; called with the receive lock held.
  HRESULT ChangeType(const AM_MEDIA_TYPE& type);

  CopyingTransformFilter* owner_;
};

class CopyingOutputPin final : public SeekingOutputPin {
 public:
  explicit CopyingOutputPin(CopyingTransformFilter* filter);

  HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT CompleteConnect(IPin* peer) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Attaches a changed type to the sample first, when one is waiting to go downstream.
  HRESULT Deliver(IMediaSample* sample) override;

  // Takes `type` while streaming (the input's type changed); the next delivered sample
  // carries it.
  HRESULT ChangeType(const AM_MEDIA_TYPE& type);

 private:
  CopyingTransformFilter* owner_;
  bool typePending_ = false;  // under the receive lock
};

class CopyingTransformFilter : public TwoPinFilterWith<CopyingInputPin, CopyingOutputPin> {
 public:
  CopyingTransformFilter(IUnknown* outer, const CLSID& clsid);

  // The output type that goes with an input type (a fresh copy in `out`): S_OK, or
  // S_FALSE for a type the filter would not put out.
  virtual HRESULT ProposeOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* out) = 0;
  // The types proposed to downstream: at position 0 the one that goes with the input's
  // type; VFW_S_NO_MORE_ITEMS past it, E_INVALIDARG below it, E_UNEXPECTED while the
  // input is not connected.
  virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type);
  // After a pin connected; the default reconnects the output when a new input type no
  // longer fits the output's type.
  virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* peer);
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) = 0;
  // Whether a type arriving with a sample may replace the input's type now (the type has
  // passed the input pin's check already). The default accepts.
  virtual HRESULT AcceptInputChange(const AM_MEDIA_TYPE* type);
};

}  // namespace mw::ds
