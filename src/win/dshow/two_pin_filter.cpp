#include "win/dshow/two_pin_filter.h"

#include <vfwmsgs.h>

namespace mw::ds {

PassThroughInputPin::PassThroughInputPin(TwoPinFilter* filter)
    : InputPin(filter, L"Input"), host_(filter) {}

HRESULT STDMETHODCALLTYPE PassThroughInputPin::EndOfStream() {
  Lock lock(host_->ReceiveLock());
  if (flushing_) return S_OK;
  if (host_->State() == State_Stopped) return VFW_E_WRONG_STATE;
  return host_->EndOfStream();
}

HRESULT STDMETHODCALLTYPE PassThroughInputPin::BeginFlush() {
  // Not under the receive lock: a streaming thread blocked downstream must be released
  // by the flush going down first.
  flushing_ = true;
  OutputPin& out = host_->OutputSide();
  return out.IsConnected() ? out.DeliverBeginFlush() : S_OK;
}

HRESULT STDMETHODCALLTYPE PassThroughInputPin::EndFlush() {
  Lock lock(host_->ReceiveLock());
  OutputPin& out = host_->OutputSide();
  const HRESULT hr = out.IsConnected() ? out.DeliverEndFlush() : S_OK;
  flushing_ = false;
  return hr;
}

HRESULT STDMETHODCALLTYPE PassThroughInputPin::NewSegment(REFERENCE_TIME start,
                                                          REFERENCE_TIME stop, double rate) {
  InputPin::NewSegment(start, stop, rate);
  OutputPin& out = host_->OutputSide();
  return out.IsConnected() ? out.DeliverNewSegment(start, stop, rate) : S_OK;
}

SeekingOutputPin::SeekingOutputPin(TwoPinFilter* filter, InputPin* input)
    : OutputPin(filter, L"Output"), seeking_(static_cast<IPin*>(this), input) {}

HRESULT STDMETHODCALLTYPE SeekingOutputPin::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IMediaSeeking)) return GetInterface(&seeking_, out);
  return OutputPin::QueryInterface(iid, out);
}

TwoPinFilter::TwoPinFilter(IUnknown* outer, const CLSID& clsid) : BaseFilter(outer, clsid) {
  InitializeCriticalSection(&receiveLock_);
}

TwoPinFilter::~TwoPinFilter() { DeleteCriticalSection(&receiveLock_); }

BasePin* TwoPinFilter::GetPin(int index) {
  if (index == 0) return &InputSide();
  if (index == 1) return &OutputSide();
  return nullptr;
}

HRESULT STDMETHODCALLTYPE TwoPinFilter::Stop() {
  Lock lock(&filterLock_);
  if (state_ == State_Stopped) return S_OK;
  // Release a streaming thread waiting for a buffer on either side, then wait for it to
  // leave.
  InputSide().Inactive();
  OutputSide().Inactive();
  Lock receive(&receiveLock_);
  const HRESULT hr = StopStreaming();
  state_ = State_Stopped;
  return hr;
}

HRESULT STDMETHODCALLTYPE TwoPinFilter::Pause() {
  Lock lock(&filterLock_);
  if (state_ == State_Stopped) {
    if (!InputSide().IsConnected() || !OutputSide().IsConnected()) {
      // Not fully connected: nothing streams; the state changes all the same.
      state_ = State_Paused;
      return S_OK;
    }
    HRESULT hr = OutputSide().Active();
    if (FAILED(hr)) return hr;
    {
      Lock receive(&receiveLock_);
      hr = StartStreaming();
    }
    if (FAILED(hr)) {
      OutputSide().Inactive();
      return hr;
    }
  }
  state_ = State_Paused;
  return S_OK;
}

HRESULT TwoPinFilter::EndOfStream() {
  OutputPin& out = OutputSide();
  return out.IsConnected() ? out.DeliverEndOfStream() : S_OK;
}

}  // namespace mw::ds
