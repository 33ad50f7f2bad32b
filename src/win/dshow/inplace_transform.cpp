#include "win/dshow/inplace_transform.h"

#include <vfwmsgs.h>

namespace mw::ds {
namespace {

constexpr LONG kDefaultBuffers = 4;
constexpr LONG kDefaultBufferBytes = 64 * 1024;

}  // namespace

// ---------------------------------------------------------------------------------------
// Input

InPlaceInputPin::InPlaceInputPin(InPlaceTransformFilter* filter)
    : PassThroughInputPin(filter), owner_(filter) {}

HRESULT InPlaceInputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = owner_->AcceptsInput(type);
  if (hr == S_OK && owner_->Output().IsConnected()) {
    hr = owner_->CheckTransform(type, CurrentType(owner_->Output()).Get());
  }
  return hr;
}

// With the output connected, upstream gets the downstream allocator, so that both sides
// of the filter share one.
HRESULT STDMETHODCALLTYPE InPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
  if (allocator == nullptr) return E_POINTER;
  IMemInputPin* downstream = owner_->Output().PeerInput();
  if (downstream != nullptr && SUCCEEDED(downstream->GetAllocator(allocator))) return S_OK;
  return InputPin::GetAllocator(allocator);
}

HRESULT STDMETHODCALLTYPE InPlaceInputPin::ReceiveCanBlock() {
  IMemInputPin* downstream = owner_->Output().PeerInput();
  return downstream != nullptr ? downstream->ReceiveCanBlock() : S_FALSE;
}

// ---------------------------------------------------------------------------------------
// Output

InPlaceOutputPin::InPlaceOutputPin(InPlaceTransformFilter* filter)
    : SeekingOutputPin(filter, &filter->Input()), owner_(filter) {}

// Downstream is offered the input's type: an in-place filter passes its format through.
HRESULT InPlaceOutputPin::GetMediaType(int index, AM_MEDIA_TYPE* type) {
  if (index != 0 || !owner_->Input().IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return owner_->Input().CopyCurrentType(type);
}

HRESULT InPlaceOutputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = owner_->AcceptsInput(type);
  if (hr == S_OK && owner_->Input().IsConnected()) {
    hr = owner_->CheckTransform(CurrentType(owner_->Input()).Get(), type);
  }
  return hr;
}

// The allocator upstream already uses is offered downstream first, so that samples pass
// through without a copy.
HRESULT InPlaceOutputPin::DecideAllocator(IMemInputPin* peer, IMemAllocator** allocator) {
  IMemAllocator* shared = owner_->Input().Allocator();
  if (shared != nullptr &&
      SUCCEEDED(peer->NotifyAllocator(shared, owner_->Input().ReadOnly() ? TRUE : FALSE))) {
    shared->AddRef();
    *allocator = shared;
    return S_OK;
  }
  return OutputPin::DecideAllocator(peer, allocator);
}

HRESULT InPlaceOutputPin::DecideBufferSize(IMemAllocator* allocator,
                                           ALLOCATOR_PROPERTIES* request) {
  ALLOCATOR_PROPERTIES want = *request;
  if (want.cBuffers < kDefaultBuffers) want.cBuffers = kDefaultBuffers;
  if (want.cbBuffer <= 0) want.cbBuffer = kDefaultBufferBytes;
  if (want.cbAlign <= 0) want.cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(&want, &actual);
  if (FAILED(hr)) {
    // Already committed or in use by its owner: take it as it is.
    return hr == VFW_E_ALREADY_COMMITTED || hr == VFW_E_BUFFERS_OUTSTANDING ? S_OK : hr;
  }
  return actual.cbBuffer > 0 && actual.cBuffers > 0 ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------------------
// Filter

InPlaceTransformFilter::InPlaceTransformFilter(IUnknown* outer, const CLSID& clsid)
    : TwoPinFilterWith(outer, clsid, this) {}

HRESULT InPlaceTransformFilter::Receive(IMediaSample* sample) {
  const HRESULT hr = Transform(sample);
  if (hr == S_OK) return output_.Deliver(sample);
  return hr == S_FALSE ? S_OK : hr;
}

}  // namespace mw::ds
