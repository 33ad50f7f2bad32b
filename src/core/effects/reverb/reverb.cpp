#include "core/effects/reverb/reverb.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/dsp/delay_line.h"
#include "core/dsp/exact_math.h"
#include "core/dsp/one_pole.h"
#include "core/dsp/levels.h"
#include "core/frame/sample_format.h"

namespace mw {
namespace {

// Accessor order of the parameter interface (it differs from the block order). The two
// table indices are stored as given; mode, style and pre-delay rebuild the lines.
constexpr FieldInfo kFields[] = {
    {"ReverbMode", offsetof(ReverbParams, ReverbMode), FieldType::Int32, false, 0, 0, true},
    {"EarlyStyle", offsetof(ReverbParams, EarlyStyle), FieldType::Int32, false, 0, 0, true},
    {"DryOut", offsetof(ReverbParams, DryOut), FieldType::Int32, true, -800, 0, false},
    {"ReverbOut", offsetof(ReverbParams, ReverbOut), FieldType::Int32, true, -800, 0, false},
    {"EarlyOut", offsetof(ReverbParams, EarlyOut), FieldType::Int32, true, -800, 0, false},
    {"DecayTime", offsetof(ReverbParams, DecayTime), FieldType::Int32, true, 5, 50, false},
    {"PreDelay", offsetof(ReverbParams, PreDelay), FieldType::Int32, true, 0, 200, true},
    {"AttenuateBass", offsetof(ReverbParams, AttenuateBass), FieldType::Int32, true, 0, 1,
     false},
    {"AttenuateHighs", offsetof(ReverbParams, AttenuateHighs), FieldType::Int32, true, 0, 1,
     false},
    {"BassCutoff", offsetof(ReverbParams, BassCutoff), FieldType::Int32, true, 10, 5000, false},
    {"HighCutoff", offsetof(ReverbParams, HighCutoff), FieldType::Int32, true, 100, 15000,
     false},
};
constexpr ParamTable kTable = {kFields, sizeof kFields / sizeof kFields[0],
                               sizeof(ReverbParams)};

// DryOut, ReverbOut, EarlyOut, ReverbMode, EarlyStyle, DecayTime, PreDelay, AttenuateBass,
// BassCutoff, AttenuateHighs, HighCutoff.
constexpr PresetRow<ReverbParams> kPresetRows[] = {
    {1020, {0, -350, -200, 0, 3, 25, 30, 1, 20, 1, 12000}},   // (Default)
    {1021, {0, -350, -200, 0, 3, 25, 30, 1, 20, 1, 12000}},   // Default all parameters
    {1115, {0, -350, -200, 0, 3, 25, 30, 1, 20, 1, 12000}},   // Bright hall
    {1116, {0, -240, -200, 8, 5, 30, 70, 1, 20, 1, 7000}},    // Cathedral
    {1117, {0, -250, -200, 10, 1, 6, 1, 1, 20, 1, 5000}},     // Dense room
    {1118, {0, -350, -300, 4, 2, 25, 60, 1, 20, 1, 5000}},    // Long hall
    {1119, {0, -300, -300, 2, 1, 12, 5, 1, 20, 1, 5000}},     // Medium hall
    {1120, {0, -200, -800, 13, 0, 5, 1, 1, 20, 1, 5000}},     // Medium room
    {1121, {0, -160, -200, 18, 5, 25, 10, 1, 400, 1, 3000}},  // Metal tank
    {1122, {0, -350, -200, 16, 3, 20, 15, 1, 20, 0, 5000}},   // Plate
    {1123, {0, -160, -200, 18, 3, 20, 15, 1, 20, 1, 10000}},  // Sewer
    {1124, {0, -240, -200, 2, 1, 10, 10, 1, 20, 1, 8000}},    // Small hall
    {1125, {0, -418, -300, 4, 5, 50, 45, 1, 100, 1, 10000}},  // Very long hall
};
constexpr PresetTable kPresets(kPresetRows);

constexpr double kFourPi = 12.56637061436;
constexpr double kPi = 3.141592653589793;
constexpr double kBassBandwidth = 0.1;

// No line is longer than this many samples: it keeps every count and position in 32 bits
// (a longer one could not be allocated anyway).
constexpr double kMaxLineSamples = 4294967295.0;

int ClampIndex(std::int32_t v, int rows) {
  if (v < 0) return 0;
  if (v >= rows) return rows - 1;
  return static_cast<int>(v);
}

// A count of samples from a non-negative double already truncated; below 1 becomes 1 so
// that every line holds at least one sample. False when it cannot be a line's length.
bool SampleCount(double truncated, std::uint32_t* out) {
  if (!(truncated <= kMaxLineSamples)) return false;  // also refuses NaN
  *out = truncated < 1.0 ? 1u : static_cast<std::uint32_t>(truncated);
  return true;
}

}  // namespace

const EffectDescription kReverb = {
    "reverb",
    MW_FILTER_NAME("Reverb"),
    "MwReverb Property Page",
    ids::CLSID_MwReverb,
    ids::CLSID_MwReverbPage,
    {ids::IID_IReverbParams},
    kTable,
    kPresets,
    EffectKind::kInPlace,
    &NewEngine<ReverbEngine>,
    nullptr,
};

ReverbEngine::ReverbEngine() : EffectEngine(kTable, kBufferPolicy) {}

void ReverbEngine::ApplyLevels(const ReverbParams& p) {
  dry_ = LevelToGain(p.DryOut, kLevelFloor);
  reverb_ = LevelToGain(p.ReverbOut, kLevelFloor);
  // The early table's gains are whole percents: the level carries the 1/100.
  early_ = p.EarlyOut > kLevelFloor ? ExactPow(10.0, p.EarlyOut * 0.005) * 0.01 : 0.0;
}

// The tail length and every line's feedback gain, which falls by 60 dB over the decay.
void ReverbEngine::ApplyDecay(const ReverbParams& p) {
  const double decay = p.DecayTime * 0.1;
  const double seconds = std::trunc(decay);
  tailLength_ = seconds > 0.0 ? static_cast<std::int64_t>(seconds) *
                                    static_cast<std::int64_t>(builtRate_)
                              : 0;
  tailRemaining_ = tailLength_;
  for (Line& line : lines_) {
    if (line.buffer == nullptr) continue;
    line.gain = ExactPow(10.0, -3.0 * line.seconds / decay);
  }
}

void ReverbEngine::ApplyFilters(const ReverbParams& p) {
  const double rate = static_cast<double>(builtRate_);
  const bool highs = p.AttenuateHighs != 0 && static_cast<double>(p.HighCutoff) < rate;
  highCut_ = highs ? OnePole::At(kFourPi, p.HighCutoff, rate) : OnePole{};

  bass_.on = p.AttenuateBass != 0;
  if (bass_.on) {
    const double x = p.BassCutoff / rate;
    double f = x < 0.011337868480725623 ? 0.45454545454545453 * x : 0.30303030303030304 * x;
    if (f < 0.0004) f = 0.0004;
    if (f > 0.49) f = 0.49;
    const double r = ExactExp(-kPi * f / kBassBandwidth);
    bass_.c1 = 2.0 * r * ExactCos(2.0 * kPi * f);
    bass_.c2 = ExactExp(-2.0 * kPi * f / kBassBandwidth);
    bass_.g = 1.0 - bass_.c1 + bass_.c2;
    bass_.s1 = 0.0;
    bass_.s2 = 0.0;
  }
}

void ReverbEngine::ReleaseLines() {
  memory_.reset();
  memoryCapacity_ = 0;
  memorySamples_ = 0;
  for (Line& line : lines_) line = Line{};
  preLine_ = nullptr;
  earlyLine_ = nullptr;
  lineCount_ = 0;
  valid_ = false;
}

std::size_t ReverbEngine::LargestSampleCount() const {
  // Build's total for the mode with the longest lines, the style with the longest taps and
  // the longest pre-delay, each count taken one sample longer than its rounding can make it.
  const std::uint32_t channels = format_->nChannels;
  const double ms = static_cast<double>(format_->nSamplesPerSec) * 0.001;
  double lines = 0.0;
  for (const ReverbModeRow& row : kReverbModes) {
    double t = 0.0;
    for (int i = 0; i < row.lines; ++i) t += row.ms[i] * ms + 1.0;
    if (channels == 2) {
      t += row.ms[0] * kReverbExtraLeftFactor * ms + row.ms[1] * kReverbExtraRightFactor * ms;
      t += 2.0;
    }
    if (t > lines) lines = t;
  }
  double early = 0.0;
  for (const ReverbStyleRow& style : kReverbStyles) {
    for (int k = 0; k < 3; ++k) {
      const double t = (style.ms[k] + kReverbTapOffsetMs[k]) * ms + 1.0;
      if (t > early) early = t;
    }
  }
  const FieldInfo& preDelay = kTable.fields[kTable.Find("PreDelay")];
  const double pre = static_cast<double>(preDelay.max) * ms + 1.0;
  const double total = lines + channels * (pre + early) + 1.0;
  return total < static_cast<double>(SIZE_MAX / sizeof(double))
             ? static_cast<std::size_t>(total)
             : 0;
}

HResult ReverbEngine::Initialize(const ReverbParams& p) {
  const HResult hr = Build(p);
  if (Failed(hr)) ReleaseLines();
  return hr;
}

HResult ReverbEngine::Build(const ReverbParams& p) {
  valid_ = false;
  if (!HasUsableFormat()) {
    return E_UNEXPECTED;
  }
  const std::uint32_t channels = format_->nChannels;
  const std::uint32_t rateCount = format_->nSamplesPerSec;
  const double rate = static_cast<double>(rateCount);
  const double ms = rate * 0.001;

  mode_ = ClampIndex(p.ReverbMode, kModeRows);
  style_ = ClampIndex(p.EarlyStyle, kStyleRows);
  const ReverbModeRow& row = kReverbModes[mode_];
  const ReverbStyleRow& style = kReverbStyles[style_];

  // Line lengths: the mode's lines, then in stereo the two extra lines.
  Line lines[kMaxLines];
  std::uint64_t total = 0;  // samples of every line together
  auto plan = [&](Line& line, double delayMs) {
    line.seconds = delayMs * 0.001;
    if (!SampleCount(std::trunc(rate * line.seconds + 0.5), &line.length)) return false;
    total += line.length;
    return true;
  };
  const int n = row.lines;
  if (n < 8 || n > 10) return E_UNEXPECTED;  // the frame loops take eight to ten lines
  for (int i = 0; i < n; ++i) {
    if (!plan(lines[i], row.ms[i])) return E_OUTOFMEMORY;
  }
  if (channels == 2) {
    if (!plan(lines[kExtraLeft], row.ms[0] * kReverbExtraLeftFactor)) return E_OUTOFMEMORY;
    if (!plan(lines[kExtraRight], row.ms[1] * kReverbExtraRightFactor)) return E_OUTOFMEMORY;
  }

  // Pre-delay: at least one sample, which is no delay at all.
  std::uint32_t preLength;
  if (!SampleCount(std::trunc(p.PreDelay * ms), &preLength)) return E_OUTOFMEMORY;

  // Early taps, ordered so that the last is the longest.
  Tap taps[3];
  for (int k = 0; k < 3; ++k) {
    if (!SampleCount(std::trunc((style.ms[k] + kReverbTapOffsetMs[k]) * ms), &taps[k].delay)) {
      return E_OUTOFMEMORY;
    }
    const double g = style.gain[k];
    if (channels == 1) {
      taps[k].left = g;
      taps[k].right = 0.0;
    } else {
      const double x = (style.pan[k] + 100) * 0.005;
      taps[k].left = (1.0 - x) * g;
      taps[k].right = x * g;
    }
  }
  if (taps[0].delay > taps[1].delay) std::swap(taps[0], taps[1]);
  if (taps[1].delay > taps[2].delay) std::swap(taps[1], taps[2]);
  const std::uint32_t earlyLength = taps[2].delay;

  total += std::uint64_t{preLength} * channels;
  total += std::uint64_t{earlyLength} * channels;
  if (total > SIZE_MAX / sizeof(double)) return E_OUTOFMEMORY;

  // New, silent lines: a block of the same size is cleared rather than allocated again, so
  // that a discontinuity costs no allocation.
  if (memory_ != nullptr && memorySamples_ == total) {
    std::memset(memory_.get(), 0, static_cast<std::size_t>(total) * sizeof(double));
  } else {
    if (!FreshSamples(memory_, memoryCapacity_, static_cast<std::size_t>(total),
                      SampleReserve())) {
      memorySamples_ = 0;
      return E_OUTOFMEMORY;
    }
    memorySamples_ = total;
  }

  double* next = memory_.get();
  for (Line& line : lines_) line = Line{};
  preLine_ = nullptr;
  earlyLine_ = nullptr;
  for (int i = 0; i < kMaxLines; ++i) {
    if (lines[i].length == 0) continue;
    lines_[i] = lines[i];
    lines_[i].buffer = next;
    next += lines[i].length;
  }
  lineCount_ = n;
  preLength_ = preLength;
  prePosition_ = 0;
  earlyLength_ = earlyLength;
  earlyWrite_ = 0;
  preLine_ = next;
  next += std::size_t{preLength} * channels;
  earlyLine_ = next;
  for (int k = 0; k < 3; ++k) taps_[k] = taps[k];
  // Each shorter tap reads its delay behind the write position.
  for (int k = 0; k < 2; ++k) earlyRead_[k] = (earlyLength - taps[k].delay) % earlyLength;

  builtMode_ = p.ReverbMode;
  builtStyle_ = p.EarlyStyle;
  builtPreDelay_ = p.PreDelay;
  builtChannels_ = channels;
  builtRate_ = rateCount;

  ApplyLevels(p);
  ApplyDecay(p);
  inputState_ = 0.0;
  bass_.s1 = 0.0;
  bass_.s2 = 0.0;
  ApplyFilters(p);

  ArmCountDown();
  valid_ = true;
  return S_OK;
}

HResult ReverbEngine::Apply(const ReverbParams& p) {
  const bool reinit = params_.TakeReinit();
  const bool rebuild = reinit || memory_ == nullptr || format_ == nullptr ||
                       p.ReverbMode != builtMode_ || p.EarlyStyle != builtStyle_ ||
                       p.PreDelay != builtPreDelay_ || format_->nChannels != builtChannels_ ||
                       format_->nSamplesPerSec != builtRate_;
  if (rebuild) return Initialize(p);

  // Partial update: nothing allocated, the lines and their states kept.
  ApplyLevels(p);
  ApplyFilters(p);
  ApplyDecay(p);
  valid_ = true;
  return S_OK;
}

HResult ReverbEngine::ApplySnapshot(bool keep) {
  if (keep) return Apply(taken_);
  params_.TakeReinit();
  return Initialize(taken_);
}

HResult ReverbEngine::Free() {
  ReleaseLines();
  return S_OK;
}

}  // namespace mw
