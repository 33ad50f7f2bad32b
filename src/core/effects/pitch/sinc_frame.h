// The windowed-sinc interpolator of Pitch Shift's resampler, for pitch_shift.cpp alone:
// the kernel read from its table of (entry, difference) pairs, and one output frame from a
// window of stereo frames held newest first. The vector forms compute, lane by lane, what
// the plain twin computes, and sum tap by tap in the same order.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/dsp/lanes.h"

#if MW_WIDE_KERNELS
#include <immintrin.h>
#endif

namespace mw {
namespace sinc {

typedef F64x2 Pair;
typedef std::int64_t I64x2 __attribute__((vector_size(16)));

// The kernel at distance e: t = |e| x scale read between its two neighbouring entries.
inline double KernelAt(double e, double scale, const double* pairs) {
  const double t = std::fabs(e) * scale;
  const int n = static_cast<int>(t);
  return pairs[2 * n] + pairs[2 * n + 1] * (t - n);
}

// The weights of taps j and j + 1 at once: each lane computes what KernelAt does (the
// magnitude by clearing the sign bit, as fabs does).
inline Pair KernelPairAt(double d, int j, double scale, const double* pairs) {
  const Pair e = Pair{d, d} - Pair{static_cast<double>(j), static_cast<double>(j + 1)};
  const I64x2 magnitude = (I64x2)e & 0x7FFFFFFFFFFFFFFF;  // a bit-for-bit view
  const Pair t = (Pair)magnitude * scale;
  const I32x2 n = __builtin_convertvector(t, I32x2);
  const Pair frac = t - __builtin_convertvector(n, Pair);
  const double* lo = pairs + 2 * n[0];  // entry, difference
  const double* hi = pairs + 2 * n[1];
  return Pair{lo[0], hi[0]} + Pair{lo[1], hi[1]} * frac;
}

// One output frame of the windowed-sinc interpolator: both channels of the ring's frames
// i .. i + taps - 1 (the ring holds every frame twice, so no index wraps), weighted by the
// kernel at distances d, d - 1, ... and summed in that order, one channel per lane. The
// vector form finds the weights two at a time; the plain twin one at a time, with the
// channels summed separately.
template <int kTaps, bool kPlain>
inline Pair SincFrame(const double* ring, int i, double d, double scale, const double* pairs) {
  const double* frame = ring + 2 * i;
  if (kPlain) {
    double k[kTaps];
    for (int j = 0; j < kTaps; ++j) k[j] = KernelAt(d - j, scale, pairs);
    double y0 = 0.0, y1 = 0.0;
    for (int j = 0; j < kTaps; ++j) {
      y0 = y0 + k[j] * frame[2 * j];
      y1 = y1 + k[j] * frame[2 * j + 1];
    }
    return Pair{y0, y1};
  }
  // Each pair of weights goes straight into the sum, one weight on both lanes at a time.
  Pair y = {0.0, 0.0};
#pragma GCC unroll 8
  for (int j = 0; j + 1 < kTaps; j += 2) {
    const Pair w = KernelPairAt(d, j, scale, pairs);
    Pair x0, x1;
    std::memcpy(&x0, frame + 2 * j, sizeof x0);
    std::memcpy(&x1, frame + 2 * j + 2, sizeof x1);
    y = y + __builtin_shufflevector(w, w, 0, 0) * x0;
    y = y + __builtin_shufflevector(w, w, 1, 1) * x1;
  }
  if (kTaps % 2 != 0) {
    Pair x;
    std::memcpy(&x, frame + 2 * (kTaps - 1), sizeof x);
    y = y + KernelAt(d - (kTaps - 1), scale, pairs) * x;
  }
  return y;
}

#if MW_WIDE_KERNELS
// Where the processor has them (native x86-64 builds only), the weights four at a time
// with 32-byte vectors; each lane still computes what KernelAt does, and the sum runs tap
// by tap as before.
template <int kTaps>
__attribute__((target("avx2"), always_inline)) inline Pair WideSincFrame(const double* ring, int i, double d,
                                                   double scale, const double* pairs) {
  typedef double F64x4 __attribute__((vector_size(32)));
  typedef std::int64_t I64x4 __attribute__((vector_size(32)));
  const double* frame = ring + 2 * i;
  double k[kTaps];
  int j = 0;
  for (; j + 3 < kTaps; j += 4) {
    const F64x4 e = F64x4{d, d, d, d} - F64x4{static_cast<double>(j), static_cast<double>(j + 1),
                                              static_cast<double>(j + 2),
                                              static_cast<double>(j + 3)};
    const F64x4 t = (F64x4)((I64x4)e & 0x7FFFFFFFFFFFFFFF) * scale;
    const __m128i n = _mm256_cvttpd_epi32((__m256d)t);
    const F64x4 frac = t - (F64x4)_mm256_cvtepi32_pd(n);
    // The four (entry, difference) pairs, two to a 32-byte register, then regrouped into
    // the entries and the differences.
    alignas(16) std::int32_t at[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(at), n);
    const __m256d p02 = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(pairs + 2 * at[0])),
                                             _mm_loadu_pd(pairs + 2 * at[2]), 1);
    const __m256d p13 = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(pairs + 2 * at[1])),
                                             _mm_loadu_pd(pairs + 2 * at[3]), 1);
    const F64x4 base = (F64x4)_mm256_unpacklo_pd(p02, p13);
    const F64x4 diff = (F64x4)_mm256_unpackhi_pd(p02, p13);
    const F64x4 w = base + diff * frac;
    std::memcpy(k + j, &w, sizeof w);
  }
  for (; j < kTaps; ++j) k[j] = KernelAt(d - j, scale, pairs);
  Pair y = {0.0, 0.0};
