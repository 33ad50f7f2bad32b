// What both kinds of effect filter share: the framework's transform filter of the kind
// (in-place or copying) around the kind's portable effect, which does the streaming work.
// The kinds add what differs (the transform check, and the in-place kind its direct
// float processing); each effect adds its parameter interface part (TypedFilter).
#pragma once

#include <windows.h>
#include <strmif.h>

#include <memory>
#include <type_traits>
#include <utility>

#include "win/dshow/registration.h"
#include "win/filters/effect_parts.h"
#include "win/filters/filter_classes.h"
#include "win/filters/sample_adapters.h"

namespace mw {

// `Transform` is the framework's filter of the kind, `Portable` the portable effect.
template <class Transform, class Portable>
class EffectFilterBase : public Transform, public EffectObject {
 public:
  EffectFilterBase(IUnknown* outer, const EffectDescription& effect)
      : Transform(outer, AsGuid(effect.filterClsid)),
        core_(effect),
        common_(this, core_.Params()) {}

  // The effect's parameter interface, the common parts (pages, persistence, presets), the
  // kind's own interfaces, then the framework's filter interfaces, in that order.
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, AsGuid(core_.Description().ParamsIid()))) return ds::GetInterface(ParamsInterface(), out);
    if (common_.Query(iid, out) == S_OK) return S_OK;
    if (QueryKindInterface(iid, out) == S_OK) return S_OK;
    return Transform::NonDelegatingQueryInterface(iid, out);
  }

  const ds::FilterSetup* GetSetupData() override { return FilterSetupOf(core_.Description()); }

  HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override {
    if (type == nullptr) return E_POINTER;
    return mw::CheckInputType(ToProposed(*type));
  }
  HRESULT SetMediaType(PIN_DIRECTION direction, const AM_MEDIA_TYPE* type) override {
    return core_.Frame().SetMediaType(direction == PINDIR_INPUT ? kPinInput : kPinOutput,
                                      type->pbFormat, type->cbFormat);
  }

  HRESULT StartStreaming() override { return core_.Frame().StartStreaming(); }
  HRESULT StopStreaming() override { return core_.Frame().StopStreaming(); }
  HRESULT Receive(IMediaSample* sample) override {
    SampleBuffer buffer(sample);
    PinDownstream downstream(this->Output());
    return core_.Frame().Receive(buffer, downstream);
  }
  HRESULT EndOfStream() override {
    if (!this->Output().IsConnected()) return core_.Frame().EndOfStream(nullptr);
    PinDownstream downstream(this->Output());
    return core_.Frame().EndOfStream(&downstream);
  }

  Portable& Core() { return core_; }
  Effect& CoreEffect() override { return core_; }
  IUnknown* ControllingUnknown() override { return this->Owner(); }

 protected:
  // The effect's parameter interface, answered first.
  virtual IUnknown* ParamsInterface() = 0;
  // What the kind answers after the common parts; the default answers nothing.
  virtual HRESULT QueryKindInterface(REFIID, void**) { return E_NOINTERFACE; }

 private:
  Portable core_;
  CommonParts common_;
};

// An effect's filter: the effect filter of its kind (`Base`) with the effect's parameter
// interface part.
template <class Base, class Part>
class TypedFilter final : public Base {
 public:
  TypedFilter(IUnknown* outer, const EffectDescription& effect)
      : Base(outer, effect), params_(this) {}

 protected:
  IUnknown* ParamsInterface() override { return &params_; }

 private:
  Part params_;
};

// The creation function of an effect's filter class; no exception leaves it.
template <class Base, class Part>
HRESULT CreateEffectFilter(IUnknown* outer, const EffectDescription& effect,
                           ds::UnknownBase** object) {
  *object = nullptr;
  try {
    *object = new TypedFilter<Base, Part>(outer, effect);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace mw
