#include "core/effects/reverb/reverb.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/dsp/exact_math.h"
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

// The modes: a line count and the comb delays in milliseconds (only the first N are read).
struct ModeRow {
  int lines;
  double ms[ReverbEngine::kModeLineSlots];
};
constexpr ModeRow kModes[ReverbEngine::kModeRows] = {
    {10, {23.583, 47.049, 25.481, 27.493, 29.67, 34.518, 32.056, 37.317, 40.358, 19.941}},
    {8, {23.161, 18.481, 20.611, 16.035, 26.45, 29.281, 12.957, 33.46}},
    {10, {53.703, 67.624, 41.051, 72.937, 84.262, 49.613, 45.85, 57.837, 62.5, 78.724}},
    {10, {13.453, 24.966, 28.415, 12.028, 15.817, 17.836, 10.72, 19.719, 9.439, 22.011}},
    {10, {54.208, 28.707, 21.029, 49.33, 44.418, 35.918, 12.332, 66.457, 40.313, 60.051}},
    {10, {70.539, 46.457, 52.802, 39.727, 76.939, 58.518, 64.33, 31.62, 90.769, 83.537}},
    // Line 6 of this mode really is close to four seconds long.
    {10, {46.463, 89.887, 53.024, 58.824, 83.067, 70.527, 3901.707, 76.433, 64.719, 31.627}},
    {9, {25.037, 34.831, 29.502, 37.527, 32.139, 22.731, 40.532, 43.812, 47.07}},
    {10, {32.963, 35.329, 44.227, 38.224, 62.813, 30.368, 41.467, 47.525, 51.611, 56.539}},
    {10, {13.407, 24.354, 11.88, 10.291, 4.527, 15.213, 20.313, 8.519, 17.221, 6.513}},
    {10, {31.71, 21.921, 5.019, 27.327, 11.403, 16.029, 6.604, 9.733, 8.169, 13.309}},
    {10, {13.319, 20.32, 12.034, 10.609, 4.697, 14.75, 17.036, 9.106, 6.564, 7.949}},
    {10, {21.096, 66.413, 28.715, 49.337, 44.433, 35.993, 12.339, 40.301, 54.257, 60.013}},
    {10, {41.005, 45.815, 49.637, 53.795, 57.812, 62.504, 67.637, 72.921, 78.721, 84.212}},
    {10, {37.051, 45.853, 62.817, 53.717, 57.815, 17.296, 67.611, 72.953, 78.716, 84.214}},
    {9, {50.139, 62.811, 53.916, 25.834, 17.235, 67.81, 73.626, 93.927, 84.219}},
    {9, {31.737, 15.013, 11.528, 36.037, 19.131, 5.439, 9.41, 26.433, 7.437}},
    {10, {3.101, 18.37, 12.86, 11.063, 5.027, 15.513, 6.544, 9.539, 21.734, 7.924}},
    {10, {29.809, 12.764, 49.653, 20.817, 25.333, 43.015, 15.957, 4.613, 9.111, 36.519}},
};

// The early-reflection styles: three taps with times (ms), whole-number gains (percent)
// and pans (-100 left .. 100 right).
struct StyleRow {
  double ms[3];
  int gain[3];
  int pan[3];
};
constexpr StyleRow kStyles[ReverbEngine::kStyleRows] = {
    {{6.113, 17.041, 29.231}, {46, -60, 21}, {-72, 71, -6}},
    {{8.213, 20.043, 53.213}, {56, -60, 18}, {70, -70, 16}},
    {{11.057, 17.049, 29.455}, {-47, 60, 28}, {-76, 100, 35}},
    {{16.011, 30.058, 55.013}, {79, -80, 40}, {64, -100, -26}},
    {{20.013, 29.021, 49.014}, {100, -50, 40}, {25, -29, -25}},
    {{36.501, 47.132, 62.022}, {100, -50, 40}, {25, -29, -25}},
    {{8.213, 20.043, 53.213}, {56, -60, 18}, {50, 70, 26}},
    {{8.213, 20.043, 53.213}, {56, -60, 18}, {-50, -70, -26}},
    {{16.011, 30.058, 55.013}, {79, -80, 40}, {80, 90, 25}},
    {{16.011, 30.058, 55.013}, {79, -80, 40}, {-80, -90, -25}},
};
// What each tap time is lengthened by before it becomes a count of samples.
constexpr double kTapOffsetMs[3] = {0.051, 0.151, 0.078};

