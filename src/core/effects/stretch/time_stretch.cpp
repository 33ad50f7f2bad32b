#include "core/effects/stretch/time_stretch.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace mw {
namespace {

constexpr FieldInfo kFields[] = {
    {"FinalLength", offsetof(TimeStretchParams, FinalLength), FieldType::Float64, true, 5000,
     50000, false},
    {"Mode", offsetof(TimeStretchParams, Mode), FieldType::UInt32, true, 0,
     kSpliceModeCount - 1, true},
    {"InitialTempo", offsetof(TimeStretchParams, InitialTempo), FieldType::UInt32, true, 0,
     50000, false},
    {"InitialTime", offsetof(TimeStretchParams, InitialTime), FieldType::Float64, true, 0,
     793800000, false},
    {"InputFormat", offsetof(TimeStretchParams, InputFormat), FieldType::UInt32, true, 0, 2,
     false},
};
constexpr ParamTable kTable = {kFields, sizeof kFields / sizeof kFields[0],
                               sizeof(TimeStretchParams)};

// FinalLength, Mode, InitialTempo (120.00 bpm), InitialTime (a minute at 44.1 kHz),
// InputFormat (percentage).
constexpr PresetRow<TimeStretchParams> kPresetRows[] = {
    {1020, {10000.0, 0, 12000, 2646000.0, 0, 0}},  // (Default)
    {1021, {10000.0, 0, 12000, 2646000.0, 0, 0}},  // Default all parameters
    {1154, {11000.0, 0, 12000, 2646000.0, 0, 0}},  // Time expand 110 %
    {1155, {8500.0, 0, 12000, 2646000.0, 0, 0}},   // Time compress 85 %
};
constexpr PresetTable kPresets(kPresetRows);

// The earlier record kept FinalLength and InitialTempo in tenths.
constexpr Guid kOlderTag = {0x1B7E9C43, 0x92D3, 0x11D0,
                            {0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F}};

void ConvertOlderRecord(void* block) {
  TimeStretchParams p;
  std::memcpy(&p, block, sizeof p);
  p.FinalLength = p.FinalLength * 10.0;
  p.InitialTempo = p.InitialTempo * 10u;
  std::memcpy(block, &p, sizeof p);
}

}  // namespace

const EffectDescription kTimeStretch = {
    "stretch",
    MW_FILTER_NAME("Time Stretch"),
    "MwTime Property Page",
    ids::CLSID_MwTimeStretch,
    ids::CLSID_MwTimeStretchPage,
    {ids::IID_ITimeStretchParams, &kOlderTag, &ConvertOlderRecord},
    kTable,
    kPresets,
    EffectKind::kCopying,
    nullptr,
    &NewCopyingEngine<TimeStretchEngine>,
};

TimeStretchEngine::TimeStretchEngine() : CopyingEngine(kTable) {}

template <>
SpliceCore<float>& TimeStretchEngine::Core<float>() {
  return single_;
}
template <>
SpliceCore<double>& TimeStretchEngine::Core<double>() {
  return double_;
}

HResult TimeStretchEngine::SetFormat(const EffectFormat* input, const EffectFormat* output) {
  AttachFormats(input, output);
  valid_ = false;
  if (input_ == nullptr || !input_->Sample(&sample_)) return E_FAIL;
  doublePrecision_ = sample_ == SampleFormat::Pcm32 || sample_ == SampleFormat::Float64;
  return Reset();
}

HResult TimeStretchEngine::Reset() {
  structural_ = true;
  params_.Take(&p_);
  const HResult hr = Setup();
  single_.Restart();
  double_.Restart();
  started_ = false;
  return hr;
}

HResult TimeStretchEngine::Setup() {
  if (params_.TakeReinit()) structural_ = true;
  ratio_ = p_.FinalLength * 0.0001;
  if (!structural_) {
    single_.SetRatio(ratio_);
    double_.SetRatio(ratio_);
    return S_OK;
  }
  if (input_ == nullptr) {
    valid_ = false;
    return E_UNEXPECTED;
  }
  const SpliceMode& row = kSpliceModes[std::min<std::uint32_t>(p_.Mode, kSpliceModeCount - 1)];
  HResult hr;
  // Only the buffers of the working precision exist.
  if (doublePrecision_) {
    single_.Free();
    hr = double_.Configure(row, input_->nSamplesPerSec, ratio_, input_->nChannels);
  } else {
    double_.Free();
    hr = single_.Configure(row, input_->nSamplesPerSec, ratio_, input_->nChannels);
  }
  valid_ = Succeeded(hr);
  if (valid_) structural_ = false;
  return hr;
}

HResult TimeStretchEngine::Free() {
  single_.Free();
  double_.Free();
  valid_ = false;
  return S_OK;
}

template <class Codec>
HResult TimeStretchEngine::Loop(int mode, typename Codec::Stored* in, std::uint32_t* inFrames,
                                typename Codec::Stored* out, std::uint32_t* outFrames) {
  using T = typename SpliceWork<typename Codec::Stored>::Type;
  SpliceCore<T>& core = Core<T>();
  core.SetFlushing(mode == kModeEndOfStream);
  HResult result;
  if (!BeginLoop(mode, in, inFrames, out, outFrames, &result)) return result;
  return core.Splice(in, inFrames, out, outFrames);
}

MW_DEFINE_COPYING_LOOPS(TimeStretchEngine)

}  // namespace mw
