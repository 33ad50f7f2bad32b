#include "win/filters/inplace_filter.h"

namespace mw {

EffectInPlaceFilter::EffectInPlaceFilter(IUnknown* outer, const EffectDescription& effect)
    : EffectFilterBase(outer, effect), direct_(this) {}

EffectInPlaceFilter::~EffectInPlaceFilter() = default;

HRESULT EffectInPlaceFilter::QueryKindInterface(REFIID iid, void** out) {
  if (IsEqualIID(iid, IID_IEffectDirectProcess)) return ds::GetInterface(&direct_, out);
  return E_NOINTERFACE;
}

// Input and output share one type, which CheckInputType has passed on either pin.
HRESULT EffectInPlaceFilter::CheckTransform(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE*) {
  return S_OK;
}

HRESULT EffectInPlaceFilter::Transform(IMediaSample* sample) {
  SampleBuffer buffer(sample);
  return Core().Frame().Transform(buffer);
}

// ---------------------------------------------------------------------------------------
// Direct float processing

DirectProcessPart::DirectProcessPart(EffectInPlaceFilter* f) : FilterPart(f), filter_(f) {}

InPlaceFrame& DirectProcessPart::Frame() { return filter_->Core().Frame(); }

HRESULT STDMETHODCALLTYPE DirectProcessPart::Initialize(DWORD channels, DWORD rate) {
  return Frame().Initialize(channels, rate);
}
HRESULT STDMETHODCALLTYPE DirectProcessPart::Process(float* buffer, DWORD frames, BOOL limited) {
  return Frame().Process(buffer, frames, limited != FALSE);
}
HRESULT STDMETHODCALLTYPE DirectProcessPart::ProcessTail(float* buffer, DWORD* frames) {
  if (frames == nullptr) return E_POINTER;
  std::uint32_t n = *frames;
  const HRESULT hr = Frame().ProcessTail(buffer, &n);
  *frames = n;
  return hr;
}
HRESULT STDMETHODCALLTYPE DirectProcessPart::Stop() { return Frame().Stop(); }
HRESULT STDMETHODCALLTYPE DirectProcessPart::ParametersChanged() {
  return Frame().ParametersChanged();
}
HRESULT STDMETHODCALLTYPE DirectProcessPart::UpdateParameters(BOOL reset, DWORD, DWORD) {
  return Frame().UpdateParameters(reset != FALSE);
}

}  // namespace mw
