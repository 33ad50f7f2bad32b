#include "win/dshow/two_pin_filter.h"

namespace mw::ds {

// ---------------------------------------------------------------------------------------
// Pins

PassThroughInputPin::PassThroughInputPin(TwoPinFilter* filter)
    : InputPin(filter, L"Input"), host_(filter) {}

HRESULT PassThroughInputPin::SetMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = InputPin::SetMediaType(type);
  if (SUCCEEDED(hr)) hr = host_->SetMediaType(PINDIR_INPUT, type);
  return hr;
}

HRESULT PassThroughInputPin::OnReceive(IMediaSample* sample) { return host_->Receive(sample); }

HRESULT PassThroughInputPin::OnEndOfStream() { return host_->EndOfStream(); }

HRESULT PassThroughInputPin::OnBeginFlush() {
  OutputPin& out = host_->OutputSide();
  return out.IsConnected() ? out.DeliverBeginFlush() : S_OK;
}

HRESULT PassThroughInputPin::OnEndFlush() {
  OutputPin& out = host_->OutputSide();
  return out.IsConnected() ? out.DeliverEndFlush() : S_OK;
}

HRESULT STDMETHODCALLTYPE PassThroughInputPin::NewSegment(REFERENCE_TIME start,
                                                          REFERENCE_TIME stop, double rate) {
  InputPin::NewSegment(start, stop, rate);
  OutputPin& out = host_->OutputSide();
  return out.IsConnected() ? out.DeliverNewSegment(start, stop, rate) : S_OK;
}

SeekingOutputPin::SeekingOutputPin(TwoPinFilter* filter, InputPin* input)
    : OutputPin(filter, L"Output"), host_(filter), seeking_(static_cast<IPin*>(this), input) {}

HRESULT STDMETHODCALLTYPE SeekingOutputPin::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IMediaSeeking)) return GetInterface(&seeking_, out);
  return OutputPin::QueryInterface(iid, out);
}

HRESULT SeekingOutputPin::SetMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = OutputPin::SetMediaType(type);
  if (SUCCEEDED(hr)) hr = host_->SetMediaType(PINDIR_OUTPUT, type);
  return hr;
}

// ---------------------------------------------------------------------------------------
// Filter

TwoPinFilter::TwoPinFilter(IUnknown* outer, const CLSID& clsid) : BaseFilter(outer, clsid) {}

BasePin* TwoPinFilter::GetPin(int index) {
  if (index == 0) return &InputSide();
  if (index == 1) return &OutputSide();
  return nullptr;
}

HRESULT TwoPinFilter::AcceptsInput(const AM_MEDIA_TYPE* type) {
  const HRESULT hr = CheckInputType(type);
  if (hr == S_OK) return S_OK;
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT TwoPinFilter::InitStreaming() {
  // Not fully connected: nothing streams; the state changes all the same.
  if (!InputSide().IsConnected() || !OutputSide().IsConnected()) return S_OK;
  HRESULT hr = OutputSide().Active();
  if (FAILED(hr)) return hr;
  {
    Lock receive(&receiveLock_);
    hr = StartStreaming();
  }
  if (FAILED(hr)) OutputSide().Inactive();
  return hr;
}

HRESULT TwoPinFilter::CleanupStreaming() {
  BaseFilter::CleanupStreaming();
  Lock receive(&receiveLock_);
  return StopStreaming();
}

HRESULT TwoPinFilter::EndOfStream() {
  OutputPin& out = OutputSide();
  return out.IsConnected() ? out.DeliverEndOfStream() : S_OK;
}

}  // namespace mw::ds
