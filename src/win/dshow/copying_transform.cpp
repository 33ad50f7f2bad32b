#include "win/dshow/copying_transform.h"

#include <vfwmsgs.h>

namespace mw::ds {

// ---------------------------------------------------------------------------------------
// Input

CopyingInputPin::CopyingInputPin(CopyingTransformFilter* filter)
    : PassThroughInputPin(filter), owner_(filter) {}

// With the output connected, a type that the filter cannot turn into the output's type is
// still taken when downstream accepts the type the filter would then put out.
HRESULT CopyingInputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = owner_->AcceptsInput(type);
  if (hr != S_OK) return hr;
  CopyingOutputPin& out = owner_->Output();
  if (!out.IsConnected()) return S_OK;
  hr = owner_->CheckTransform(type, CurrentType(out).Get());
  if (hr == S_OK) return S_OK;
  AM_MEDIA_TYPE proposed{};
  if (owner_->ProposeOutputType(*type, &proposed) == S_OK && out.Peer() != nullptr &&
      out.Peer()->QueryAccept(&proposed) == S_OK) {
    hr = S_OK;
  }
  FreeMediaTypeContents(proposed);
  return hr;
}

HRESULT CopyingInputPin::CompleteConnect(IPin* peer) {
  const HRESULT hr = InputPin::CompleteConnect(peer);
  return FAILED(hr) ? hr : owner_->CompleteConnect(PINDIR_INPUT, peer);
}

// Everything is checked before anything changes, so that a refused type leaves both
// pins and the filter as they were.
HRESULT CopyingInputPin::ChangeType(const AM_MEDIA_TYPE& type) {
  if (CheckMediaType(&type) != S_OK) return VFW_E_INVALIDMEDIATYPE;
  HRESULT hr = owner_->AcceptInputChange(&type);
  if (FAILED(hr)) return hr;
  CopyingOutputPin& out = owner_->Output();
  AM_MEDIA_TYPE proposed{};
  const bool outputFollows =
      out.IsConnected() && owner_->CheckTransform(&type, CurrentType(out).Get()) != S_OK;
  if (outputFollows && owner_->ProposeOutputType(type, &proposed) != S_OK) {
    FreeMediaTypeContents(proposed);
    return VFW_E_INVALIDMEDIATYPE;
  }
  hr = SetMediaType(&type);
  if (SUCCEEDED(hr) && outputFollows) hr = out.ChangeType(proposed);
  FreeMediaTypeContents(proposed);
  return hr;
}

HRESULT CopyingInputPin::OnReceive(IMediaSample* sample) {
  AM_MEDIA_TYPE* changed = nullptr;
  if (sample->GetMediaType(&changed) == S_OK && changed != nullptr) {
    const HRESULT hr = ChangeType(*changed);
    DeleteMediaType(changed);
    if (FAILED(hr)) return hr;
  }
  return PassThroughInputPin::OnReceive(sample);
}

// Receive waits for output buffers, whatever downstream does.
HRESULT STDMETHODCALLTYPE CopyingInputPin::ReceiveCanBlock() { return S_OK; }

// ---------------------------------------------------------------------------------------
// Output

CopyingOutputPin::CopyingOutputPin(CopyingTransformFilter* filter)
    : SeekingOutputPin(filter, &filter->Input()), owner_(filter) {}

HRESULT CopyingOutputPin::GetMediaType(int index, AM_MEDIA_TYPE* type) {
  const HRESULT hr = owner_->GetMediaType(index, type);
  if (hr != S_OK && SUCCEEDED(hr)) FreeMediaTypeContents(*type);  // a type not to offer
  return hr;
}

HRESULT CopyingOutputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  if (!owner_->Input().IsConnected()) return VFW_E_NOT_CONNECTED;
  return owner_->CheckTransform(CurrentType(owner_->Input()).Get(), type);
}

HRESULT CopyingOutputPin::SetMediaType(const AM_MEDIA_TYPE* type) {
  const HRESULT hr = SeekingOutputPin::SetMediaType(type);
  typePending_ = false;
  return hr;
}

HRESULT CopyingOutputPin::CompleteConnect(IPin* peer) {
  const HRESULT hr = OutputPin::CompleteConnect(peer);
  return FAILED(hr) ? hr : owner_->CompleteConnect(PINDIR_OUTPUT, peer);
}

HRESULT CopyingOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                             ALLOCATOR_PROPERTIES* request) {
  return owner_->DecideBufferSize(allocator, request);
}

HRESULT CopyingOutputPin::ChangeType(const AM_MEDIA_TYPE& type) {
  const HRESULT hr = SeekingOutputPin::SetMediaType(&type);
  if (SUCCEEDED(hr)) typePending_ = true;
  return hr;
}

HRESULT CopyingOutputPin::Deliver(IMediaSample* sample) {
  if (typePending_) {
    CurrentType type(*this);
    const HRESULT hr = sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(type.Get()));
    if (FAILED(hr)) return hr;
  }
  const HRESULT hr = OutputPin::Deliver(sample);
  if (SUCCEEDED(hr)) typePending_ = false;
  return hr;
}

// ---------------------------------------------------------------------------------------
// Filter

CopyingTransformFilter::CopyingTransformFilter(IUnknown* outer, const CLSID& clsid)
    : TwoPinFilterWith(outer, clsid, this) {}

HRESULT CopyingTransformFilter::GetMediaType(int position, AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  if (!input_.IsConnected()) return E_UNEXPECTED;
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  return ProposeOutputType(*CurrentType(input_), type);
}

HRESULT CopyingTransformFilter::CompleteConnect(PIN_DIRECTION direction, IPin*) {
  if (direction != PINDIR_INPUT || !output_.IsConnected()) return S_OK;
  if (CheckTransform(CurrentType(input_).Get(), CurrentType(output_).Get()) == S_OK) return S_OK;
  IFilterGraph* graph = Graph();
  if (graph == nullptr) return VFW_E_NOT_IN_GRAPH;
  return graph->Reconnect(static_cast<IPin*>(&output_));
}

HRESULT CopyingTransformFilter::AcceptInputChange(const AM_MEDIA_TYPE*) { return S_OK; }

}  // namespace mw::ds