#pragma GCC unroll 16
  for (j = 0; j < kTaps; ++j) {
    Pair x;
    std::memcpy(&x, frame + 2 * j, sizeof x);
    y = y + k[j] * x;
  }
  return y;
}
#else
template <int kTaps>
Pair WideSincFrame(const double* ring, int i, double d, double scale, const double* pairs) {
  return SincFrame<kTaps, false>(ring, i, d, scale, pairs);
}
#endif

// A batch of output frames: frame k from the window starting at newest[k], at distance
// at[k], handed to sink(base + k, left, right). With `wide` (only where HasWideVectors)
// the weights are found four at a time.
template <int kTaps, class Sink>
void NarrowBatch(const double* history, const int* newest, const double* at, int count,
                 double scale, const double* pairs, Sink& sink, std::uint32_t base) {
  for (int k = 0; k < count; ++k) {
    const Pair y = SincFrame<kTaps, false>(history, newest[k], at[k], scale, pairs);
    sink(base + static_cast<std::uint32_t>(k), y[0], y[1]);
  }
}
#if MW_WIDE_KERNELS
// Two output frames at once, A and B, one 32-byte vector holding (A left, A right, B left,
// B right). The weights come two taps of both frames at a time, lanes (A j, A j + 1, B j,
// B j + 1), each lane computing what KernelAt does; the last tap of an odd count repeats
// tap j in the second and fourth lanes. Each lane sums its channel tap by tap in order.
template <int kTaps>
__attribute__((target("avx2"), always_inline)) inline __m256d WideSincFramePair(
    const double* frameA, const double* frameB, double dA, double dB, double scale,
    const double* pairs) {
  const __m256d d = _mm256_setr_pd(dA, dA, dB, dB);
  const __m256d magnitudeBits = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m256d s = _mm256_set1_pd(scale);
  __m256d y = _mm256_setzero_pd();
#pragma GCC unroll 8
  for (int j = 0; j < kTaps; j += 2) {
    const double j1 = j + 1 < kTaps ? j + 1 : j;
    const __m256d e = _mm256_sub_pd(d, _mm256_setr_pd(j, j1, j, j1));
    const __m256d t = _mm256_mul_pd(_mm256_and_pd(e, magnitudeBits), s);
    const __m128i n = _mm256_cvttpd_epi32(t);
    const __m256d frac = _mm256_sub_pd(t, _mm256_cvtepi32_pd(n));
    __m256d entry, difference;  // the (entry, difference) pair at offset 2 n
    NeighboursAt(pairs, _mm_add_epi32(n, n), &entry, &difference);
    const __m256d w = _mm256_add_pd(entry, _mm256_mul_pd(difference, frac));
    const __m256d x0 = _mm256_insertf128_pd(
        _mm256_castpd128_pd256(_mm_loadu_pd(frameA + 2 * j)), _mm_loadu_pd(frameB + 2 * j), 1);
    y = _mm256_add_pd(y, _mm256_mul_pd(_mm256_permute_pd(w, 0x0), x0));
    if (j + 1 < kTaps) {
      const __m256d x1 = _mm256_insertf128_pd(
          _mm256_castpd128_pd256(_mm_loadu_pd(frameA + 2 * j + 2)),
          _mm_loadu_pd(frameB + 2 * j + 2), 1);
      y = _mm256_add_pd(y, _mm256_mul_pd(_mm256_permute_pd(w, 0xF), x1));
    }
  }
  return y;
}

template <int kTaps, class Sink>
__attribute__((target("avx2"))) void WideBatch(const double* history, const int* newest,
                                               const double* at, int count, double scale,
                                               const double* pairs, Sink& sink,
                                               std::uint32_t base) {
  int k = 0;
  for (; k + 2 <= count; k += 2) {
    alignas(32) double y[4];
    _mm256_store_pd(y, WideSincFramePair<kTaps>(history + 2 * newest[k],
                                                history + 2 * newest[k + 1], at[k], at[k + 1],
                                                scale, pairs));
    sink(base + static_cast<std::uint32_t>(k), y[0], y[1]);
    sink(base + static_cast<std::uint32_t>(k + 1), y[2], y[3]);
  }
  for (; k < count; ++k) {
    const Pair y = WideSincFrame<kTaps>(history, newest[k], at[k], scale, pairs);
    sink(base + static_cast<std::uint32_t>(k), y[0], y[1]);
  }
}
#else
template <int kTaps, class Sink>
void WideBatch(const double* history, const int* newest, const double* at, int count,
               double scale, const double* pairs, Sink& sink, std::uint32_t base) {
  NarrowBatch<kTaps>(history, newest, at, count, scale, pairs, sink, base);
}
#endif

}  // namespace sinc
}  // namespace mw
