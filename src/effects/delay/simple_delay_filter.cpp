// The Simple Delay filter object: the in-place effect filter with ISimpleDelayParams.
#include <dshow.h>

#include <new>

#include "effects/delay/simple_delay.h"
#include "effects/effect_filter.h"
#include "module/class_table.h"

namespace mw {
namespace {

// Accessors in the published slot order; the indices are the field table's, which keeps
// the same order (checked by the tests through the vtable).
class SimpleDelayParamsPart final : public ParamsPart<ISimpleDelayParams, SimpleDelayParams> {
 public:
  using ParamsPart::ParamsPart;
  MW_PARAM_ACCESSORS(DryOut, 0)
  MW_PARAM_ACCESSORS(DelayOut, 1)
  MW_PARAM_ACCESSORS(Feedback, 2)
  MW_PARAM_ACCESSORS(DelayTime, 3)
  MW_PARAM_ACCESSORS(DecayTime, 4)
};

class SimpleDelayFilter final : public EffectInPlaceFilter {
 public:
  explicit SimpleDelayFilter(IUnknown* outer)
      : EffectInPlaceFilter(outer, kSimpleDelayInfo, std::make_unique<SimpleDelayEngine>(),
                            &kInPlaceSetups.simpleDelay),
        params_(this) {}

 protected:
  IUnknown* ParamsInterface() override { return &params_; }
  const IID& ParamsIid() override { return IID_ISimpleDelayParams; }

 private:
  SimpleDelayParamsPart params_;
};

}  // namespace

HRESULT CreateSimpleDelayFilter(IUnknown* outer, ds::UnknownBase** object) {
  *object = new (std::nothrow) SimpleDelayFilter(outer);
  return *object != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace mw
