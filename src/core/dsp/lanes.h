// Lanes: the arithmetic of several samples at once, each lane doing exactly what the
// scalar formula does for its sample (element-wise IEEE operations in the same order, no
// fused multiply-add, the same truncations), so that a vector loop and its plain twin give
// the same bits.
//
// A kernel is written once as a template over its lane type V: `double` (the plain twin,
// one sample a step) or `F64x2` (two samples a step, in the processor's vector registers
// where it has them; the compiler lowers the type to scalar code where it does not). The
// sample conversions below match the codecs of sample_format.h lane by lane.
//
// Which of the two runs is chosen at run time (UsePlainKernels), so that tests can run both
// on the same input and compare.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/frame/sample_format.h"

#if defined(__x86_64__) && !defined(_WIN32)
#include <immintrin.h>  // the 32-byte kernels (MW_WIDE_KERNELS below)
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mw {

typedef double F64x2 __attribute__((vector_size(16)));
typedef std::int32_t I32x2 __attribute__((vector_size(8)));
typedef float F32x2 __attribute__((vector_size(8)));
typedef std::int32_t I32x4 __attribute__((vector_size(16)));
typedef std::int16_t I16x8 __attribute__((vector_size(16)));

#if defined(__SSE2__)
// The packed instructions the conversions below need, through the intrinsics every x86
// compiler knows, on the lane types.
inline F64x2 CvtDq2Pd(I32x4 k) { return (F64x2)_mm_cvtepi32_pd((__m128i)k); }
inline I32x4 CvttPd2Dq(F64x2 v) { return (I32x4)_mm_cvttpd_epi32((__m128d)v); }
inline F64x2 MinPd(F64x2 a, F64x2 b) { return (F64x2)_mm_min_pd((__m128d)a, (__m128d)b); }
inline F64x2 MaxPd(F64x2 a, F64x2 b) { return (F64x2)_mm_max_pd((__m128d)a, (__m128d)b); }
inline I16x8 UnpackLow16(I16x8 a, I16x8 b) {
  return (I16x8)_mm_unpacklo_epi16((__m128i)a, (__m128i)b);
}
inline I16x8 PackSat32(I32x4 a, I32x4 b) { return (I16x8)_mm_packs_epi32((__m128i)a, (__m128i)b); }
#endif

// Conversions between two 32-bit integers and two doubles: truncating toward zero, as a
// cast does. On x86 the packed conversion instructions, which the compiler does not pick
// for these types by itself.
inline F64x2 ToDoubles(I32x2 k) {
#if defined(__SSE2__)
  return CvtDq2Pd(I32x4{k[0], k[1], 0, 0});
#else
  return __builtin_convertvector(k, F64x2);
#endif
}
inline I32x2 TruncToInts(F64x2 v) {
#if defined(__SSE2__)
  const I32x4 k = CvttPd2Dq(v);
  return I32x2{k[0], k[1]};
#else
  return __builtin_convertvector(v, I32x2);
#endif
}

// True while the plain twins run instead of the vector kernels (for tests; off by default).
bool PlainKernels();
void UsePlainKernels(bool on);

// Whether kernels with 32-byte vectors may run: only native x86-64 builds compile them (the
// Windows builds cannot rely on the stack alignment they need), and only processors with
// the instructions run them.
#if defined(__x86_64__) && !defined(_WIN32)
#define MW_WIDE_KERNELS 1
#else
#define MW_WIDE_KERNELS 0
#endif
bool HasWideVectors();

#if MW_WIDE_KERNELS
// For four offsets o: (p[o0], p[o1], p[o2], p[o3]) into *at and the values after them,
// (p[o0 + 1], ..., p[o3 + 1]), into *next: two 16-byte reads a lane, regrouped.
__attribute__((target("avx2"), always_inline)) inline void NeighboursAt(const double* p,
                                                                        __m128i o, __m256d* at,
                                                                        __m256d* next) {
  const __m256d p02 =
      _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(p + _mm_cvtsi128_si32(o))),
                           _mm_loadu_pd(p + _mm_extract_epi32(o, 2)), 1);
  const __m256d p13 =
      _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(p + _mm_extract_epi32(o, 1))),
                           _mm_loadu_pd(p + _mm_extract_epi32(o, 3)), 1);
  *at = _mm256_unpacklo_pd(p02, p13);
  *next = _mm256_unpackhi_pd(p02, p13);
}
#endif

