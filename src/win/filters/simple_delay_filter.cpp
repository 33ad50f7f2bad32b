// The Simple Delay filter object: the in-place effect filter with ISimpleDelayParams.
#include "core/effects/delay/simple_delay.h"
#include "win/filters/inplace_filter.h"
#include "win/filters/filter_classes.h"

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

}  // namespace

HRESULT CreateSimpleDelayFilter(IUnknown* outer, ds::UnknownBase** object) {
  return CreateTypedFilter<SimpleDelayParamsPart>(outer, kSimpleDelay, object);
}

}  // namespace mw
