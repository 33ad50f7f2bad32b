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

template <class... Params, class... Args>
HRESULT SeekingPassThrough::Forward(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*call)(Params...),
                                    Args... args) {
  IMediaSeeking* up = Upstream();
  if (up == nullptr) return VFW_E_NOT_CONNECTED;
  const HRESULT hr = (up->*call)(args...);
  up->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetCapabilities(DWORD* c) {
  return Forward(&IMediaSeeking::GetCapabilities, c);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::CheckCapabilities(DWORD* c) {
  return Forward(&IMediaSeeking::CheckCapabilities, c);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::IsFormatSupported(const GUID* f) {
  return Forward(&IMediaSeeking::IsFormatSupported, f);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::QueryPreferredFormat(GUID* f) {
  return Forward(&IMediaSeeking::QueryPreferredFormat, f);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetTimeFormat(GUID* f) {
  return Forward(&IMediaSeeking::GetTimeFormat, f);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::IsUsingTimeFormat(const GUID* f) {
  return Forward(&IMediaSeeking::IsUsingTimeFormat, f);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::SetTimeFormat(const GUID* f) {
  return Forward(&IMediaSeeking::SetTimeFormat, f);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetDuration(LONGLONG* d) {
  return Forward(&IMediaSeeking::GetDuration, d);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetStopPosition(LONGLONG* s) {
  return Forward(&IMediaSeeking::GetStopPosition, s);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetCurrentPosition(LONGLONG* c) {
  return Forward(&IMediaSeeking::GetCurrentPosition, c);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::ConvertTimeFormat(LONGLONG* t, const GUID* tf,
                                                                LONGLONG s, const GUID* sf) {
  return Forward(&IMediaSeeking::ConvertTimeFormat, t, tf, s, sf);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::SetPositions(LONGLONG* c, DWORD cf, LONGLONG* s,
                                                           DWORD sf) {
  return Forward(&IMediaSeeking::SetPositions, c, cf, s, sf);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetPositions(LONGLONG* c, LONGLONG* s) {
  return Forward(&IMediaSeeking::GetPositions, c, s);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetAvailable(LONGLONG* e, LONGLONG* l) {
  return Forward(&IMediaSeeking::GetAvailable, e, l);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::SetRate(double r) {
  return Forward(&IMediaSeeking::SetRate, r);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetRate(double* r) {
  return Forward(&IMediaSeeking::GetRate, r);
}
HRESULT STDMETHODCALLTYPE SeekingPassThrough::GetPreroll(LONGLONG* p) {
  return Forward(&IMediaSeeking::GetPreroll, p);
}

}  // namespace mw::ds
