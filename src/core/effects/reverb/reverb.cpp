#include "core/effects/reverb/reverb.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/dsp/delay_line.h"
#include "core/dsp/exact_math.h"
#include "core/dsp/lanes.h"
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

// Filter states smaller than this are flushed to zero.
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

// What a run of frames keeps in locals: the coefficients, the input filters' states and the
// pre-delay and early-reflection positions. Loaded from the engine, stored back by Store.
struct ReverbEngine::Run {
  explicit Run(ReverbEngine& e)
      : engine(e),
        highCut(e.highCut_),
        bass(e.bass_),
        dry(e.dry_),
        wet(e.reverb_),
        early(e.early_),
        lineCount(e.lineCount_),
        lines(e.lines_),
        hs(e.inputState_),
        preLength(e.preLength_),
        prePos(e.prePosition_),
        erLength(e.earlyLength_),
        w(e.earlyWrite_),
        r1(e.earlyRead_[0]),
        r2(e.earlyRead_[1]) {}

  void Store() {
    engine.inputState_ = hs;
    engine.bass_.s1 = bass.s1;
    engine.bass_.s2 = bass.s2;
    engine.prePosition_ = prePos;
    engine.earlyWrite_ = w;
    engine.earlyRead_[0] = r1;
    engine.earlyRead_[1] = r2;
  }

  // The input stage after its high-cut: flushed and kept as the high-cut state, then
  // bass-cut (the input minus its resonant low-pass) when that is on.
  double Input(double filtered) {
    double h = FlushBelow(filtered, kFlush);
    hs = h;
    if (bass.on) {
      const double y = FlushBelow(bass.g * h + bass.c1 * bass.s1 - bass.c2 * bass.s2, kFlush);
      bass.s2 = bass.s1;
      bass.s1 = y;
      h = h - y;
    }
    return h;
  }

  // G comb lines over `count` frames of filtered input h, Lanes<V>::kCount lines a step
  // in the lanes of V (double, or two lines in F64x2 or in PlainPair, its plain twin). Each
  // line runs its frames in order, as it would frame by frame (the lines never feed one
  // another), while its coefficients, state and position stay in registers; lines
  // [0, kSplit) add what they held to `first`, the others to `second`, each frame's sum
  // receiving the lines in the order given after what it already holds. The stereo chain
  // flushes the states of the lines that feed only one side.
  template <class V, int G, int kSplit, bool kFlushState>
  static void Combs(Line* const* group, OnePole highCut, const double* h, double* first,
                    double* second, std::uint32_t count) {
    using L = Lanes<V>;
    constexpr int kWidth = L::kCount;
    constexpr int kSteps = G / kWidth;
    static_assert(kSteps * kWidth == G && kSplit % kWidth == 0, "whole steps only");
    V state[kSteps], gain[kSteps];
    double* at[G];
    double lanes[G];
    for (int g = 0; g < G; ++g) lanes[g] = group[g]->state;
    for (int q = 0; q < kSteps; ++q) state[q] = L::Load(lanes + q * kWidth);
    for (int g = 0; g < G; ++g) lanes[g] = group[g]->gain;
    for (int q = 0; q < kSteps; ++q) gain[q] = L::Load(lanes + q * kWidth);
    for (std::uint32_t done = 0; done < count;) {
      // Up to the first line's wrap: a run over which every position only moves up.
      std::uint32_t run = count - done;
      for (int g = 0; g < G; ++g) {
        const std::uint32_t room = group[g]->length - group[g]->position;
        if (room < run) run = room;
        at[g] = group[g]->buffer + group[g]->position;
      }
      const double* const in = h + done;
      double* const out1 = first + done;
      double* const out2 = second + done;
      for (std::uint32_t j = 0; j < run; ++j) {
        const double x = in[j];
        double sum1 = out1[j];
        double sum2 = kSplit < G ? out2[j] : 0.0;
#pragma GCC unroll 8
        for (int q = 0; q < kSteps; ++q) {
          double y[kWidth];
#pragma GCC unroll 2
          for (int l = 0; l < kWidth; ++l) {
            y[l] = at[q * kWidth + l][j];
            if (q * kWidth < kSplit) {
              sum1 += y[l];
            } else {
              sum2 += y[l];
            }
          }
          V s = highCut.oneMinusA * L::Load(y) + highCut.a * state[q];
          if (kFlushState) s = FlushLanes(s, kFlush);
          state[q] = s;
          double o[kWidth];
          L::Store(o, (s + x) * gain[q]);
#pragma GCC unroll 2
          for (int l = 0; l < kWidth; ++l) at[q * kWidth + l][j] = o[l];
        }
        out1[j] = sum1;
        if (kSplit < G) out2[j] = sum2;
      }
      for (int g = 0; g < G; ++g) {
        group[g]->position += run;
        if (group[g]->position == group[g]->length) group[g]->position = 0;
      }
      done += run;
    }
    for (int q = 0; q < kSteps; ++q) L::Store(lanes + q * kWidth, state[q]);
    for (int g = 0; g < G; ++g) group[g]->state = lanes[g];
  }

