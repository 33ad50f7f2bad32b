// The copying effect filter, for effects that change the length of the sound (Time
// Stretch, Pitch Shift): our copying transform filter around the portable copying effect,
// with the interfaces every effect filter answers. There is no direct float processing:
// its operations assume an output as long as the input.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>

#include "core/effects/copying_effect.h"
#include "win/dshow/copying_transform.h"
#include "win/filters/effect_filter_base.h"

namespace mw {

class EffectCopyingFilter
    : public EffectFilterBase<ds::CopyingTransformFilter, CopyingEffect> {
 public:
  EffectCopyingFilter(IUnknown* outer, const EffectInfo& info,
                      std::unique_ptr<CopyingEngine> engine, const ds::FilterSetup* setup);
  ~EffectCopyingFilter() override;

  HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
  HRESULT ProposeOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) override;
  HRESULT AcceptInputChange(const AM_MEDIA_TYPE* type) override;
};

// The parameter interface of a copying effect: two formats, and the input's sample rate.
template <class Interface, class Block>
class CopyingParamsPart : public ParamBlockPart<Interface, Block> {
 public:
  explicit CopyingParamsPart(EffectCopyingFilter* f)
      : ParamBlockPart<Interface, Block>(f), filter_(f) {}
  // `which`: 0 the input's format, 1 the output's.
  HRESULT STDMETHODCALLTYPE GetFormat(DWORD which, WAVEFORMATEX* format) override {
    return this->CopyFormat(format, [this, which](std::uint8_t* bytes) {
      return filter_->Core().Frame().GetFormat(which, bytes);
    });
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
template <class Part, class Engine>
HRESULT CreateCopyingFilter(IUnknown* outer, const EffectInfo& info, const ds::FilterSetup* setup,
                            const IID& iid, ds::UnknownBase** object) {
  return CreateEffectFilter<EffectCopyingFilter, Part, Engine>(outer, info, setup, iid, object);
}

}  // namespace mw
