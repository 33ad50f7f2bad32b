#include "win/dshow/seeking.h"

#include <vfwmsgs.h>

#include "win/dshow/pins.h"

namespace mw::ds {

IMediaSeeking* SeekingPassThrough::Upstream() {
  IPin* peer = nullptr;
  if (FAILED(input_->ConnectedTo(&peer)) || peer == nullptr) return nullptr;
  IMediaSeeking* seeking = nullptr;
  if (FAILED(peer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)))) {
    seeking = nullptr;
  }
  peer->Release();
  return seeking;
}

// Each call: find the upstream interface, forward, release.
#define MW_FORWARD_SEEKING(call)                      \
  IMediaSeeking* up = Upstream();                     \
  if (up == nullptr) return VFW_E_NOT_CONNECTED;      \
  const HRESULT hr = up->call;                        \
  up->Release();                                      \
  return hr

HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetCapabilities(DWORD* c) {
  MW_FORWARD_SEEKING(GetCapabilities(c));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::CheckCapabilities(DWORD* c) {
  MW_FORWARD_SEEKING(CheckCapabilities(c));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::IsFormatSupported(const GUID* f) {
  MW_FORWARD_SEEKING(IsFormatSupported(f));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::QueryPreferredFormat(GUID* f) {
  MW_FORWARD_SEEKING(QueryPreferredFormat(f));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetTimeFormat(GUID* f) {
  MW_FORWARD_SEEKING(GetTimeFormat(f));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::IsUsingTimeFormat(const GUID* f) {
  MW_FORWARD_SEEKING(IsUsingTimeFormat(f));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::SetTimeFormat(const GUID* f) {
  MW_FORWARD_SEEKING(SetTimeFormat(f));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetDuration(LONGLONG* d) {
  MW_FORWARD_SEEKING(GetDuration(d));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetStopPosition(LONGLONG* s) {
  MW_FORWARD_SEEKING(GetStopPosition(s));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetCurrentPosition(LONGLONG* c) {
  MW_FORWARD_SEEKING(GetCurrentPosition(c));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::ConvertTimeFormat(LONGLONG* t, const GUID* tf,
                                                                LONGLONG s, const GUID* sf) {
  MW_FORWARD_SEEKING(ConvertTimeFormat(t, tf, s, sf));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::SetPositions(LONGLONG* c, DWORD cf, LONGLONG* s,
                                                           DWORD sf) {
  MW_FORWARD_SEEKING(SetPositions(c, cf, s, sf));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetPositions(LONGLONG* c, LONGLONG* s) {
  MW_FORWARD_SEEKING(GetPositions(c, s));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetAvailable(LONGLONG* e, LONGLONG* l) {
  MW_FORWARD_SEEKING(GetAvailable(e, l));
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::SetRate(double r) { MW_FORWARD_SEEKING(SetRate(r)); }
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetRate(double* r) { MW_FORWARD_SEEKING(GetRate(r)); }
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetPreroll(LONGLONG* p) {
  MW_FORWARD_SEEKING(GetPreroll(p));
}

#undef MW_FORWARD_SEEKING

}  // namespace mw::ds
