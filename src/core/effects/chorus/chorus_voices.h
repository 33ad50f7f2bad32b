// The chorus voices' per-sample steps and their block kernels, for chorus.cpp alone.
//
// A voice reads its line at a modulated delay, filters the read, passes it on along the
// chain and writes the chain's value back into the line. The plain steps below take one
// frame at a time. The block kernels take two frames a step when no read of the block can
// reach a slot that the block writes (every delay of the block at least its length and
// below the line's): all reads then see what the frame-by-frame order sees, so the reads of
// a block run first, two at a time, and the writes after them. Each lane computes exactly
// the scalar step's operations for its frame.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/dsp/lanes.h"
#include "core/dsp/one_pole.h"
#include "core/effects/chorus/chorus.h"
#include "core/effects/chorus/oscillator_sine.h"

namespace mw {
namespace chorus {

// Filter outputs smaller than this are flushed to zero.
constexpr double kFlush = 2e-11;

constexpr double kLine = ChorusEngine::kLineLength;

// The per-sample helpers must be inlined into the loops; the compiler's size heuristics
// would otherwise leave a call per voice and frame.
#if defined(__GNUC__)
#define MW_CHORUS_INLINE inline __attribute__((always_inline))
#else
#define MW_CHORUS_INLINE inline
#endif

std::int32_t Clamp(std::int32_t v, std::int32_t lo, std::int32_t hi) {
  return v < lo ? lo : v > hi ? hi : v;
}

// Brings a read position into [0, 6500). Whole turns are removed exactly (fmod is exact,
// and so is a single subtraction of 6500 from a position below 13000); only a negative
// position rounds, once, when 6500 is added, and a result that rounds up to 6500 itself
// is the start of the line.
MW_CHORUS_INLINE double WrapPosition(double pos) {
  if (pos >= kLine) {
    pos -= kLine;
    if (pos >= kLine) pos = std::fmod(pos, kLine);
  } else if (pos < 0.0) {
    pos += kLine;
    if (pos < 0.0) pos = std::fmod(pos, kLine) + kLine;
    if (pos >= kLine) pos = 0.0;
  }
  return pos;
}

// One voice's streaming state, held in locals for the length of a block.
struct VoiceRun {
  double* line;  // followed by its copy
  std::uint32_t write;
  double writePosition;  // the write index as a double
  double baseDelay;  // D_v
  double state;      // the high-cut filter's last output
};

// The oscillator of a voice over a block: sin(counter x step) for each of the next n frames,
// advancing the counter as each frame does (back to 0 once it reaches the period). Values
// come from the voice's table, computed on first use; counters beyond the table are
// computed each time.
struct OscillatorRun {
  double* table;  // null: no table
  std::int64_t length;
  std::int64_t used;
  std::int64_t filled;  // entries computed (the zero at k = 0 needs none)
  std::int64_t counter;
  std::int64_t period;
  double step;
};

inline void RunOscillator(OscillatorRun& o, double* out, std::uint32_t n) {
  double* const table = o.table;
  std::int64_t k = o.counter;
  const std::int64_t period = o.period;
  if (table != nullptr && period <= o.length && o.filled == period - 1 && k < period) {
    // Every sine of the period is in the table: it is copied in whole runs.
    while (n > 0) {
      const std::int64_t left = period - k;
      const std::uint32_t m = left < n ? static_cast<std::uint32_t>(left) : n;
      std::memcpy(out, table + k, sizeof(double) * m);
      out += m;
      n -= m;
      k += m;
      if (k == period) k = 0;
    }
    o.counter = k;
    return;
  }
  if (table != nullptr && period <= o.length && k < period) {
    // Every counter of the period has its place in the table. The sine at k = 0 is zero
    // and costs nothing to recompute.
    for (std::uint32_t i = 0; i < n; ++i) {
      double s = table[k];
      if (s == 0.0) {
        s = OscillatorSine(static_cast<double>(k) * o.step);
        table[k] = s;
        if (s != 0.0) ++o.filled;
        if (k >= o.used) o.used = k + 1;
      }
      out[i] = s;
      if (++k == period) k = 0;
    }
    o.counter = k;
    return;
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    double s;
    if (table != nullptr && k < o.length) {
      s = table[k];
      // A stored 0.0 means "not computed yet": the sine of a non-zero double is never
      // zero, and the sine at k = 0 is zero.
      if (s == 0.0 && k != 0) {
        s = OscillatorSine(static_cast<double>(k) * o.step);
        table[k] = s;
        if (s != 0.0) ++o.filled;
        if (k >= o.used) o.used = k + 1;
      }
    } else {
      s = OscillatorSine(static_cast<double>(k) * o.step);
    }
    out[i] = s;
    if (++k >= o.period) k = 0;
  }
  o.counter = k;
}

// Steps 1 to 3 of a voice, with the oscillator's value for the frame: the modulated,
// interpolated read and the high-cut filter. Returns the filtered read.
//
// With the filter off (kFilter false: a = 0, complement 1) the filter's formula gives the
// read itself whenever the previous output is finite: 1.0 x r is r, and adding the zero
// a x state changes at most the sign of a zero read, which the flush to +0.0 then removes.
// Taking the read directly spares the loop the serial chain through the filter state. A
// non-finite state can only come from non-finite input (from integer samples every value
// stays bounded by the gains, which are at most 1, times the number of frames), so with
// kFiniteInput the test is skipped; otherwise such a state still goes through the formula.
template <bool kFilter, bool kFiniteInput>
MW_CHORUS_INLINE double ReadVoice(VoiceRun& v, double sine, double depth, double a,
                                  double a1) {
  const double d = v.baseDelay + depth * sine;
  const double pos = WrapPosition(v.writePosition + d);
  const std::uint32_t i = static_cast<std::uint32_t>(pos);
  // The copy after the end repeats the start, so i + 1 needs no wrap.
  const double r = v.line[i] + (v.line[i + 1] - v.line[i]) * (pos - static_cast<double>(i));
  double s;
  if (kFilter || (!kFiniteInput && !(v.state - v.state == 0.0))) {
    s = a1 * r + a * v.state;  // the one-pole high-cut, written out for the register use
  } else {
    s = r;
  }
  s = FlushBelow(s, kFlush);
  v.state = s;
  return s;
}

// Step 6: the line takes the voice's input (into both copies); the write position moves
// down.
MW_CHORUS_INLINE void WriteVoice(VoiceRun& v, double in) {
  v.line[v.write] = in;
  v.line[v.write + ChorusEngine::kLineLength] = in;
  if (v.write == 0) {
    v.write = ChorusEngine::kLineLength - 1;
    v.writePosition = ChorusEngine::kLineLength - 1;
  } else {
    v.write -= 1;
    v.writePosition -= 1.0;
  }
}

// What every voice of a chain shares.
struct VoiceCoefficients {
  double depth;  // E
  double a;      // high-cut coefficient
  double a1;     // its complement
  double fb;
};

// One voice over a block of a mono chain: x is the chain's value arriving at the voice;
// the line takes x + s fb and the chain goes on with s w + x carry.
template <bool kFilter, bool kFiniteInput>
inline void RunVoiceMono(VoiceRun& voice, const double* sines, double* x, std::uint32_t n,
                  const VoiceCoefficients& c, double carry, double w) {
  // Copies in locals: the line stores could otherwise alias them, forcing a reload of the
  // voice's state and the coefficients at every frame.
  VoiceRun v = voice;
  const double depth = c.depth, a = c.a, a1 = c.a1, fb = c.fb;
  for (std::uint32_t i = 0; i < n; ++i) {
    const double in = x[i];
    const double s = ReadVoice<kFilter, kFiniteInput>(v, sines[i], depth, a, a1);
    x[i] = s * w + in * carry;
    WriteVoice(v, in + s * fb);
  }
  voice = v;
}

// One voice over a block of a stereo chain: the line takes the mean of the arriving left
// and right values plus s fb; each side goes on with its value times carry plus s times its
// pan factor.
template <bool kFilter, bool kFiniteInput>
inline void RunVoiceStereo(VoiceRun& voice, const double* sines, double* left, double* right,
                    std::uint32_t n, const VoiceCoefficients& c, double carry, double pL,
                    double pR) {
  VoiceRun v = voice;
  const double depth = c.depth, a = c.a, a1 = c.a1, fb = c.fb;
  for (std::uint32_t i = 0; i < n; ++i) {
    const double l = left[i];
    const double r = right[i];
    const double s = ReadVoice<kFilter, kFiniteInput>(v, sines[i], depth, a, a1);
    left[i] = l * carry + s * pL;
    right[i] = r * carry + s * pR;
    WriteVoice(v, (l + r) * 0.5 + s * fb);
  }
  voice = v;
}

// --- Block kernels ------------------------------------------------------------------------

// Whether every read of a voice over a block of n frames lies at least n + 1 frames and
// less than the line's length minus two behind its write: then no read meets a slot that
// the block writes, and a read position (below twice the line's length) reads the line's
// copy where it runs past the end: the same samples, and the same fraction (removing the
// turn is exact, and so is the fraction either way).
inline bool BlockReadsClear(double baseDelay, double depth, std::uint32_t n) {
  return baseDelay - depth >= n + 1.0 && baseDelay + depth + 2.0 < kLine;
}

typedef std::int64_t I64x2 __attribute__((vector_size(16)));

constexpr std::uint32_t kLineLength = ChorusEngine::kLineLength;

// Two values into two neighbouring slots of the line and of its copy.
// The pair with its two lanes exchanged.
inline F64x2 Swapped(F64x2 v) { return __builtin_shufflevector(v, v, 1, 0); }
inline void StoreTwice(double* slot, F64x2 v) {
  Lanes<F64x2>::Store(slot, v);
  Lanes<F64x2>::Store(slot + kLineLength, v);
}

// FlushBelow on each lane (the magnitude by clearing the sign bit, as fabs does).
inline F64x2 FlushLanes(F64x2 v) {
  const F64x2 magnitude = (F64x2)((I64x2)v & 0x7FFFFFFFFFFFFFFF);
  return magnitude < kFlush ? F64x2{0.0, 0.0} : v;
}

// The interpolated reads of two frames at write positions wp, as ReadVoice reads.
inline F64x2 ReadPair(const double* line, F64x2 wp, const double* sines, double baseDelay,
                      double depth) {
  const F64x2 d = baseDelay + depth * Lanes<F64x2>::Load(sines);
  F64x2 pos = wp + d;
  const I32x2 k = __builtin_convertvector(pos, I32x2);
  const F64x2 frac = pos - __builtin_convertvector(k, F64x2);
  const F64x2 a = {line[k[0]], line[k[1]]};
  const F64x2 b = {line[k[0] + 1], line[k[1] + 1]};
  return a + (b - a) * frac;
}

// The interpolated reads of m frames whose write positions run down from w0 without
// wrapping, two frames a step: ReadVoice's read for each, flushed with kFlushed (when the
// filter is off and the input finite, the flushed read is the voice's output).
template <bool kFlushed>
inline void ReadRun(const double* line, std::uint32_t w0, const double* sines, double* reads,
                    std::uint32_t m, double baseDelay, double depth) {
  std::uint32_t i = 0;
  F64x2 wp = {static_cast<double>(w0), static_cast<double>(w0) - 1.0};
  for (; i + 2 <= m; i += 2, wp -= 2.0) {
    const F64x2 r = ReadPair(line, wp, sines + i, baseDelay, depth);
    Lanes<F64x2>::Store(reads + i, kFlushed ? FlushLanes(r) : r);
  }
  for (; i < m; ++i) {
    const double d = baseDelay + depth * sines[i];
    const double pos = static_cast<double>(w0 - i) + d;
    const std::uint32_t k = static_cast<std::uint32_t>(pos);
    const double r = line[k] + (line[k + 1] - line[k]) * (pos - static_cast<double>(k));
    reads[i] = kFlushed ? FlushBelow(r, kFlush) : r;
  }
}

// The filter and the flush over a block of reads, one frame after the other as ReadVoice
// applies them; returns the filter's last output.
template <bool kFilter>
inline double FilterReads(double* r, std::uint32_t n, double state, double a, double a1) {
  for (std::uint32_t i = 0; i < n; ++i) {
    double s = r[i];
    if (kFilter || !(state - state == 0.0)) s = a1 * s + a * state;
    s = FlushBelow(s, kFlush);
    r[i] = s;
    state = s;
  }
  return state;
}

// What a voice's chain does with a run of frames: the chain's values go on, and the line
// takes its inputs at write positions running down from w0 without wrapping (two at a
// time, the later frame's value at the lower slot). `right` is null for a mono chain,
// whose values go on as s w + x carry (w in `pL`); a stereo chain's go on as x carry +
// s pan, the line taking the mean of the sides plus s fb.
inline void ChainRun(double* line, std::uint32_t w0, const double* s, double* left,
                     double* right, std::uint32_t m, double carry, double pL, double pR,
                     double fb) {
  std::uint32_t i = 0;
  if (right == nullptr) {
    for (; i + 2 <= m; i += 2) {
      const F64x2 r = Lanes<F64x2>::Load(s + i);
      const F64x2 x = Lanes<F64x2>::Load(left + i);
      Lanes<F64x2>::Store(left + i, r * pL + x * carry);
      StoreTwice(line + (w0 - i - 1), Swapped(x + r * fb));
    }
    for (; i < m; ++i) {
      const double x = left[i];
      left[i] = s[i] * pL + x * carry;
      line[w0 - i] = line[w0 - i + kLineLength] = x + s[i] * fb;
    }
    return;
  }
  for (; i + 2 <= m; i += 2) {
    const F64x2 r = Lanes<F64x2>::Load(s + i);
    const F64x2 l = Lanes<F64x2>::Load(left + i);
    const F64x2 rr = Lanes<F64x2>::Load(right + i);
    Lanes<F64x2>::Store(left + i, l * carry + r * pL);
    Lanes<F64x2>::Store(right + i, rr * carry + r * pR);
    StoreTwice(line + (w0 - i - 1), Swapped((l + rr) * 0.5 + r * fb));
  }
  for (; i < m; ++i) {
    const double l = left[i], rr = right[i];
    left[i] = l * carry + s[i] * pL;
    right[i] = rr * carry + s[i] * pR;
    line[w0 - i] = line[w0 - i + kLineLength] = (l + rr) * 0.5 + s[i] * fb;
  }
}

// A run of frames of a voice without the filter, from finite input: the flushed read is the
// voice's output, so each pair of frames is read, passed along the chain and written in one
// step (ReadRun's reads, then ChainRun's arithmetic).
#if MW_WIDE_KERNELS
// FusedRun's steps four frames at a time with 32-byte vectors (only where HasWideVectors):
// each lane computes what a lane of the pair step computes. Returns the frames done, a
// multiple of four; the rest is left to the pair step.
__attribute__((target("avx2"))) inline std::uint32_t WideFusedRun(
    double* line, std::uint32_t w0, const double* sines, double* left, double* right,
    std::uint32_t m, double baseDelay, double depth, double carry, double pL, double pR,
    double fb, double* last) {
  const __m256d base = _mm256_set1_pd(baseDelay), dep = _mm256_set1_pd(depth);
  const __m256d car = _mm256_set1_pd(carry), wl = _mm256_set1_pd(pL),
                wr = _mm256_set1_pd(pR), feed = _mm256_set1_pd(fb);
  const __m256d half = _mm256_set1_pd(0.5), flush = _mm256_set1_pd(kFlush);
  const __m256d sign = _mm256_set1_pd(-0.0);
  const double w = static_cast<double>(w0);
  __m256d wp = _mm256_setr_pd(w, w - 1.0, w - 2.0, w - 3.0);
  const __m256d four = _mm256_set1_pd(4.0);
  std::uint32_t i = 0;
  for (; i + 4 <= m; i += 4, wp = _mm256_sub_pd(wp, four)) {
    const __m256d d = _mm256_add_pd(base, _mm256_mul_pd(dep, _mm256_loadu_pd(sines + i)));
    const __m256d pos = _mm256_add_pd(wp, d);
    const __m128i k = _mm256_cvttpd_epi32(pos);
    const __m256d frac = _mm256_sub_pd(pos, _mm256_cvtepi32_pd(k));
    __m256d a, b;  // line[k] and line[k + 1] for each lane
    NeighboursAt(line, k, &a, &b);
    __m256d r = _mm256_add_pd(a, _mm256_mul_pd(_mm256_sub_pd(b, a), frac));
    // FlushBelow: a magnitude below the threshold becomes +0.0 (a NaN stays).
    r = _mm256_andnot_pd(_mm256_cmp_pd(_mm256_andnot_pd(sign, r), flush, _CMP_LT_OQ), r);
    const __m256d l = _mm256_loadu_pd(left + i);
    __m256d in;
    if (right == nullptr) {
      _mm256_storeu_pd(left + i, _mm256_add_pd(_mm256_mul_pd(r, wl), _mm256_mul_pd(l, car)));
      in = _mm256_add_pd(l, _mm256_mul_pd(r, feed));
    } else {
      const __m256d rr = _mm256_loadu_pd(right + i);
      _mm256_storeu_pd(left + i, _mm256_add_pd(_mm256_mul_pd(l, car), _mm256_mul_pd(r, wl)));
      _mm256_storeu_pd(right + i, _mm256_add_pd(_mm256_mul_pd(rr, car), _mm256_mul_pd(r, wr)));
      in = _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(l, rr), half), _mm256_mul_pd(r, feed));
    }
    // The later frames' values go to the lower slots.
    in = _mm256_permute4x64_pd(in, 0x1B);
    _mm256_storeu_pd(line + (w0 - i - 3), in);
    _mm256_storeu_pd(line + (w0 - i - 3) + kLineLength, in);
    *last = _mm256_cvtsd_f64(_mm256_permute4x64_pd(r, 0x03));
  }
  return i;
}
#endif

