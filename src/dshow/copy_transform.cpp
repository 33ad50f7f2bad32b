#include "dshow/copy_transform.h"

#include <vfwmsgs.h>

namespace mw::ds {

// ---------------------------------------------------------------------------------------
// Input

TransformInputPin::TransformInputPin(TransformFilter* filter)
    : InputPin(filter, L"Input"), owner_(filter) {}

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

HRESULT STDMETHODCALLTYPE TransformInputPin::EndOfStream() {
  Lock lock(owner_->ReceiveLock());
  if (flushing_) return S_OK;
  if (owner_->State() == State_Stopped) return VFW_E_WRONG_STATE;
  return owner_->EndOfStream();
}

HRESULT STDMETHODCALLTYPE TransformInputPin::BeginFlush() {
  // Not under the receive lock: a streaming thread blocked downstream must be released
  // by the flush going down first.
  flushing_ = true;
  return owner_->Output().IsConnected() ? owner_->Output().DeliverBeginFlush() : S_OK;
}

HRESULT STDMETHODCALLTYPE TransformInputPin::EndFlush() {
  Lock lock(owner_->ReceiveLock());
  const HRESULT hr = owner_->Output().IsConnected() ? owner_->Output().DeliverEndFlush() : S_OK;
  flushing_ = false;
  return hr;
}

HRESULT STDMETHODCALLTYPE TransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                        double rate) {
  InputPin::NewSegment(start, stop, rate);
  return owner_->Output().IsConnected() ? owner_->Output().DeliverNewSegment(start, stop, rate)
                                        : S_OK;
}

// ---------------------------------------------------------------------------------------
// Output

TransformOutputPin::TransformOutputPin(TransformFilter* filter)
    : OutputPin(filter, L"Output"),
      owner_(filter),
      seeking_(static_cast<IPin*>(this), &filter->Input()) {}

HRESULT STDMETHODCALLTYPE TransformOutputPin::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IMediaSeeking)) return GetInterface(&seeking_, out);
  return OutputPin::QueryInterface(iid, out);
}

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
    : BaseFilter(outer, clsid), input_(this), output_(this) {
  InitializeCriticalSection(&receiveLock_);
}

TransformFilter::~TransformFilter() { DeleteCriticalSection(&receiveLock_); }

BasePin* TransformFilter::GetPin(int index) {
  if (index == 0) return &input_;
  if (index == 1) return &output_;
  return nullptr;
}

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

HRESULT STDMETHODCALLTYPE TransformFilter::Stop() {
  Lock lock(&filterLock_);
  if (state_ == State_Stopped) return S_OK;
  // Release a streaming thread waiting for a buffer on either side, then wait for it to
  // leave.
  input_.Inactive();
  output_.Inactive();
  Lock receive(&receiveLock_);
  const HRESULT hr = StopStreaming();
  state_ = State_Stopped;
  return hr;
}

HRESULT STDMETHODCALLTYPE TransformFilter::Pause() {
  Lock lock(&filterLock_);
  if (state_ == State_Stopped) {
    if (!input_.IsConnected() || !output_.IsConnected()) {
      // Not fully connected: nothing streams; the state changes all the same.
      state_ = State_Paused;
      return S_OK;
    }
    HRESULT hr = output_.Active();
    if (FAILED(hr)) return hr;
    {
      Lock receive(&receiveLock_);
      hr = StartStreaming();
    }
    if (FAILED(hr)) {
      output_.Inactive();
      return hr;
    }
  }
  state_ = State_Paused;
  return S_OK;
}

HRESULT TransformFilter::EndOfStream() {
  return output_.IsConnected() ? output_.DeliverEndOfStream() : S_OK;
}

}  // namespace mw::ds
