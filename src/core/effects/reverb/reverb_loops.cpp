// The Reverb's frame loops: the input filters, the comb bank a block of frames at a time,
// the pre-delay and the early reflections.
#include <cstdint>
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

  // One step of a comb pass at frame j: Lanes<V>::kCount lines in the lanes of V (one
  // line in a double, two in F64x2 or in PlainPair, its plain twin). What the lines held
  // is added to `sum` in their order; then each line's high-cut state and its slot, as
  // the frame loop steps a line.
  template <class V, bool kFlushState>
  static void Step(double* const* at, std::uint32_t j, OnePole highCut, double x, V gain,
                   V& state, double& sum) {
    using L = Lanes<V>;
    double y[L::kCount];
#pragma GCC unroll 2
    for (int l = 0; l < L::kCount; ++l) {
      y[l] = at[l][j];
      sum += y[l];
    }
    V s = highCut.oneMinusA * L::Load(y) + highCut.a * state;
    if (kFlushState) s = FlushLanes(s, kFlush);
    state = s;
    double o[L::kCount];
    L::Store(o, (s + x) * gain);
#pragma GCC unroll 2
    for (int l = 0; l < L::kCount; ++l) at[l][j] = o[l];
  }

  // The whole comb bank over `count` frames of filtered input h. Each line runs its frames
  // in order, as it would frame by frame (the lines never feed one another), with its
  // coefficients, state and position in registers, and each frame's sum receives the lines
  // in bank order: kPairs pairs of lines in the lanes of P, then an odd line when kOdd.
  // Mono, that sum goes to `left`. With kSides, lines 0 and 1 (flushed) then add to it
  // for `left` and the two extra lines (flushed) for `right`. `group` lists the lines in
  // that order, the odd line last.
  template <class P, int kPairs, bool kOdd, bool kSides>
  static void Pass(Line* const* group, OnePole highCut, const double* h, double* left,
                   double* right, std::uint32_t count) {
    constexpr int kSteps = kPairs + (kSides ? 2 : 0);
    constexpr int G = 2 * kSteps + (kOdd ? 1 : 0);
    P state[kSteps], gain[kSteps];
    for (int q = 0; q < kSteps; ++q) {
      state[q] = MakePair<P>(group[2 * q]->state, group[2 * q + 1]->state);
      gain[q] = MakePair<P>(group[2 * q]->gain, group[2 * q + 1]->gain);
    }
    double oddState = kOdd ? group[G - 1]->state : 0.0;
    const double oddGain = kOdd ? group[G - 1]->gain : 0.0;
    double* at[G];
    for (std::uint32_t done = 0; done < count;) {
      // Up to the first line's wrap: a run over which every position only moves up.
      std::uint32_t run = count - done;
      for (int g = 0; g < G; ++g) {
        const std::uint32_t room = group[g]->length - group[g]->position;
        if (room < run) run = room;
        at[g] = group[g]->buffer + group[g]->position;
      }
      const double* const in = h + done;
      double* const outLeft = left + done;
      double* const outRight = right + done;
      for (std::uint32_t j = 0; j < run; ++j) {
        const double x = in[j];
        double sum = 0.0;
#pragma GCC unroll 8
        for (int q = 0; q < kPairs; ++q) {
          Step<P, false>(at + 2 * q, j, highCut, x, gain[q], state[q], sum);
        }
        if (kOdd) Step<double, false>(at + G - 1, j, highCut, x, oddGain, oddState, sum);
        if (kSides) {
          double l = sum;
          Step<P, true>(at + 2 * kPairs, j, highCut, x, gain[kPairs], state[kPairs], l);
          double r = sum;
          Step<P, true>(at + 2 * kPairs + 2, j, highCut, x, gain[kPairs + 1],
                        state[kPairs + 1], r);
          outLeft[j] = l;
          outRight[j] = r;
        } else {
          outLeft[j] = sum;
        }
      }
      for (int g = 0; g < G; ++g) {
        group[g]->position += run;
        if (group[g]->position == group[g]->length) group[g]->position = 0;
      }
      done += run;
    }
    for (int q = 0; q < kSteps; ++q) {
      group[2 * q]->state = state[q][0];
      group[2 * q + 1]->state = state[q][1];
    }
    if (kOdd) group[G - 1]->state = oddState;
  }

  // The comb bank for a block: `shared` lines from `first` on (every line in mono; all
  // but lines 0 and 1 in stereo), then in stereo the sides. Modes have eight to ten lines.
  template <class P, bool kSides>
  static void Bank(Line* lines, OnePole highCut, int first, int shared, const double* h,
                   double* left, double* right, std::uint32_t count) {
    Line* group[kMaxLines];
    int g = 0;
    for (int k = 0; k < shared - shared % 2; ++k) group[g++] = &lines[first + k];
    if (kSides) {
      group[g++] = &lines[0];
      group[g++] = &lines[1];
      group[g++] = &lines[kExtraLeft];
      group[g++] = &lines[kExtraRight];
    }
    if (shared % 2 != 0) group[g++] = &lines[first + shared - 1];
    switch (shared) {
      case 6: Pass<P, 3, false, kSides>(group, highCut, h, left, right, count); break;
      case 7: Pass<P, 3, true, kSides>(group, highCut, h, left, right, count); break;
      case 8: Pass<P, 4, false, kSides>(group, highCut, h, left, right, count); break;
      case 9: Pass<P, 4, true, kSides>(group, highCut, h, left, right, count); break;
      default: Pass<P, 5, false, kSides>(group, highCut, h, left, right, count); break;
    }
  }

  // The three positions of the early-reflection lines move together.
  void AdvanceEarly() {
    StepUp(w, erLength);
    StepUp(r1, erLength);
    StepUp(r2, erLength);
  }

  // The pre-delay reads the slot above the one it writes; a line of one slot reads what
  // it has just written, which the stereo loop takes directly.
  bool PreDirect() const { return preLength == 1; }
  std::uint32_t PreRead() const { return prePos + 1 == preLength ? 0 : prePos + 1; }

  // How many of the next `frames` frames every pre-delay and early-reflection position
  // moves through without wrapping; and all of them moved on by such a run.
  std::uint32_t Unwrapped(std::uint32_t frames) const {
    std::uint32_t run = frames;
    const auto shorten = [&run](std::uint32_t room) {
      if (room < run) run = room;
    };
    if (!PreDirect()) {
      shorten(preLength - prePos);
      shorten(preLength - PreRead());
    }
    shorten(erLength - w);
    shorten(erLength - r1);
    shorten(erLength - r2);
    return run;
  }
  void Advance(std::uint32_t run) {
    const auto move = [run](std::uint32_t& position, std::uint32_t length) {
      position += run;
      if (position >= length) position -= length;
    };
    move(prePos, preLength);
    move(w, erLength);
    move(r1, erLength);
    move(r2, erLength);
  }

  ReverbEngine& engine;
  const OnePole highCut;
  BassCut bass;
  const double dry, wet, early;
  const int lineCount;
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
  double* const pre = preLine_;
  double* const er = earlyLine_;
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
    Run::Bank<P, false>(lines_, r.highCut, 0, r.lineCount, h, sums, sums, count);

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
  using Pairs = FrameCodec<Codec, P>;
  using L = Lanes<P>;
  Run r(*this);
  // The pre-delay and early-reflection lines hold frames: left and right side by side.
  double* const pre = preLine_;
  double* const er = earlyLine_;
  // The early taps' gains, left and right in the lanes of a pair.
  const P tap1 = MakePair<P>(taps_[0].left, taps_[0].right);
  const P tap2 = MakePair<P>(taps_[1].left, taps_[1].right);
  const P tap3 = MakePair<P>(taps_[2].left, taps_[2].right);
  const double early = r.early;
  const bool direct = r.PreDirect();
  // Per block: the filtered input of each frame and its two decoded samples.
  double filtered[2][kBlock], decoded[2][2 * kBlock], left[kBlock], right[kBlock];
  const auto input = [&](const typename Codec::Stored* frame, double* u) {
    const P v = kReadInput ? Pairs::Decode(frame) : MakePair<P>(0.0, 0.0);
    L::Store(u, v);
    return r.Input(r.highCut.oneMinusA * (v[0] + v[1]) * 0.5 + r.highCut.a * r.hs);
  };

  double* h = filtered[0];
  double* next = filtered[1];
  double* u = decoded[0];
  double* nextU = decoded[1];
  for (std::uint32_t i = 0, n = BlockAt(0, frames); i < n; ++i) {
    h[i] = input(buffer + 2 * i, u + 2 * i);
  }
  for (std::uint32_t start = 0; start < frames; start += kBlock) {
    const std::uint32_t count = BlockAt(start, frames);
    const std::uint32_t nextCount = BlockAt(start + kBlock, frames);  // at most count
    typename Codec::Stored* const block = buffer + 2 * start;
    Run::Bank<P, true>(lines_, r.highCut, 2, r.lineCount - 2, h, left, right, count);

    for (std::uint32_t i = 0; i < count;) {
      const std::uint32_t run = r.Unwrapped(count - i);
      double* const preWrite = pre + 2 * r.prePos;
      const double* const preRead = pre + 2 * r.PreRead();
      double* const erWrite = er + 2 * r.w;
      const double* const er1 = er + 2 * r.r1;
      const double* const er2 = er + 2 * r.r2;
      for (std::uint32_t k = 0; k < run; ++k, ++i) {
        typename Codec::Stored* const frame = block + 2 * i;
        if (i < nextCount) next[i] = input(frame + 2 * kBlock, nextU + 2 * i);
        const P in = L::Load(u + 2 * i);
        P rv = MakePair<P>(left[i], right[i]);
        if (!direct) {
          L::Store(preWrite + 2 * k, rv);
          rv = L::Load(preRead + 2 * k);
        }

        const double v1 = er1[2 * k] + er1[2 * k + 1];
        const double v2 = er2[2 * k] + er2[2 * k + 1];
        const double v3 = erWrite[2 * k] + erWrite[2 * k + 1];
        const P e = tap1 * v1 * early + tap2 * v2 * early + tap3 * v3 * early;
        L::Store(erWrite + 2 * k, in);

        Pairs::Encode(frame, e + rv * r.wet + in * r.dry);
      }
      if (direct) {
        pre[0] = left[i - 1];
        pre[1] = right[i - 1];
      }
      r.Advance(run);
    }
    std::swap(h, next);
    std::swap(u, nextU);
  }
  r.Store();
}

template <class Codec, class P>
void ReverbEngine::RunFrames(std::uint32_t channels, bool read, typename Codec::Stored* buffer,
                             std::uint32_t count) {
  if (channels == 1) {
    read ? RunMono<Codec, P, true>(buffer, count) : RunMono<Codec, P, false>(buffer, count);
  } else {
    read ? RunStereo<Codec, P, true>(buffer, count) : RunStereo<Codec, P, false>(buffer, count);
  }
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
  if (PlainKernels()) {
    RunFrames<Codec, PlainPair>(channels, read, buffer, count);
  } else {
    RunFrames<Codec, F64x2>(channels, read, buffer, count);
  }
  return finished ? kTailFinished : S_OK;
}

MW_DEFINE_FORMAT_LOOPS(ReverbEngine)

}  // namespace mw