inline void FusedRun(double* line, std::uint32_t w0, const double* sines, double* left,
                     double* right, std::uint32_t m, double baseDelay, double depth,
                     double carry, double pL, double pR, double fb, double* last) {
  std::uint32_t i = 0;
#if MW_WIDE_KERNELS
  if (HasWideVectors()) {
    i = WideFusedRun(line, w0, sines, left, right, m, baseDelay, depth, carry, pL, pR, fb,
                     last);
  }
#endif
  F64x2 wp = {static_cast<double>(w0) - i, static_cast<double>(w0) - i - 1.0};
  for (; i + 2 <= m; i += 2, wp -= 2.0) {
    const F64x2 r = FlushLanes(ReadPair(line, wp, sines + i, baseDelay, depth));
    const F64x2 l = Lanes<F64x2>::Load(left + i);
    F64x2 in;
    if (right == nullptr) {
      Lanes<F64x2>::Store(left + i, r * pL + l * carry);
      in = l + r * fb;
    } else {
      const F64x2 rr = Lanes<F64x2>::Load(right + i);
      Lanes<F64x2>::Store(left + i, l * carry + r * pL);
      Lanes<F64x2>::Store(right + i, rr * carry + r * pR);
      in = (l + rr) * 0.5 + r * fb;
    }
    StoreTwice(line + (w0 - i - 1), Swapped(in));
    *last = r[1];
  }
  if (i < m) {
    double r;
    ReadRun<true>(line, w0 - i, sines + i, &r, 1, baseDelay, depth);
    ChainRun(line, w0 - i, &r, left + i, right != nullptr ? right + i : nullptr, 1, carry, pL,
             pR, fb);
    *last = r;
  }
}

