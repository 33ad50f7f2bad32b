// The Multi-Tap Delay filter object: the in-place effect filter with IMultiTapParams.
#include "win/filters/inplace_filter.h"
#include "core/effects/multitap/multi_tap_delay.h"
#include "win/filters/filter_classes.h"

namespace mw {
namespace {

// The per-tap accessors: gains at 11 to 18, delays at 19 to 26, pans at 27 to 34.
#define MW_TAP_ACCESSORS(Name, first)                                                     \
  MW_PARAM_ACCESSORS(Name##1, first) MW_PARAM_ACCESSORS(Name##2, first + 1)              \
  MW_PARAM_ACCESSORS(Name##3, first + 2) MW_PARAM_ACCESSORS(Name##4, first + 3)          \
  MW_PARAM_ACCESSORS(Name##5, first + 4) MW_PARAM_ACCESSORS(Name##6, first + 5)          \
  MW_PARAM_ACCESSORS(Name##7, first + 6) MW_PARAM_ACCESSORS(Name##8, first + 7)

class MultiTapParamsPart final : public ParamsPart<IMultiTapParams, MultiTapParams> {
 public:
  using ParamsPart::ParamsPart;
  MW_PARAM_ACCESSORS(InputGain, 0)
  MW_PARAM_ACCESSORS(DryOut, 1)
  MW_PARAM_ACCESSORS(WetOut, 2)
  MW_PARAM_ACCESSORS(ModRate, 3)
  MW_PARAM_ACCESSORS(ModDepth, 4)
  MW_PARAM_ACCESSORS(Feedback, 5)
  MW_PARAM_ACCESSORS(LowPassOn, 6)
  MW_PARAM_ACCESSORS(LowPassStart, 7)
  MW_PARAM_ACCESSORS(TapCount, 8)
  MW_PARAM_ACCESSORS(CurrentTap, 9)
  MW_PARAM_ACCESSORS(GraphResolution, 10)
  MW_TAP_ACCESSORS(TapGain, 11)
  MW_TAP_ACCESSORS(TapDelay, 19)
  MW_TAP_ACCESSORS(TapPan, 27)
};

#undef MW_TAP_ACCESSORS

}  // namespace

HRESULT CreateMultiTapFilter(IUnknown* outer, ds::UnknownBase** object) {
  return CreateTypedFilter<MultiTapParamsPart>(outer, kMultiTap, object);
}

}  // namespace mw
