#include "win/filters/copying_filter.h"

#include <dshow.h>
#include <vfwmsgs.h>

#include <climits>

#include "core/frame/format_pair.h"
#include "win/dshow/media_type.h"

namespace mw {
namespace {

// Output buffers hold four times an input buffer, and never less than this.
constexpr LONG kOutputScale = 4;
constexpr LONG kMinOutputBytes = 512;

}  // namespace

EffectCopyingFilter::EffectCopyingFilter(IUnknown* outer, const EffectDescription& effect)
    : EffectFilterBase(outer, effect) {}

EffectCopyingFilter::~EffectCopyingFilter() = default;

HRESULT EffectCopyingFilter::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) {
  if (in == nullptr || out == nullptr) return E_POINTER;
  return CheckFormatPair(ToProposed(*in), ToProposed(*out));
}

// The input's own type, with the block alignment and byte rate its samples imply.
HRESULT EffectCopyingFilter::ProposeOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* out) {
  const HRESULT hr = ds::CopyMediaType(*out, input);
  if (FAILED(hr)) return hr;
  if (out->pbFormat == nullptr || out->cbFormat < 16) return S_FALSE;
  NormaliseFormatBlock(out->pbFormat, out->cbFormat);
  const std::uint16_t channels = ChannelsOf(out->pbFormat);
  return channels == 1 || channels == 2 ? S_OK : S_FALSE;
}

// The input allocator's properties with four times its buffer size: whatever an input
// buffer becomes, its output fills a few buffers at most.
HRESULT EffectCopyingFilter::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* props) {
  if (allocator == nullptr || props == nullptr) return E_POINTER;
  ALLOCATOR_PROPERTIES want = *props;
  IMemAllocator* upstream = Input().Allocator();
  if (Input().IsConnected() && upstream != nullptr) {
    ALLOCATOR_PROPERTIES in{};
    if (SUCCEEDED(upstream->GetProperties(&in))) want = in;
  }
  if (want.cbBuffer > LONG_MAX / kOutputScale) return E_FAIL;
  want.cbBuffer *= kOutputScale;
  if (want.cBuffers < 1) want.cBuffers = 1;
  if (want.cbAlign < 1) want.cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(&want, &actual);
  if (FAILED(hr)) return hr;
  *props = actual;
  return actual.cbBuffer < kMinOutputBytes ? E_FAIL : S_OK;
}

// The engine keeps the sample format and channel count it started with; a new rate alone
// it can follow.
HRESULT EffectCopyingFilter::AcceptInputChange(const AM_MEDIA_TYPE* type) {
  if (type->pbFormat == nullptr || type->cbFormat < 16) return VFW_E_INVALIDMEDIATYPE;
  const EffectFormat next = EffectFormat::FromFormatBlock(type->pbFormat, type->cbFormat);
  return FollowsWhileStreaming(Core().Frame().InputFormat(), next) ? S_OK
                                                                   : VFW_E_TYPE_NOT_ACCEPTED;
}

}  // namespace mw
