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
  EffectCopyingFilter(IUnknown* outer, const EffectDescription& effect);
  ~EffectCopyingFilter() override;

  HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
  HRESULT ProposeOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* out) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* props) override;
  HRESULT AcceptInputChange(const AM_MEDIA_TYPE* type) override;
};

// The parameter interface of a copying effect: two formats, and the input's sample rate.
template <class Interface, class Block>
class CopyingParamsPart : public ParamBlockPart<EffectCopyingFilter, Interface, Block> {
 public:
  using ParamBlockPart<EffectCopyingFilter, Interface, Block>::ParamBlockPart;
  // `which`: 0 the input's format, 1 the output's.
  HRESULT STDMETHODCALLTYPE GetFormat(DWORD which, WAVEFORMATEX* format) override {
    return this->CopyFormat(format, [this, which](std::uint8_t* bytes) {
      return this->filter_->Core().Frame().GetFormat(which, bytes);
    });
  }
  HRESULT STDMETHODCALLTYPE GetSampleRate(DWORD* rate) override {
    if (rate == nullptr) return E_POINTER;
    std::uint32_t r = 0;
    const HRESULT hr = this->filter_->Core().Frame().GetSampleRate(&r);
    *rate = r;
    return hr;
  }
};

// The creation function of a copying effect's filter class.
template <class Part>
inline constexpr auto CreateCopyingFilter = &CreateEffectFilter<EffectCopyingFilter, Part>;

}  // namespace mw