  // Lines [first, first + n) of the bank, unflushed, into `sums`: pairs of lines in the
  // lanes of P, in groups of at most four pairs, as even as they come (so that every group
  // keeps several lines busy), and a last odd line on its own.
  template <class P>
  static void Bank(Line* lines, OnePole highCut, int first, int n, const double* h,
                   double* sums, std::uint32_t count) {
    Line* group[8];
    int pairs = n / 2;
    for (int left = (pairs + 3) / 4; left > 0; --left) {
      const int g = (pairs + left - 1) / left;
      for (int k = 0; k < 2 * g; ++k) group[k] = &lines[first + k];
      switch (g) {
        case 1: Combs<P, 2, 2, false>(group, highCut, h, sums, sums, count); break;
        case 2: Combs<P, 4, 4, false>(group, highCut, h, sums, sums, count); break;
        case 3: Combs<P, 6, 6, false>(group, highCut, h, sums, sums, count); break;
        default: Combs<P, 8, 8, false>(group, highCut, h, sums, sums, count); break;
      }
      first += 2 * g;
      pairs -= g;
    }
    if (n % 2 != 0) {
      group[0] = &lines[first];
      Combs<double, 1, 1, false>(group, highCut, h, sums, sums, count);
    }
  }

  // The three positions of the early-reflection lines move together.
  void AdvanceEarly() {
    StepUp(w, erLength);
    StepUp(r1, erLength);
    StepUp(r2, erLength);
  }

  ReverbEngine& engine;
  const OnePole highCut;
  BassCut bass;
  const double dry, wet, early;
  const int lineCount;
  Line* const lines;
  double hs;
  const std::uint32_t preLength;
  std::uint32_t prePos;
  const std::uint32_t erLength;
  std::uint32_t w, r1, r2;  // the early write position and the two shorter taps' reads
};

// Frames are taken a block at a time: the comb bank line by line over the block, then the
// pre-delay and early reflections frame by frame, and beside them the input filters for
// the next block's frames (their states depend on nothing else, and running them there
// keeps their chain of dependent steps from stalling the processor). Every value is
// computed as frame by frame, in the same order.
constexpr std::uint32_t kBlock = 256;

inline std::uint32_t BlockAt(std::uint32_t start, std::uint32_t frames) {
  return start >= frames ? 0 : frames - start < kBlock ? frames - start : kBlock;
}

// Mono: the filtered input feeds every line; the sum of all lines enters the pre-delay.
// The comb bank runs two lines at a time in the lanes of P (F64x2, or PlainPair, its plain
// twin).
template <class Codec, class P, bool kReadInput>
void ReverbEngine::RunMono(typename Codec::Stored* buffer, std::uint32_t frames) {
  Run r(*this);
  double* const pre = pre_[0];
  double* const er = earlyLine_[0];
  const double g1 = taps_[0].left, g2 = taps_[1].left, g3 = taps_[2].left;
  double filtered[2][kBlock], sums[kBlock];
  const auto input = [&](const typename Codec::Stored* block, std::uint32_t i) {
    const double u = kReadInput ? Codec::Decode(block[i]) : 0.0;
    return r.Input(r.highCut.Step(u, r.hs));
  };

  double* h = filtered[0];
  double* next = filtered[1];
  for (std::uint32_t i = 0, n = BlockAt(0, frames); i < n; ++i) h[i] = input(buffer, i);
  for (std::uint32_t start = 0; start < frames; start += kBlock) {
    const std::uint32_t count = BlockAt(start, frames);
    const std::uint32_t nextCount = BlockAt(start + kBlock, frames);  // at most count
    typename Codec::Stored* const block = buffer + start;
    std::fill(sums, sums + count, 0.0);
    Run::Bank<P>(lines_, r.highCut, 0, r.lineCount, h, sums, count);

    for (std::uint32_t i = 0; i < count; ++i) {
      if (i < nextCount) next[i] = input(block + kBlock, i);
      const double u = kReadInput ? Codec::Decode(block[i]) : 0.0;
      pre[r.prePos] = sums[i];
      StepUp(r.prePos, r.preLength);
      const double rv = pre[r.prePos];

      const double e = (er[r.r1] * g1 + er[r.r2] * g2 + er[r.w] * g3) * r.early;
      er[r.w] = u;
      r.AdvanceEarly();

      block[i] = Codec::Encode(e + rv * r.wet + u * r.dry);
    }
    std::swap(h, next);
  }
  r.Store();
}

