// The Chorus filter object: the in-place effect filter with IChorusParams.
#include "core/effects/chorus/chorus.h"
#include "win/filters/inplace_filter.h"
#include "win/filters/filter_classes.h"

namespace mw {
namespace {

class ChorusParamsPart final : public ParamsPart<IChorusParams, ChorusParams> {
 public:
  using ParamsPart::ParamsPart;
  MW_PARAM_ACCESSORS(InputGain, 0)
  MW_PARAM_ACCESSORS(DryOut, 1)
  MW_PARAM_ACCESSORS(ChorusOut, 2)
  MW_PARAM_ACCESSORS(ChorusSize, 3)
  MW_PARAM_ACCESSORS(Feedback, 4)
  MW_PARAM_ACCESSORS(InvertChorusPhase, 5)
  MW_PARAM_ACCESSORS(ChorusOutDelay, 6)
  MW_PARAM_ACCESSORS(ModulationRate, 7)
  MW_PARAM_ACCESSORS(ModulationDepth, 8)
  MW_PARAM_ACCESSORS(AttenuateHighs, 9)
  MW_PARAM_ACCESSORS(HighCutoff, 10)
  MW_PARAM_ACCESSORS(InvertFeedbackPhase, 11)
};

}  // namespace

HRESULT CreateChorusFilter(IUnknown* outer, ds::UnknownBase** object) {
  return CreateTypedFilter<ChorusParamsPart>(outer, kChorus, object);
}

}  // namespace mw
