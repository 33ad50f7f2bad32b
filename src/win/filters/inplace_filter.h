// The in-place effect filter (Simple Delay, Multi-Tap Delay, Reverb, Chorus): our in-place
// transform filter around the portable in-place effect, with the interfaces every effect
// filter answers, then direct float processing for hosts without a filter graph.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>

#include "core/effects/inplace_effect.h"
#include "mwppack1/mwppack1.h"
#include "win/dshow/inplace_transform.h"
#include "win/filters/effect_filter_base.h"

namespace mw {

class EffectInPlaceFilter;

class DirectProcessPart final : public FilterPart<IEffectDirectProcess> {
 public:
  explicit DirectProcessPart(EffectInPlaceFilter* f);
  HRESULT STDMETHODCALLTYPE Initialize(DWORD channels, DWORD rate) override;
  HRESULT STDMETHODCALLTYPE Process(float* buffer, DWORD frames, BOOL limited) override;
  HRESULT STDMETHODCALLTYPE ProcessTail(float* buffer, DWORD* frames) override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE ParametersChanged() override;
  HRESULT STDMETHODCALLTYPE UpdateParameters(BOOL reset, DWORD, DWORD) override;

 private:
  InPlaceFrame& Frame();

  EffectInPlaceFilter* filter_;
};

class EffectInPlaceFilter
    : public EffectFilterBase<ds::InPlaceTransformFilter, InPlaceEffect> {
 public:
  EffectInPlaceFilter(IUnknown* outer, const EffectDescription& effect);
  ~EffectInPlaceFilter() override;

  HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
  HRESULT Transform(IMediaSample* sample) override;

 protected:
  HRESULT QueryKindInterface(REFIID iid, void** out) override;

 private:
  DirectProcessPart direct_;
};

// The parameter interface of an in-place effect: one format.
template <class Interface, class Block>
class ParamsPart : public ParamBlockPart<EffectInPlaceFilter, Interface, Block> {
 public:
  using ParamBlockPart<EffectInPlaceFilter, Interface, Block>::ParamBlockPart;
  HRESULT STDMETHODCALLTYPE GetFormat(WAVEFORMATEX* format) override {
    return this->CopyFormat(format, [this](std::uint8_t* bytes) {
      return this->filter_->Core().GetFormat(bytes);
    });
  }
};

// The creation function of an in-place effect's filter class.
template <class Part>
inline constexpr auto CreateTypedFilter = &CreateEffectFilter<EffectInPlaceFilter, Part>;

}  // namespace mw
