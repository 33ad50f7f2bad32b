#include "core/effects/chorus/oscillator_sine.h"

#include <cmath>

#include "core/dsp/exact_math.h"

namespace mw {
namespace {

// A value hi + lo carried in two doubles, |lo| at most half an ulp of hi.
struct Pair {
  double hi;
  double lo;
};

// a + b exactly, for |a| >= |b|.
inline Pair FastSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a + b exactly, in any order of magnitude.
inline Pair ExactSum(double a, double b) {
  const double s = a + b;
  const double a1 = s - b;
  const double b1 = s - a1;
  return {s, (a - a1) + (b - b1)};
}

// a x b exactly: both factors are cut into 26-bit halves whose products are exact.
inline Pair ExactProduct(double a, double b) {
  constexpr double kCut = 134217729.0;  // 2^27 + 1
  const double ca = kCut * a, cb = kCut * b;
  const double ah = ca - (ca - a), al = a - ah;
  const double bh = cb - (cb - b), bl = b - bh;
  const double p = a * b;
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

inline Pair Plus(Pair a, Pair b) {
  Pair s = ExactSum(a.hi, b.hi);
  const Pair t = ExactSum(a.lo, b.lo);
  s = FastSum(s.hi, s.lo + t.hi);
  return FastSum(s.hi, s.lo + t.lo);
}

inline Pair Times(Pair a, Pair b) {
  Pair p = ExactProduct(a.hi, b.hi);
  return FastSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// pi/2 as four doubles of decreasing weight; the first has 33 significant bits, so its
// product with a whole number below 2^20 is exact.
constexpr double kHalfPi1 = 0x1.921fb54400000p+0;
constexpr double kHalfPi2 = 0x1.0b4611a626331p-34;
constexpr double kHalfPi3 = 0x1.1701b839a2520p-88;
constexpr double kHalfPi4 = 0x1.27044533e63a0p-142;
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// Taylor coefficients 1/n! with alternating signs; the leading ones as pairs.
constexpr Pair kSin3 = {-0x1.5555555555555p-3, -0x1.5555555555555p-57};
constexpr Pair kSin5 = {0x1.1111111111111p-7, 0x1.1111111111111p-63};
constexpr Pair kSin7 = {-0x1.a01a01a01a01ap-13, -0x1.a01a01a01a01ap-73};
constexpr Pair kSin9 = {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73};
constexpr double kSin11 = -0x1.ae64567f544e4p-26;
constexpr double kSin13 = 0x1.6124613a86d09p-33;
constexpr double kSin15 = -0x1.ae7f3e733b81fp-41;
constexpr double kSin17 = 0x1.952c77030ad4ap-49;
constexpr double kSin19 = -0x1.2f49b46814157p-57;
constexpr double kSin21 = 0x1.71b8ef6dcf572p-66;
constexpr double kSin23 = -0x1.761b41316381ap-75;

constexpr Pair kCos2 = {-0.5, 0.0};
constexpr Pair kCos4 = {0x1.5555555555555p-5, 0x1.5555555555555p-59};
constexpr Pair kCos6 = {-0x1.6c16c16c16c17p-10, 0x1.f49f49f49f49fp-65};
constexpr Pair kCos8 = {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76};
constexpr Pair kCos10 = {-0x1.27e4fb7789f5cp-22, -0x1.cbbc05b4fa99ap-76};
constexpr double kCos12 = 0x1.1eed8eff8d898p-29;
constexpr double kCos14 = -0x1.93974a8c07c9dp-37;
constexpr double kCos16 = 0x1.ae7f3e733b81fp-45;
constexpr double kCos18 = -0x1.6827863b97d97p-53;
constexpr double kCos20 = 0x1.e542ba4020225p-62;
constexpr double kCos22 = -0x1.0ce396db7f853p-70;
constexpr double kCos24 = 0x1.f2cf01972f578p-80;

// sin r for |r| <= pi/4 (r carried as a pair), with z = r^2: r + r z S(z). The terms from
// r^11 on are below 2^-26 of r and go in plain doubles; the rest in pairs.
Pair SinReduced(Pair r, Pair z) {
  const double zh = z.hi;
  const double tail =
      zh * (kSin11 +
            zh * (kSin13 + zh * (kSin15 + zh * (kSin17 + zh * (kSin19 + zh * (kSin21 +
                                                                        zh * kSin23))))));
  Pair u = Plus(kSin9, Pair{tail, 0.0});
  u = Plus(kSin7, Times(z, u));
  u = Plus(kSin5, Times(z, u));
  u = Plus(kSin3, Times(z, u));
  return Plus(r, Times(r, Times(z, u)));
}

// cos r for |r| <= pi/4: 1 + z C(z), the terms from r^12 on in plain doubles.
Pair CosReduced(Pair z) {
  const double zh = z.hi;
  const double tail =
      zh * (kCos12 +
            zh * (kCos14 + zh * (kCos16 + zh * (kCos18 + zh * (kCos20 + zh * (kCos22 +
                                                                       zh * kCos24))))));
  Pair u = Plus(kCos10, Pair{tail, 0.0});
  u = Plus(kCos8, Times(z, u));
  u = Plus(kCos6, Times(z, u));
  u = Plus(kCos4, Times(z, u));
  u = Plus(kCos2, Times(z, u));
  return Plus(Pair{1.0, 0.0}, Times(z, u));
}

// x = k pi/2 + r with |r| <= pi/4 (plus a hair), for |x| < 1e5: the first product is
// exact and the remaining parts leave an error far below 2^-140.
struct Reduced {
  Pair r;
  Pair z;  // r^2
  int quadrant;
};

Reduced Reduce(double x) {
  const double k = std::nearbyint(x * kTwoOverPi);
  Pair r = ExactSum(x, -(k * kHalfPi1));
  r = Plus(r, ExactProduct(-k, kHalfPi2));
  r = Plus(r, ExactProduct(-k, kHalfPi3));
  r = Plus(r, ExactProduct(-k, kHalfPi4));
  return {r, Times(r, r), static_cast<int>(static_cast<long long>(k) & 3)};
}

inline Pair Negated(Pair v) { return {-v.hi, -v.lo}; }

// sin x and cos x as pairs, within about 2^-80 of their values (relative).
Pair SinPair(const Reduced& a) {
  switch (a.quadrant) {
    case 0: return SinReduced(a.r, a.z);
    case 1: return CosReduced(a.z);
    case 2: return Negated(SinReduced(a.r, a.z));
    default: return Negated(CosReduced(a.z));
  }
}

Pair CosPair(const Reduced& a) {
  switch (a.quadrant) {
    case 0: return CosReduced(a.z);
    case 1: return Negated(SinReduced(a.r, a.z));
    case 2: return Negated(CosReduced(a.z));
    default: return SinReduced(a.r, a.z);
  }
}

// Whether every value within `bound` of the pair rounds to the pair's leading double.
inline bool RoundsSafely(Pair v, double bound) {
  return v.hi + (v.lo - bound) == v.hi && v.hi + (v.lo + bound) == v.hi;
}

// The oscillators' arguments lie in [0, 2 pi). There the sine is taken from a grid of
// points c = j/256 with their sines and cosines as pairs: sin(c + t) = S cos t + C sin t
// with |t| <= 1/512, where a few terms of each series suffice.
constexpr double kGridScale = 256.0;
constexpr int kGridPoints = 1665;  // up to 6.5
constexpr double kGridEnd = (kGridPoints - 1) / kGridScale;

struct Grid {
  Pair sin[kGridPoints];
  Pair cos[kGridPoints];
  Grid() {
    for (int j = 0; j < kGridPoints; ++j) {
      if (j == 0) {
        sin[j] = {0.0, 0.0};
        cos[j] = {1.0, 0.0};
        continue;
      }
      const Reduced a = Reduce(j / kGridScale);
      sin[j] = SinPair(a);
      cos[j] = CosPair(a);
    }
  }
};

const Grid& TheGrid() {
  static const Grid grid;  // built once, on first use (thread-safe initialisation)
  return grid;
}

// sin x for 0 < x < kGridEnd - 1/512, as a pair within about 2^-79 of the sine (absolute):
// the grid values carry 2^-80, the series terms kept in plain doubles (cos t - 1 - t^2/2
// below 2^-40, sin t - t below 2^-29) a few units of 2^-83.
Pair GridSine(double x) {
  const Grid& g = TheGrid();
  const int j = static_cast<int>(x * kGridScale + 0.5);
  const double t = x - j / kGridScale;  // exact: x lies within 1/512 of the grid point
  const Pair s = g.sin[j];
  const Pair c = g.cos[j];
  const Pair tt = ExactProduct(t, t);
  const double t2 = tt.hi;
  // cos t = 1 - t^2/2 + p2, sin t = t + q.
  const double p2 = t2 * t2 * (1.0 / 24.0 - t2 * (1.0 / 720.0 - t2 * (1.0 / 40320.0)));
  const double q =
      t * t2 * (-1.0 / 6.0 + t2 * (1.0 / 120.0 - t2 * (1.0 / 5040.0)));
  // S (-t^2/2) exactly enough: the product of the leading parts is exact, the rest small.
  Pair sHalf = ExactProduct(s.hi, -0.5 * tt.hi);
  sHalf.lo += s.hi * (-0.5 * tt.lo) + s.lo * (-0.5 * tt.hi);
  Pair ct = ExactProduct(c.hi, t);
  ct.lo += c.lo * t;
  Pair v = Plus(s, ct);
  v = Plus(v, sHalf);
  return Plus(v, Pair{s.hi * p2 + (c.hi * q + c.lo * q), 0.0});
}

}  // namespace

double OscillatorSine(double x) {
  // The grid's range, where every argument of a running oscillator lies.
  if (x > 0.0 && x < kGridEnd - 1.0 / 512.0) {
    const Pair v = GridSine(x);
    if (RoundsSafely(v, 0x1p-72)) return v.hi;
    return ExactSin(x);
  }
  // Zero, NaN and arguments beyond the reduction below go straight to ExactSin.
  if (x == 0.0 || !(std::fabs(x) < 1.0e5)) return ExactSin(x);
  // The pair is within about 2^-80 of the sine (relative; the plain-double tail of the
  // series dominates), so 2^-66 is a safe bound. When every value within the bound rounds
  // to the same double, that double is the correctly rounded sine, which is also what
  // ExactSin returns; a value too close to a rounding boundary is left to ExactSin.
  const Pair v = SinPair(Reduce(x));
  if (RoundsSafely(v, std::fabs(v.hi) * 0x1p-66)) return v.hi;
  return ExactSin(x);
}

}  // namespace mw