template <class V>
struct Lanes;

template <>
struct Lanes<double> {
  static constexpr int kCount = 1;
  static double Splat(double v) { return v; }
  static double Load(const double* p) { return *p; }
  static void Store(double* p, double v) { *p = v; }
};

template <>
struct Lanes<F64x2> {
  static constexpr int kCount = 2;
  static F64x2 Splat(double v) { return F64x2{v, v}; }
  static F64x2 Load(const double* p) {
    F64x2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(double* p, F64x2 v) { std::memcpy(p, &v, sizeof v); }
};

// `t` clamped to [lo, hi] and a NaN made `nan`, as the integer encoders do before they
// truncate (every comparison with a NaN is false, so the NaN test comes first).
inline double ClampLanes(double t, double lo, double hi, double nan) {
  if (t != t) return nan;
  if (t < lo) t = lo;
  if (t > hi) t = hi;
  return t;
}
// Written as "greater, else the bound" and "less, else the bound": once the NaNs are gone
// these pick what the scalar tests pick, and they are the processor's maximum and minimum.
inline F64x2 ClampLanes(F64x2 t, double lo, double hi, double nan) {
  const F64x2 l = {lo, lo}, h = {hi, hi};
  t = t == t ? t : F64x2{nan, nan};
#if defined(__SSE2__)
  return MinPd(MaxPd(t, l), h);
#else
  t = t > l ? t : l;
  t = t < h ? t : h;
  return t;
#endif
}

// Decoding and encoding V's worth of stored samples; the same values as the codecs give.
template <class Codec, class V>
struct LaneCodec;

template <class Codec>
struct LaneCodec<Codec, double> {
  static double Decode(const typename Codec::Stored* s) { return Codec::Decode(*s); }
  static void Encode(typename Codec::Stored* s, double y) { *s = Codec::Encode(y); }
};

template <>
struct LaneCodec<Pcm8Codec, F64x2> {
  static F64x2 Decode(const std::uint8_t* s) {
    const I32x2 k = {static_cast<int>(s[0]) - 128, static_cast<int>(s[1]) - 128};
    return ToDoubles(k) / 128.0;
  }
  static void Encode(std::uint8_t* s, F64x2 y) {
    const I32x2 k = TruncToInts(ClampLanes(y * 128.0, -128.0, 127.0, 0.0));
    s[0] = static_cast<std::uint8_t>(k[0] + 128);
    s[1] = static_cast<std::uint8_t>(k[1] + 128);
  }
};

template <>
struct LaneCodec<Pcm16Codec, F64x2> {
  static F64x2 Decode(const std::int16_t* s) {
#if defined(__SSE2__)
    // Both codes into the low halves of two 32-bit lanes, then shifted down with their sign.
    std::int32_t both;
    std::memcpy(&both, s, sizeof both);
    const I16x8 h = (I16x8)I32x4{both, 0, 0, 0};
    const I32x4 k = (I32x4)UnpackLow16(h, h) >> 16;
    return CvtDq2Pd(k) * 3.0517578125e-05;
#else
    const I32x2 k = {s[0], s[1]};
    return __builtin_convertvector(k, F64x2) * 3.0517578125e-05;
#endif
  }
  static void Encode(std::int16_t* s, F64x2 y) {
    const F64x2 t = ClampLanes(y * 32768.0, -32768.0, 32767.0, 0.0);
#if defined(__SSE2__)
    // The clamped codes fit 16 bits, so the saturating pack keeps them as they are.
    const I32x4 k = CvttPd2Dq(t);
    const std::int32_t both = ((I32x4)PackSat32(k, k))[0];
    std::memcpy(s, &both, sizeof both);
#else
    const I32x2 k = __builtin_convertvector(t, I32x2);
    s[0] = static_cast<std::int16_t>(k[0]);
    s[1] = static_cast<std::int16_t>(k[1]);
#endif
  }
};

template <>
struct LaneCodec<Pcm32Codec, F64x2> {
  static F64x2 Decode(const std::int32_t* s) {
    I32x2 k;
    std::memcpy(&k, s, sizeof k);
    return ToDoubles(k) * 4.656612873077393e-10;
  }
  // Clamping to [-2^31, 2^31 - 1] before truncating gives the codes the scalar encoder
  // gives (it returns the limits for anything beyond them).
  static void Encode(std::int32_t* s, F64x2 y) {
    const I32x2 k = TruncToInts(ClampLanes(y * 2147483648.0, -2147483648.0, 2147483647.0, 0.0));
    std::memcpy(s, &k, sizeof k);
  }
};

template <>
struct LaneCodec<Float32Codec, F64x2> {
  static F64x2 Decode(const float* s) {
    F32x2 f;
    std::memcpy(&f, s, sizeof f);
    return __builtin_convertvector(f, F64x2);
  }
  static void Encode(float* s, F64x2 y) {
    const F32x2 f = __builtin_convertvector(y, F32x2);
    std::memcpy(s, &f, sizeof f);
  }
};

template <>
struct LaneCodec<Float64Codec, F64x2> {
  static F64x2 Decode(const double* s) { return Lanes<F64x2>::Load(s); }
  static void Encode(double* s, F64x2 y) { Lanes<F64x2>::Store(s, y); }
};

// Four consecutive samples as two pairs, and back; the codec's single-sample values.
template <class Codec>
struct FourSamples {
  using Stored = typename Codec::Stored;
  static void Decode(const Stored* s, F64x2* a, F64x2* b) {
    *a = LaneCodec<Codec, F64x2>::Decode(s);
    *b = LaneCodec<Codec, F64x2>::Decode(s + 2);
  }
  static void Encode(Stored* s, F64x2 a, F64x2 b) {
    LaneCodec<Codec, F64x2>::Encode(s, a);
    LaneCodec<Codec, F64x2>::Encode(s + 2, b);
  }
};

// Two stereo frames as one pair of left samples and one pair of right samples, and back;
// the values of the codec's single-sample conversions.
template <class Codec>
struct StereoPairs {
  using Stored = typename Codec::Stored;
  static void Decode(const Stored* s, F64x2* left, F64x2* right) {
    const F64x2 a = LaneCodec<Codec, F64x2>::Decode(s);
    const F64x2 b = LaneCodec<Codec, F64x2>::Decode(s + 2);
    *left = F64x2{a[0], b[0]};
    *right = F64x2{a[1], b[1]};
  }
  static void Encode(Stored* s, F64x2 left, F64x2 right) {
    LaneCodec<Codec, F64x2>::Encode(s, F64x2{left[0], right[0]});
    LaneCodec<Codec, F64x2>::Encode(s + 2, F64x2{left[1], right[1]});
  }
};

// Kernels whose two lanes are the two channels of a stereo frame run on F64x2 or on its
// plain twin, PlainPair: two doubles and the same element-wise operations, written out.
struct PlainPair {
  double lane[2];
  double operator[](int i) const { return lane[i]; }
};
inline PlainPair operator+(PlainPair a, PlainPair b) {
  return {{a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}};
}
inline PlainPair operator-(PlainPair a, PlainPair b) {
  return {{a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]}};
}
inline PlainPair operator*(PlainPair a, PlainPair b) {
  return {{a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}};
}
inline PlainPair operator+(PlainPair a, double b) { return {{a.lane[0] + b, a.lane[1] + b}}; }
inline PlainPair operator*(PlainPair a, double b) { return {{a.lane[0] * b, a.lane[1] * b}}; }
inline PlainPair operator*(double a, PlainPair b) { return {{a * b.lane[0], a * b.lane[1]}}; }

