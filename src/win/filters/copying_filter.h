// The component shell of an effect that changes the length of the sound (Time Stretch,
// Pitch Shift): our copying transform filter around the portable copying effect, with the
// parameter, property page, persistence and preset interfaces. There is no direct float
// processing: its operations assume an output as long as the input.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>

#include "win/dshow/copying_transform.h"
#include "core/effects/copying_effect.h"
#include "win/filters/effect_filter.h"

namespace mw {

class EffectCopyingFilter : public ds::TransformFilter, public EffectObject {
 public:
  EffectCopyingFilter(IUnknown* outer, const EffectDescription& effect);
  ~EffectCopyingFilter() override;

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;

  const ds::FilterSetup* GetSetupData() override { return FilterSetupOf(core_.Description()); }
  HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override;
  HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
  HRESULT ProposeOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* out) override;
  HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) override;
  HRESULT AcceptInputChange(const AM_MEDIA_TYPE* type) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;

  CopyingEffect& Core() { return core_; }
  Effect& CoreEffect() override { return core_; }
  IUnknown* ControllingUnknown() override { return Owner(); }

 protected:
  // The effect's parameter interface, answered first.
  virtual IUnknown* ParamsInterface() = 0;

 private:
  CopyingEffect core_;
  CommonParts common_;
};

// The parameter interface of a copying effect: two formats, and the input's sample rate.
template <class Interface, class Block>
class CopyingParamsPart : public ParamBlockPart<Interface, Block> {
 public:
  explicit CopyingParamsPart(EffectCopyingFilter* f)
      : ParamBlockPart<Interface, Block>(f), filter_(f) {}
  // `which`: 0 the input's format, 1 the output's.
  HRESULT STDMETHODCALLTYPE GetFormat(DWORD which, WAVEFORMATEX* format) override {
    if (format == nullptr) return E_POINTER;
    std::uint8_t bytes[EffectFormat::kBytes];
    const HRESULT hr = filter_->Core().Frame().GetFormat(which, bytes);
    if (SUCCEEDED(hr)) std::memcpy(format, bytes, sizeof bytes);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetSampleRate(DWORD* rate) override {
    if (rate == nullptr) return E_POINTER;
    std::uint32_t r = 0;
    const HRESULT hr = filter_->Core().Frame().GetSampleRate(&r);
    *rate = r;
    return hr;
  }

 private:
  EffectCopyingFilter* filter_;
};

// The creation function of a copying effect's filter class; no exception leaves it.
template <class Part>
HRESULT CreateCopyingFilter(IUnknown* outer, const EffectDescription& effect,
                            ds::UnknownBase** object) {
  return CreateEffectFilter<EffectCopyingFilter, Part>(outer, effect, object);
}

}  // namespace mw