// One voice over a block whose reads are clear of its writes (BlockReadsClear). The block
// meets the line's start at most once (it is shorter than the line), so its write positions
// fall into at most two runs. With the filter (or input that may not be finite) the reads
// run first, then the filter frame after frame, then the chain and the writes.
template <bool kFilter, bool kFiniteInput>
inline void RunVoiceBlock(VoiceRun& v, const double* sines, double* left, double* right,
                          std::uint32_t n, const VoiceCoefficients& c, double carry, double pL,
                          double pR, double* reads) {
  constexpr std::uint32_t kLast = ChorusEngine::kLineLength - 1;
  const std::uint32_t first = v.write + 1 < n ? v.write + 1 : n;
  double* r2 = right != nullptr ? right + first : nullptr;
  if (!kFilter && kFiniteInput) {
    FusedRun(v.line, v.write, sines, left, right, first, v.baseDelay, c.depth, carry, pL, pR,
             c.fb, &v.state);
    if (first < n) {
      FusedRun(v.line, kLast, sines + first, left + first, r2, n - first, v.baseDelay,
               c.depth, carry, pL, pR, c.fb, &v.state);
    }
  } else {
    ReadRun<false>(v.line, v.write, sines, reads, first, v.baseDelay, c.depth);
    if (first < n) {
      ReadRun<false>(v.line, kLast, sines + first, reads + first, n - first, v.baseDelay,
                     c.depth);
    }
    v.state = FilterReads<kFilter>(reads, n, v.state, c.a, c.a1);
    ChainRun(v.line, v.write, reads, left, right, first, carry, pL, pR, c.fb);
    if (first < n) {
      ChainRun(v.line, kLast, reads + first, left + first, r2, n - first, carry, pL, pR, c.fb);
    }
  }
  v.write = first == v.write + 1 ? kLast - (n - first) : v.write - n;
  v.writePosition = static_cast<double>(v.write);
}

}  // namespace chorus
}  // namespace mw
