#include "win/dshow/copying_transform.h"

#include <vfwmsgs.h>

namespace mw::ds {

// ---------------------------------------------------------------------------------------
// Input

TransformInputPin::TransformInputPin(TransformFilter* filter)
    : PassThroughInputPin(filter), owner_(filter) {}

// With the output connected, a type that the filter cannot turn into the output's type is
// still taken when downstream accepts the type the filter would then put out.
HRESULT TransformInputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = owner_->CheckInputType(type);
  if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
  TransformOutputPin& out = owner_->Output();
  if (!out.IsConnected()) return S_OK;
  hr = owner_->CheckTransform(type, &out.CurrentType());
  if (hr == S_OK) return S_OK;
  AM_MEDIA_TYPE proposed{};
  if (owner_->ProposeOutputType(*type, &proposed) == S_OK && out.Peer() != nullptr &&
      out.Peer()->QueryAccept(&proposed) == S_OK) {
    hr = S_OK;
  }
  FreeMediaTypeContents(proposed);
  return hr;
}

HRESULT TransformInputPin::SetMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = InputPin::SetMediaType(type);
  if (SUCCEEDED(hr)) hr = owner_->SetMediaType(PINDIR_INPUT, type);
  return hr;
}

HRESULT TransformInputPin::CompleteConnect(IPin* peer) {
  const HRESULT hr = InputPin::CompleteConnect(peer);
  return FAILED(hr) ? hr : owner_->CompleteConnect(PINDIR_INPUT, peer);
}

// Everything is checked before anything changes, so that a refused type leaves both
// pins and the filter as they were.
HRESULT TransformInputPin::ChangeType(const AM_MEDIA_TYPE& type) {
  if (CheckMediaType(&type) != S_OK) return VFW_E_INVALIDMEDIATYPE;
  HRESULT hr = owner_->AcceptInputChange(&type);
  if (FAILED(hr)) return hr;
  TransformOutputPin& out = owner_->Output();
  AM_MEDIA_TYPE proposed{};
  const bool outputFollows =
      out.IsConnected() && owner_->CheckTransform(&type, &out.CurrentType()) != S_OK;
  if (outputFollows && owner_->ProposeOutputType(type, &proposed) != S_OK) {
    FreeMediaTypeContents(proposed);
    return VFW_E_INVALIDMEDIATYPE;
  }
  hr = SetMediaType(&type);
  if (SUCCEEDED(hr) && outputFollows) hr = out.ChangeType(proposed);
  FreeMediaTypeContents(proposed);
  return hr;
}

HRESULT STDMETHODCALLTYPE TransformInputPin::Receive(IMediaSample* sample) {
  Lock lock(owner_->ReceiveLock());
  HRESULT hr = InputPin::Receive(sample);  // checks the state and flushing
  if (hr != S_OK) return hr;
  AM_MEDIA_TYPE* changed = nullptr;
  if (sample->GetMediaType(&changed) == S_OK && changed != nullptr) {
    hr = ChangeType(*changed);
    DeleteMediaType(changed);
    if (FAILED(hr)) return hr;
  }
  return owner_->Receive(sample);
}

// Receive waits for output buffers, whatever downstream does.
HRESULT STDMETHODCALLTYPE TransformInputPin::ReceiveCanBlock() { return S_OK; }

// ---------------------------------------------------------------------------------------
// Output

TransformOutputPin::TransformOutputPin(TransformFilter* filter)
    : SeekingOutputPin(filter, &filter->Input()), owner_(filter) {}

HRESULT TransformOutputPin::GetMediaType(int index, AM_MEDIA_TYPE* type) {
  const HRESULT hr = owner_->GetMediaType(index, type);
  if (hr != S_OK && SUCCEEDED(hr)) FreeMediaTypeContents(*type);  // a type not to offer
  return hr;
}

HRESULT TransformOutputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  if (!owner_->Input().IsConnected()) return VFW_E_NOT_CONNECTED;
  return owner_->CheckTransform(&owner_->Input().CurrentType(), type);
}

HRESULT TransformOutputPin::SetMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = OutputPin::SetMediaType(type);
  if (SUCCEEDED(hr)) hr = owner_->SetMediaType(PINDIR_OUTPUT, type);
  typePending_ = false;
  return hr;
}

HRESULT TransformOutputPin::CompleteConnect(IPin* peer) {
  const HRESULT hr = OutputPin::CompleteConnect(peer);
  return FAILED(hr) ? hr : owner_->CompleteConnect(PINDIR_OUTPUT, peer);
}

HRESULT TransformOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
  return owner_->DecideBufferSize(allocator, request);
}

HRESULT TransformOutputPin::ChangeType(const AM_MEDIA_TYPE& type) {
  HRESULT hr = OutputPin::SetMediaType(&type);
  if (SUCCEEDED(hr)) hr = owner_->SetMediaType(PINDIR_OUTPUT, &type);
  if (SUCCEEDED(hr)) typePending_ = true;
  return hr;
}

HRESULT TransformOutputPin::Deliver(IMediaSample* sample) {
  if (typePending_) {
    const HRESULT hr = sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(&CurrentType()));
    if (FAILED(hr)) return hr;
  }
  const HRESULT hr = OutputPin::Deliver(sample);
  if (SUCCEEDED(hr)) typePending_ = false;
  return hr;
}

// ---------------------------------------------------------------------------------------
// Filter

TransformFilter::TransformFilter(IUnknown* outer, const CLSID& clsid)
    : TwoPinFilter(outer, clsid), input_(this), output_(this) {}

HRESULT TransformFilter::GetMediaType(int position, AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  if (!input_.IsConnected()) return E_UNEXPECTED;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return ProposeOutputType(input_.CurrentType(), type);
}

HRESULT TransformFilter::CompleteConnect(PIN_DIRECTION direction, IPin*) {
  if (direction != PINDIR_INPUT || !output_.IsConnected()) return S_OK;
  if (CheckTransform(&input_.CurrentType(), &output_.CurrentType()) == S_OK) return S_OK;
  if (graph_ == nullptr) return VFW_E_NOT_IN_GRAPH;
  return graph_->Reconnect(static_cast<IPin*>(&output_));
}

HRESULT TransformFilter::AcceptInputChange(const AM_MEDIA_TYPE*) { return S_OK; }

}  // namespace mw::ds