template <>
struct Lanes<PlainPair> {
  static constexpr int kCount = 2;
  static PlainPair Splat(double v) { return {{v, v}}; }
  static PlainPair Load(const double* p) { return {{p[0], p[1]}}; }
  static void Store(double* p, PlainPair v) {
    p[0] = v.lane[0];
    p[1] = v.lane[1];
  }
};

// A pair from its two lanes; a stereo frame decoded into a pair and a pair encoded into one.
template <class P>
P MakePair(double first, double second);
template <>
inline F64x2 MakePair<F64x2>(double first, double second) {
  return F64x2{first, second};
}
template <>
inline PlainPair MakePair<PlainPair>(double first, double second) {
  return {{first, second}};
}
template <class Codec, class P>
struct FrameCodec {
  static P Decode(const typename Codec::Stored* s) { return LaneCodec<Codec, P>::Decode(s); }
  static void Encode(typename Codec::Stored* s, P y) { LaneCodec<Codec, P>::Encode(s, y); }
};
template <class Codec>
struct FrameCodec<Codec, PlainPair> {
  static PlainPair Decode(const typename Codec::Stored* s) {
    return {{Codec::Decode(s[0]), Codec::Decode(s[1])}};
  }
  static void Encode(typename Codec::Stored* s, PlainPair y) {
    s[0] = Codec::Encode(y.lane[0]);
    s[1] = Codec::Encode(y.lane[1]);
  }
};

