// What the two transform filters (in-place and copying) share: one input pin "Input" and
// one output pin "Output", the filter's part in media type negotiation, the streaming work
// that the base filter's state machine starts and stops, and the streaming notifications
// that pass from the input side through the filter to the output side.
//
// Starting (Stopped to Paused) makes the output pin active and calls StartStreaming under
// the receive lock, both only when both pins are connected. Stopping makes the pins
// inactive first (which releases a streaming thread waiting for a buffer), then calls
// StopStreaming under the receive lock, so after a Receive in progress has finished.
#pragma once

#include "win/dshow/base_filter.h"
#include "win/dshow/seeking.h"

namespace mw::ds {

class TwoPinFilter;

// The input side: the type goes to the filter as well; samples, end of stream and
// flushing reach the filter and go on downstream.
class PassThroughInputPin : public InputPin {
 public:
  explicit PassThroughInputPin(TwoPinFilter* filter);

  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;

 protected:
  HRESULT OnReceive(IMediaSample* sample) override;
  HRESULT OnEndOfStream() override;
  HRESULT OnBeginFlush() override;
  HRESULT OnEndFlush() override;

 private:
  TwoPinFilter* host_;
};

// The output side: the type goes to the filter as well; seeking requests from downstream
// go upstream through the input pin.
class SeekingOutputPin : public OutputPin {
 public:
  SeekingOutputPin(TwoPinFilter* filter, InputPin* input);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;

 private:
  TwoPinFilter* host_;
  SeekingPassThrough seeking_;
};

class TwoPinFilter : public BaseFilter {
 public:
  TwoPinFilter(IUnknown* outer, const CLSID& clsid);

  int PinCount() override { return 2; }
  BasePin* GetPin(int index) override;

  // The filter's part in negotiation: whether it takes a type at its input, whether an
  // input type goes with an output type, and a type that a pin has taken.
  virtual HRESULT CheckInputType(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) = 0;
  virtual HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) = 0;
  // CheckInputType with any answer but S_OK as a failure.
  HRESULT AcceptsInput(const AM_MEDIA_TYPE* type);

  // The streaming work, under the receive lock (see the top of this file). A failure of
  // StartStreaming fails the state change.
  virtual HRESULT StartStreaming() = 0;
  virtual HRESULT StopStreaming() = 0;
  // Called with the receive lock held.
  virtual HRESULT Receive(IMediaSample* sample) = 0;
  // Called with the receive lock held; the default passes end-of-stream on.
  virtual HRESULT EndOfStream();

  virtual InputPin& InputSide() = 0;
  virtual OutputPin& OutputSide() = 0;

 protected:
  HRESULT InitStreaming() override;
  HRESULT CleanupStreaming() override;
};

// A two-pin filter with its pins, `In` and `Out`, each made with the filter `Self` (the
// derived filter, so that each pin reaches the filter's own operations).
template <class In, class Out>
class TwoPinFilterWith : public TwoPinFilter {
 public:
  In& Input() { return input_; }
  Out& Output() { return output_; }
  InputPin& InputSide() override { return input_; }
  OutputPin& OutputSide() override { return output_; }

 protected:
  template <class Self>
  TwoPinFilterWith(IUnknown* outer, const CLSID& clsid, Self* self)
      : TwoPinFilter(outer, clsid), input_(self), output_(self) {}

  In input_;
  Out output_;
};

}  // namespace mw::ds
