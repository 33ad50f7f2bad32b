// The Time Stretch filter object: the copying effect filter with ITimeStretchParams.
#include "win/filters/copying_filter.h"
#include "core/effects/stretch/time_stretch.h"
#include "win/filters/filter_classes.h"

namespace mw {
namespace {

// Accessors in the published slot order, which is the field table's (checked by the tests
// through the vtable).
class TimeStretchParamsPart final
    : public CopyingParamsPart<ITimeStretchParams, TimeStretchParams> {
 public:
  using CopyingParamsPart::CopyingParamsPart;
  MW_DOUBLE_PARAM_ACCESSORS(FinalLength, 0)
  MW_DWORD_PARAM_ACCESSORS(Mode, 1)
  MW_DWORD_PARAM_ACCESSORS(InitialTempo, 2)
  MW_DOUBLE_PARAM_ACCESSORS(InitialTime, 3)
  MW_DWORD_PARAM_ACCESSORS(InputFormat, 4)
};

}  // namespace

HRESULT CreateTimeStretchFilter(IUnknown* outer, ds::UnknownBase** object) {
  return CreateCopyingFilter<TimeStretchParamsPart>(outer, kTimeStretch, object);
}

}  // namespace mw
