// IMediaSeeking that forwards every call to the pin upstream of a given input pin, so
// that a seek on a renderer reaches the source through the filters between.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace mw::ds {

class InputPin;

class SeekingPassThrough final : public IMediaSeeking {
 public:
  // `owner` answers IUnknown for this interface; `input` is the pin whose peer is asked.
  SeekingPassThrough(IUnknown* owner, InputPin* input) : owner_(owner), input_(input) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return owner_->QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return owner_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return owner_->Release(); }

  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* capabilities) override;
  HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* capabilities) override;
  HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
  HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
  HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
  HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
  HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
  HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
  HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
  HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                              LONGLONG source, const GUID* sourceFormat) override;
  HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                         DWORD stopFlags) override;
  HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
  HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
  HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
  HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

 private:
  // The upstream IMediaSeeking with a reference, or null.
  IMediaSeeking* Upstream();
  // Calls `call` on the upstream interface: VFW_E_NOT_CONNECTED when there is none.
  template <class... Params, class... Args>
  HRESULT Forward(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*call)(Params...), Args... args);

  IUnknown* owner_;
  InputPin* input_;
};

}  // namespace mw::ds
