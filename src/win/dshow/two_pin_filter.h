// What the two transform filters (in-place and copying) share: one input pin "Input" and
// one output pin "Output", the state changes that start and stop the streaming work, and
// the streaming notifications that pass from the input side through the filter to the
// output side.
//
// Locks: the filter lock guards state changes and connections; the receive lock serialises
// Receive, EndOfStream and the flush notifications on the streaming thread. Stopping
// decommits the allocators first (which releases a streaming thread waiting for a buffer),
// then takes the receive lock before the streaming work stops.
#pragma once

#include "win/dshow/filter.h"
#include "win/dshow/seeking.h"

namespace mw::ds {

class TwoPinFilter;

// The input side: end of stream, flushing and new segments reach the filter under its
// receive lock and go on downstream.
class PassThroughInputPin : public InputPin {
 public:
  explicit PassThroughInputPin(TwoPinFilter* filter);

  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;

 private:
  TwoPinFilter* host_;
};

// The output side: seeking requests from downstream go upstream through the input pin.
class SeekingOutputPin : public OutputPin {
 public:
  SeekingOutputPin(TwoPinFilter* filter, InputPin* input);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;

 private:
  SeekingPassThrough seeking_;
};

class TwoPinFilter : public BaseFilter {
 public:
  TwoPinFilter(IUnknown* outer, const CLSID& clsid);
  ~TwoPinFilter() override;

  int PinCount() override { return 2; }
  BasePin* GetPin(int index) override;

  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;

  virtual HRESULT StartStreaming() = 0;
  virtual HRESULT StopStreaming() = 0;
  // Called with the receive lock held; the default passes end-of-stream on.
  virtual HRESULT EndOfStream();

  virtual InputPin& InputSide() = 0;
  virtual OutputPin& OutputSide() = 0;
  CRITICAL_SECTION* ReceiveLock() { return &receiveLock_; }

 protected:
  CRITICAL_SECTION receiveLock_;
};

}  // namespace mw::ds