// The stereo extra lines: line 0's delay and line 1's, stretched.
constexpr double kExtraLeftFactor = 0.93;
constexpr double kExtraRightFactor = 1.06;

// Filter states smaller than this are set to zero, to keep the feedback paths out of
// subnormal numbers.
constexpr double kFlush = 2.3283064365386963e-10;  // 2^-32
static_assert(kFlush * 4294967296.0 == 1.0, "the flush threshold is 2^-32");

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

const EffectInfo kReverbInfo = {
    "reverb",
    "Marrowind Reverb",
    {0x2A93F640, 0x7C58, 0x11D0, {0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F}},
    {0x2A93F641, 0x7C58, 0x11D0, {0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F}},
    {{0x2A93F643, 0x7C58, 0x11D0, {0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F}}},
    kTable,
    kPresets,
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
  if (p.AttenuateHighs != 0 && static_cast<double>(p.HighCutoff) < rate) {
    a_ = ExactExp(-kFourPi * p.HighCutoff / rate);
    oneMinusA_ = 1.0 - a_;
  } else {
    a_ = 0.0;
    oneMinusA_ = 1.0;
  }

  bass_ = p.AttenuateBass != 0;
  if (bass_) {
    const double x = p.BassCutoff / rate;
    double f = x < 0.011337868480725623 ? 0.45454545454545453 * x : 0.30303030303030304 * x;
    if (f < 0.0004) f = 0.0004;
    if (f > 0.49) f = 0.49;
    const double r = ExactExp(-kPi * f / kBassBandwidth);
    c1_ = 2.0 * r * ExactCos(2.0 * kPi * f);
    c2_ = ExactExp(-2.0 * kPi * f / kBassBandwidth);
    g_ = 1.0 - c1_ + c2_;
    bassS1_ = 0.0;
    bassS2_ = 0.0;
  }
}

void ReverbEngine::ReleaseLines() {
  memory_.reset();
  memorySamples_ = 0;
  for (Line& line : lines_) line = Line{};
  pre_[0] = pre_[1] = nullptr;
  earlyLine_[0] = earlyLine_[1] = nullptr;
  lineCount_ = 0;
  valid_ = false;
}

HResult ReverbEngine::Initialize(const ReverbParams& p) {
  const HResult hr = Build(p);
  if (Failed(hr)) ReleaseLines();
  return hr;
}

