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

#include <cstdint>
#include <cstring>

#include "core/frame/sample_format.h"

namespace mw {

typedef double F64x2 __attribute__((vector_size(16)));
typedef std::int32_t I32x2 __attribute__((vector_size(8)));
typedef float F32x2 __attribute__((vector_size(8)));

// True while the plain twins run instead of the vector kernels (for tests; off by default).
bool PlainKernels();
void UsePlainKernels(bool on);

template <class V>
struct Lanes;

template <>
struct Lanes<double> {
  static constexpr int kCount = 1;
  static double Splat(double v) { return v; }
  static double Load(const double* p) { return *p; }
  static void Store(double* p, double v) { *p = v; }
  static double Lane(double v, int) { return v; }
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
  static double Lane(F64x2 v, int i) { return v[i]; }
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
  return __builtin_ia32_minpd(__builtin_ia32_maxpd(t, l), h);
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
    return __builtin_convertvector(k, F64x2) / 128.0;
  }
  static void Encode(std::uint8_t* s, F64x2 y) {
    const I32x2 k = __builtin_convertvector(ClampLanes(y * 128.0, -128.0, 127.0, 0.0), I32x2);
    s[0] = static_cast<std::uint8_t>(k[0] + 128);
    s[1] = static_cast<std::uint8_t>(k[1] + 128);
  }
};

template <>
struct LaneCodec<Pcm16Codec, F64x2> {
  static F64x2 Decode(const std::int16_t* s) {
    const I32x2 k = {s[0], s[1]};
    return __builtin_convertvector(k, F64x2) * 3.0517578125e-05;
  }
  static void Encode(std::int16_t* s, F64x2 y) {
    const I32x2 k =
        __builtin_convertvector(ClampLanes(y * 32768.0, -32768.0, 32767.0, 0.0), I32x2);
    s[0] = static_cast<std::int16_t>(k[0]);
    s[1] = static_cast<std::int16_t>(k[1]);
  }
};

template <>
struct LaneCodec<Pcm32Codec, F64x2> {
  static F64x2 Decode(const std::int32_t* s) {
    I32x2 k;
    std::memcpy(&k, s, sizeof k);
    return __builtin_convertvector(k, F64x2) * 4.656612873077393e-10;
  }
  // Clamping to [-2^31, 2^31 - 1] before truncating gives the codes the scalar encoder
  // gives (it returns the limits for anything beyond them).
  static void Encode(std::int32_t* s, F64x2 y) {
    const I32x2 k = __builtin_convertvector(
        ClampLanes(y * 2147483648.0, -2147483648.0, 2147483647.0, 0.0), I32x2);
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

}  // namespace mw
