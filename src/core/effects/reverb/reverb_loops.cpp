// The Reverb's frame loops: the input filters, the comb bank a block of frames at a time,
// the pre-delay and the early reflections.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/dsp/delay_line.h"
#include "core/dsp/lanes.h"
#include "core/dsp/one_pole.h"
#include "core/effects/reverb/reverb.h"
#include "core/frame/sample_format.h"

namespace mw {
namespace {

// Filter states smaller than this are flushed to zero.
constexpr double kFlush = 2.3283064365386963e-10;  // 2^-32
static_assert(kFlush * 4294967296.0 == 1.0, "the flush threshold is 2^-32");

}  // namespace

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