// Stereo frames: one comb bank fed with the mid signal; lines 0 and 1 add to the left sum
// only, the two extra lines to the right; the early taps read both channels' lines. The
// output stage takes a frame's two channels in the lanes of a pair P (F64x2, or PlainPair,
// its plain twin).
template <class Codec, class P, bool kReadInput>
void ReverbEngine::RunStereo(typename Codec::Stored* buffer, std::uint32_t frames) {
  Run r(*this);
  Line* const sides[4] = {&lines_[0], &lines_[1], &lines_[kExtraLeft], &lines_[kExtraRight]};
  double* const preL = pre_[0];
  double* const preR = pre_[1];
  double* const erL = earlyLine_[0];
  double* const erR = earlyLine_[1];
  // The early taps' gains, left and right in the lanes of a pair.
  using Pairs = FrameCodec<Codec, P>;
  const P tap1 = MakePair<P>(taps_[0].left, taps_[0].right);
  const P tap2 = MakePair<P>(taps_[1].left, taps_[1].right);
  const P tap3 = MakePair<P>(taps_[2].left, taps_[2].right);
  const double early = r.early;
  double filtered[2][kBlock], left[kBlock], right[kBlock];
  const auto input = [&](const typename Codec::Stored* frame) {
    const double uL = kReadInput ? Codec::Decode(frame[0]) : 0.0;
    const double uR = kReadInput ? Codec::Decode(frame[1]) : 0.0;
    return r.Input(r.highCut.oneMinusA * (uL + uR) * 0.5 + r.highCut.a * r.hs);
  };

  double* h = filtered[0];
  double* next = filtered[1];
  for (std::uint32_t i = 0, n = BlockAt(0, frames); i < n; ++i) h[i] = input(buffer + 2 * i);
  for (std::uint32_t start = 0; start < frames; start += kBlock) {
    const std::uint32_t count = BlockAt(start, frames);
    const std::uint32_t nextCount = BlockAt(start + kBlock, frames);  // at most count
    typename Codec::Stored* const block = buffer + 2 * start;
    // The shared lines' sum starts both sides' sums.
    std::fill(left, left + count, 0.0);
    Run::Bank<P>(lines_, r.highCut, 2, r.lineCount - 2, h, left, count);
    std::memcpy(right, left, count * sizeof(double));
    Run::Combs<P, 4, 2, true>(sides, r.highCut, h, left, right, count);

    for (std::uint32_t i = 0; i < count; ++i) {
      typename Codec::Stored* const frame = block + 2 * i;
      if (i < nextCount) next[i] = input(frame + 2 * kBlock);
      const P u = kReadInput ? Pairs::Decode(frame) : MakePair<P>(0.0, 0.0);
      preL[r.prePos] = left[i];
      preR[r.prePos] = right[i];
      StepUp(r.prePos, r.preLength);
      const P rv = MakePair<P>(preL[r.prePos], preR[r.prePos]);

      const double v1 = erL[r.r1] + erR[r.r1];
      const double v2 = erL[r.r2] + erR[r.r2];
      const double v3 = erL[r.w] + erR[r.w];
      const P e = tap1 * v1 * early + tap2 * v2 * early + tap3 * v3 * early;
      erL[r.w] = u[0];
      erR[r.w] = u[1];
      r.AdvanceEarly();

      Pairs::Encode(frame, e + rv * r.wet + u * r.dry);
    }
    std::swap(h, next);
  }
  r.Store();
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
  const bool plain = PlainKernels();
  if (channels == 1) {
    if (read) {
      plain ? RunMono<Codec, PlainPair, true>(buffer, count)
            : RunMono<Codec, F64x2, true>(buffer, count);
    } else {
      plain ? RunMono<Codec, PlainPair, false>(buffer, count)
            : RunMono<Codec, F64x2, false>(buffer, count);
    }
  } else {
    if (read) {
      plain ? RunStereo<Codec, PlainPair, true>(buffer, count)
            : RunStereo<Codec, F64x2, true>(buffer, count);
    } else {
      plain ? RunStereo<Codec, PlainPair, false>(buffer, count)
            : RunStereo<Codec, F64x2, false>(buffer, count);
    }
  }
  return finished ? kTailFinished : S_OK;
}

MW_DEFINE_FORMAT_LOOPS(ReverbEngine)

}  // namespace mw