HResult ReverbEngine::Build(const ReverbParams& p) {
  valid_ = false;
  if (format_ == nullptr || format_->nChannels < 1 || format_->nChannels > 2) {
    return E_UNEXPECTED;
  }
  const std::uint32_t channels = format_->nChannels;
  const std::uint32_t rateCount = format_->nSamplesPerSec;
  const double rate = static_cast<double>(rateCount);
  const double ms = rate * 0.001;

  mode_ = ClampIndex(p.ReverbMode, kModeRows);
  style_ = ClampIndex(p.EarlyStyle, kStyleRows);
  const ModeRow& row = kModes[mode_];
  const StyleRow& style = kStyles[style_];

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
  for (int i = 0; i < n; ++i) {
    if (!plan(lines[i], row.ms[i])) return E_OUTOFMEMORY;
  }
  if (channels == 2) {
    if (!plan(lines[kExtraLeft], row.ms[0] * kExtraLeftFactor)) return E_OUTOFMEMORY;
    if (!plan(lines[kExtraRight], row.ms[1] * kExtraRightFactor)) return E_OUTOFMEMORY;
  }

  // Pre-delay: at least one sample, which is no delay at all.
  std::uint32_t preLength;
  if (!SampleCount(std::trunc(p.PreDelay * ms), &preLength)) return E_OUTOFMEMORY;

  // Early taps, ordered so that the last is the longest.
  Tap taps[3];
  for (int k = 0; k < 3; ++k) {
    if (!SampleCount(std::trunc((style.ms[k] + kTapOffsetMs[k]) * ms), &taps[k].delay)) {
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
    memory_.reset();
    memory_.reset(AllocateSamples(static_cast<std::size_t>(total)));
    if (memory_ == nullptr) return E_OUTOFMEMORY;
    memorySamples_ = total;
  }

  double* next = memory_.get();
  for (Line& line : lines_) line = Line{};
  pre_[0] = pre_[1] = nullptr;
  earlyLine_[0] = earlyLine_[1] = nullptr;
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
  for (std::uint32_t c = 0; c < channels; ++c) {
    pre_[c] = next;
    next += preLength;
    earlyLine_[c] = next;
    next += earlyLength;
  }
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
  bassS1_ = 0.0;
  bassS2_ = 0.0;
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

// One mono sample after another: input filters, comb bank, pre-delay, early reflections.
template <class Codec, bool kReadInput>
void ReverbEngine::RunMono(typename Codec::Stored* buffer, std::uint32_t frames) {
  const double a = a_, oneMinusA = oneMinusA_;
  const bool bass = bass_;
  const double c1 = c1_, c2 = c2_, g = g_;
  const double dry = dry_, wet = reverb_, early = early_;
  const int n = lineCount_;
  Line* const lines = lines_;
  double hs = inputState_, s1 = bassS1_, s2 = bassS2_;

  double* const pre = pre_[0];
  const std::uint32_t preLength = preLength_;
  std::uint32_t prePos = prePosition_;

  double* const er = earlyLine_[0];
  const std::uint32_t erLength = earlyLength_;
  std::uint32_t w = earlyWrite_, r1 = earlyRead_[0], r2 = earlyRead_[1];
  const double g1 = taps_[0].left, g2 = taps_[1].left, g3 = taps_[2].left;

  for (std::uint32_t i = 0; i < frames; ++i) {
    const double u = kReadInput ? Codec::Decode(buffer[i]) : 0.0;

    double h = oneMinusA * u + a * hs;
    if (std::fabs(h) < kFlush) h = 0.0;
    hs = h;
    if (bass) {
      double y = g * h + c1 * s1 - c2 * s2;
      if (std::fabs(y) < kFlush) y = 0.0;
      s2 = s1;
      s1 = y;
      h = h - y;
    }

    double sum = 0.0;
    for (int k = 0; k < n; ++k) {
      Line& line = lines[k];
      double* const slot = line.buffer + line.position;
      const double y = *slot;
      sum += y;
      line.state = oneMinusA * y + a * line.state;
      *slot = (line.state + h) * line.gain;
      if (++line.position == line.length) line.position = 0;
    }

    pre[prePos] = sum;
    if (++prePos == preLength) prePos = 0;
    const double rv = pre[prePos];

    const double e = (er[r1] * g1 + er[r2] * g2 + er[w] * g3) * early;
    er[w] = u;
    if (++w == erLength) w = 0;
    if (++r1 == erLength) r1 = 0;
    if (++r2 == erLength) r2 = 0;

    buffer[i] = Codec::Encode(e + rv * wet + u * dry);
  }

  inputState_ = hs;
  bassS1_ = s1;
  bassS2_ = s2;
  prePosition_ = prePos;
  earlyWrite_ = w;
  earlyRead_[0] = r1;
  earlyRead_[1] = r2;
}

namespace {

// One comb line's step; the stereo chain flushes the states of the lines that feed only
// one side.
template <bool kFlushState>
inline double CombStep(double* buffer, std::uint32_t length, std::uint32_t& position,
                       double gain, double& state, double h, double a, double oneMinusA) {
  double* const slot = buffer + position;
  const double y = *slot;
  double s = oneMinusA * y + a * state;
  if (kFlushState && std::fabs(s) < kFlush) s = 0.0;
  state = s;
  *slot = (s + h) * gain;
  if (++position == length) position = 0;
  return y;
}

}  // namespace

// Stereo frames: one comb bank fed with the mid signal; lines 0 and 1 add to the left sum
// only, the two extra lines to the right; the early taps read both channels' lines.
template <class Codec, bool kReadInput>
void ReverbEngine::RunStereo(typename Codec::Stored* buffer, std::uint32_t frames) {
  const double a = a_, oneMinusA = oneMinusA_;
  const bool bass = bass_;
  const double c1 = c1_, c2 = c2_, g = g_;
  const double dry = dry_, wet = reverb_, early = early_;
  const int n = lineCount_;
  Line* const lines = lines_;
  Line& l0 = lines_[0];
  Line& l1 = lines_[1];
  Line& xl = lines_[kExtraLeft];
  Line& xr = lines_[kExtraRight];
  double hs = inputState_, s1 = bassS1_, s2 = bassS2_;

  double* const preL = pre_[0];
  double* const preR = pre_[1];
  const std::uint32_t preLength = preLength_;
  std::uint32_t prePos = prePosition_;

  double* const erL = earlyLine_[0];
  double* const erR = earlyLine_[1];
  const std::uint32_t erLength = earlyLength_;
  std::uint32_t w = earlyWrite_, r1 = earlyRead_[0], r2 = earlyRead_[1];
  const double gL1 = taps_[0].left, gL2 = taps_[1].left, gL3 = taps_[2].left;
  const double gR1 = taps_[0].right, gR2 = taps_[1].right, gR3 = taps_[2].right;

  for (std::uint32_t i = 0; i < frames; ++i) {
    typename Codec::Stored* const frame = buffer + 2 * i;
    const double uL = kReadInput ? Codec::Decode(frame[0]) : 0.0;
    const double uR = kReadInput ? Codec::Decode(frame[1]) : 0.0;

    double h = oneMinusA * (uL + uR) * 0.5 + a * hs;
    if (std::fabs(h) < kFlush) h = 0.0;
    hs = h;
    if (bass) {
      double y = g * h + c1 * s1 - c2 * s2;
      if (std::fabs(y) < kFlush) y = 0.0;
      s2 = s1;
      s1 = y;
      h = h - y;
    }

    double shared = 0.0;
    for (int k = 2; k < n; ++k) {
      Line& line = lines[k];
      shared += CombStep<false>(line.buffer, line.length, line.position, line.gain,
                                line.state, h, a, oneMinusA);
    }
    double left = shared;
    left += CombStep<true>(l0.buffer, l0.length, l0.position, l0.gain, l0.state, h, a,
                           oneMinusA);
    left += CombStep<true>(l1.buffer, l1.length, l1.position, l1.gain, l1.state, h, a,
                           oneMinusA);
    double right = shared;
    right += CombStep<true>(xl.buffer, xl.length, xl.position, xl.gain, xl.state, h, a,
                            oneMinusA);
    right += CombStep<true>(xr.buffer, xr.length, xr.position, xr.gain, xr.state, h, a,
                            oneMinusA);

    preL[prePos] = left;
    preR[prePos] = right;
    if (++prePos == preLength) prePos = 0;
    const double rL = preL[prePos];
    const double rR = preR[prePos];

    const double v1 = erL[r1] + erR[r1];
    const double v2 = erL[r2] + erR[r2];
    const double v3 = erL[w] + erR[w];
    const double eL = gL1 * v1 * early + gL2 * v2 * early + gL3 * v3 * early;
    const double eR = gR1 * v1 * early + gR2 * v2 * early + gR3 * v3 * early;
    erL[w] = uL;
    erR[w] = uR;
    if (++w == erLength) w = 0;
    if (++r1 == erLength) r1 = 0;
    if (++r2 == erLength) r2 = 0;

    frame[0] = Codec::Encode(eL + rL * wet + uL * dry);
    frame[1] = Codec::Encode(eR + rR * wet + uR * dry);
  }

  inputState_ = hs;
  bassS1_ = s1;
  bassS2_ = s2;
  prePosition_ = prePos;
  earlyWrite_ = w;
  earlyRead_[0] = r1;
  earlyRead_[1] = r2;
}

template <class Codec>
HResult ReverbEngine::Loop(int mode, typename Codec::Stored* buffer, std::uint32_t* frames,
                           bool limited) {
  const LoopStart start =
      BeginLoop(mode, buffer, frames, limited, Codec::kFormat == SampleFormat::Float32);
  if (!start.run) return start.result;
  const std::uint32_t channels = format_->nChannels;
  bool finished = false;
  const std::uint32_t count =
      mode == kModeTail ? TakeTail(start.count, tailRemaining_, &finished) : start.count;
  *frames = count;

  // The 8-bit tail feeds exact silence without reading the buffer.
  const bool read = !(Codec::kFormat == SampleFormat::Pcm8 && mode == kModeTail);
  if (channels == 1) {
    if (read) {
      RunMono<Codec, true>(buffer, count);
    } else {
      RunMono<Codec, false>(buffer, count);
    }
  } else {
    if (read) {
      RunStereo<Codec, true>(buffer, count);
    } else {
      RunStereo<Codec, false>(buffer, count);
    }
  }
  return finished ? kTailFinished : S_OK;
}

MW_DEFINE_FORMAT_LOOPS(ReverbEngine)

}  // namespace mw
