// The in-place transform filter: one input pin "Input" and one output pin "Output" that
// share one allocator, so a received sample is changed where it lies and delivered on.
//
// Locks: the filter lock guards state changes and connections; the receive lock serialises
// Receive, EndOfStream and the flush notifications on the streaming thread. Stopping
// decommits the allocators first (which releases a streaming thread waiting for a buffer),
// then takes the receive lock before the streaming work stops.
#pragma once

#include "dshow/filter.h"
#include "dshow/seeking.h"

namespace mw::ds {

class TransInPlaceFilter;

class InPlaceInputPin final : public InputPin {
 public:
  explicit InPlaceInputPin(TransInPlaceFilter* filter);

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;

  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;

 private:
  TransInPlaceFilter* owner_;
};

class InPlaceOutputPin final : public OutputPin {
 public:
  explicit InPlaceOutputPin(TransInPlaceFilter* filter);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT DecideAllocator(IMemInputPin* peer, IMemAllocator** allocator) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  TransInPlaceFilter* owner_;
  SeekingPassThrough seeking_;
};

class TransInPlaceFilter : public BaseFilter {
 public:
  TransInPlaceFilter(IUnknown* outer, const CLSID& clsid);
  ~TransInPlaceFilter() override;

  int PinCount() override { return 2; }
  BasePin* GetPin(int index) override;

  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;

  // The effect's part.
  virtual HRESULT CheckInputType(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) = 0;
  virtual HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT StartStreaming() = 0;
  virtual HRESULT StopStreaming() = 0;
  // Called with the receive lock held; the default transforms and delivers the sample.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT Transform(IMediaSample* sample) = 0;
  // Called with the receive lock held; the default passes end-of-stream on.
  virtual HRESULT EndOfStream();

  InPlaceInputPin& Input() { return input_; }
  InPlaceOutputPin& Output() { return output_; }
  CRITICAL_SECTION* ReceiveLock() { return &receiveLock_; }

 protected:
  CRITICAL_SECTION receiveLock_;
  InPlaceInputPin input_;
  InPlaceOutputPin output_;
};

}  // namespace mw::ds
