// The Pitch Shift filter object: the copying effect filter with IPitchShiftParams.
#include "win/filters/copying_filter.h"
#include "core/effects/pitch/pitch_shift.h"
#include "win/filters/filter_classes.h"

namespace mw {
namespace {

// Accessors in the published slot order, which is the field table's (checked by the tests
// through the vtable).
class PitchShiftParamsPart final : public CopyingParamsPart<IPitchShiftParams, PitchShiftParams> {
 public:
  using CopyingParamsPart::CopyingParamsPart;
  MW_PARAM_ACCESSORS(Semitones, 0)
  MW_PARAM_ACCESSORS(Cents, 1)
  MW_DWORD_PARAM_ACCESSORS(Accuracy, 2)
  MW_DWORD_PARAM_ACCESSORS(PreserveDuration, 3)
  MW_DWORD_PARAM_ACCESSORS(Mode, 4)
  MW_DOUBLE_PARAM_ACCESSORS(Ratio, 5)
  MW_DWORD_PARAM_ACCESSORS(AntiAlias, 6)
  MW_DOUBLE_PARAM_ACCESSORS(InitialTime, 7)
};

}  // namespace

HRESULT CreatePitchShiftFilter(IUnknown* outer, ds::UnknownBase** object) {
  return CreateCopyingFilter<PitchShiftParamsPart>(outer, kPitchShift, object);
}

}  // namespace mw