// Each lane below `threshold` in magnitude made +0.0, as FlushBelow does (the magnitude by
// clearing the sign bit, as fabs does; a NaN stays).
inline F64x2 FlushLanes(F64x2 v, double threshold) {
  typedef std::int64_t I64x2 __attribute__((vector_size(16)));
  const F64x2 magnitude = (F64x2)((I64x2)v & 0x7FFFFFFFFFFFFFFF);
  return magnitude < threshold ? F64x2{0.0, 0.0} : v;
}
inline double FlushLanes(double v, double threshold) {
  if (std::fabs(v) < threshold) v = 0.0;
  return v;
}
inline PlainPair FlushLanes(PlainPair v, double threshold) {
  for (double& x : v.lane) {
    if (std::fabs(x) < threshold) x = 0.0;
  }
  return v;
}

#if defined(__SSE2__)
// Four 16-bit codes as 32-bit lanes; two lanes as scaled doubles; two doubles as clamped
// codes in the low lanes; four lanes stored as 16-bit codes.
inline I32x4 FourCodes(const std::int16_t* s) {
  std::int64_t four;
  std::memcpy(&four, s, sizeof four);
  typedef std::int64_t I64x2 __attribute__((vector_size(16)));
  const I16x8 h = (I16x8)I64x2{four, 0};
  return (I32x4)UnpackLow16(h, h) >> 16;
}
inline F64x2 LowCodesDecoded(I32x4 k) { return CvtDq2Pd(k) * 3.0517578125e-05; }
inline I32x4 CodesEncoded(F64x2 y) {
  return CvttPd2Dq(ClampLanes(y * 32768.0, -32768.0, 32767.0, 0.0));
}
inline void StoreFourCodes(std::int16_t* s, I32x4 k) {
  const I16x8 packed = PackSat32(k, k);
  std::memcpy(s, &packed, 4 * sizeof(std::int16_t));
}

template <>
struct FourSamples<Pcm16Codec> {
  static void Decode(const std::int16_t* s, F64x2* a, F64x2* b) {
    const I32x4 k = FourCodes(s);
    *a = LowCodesDecoded(k);
    *b = LowCodesDecoded(__builtin_shufflevector(k, k, 2, 3, 2, 3));
  }
  static void Encode(std::int16_t* s, F64x2 a, F64x2 b) {
    StoreFourCodes(s, __builtin_shufflevector(CodesEncoded(a), CodesEncoded(b), 0, 1, 4, 5));
  }
};

// The codes come as l0 r0 l1 r1 and go by sides.
template <>
struct StereoPairs<Pcm16Codec> {
  static void Decode(const std::int16_t* s, F64x2* left, F64x2* right) {
    const I32x4 k = FourCodes(s);
    *left = LowCodesDecoded(__builtin_shufflevector(k, k, 0, 2, 0, 2));
    *right = LowCodesDecoded(__builtin_shufflevector(k, k, 1, 3, 1, 3));
  }
  static void Encode(std::int16_t* s, F64x2 left, F64x2 right) {
    StoreFourCodes(s,
                   __builtin_shufflevector(CodesEncoded(left), CodesEncoded(right), 0, 4, 1, 5));
  }
};
#endif

}  // namespace mw
