// The Reverb filter object: the in-place effect filter with IReverbParams.
#include "win/filters/inplace_filter.h"
#include "core/effects/reverb/reverb.h"
#include "win/filters/filter_classes.h"

namespace mw {
namespace {

class ReverbParamsPart final : public ParamsPart<IReverbParams, ReverbParams> {
 public:
  using ParamsPart::ParamsPart;
  MW_PARAM_ACCESSORS(ReverbMode, 0)
  MW_PARAM_ACCESSORS(EarlyStyle, 1)
  MW_PARAM_ACCESSORS(DryOut, 2)
  MW_PARAM_ACCESSORS(ReverbOut, 3)
  MW_PARAM_ACCESSORS(EarlyOut, 4)
  MW_PARAM_ACCESSORS(DecayTime, 5)
  MW_PARAM_ACCESSORS(PreDelay, 6)
  MW_PARAM_ACCESSORS(AttenuateBass, 7)
  MW_PARAM_ACCESSORS(AttenuateHighs, 8)
  MW_PARAM_ACCESSORS(BassCutoff, 9)
  MW_PARAM_ACCESSORS(HighCutoff, 10)
};

}  // namespace

HRESULT CreateReverbFilter(IUnknown* outer, ds::UnknownBase** object) {
  return CreateTypedFilter<ReverbParamsPart>(outer, kReverb, object);
}

}  // namespace mw
