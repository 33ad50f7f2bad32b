#include "core/dsp/exact_math.h"

#include <cmath>
#include <limits>

namespace mw {
namespace {

// An unevaluated sum hi + lo with |lo| <= ulp(hi) / 2.
struct DD {
  double hi;
  double lo;
};

inline DD QuickTwoSum(double a, double b) {  // requires |a| >= |b|
  const double s = a + b;
  return {s, b - (s - a)};
}

inline DD TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// Veltkamp's split into two halves of 26 bits.
inline void Split(double a, double* hi, double* lo) {
  const double c = 134217729.0 * a;  // 2^27 + 1
  *hi = c - (c - a);
  *lo = a - *hi;
}

// Dekker's exact product, without fused multiply-add.
inline DD TwoProd(double a, double b) {
  const double p = a * b;
  double ah, al, bh, bl;
  Split(a, &ah, &al);
  Split(b, &bh, &bl);
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

inline DD Add(DD a, DD b) {
  DD s = TwoSum(a.hi, b.hi);
  const DD t = TwoSum(a.lo, b.lo);
  s.lo += t.hi;
  s = QuickTwoSum(s.hi, s.lo);
  s.lo += t.lo;
  return QuickTwoSum(s.hi, s.lo);
}

inline DD Neg(DD a) { return {-a.hi, -a.lo}; }
inline DD Sub(DD a, DD b) { return Add(a, Neg(b)); }

inline DD Mul(DD a, DD b) {
  DD p = TwoProd(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return QuickTwoSum(p.hi, p.lo);
}

inline DD MulD(DD a, double b) {
  DD p = TwoProd(a.hi, b);
  p.lo += a.lo * b;
  return QuickTwoSum(p.hi, p.lo);
}

inline DD Div(DD a, DD b) {
  const double q1 = a.hi / b.hi;
  DD r = Sub(a, MulD(b, q1));
  const double q2 = r.hi / b.hi;
  r = Sub(r, MulD(b, q2));
  const double q3 = r.hi / b.hi;
  DD q = QuickTwoSum(q1, q2);
  return Add(q, DD{q3, 0.0});
}

inline DD Scale(DD a, double powerOfTwo) { return {a.hi * powerOfTwo, a.lo * powerOfTwo}; }

// ln 2 to about 160 bits: the first part has trailing zero bits, so k x kLn2A is exact.
constexpr double kLn2A = 0x1.62e42fee00000p-1;
constexpr double kLn2B = 0x1.a39ef35793c76p-33;
constexpr double kLn2C = 0x1.cc01f97b57a08p-87;

// pi/2 in five parts of decreasing weight (about 230 bits). The first carries 21
// significant bits, so k times it is exact for |k| < 2^32; the others are multiplied
// exactly by TwoProd.
constexpr double kPio2A = 0x1.921fb00000000p+0;
constexpr double kPio2B = 0x1.5110b4611a626p-22;
constexpr double kPio2C = 0x1.98a2e03707345p-77;
constexpr double kPio2D = -0x1.6fdb1f7759834p-131;
constexpr double kPio2E = 0x1.d0082efa98ec5p-185;

// Arguments up to here are reduced exactly as above; beyond, the platform's functions
// answer (about 200 days of a 10 Hz oscillator's phase).
constexpr double kReductionLimit = 2147483648.0;

constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;

// 2^n as a double for -1074 <= n <= 1023.
double Pow2(int n) {
  if (n > 1023) return std::numeric_limits<double>::infinity();
  if (n >= -1022) {
    double r = 1.0;
    double b = n >= 0 ? 2.0 : 0.5;
    unsigned m = static_cast<unsigned>(n >= 0 ? n : -n);
    while (m) {
      if (m & 1u) r *= b;
      b *= b;
      m >>= 1;
    }
    return r;
  }
  if (n < -1074) return 0.0;
  return Pow2(n + 60) * Pow2(-60);
}

// e^r for |r| <= about 0.35 (plus a tiny low part): reduced by 2^-10, a Taylor series to
// beyond 2^-110, then squared back ten times.
DD ExpSmall(DD r) {
  const DD s = Scale(r, 1.0 / 1024.0);
  // Horner: 1 + s(1 + s/2(1 + s/3(...))), up to s^11/11!.
  DD sum = {1.0, 0.0};
  for (int n = 11; n >= 1; --n) {
    sum = Add(DD{1.0, 0.0}, Div(Mul(s, sum), DD{static_cast<double>(n), 0.0}));
  }
  for (int i = 0; i < 10; ++i) sum = Mul(sum, sum);
  return sum;
}

// e^a in double-double, with the binary exponent returned apart so that the caller can
// round once. Requires |a.hi| < 746.
DD ExpDD(DD a, int* exponent) {
  const double k = std::nearbyint(a.hi * 0x1.71547652b82fep+0);  // 1/ln 2
  DD r = Sub(a, TwoProd(k, kLn2A));  // exact product
  r = Sub(r, MulD(DD{kLn2B, 0.0}, k));
  r = Sub(r, MulD(DD{kLn2C, 0.0}, k));
  *exponent = static_cast<int>(k);
  return ExpSmall(r);
}

double Finish(DD v, int exponent) {
  // hi is already v rounded to nearest; scaling by a power of two is exact unless the
  // result leaves the normal range.
  if (exponent > 1000 || exponent < -1000) {
    const int half = exponent / 2;
    return (v.hi + v.lo) * Pow2(half) * Pow2(exponent - half);
  }
  return (v.hi + v.lo) * Pow2(exponent);
}

// ln x for finite x > 0, in double-double: x = 2^e m with m in [sqrt(1/2), sqrt(2)),
// ln m = 2 atanh((m - 1) / (m + 1)).
DD LogDD(double x) {
  int e;
  double m = std::frexp(x, &e);  // exact: m in [0.5, 1)
  if (m < 0.70710678118654752440) {
    m *= 2.0;
    --e;
  }
  const DD t = Div(Sub(DD{m, 0.0}, DD{1.0, 0.0}), Add(DD{m, 0.0}, DD{1.0, 0.0}));
  const DD t2 = Mul(t, t);
  // |t| <= 0.1716: t^2 <= 0.0295, so 23 odd terms reach beyond 2^-110.
  DD sum = {0.0, 0.0};
  for (int n = 45; n >= 3; n -= 2) {
    sum = Mul(t2, Add(sum, Div(DD{1.0, 0.0}, DD{static_cast<double>(n), 0.0})));
  }
  DD lnm = Scale(Mul(t, Add(DD{1.0, 0.0}, sum)), 2.0);
  const double ed = static_cast<double>(e);
  DD le = TwoProd(ed, kLn2A);
  le = Add(le, MulD(DD{kLn2B, 0.0}, ed));
  le = Add(le, MulD(DD{kLn2C, 0.0}, ed));
  return Add(le, lnm);
}

// sin and cos of a reduced |r| <= pi/4 + tiny, by their Taylor series.
DD SinSmall(DD r) {
  const DD r2 = Mul(r, r);
  DD sum = {0.0, 0.0};
  for (int n = 31; n >= 3; n -= 2) {  // sum = r2/((n-1)n) (1 - sum)
    sum = Div(Mul(r2, Sub(DD{1.0, 0.0}, sum)), DD{static_cast<double>((n - 1) * n), 0.0});
  }
  return Mul(r, Sub(DD{1.0, 0.0}, sum));
}

DD CosSmall(DD r) {
  const DD r2 = Mul(r, r);
  DD sum = {0.0, 0.0};
  for (int n = 32; n >= 2; n -= 2) {
    sum = Div(Mul(r2, Sub(DD{1.0, 0.0}, sum)), DD{static_cast<double>((n - 1) * n), 0.0});
  }
  return Sub(DD{1.0, 0.0}, sum);
}

// x = k pi/2 + r; returns false when |x| is too large for this reduction.
bool Reduce(double x, DD* r, int* quadrant) {
  if (!(std::fabs(x) < kReductionLimit)) return false;
  const double k = std::nearbyint(x * kTwoOverPi);
  DD v = TwoSum(x, -(k * kPio2A));  // k x A is exact
  v = Sub(v, TwoProd(k, kPio2B));
  v = Sub(v, TwoProd(k, kPio2C));
  v = Sub(v, TwoProd(k, kPio2D));
  v = Sub(v, TwoProd(k, kPio2E));
  *r = v;
  *quadrant = static_cast<int>(static_cast<long long>(k) & 3);
  return true;
}

}  // namespace

double ExactExp(double x) {
  if (x != x) return x;
  if (x > 709.8) return std::numeric_limits<double>::infinity();
  if (x < -745.2) return 0.0;
  if (x == 0.0) return 1.0;
  int e;
  const DD v = ExpDD(DD{x, 0.0}, &e);
  return Finish(v, e);
}

double ExactLog(double x) {
  if (x != x || x < 0.0) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0.0) return -std::numeric_limits<double>::infinity();
  if (x == std::numeric_limits<double>::infinity()) return x;
  if (x == 1.0) return 0.0;
  const DD v = LogDD(x);
  return v.hi + v.lo;
}

double ExactPow(double x, double y) {
  if (y == 0.0 || x == 1.0) return 1.0;
  if (x != x || y != y) return std::numeric_limits<double>::quiet_NaN();
  if (!(x > 0.0) || std::isinf(x) || std::isinf(y)) {
    if (x < 0.0 && std::isfinite(x) && std::isfinite(y) && y == std::nearbyint(y)) {
      const double m = ExactPow(-x, y);
      return std::fmod(y, 2.0) != 0.0 ? -m : m;
    }
    return std::pow(x, y);  // zeros, infinities and NaN results: exact everywhere
  }
  const DD l = LogDD(x);
  DD a = MulD(l, y);
  if (a.hi > 709.8) return std::numeric_limits<double>::infinity();
  if (a.hi < -745.2) return 0.0;
  int e;
  const DD v = ExpDD(a, &e);
  return Finish(v, e);
}

double ExactSin(double x) {
  if (x == 0.0 || x != x) return x;
  DD r;
  int q;
  if (!Reduce(x, &r, &q)) return std::sin(x);
  DD v;
  switch (q) {
    case 0: v = SinSmall(r); break;
    case 1: v = CosSmall(r); break;
    case 2: v = Neg(SinSmall(r)); break;
    default: v = Neg(CosSmall(r)); break;
  }
  return v.hi + v.lo;
}

double ExactCos(double x) {
  if (x != x) return x;
  DD r;
  int q;
  if (!Reduce(x, &r, &q)) return std::cos(x);
  DD v;
  switch (q) {
    case 0: v = CosSmall(r); break;
    case 1: v = Neg(SinSmall(r)); break;
    case 2: v = Neg(CosSmall(r)); break;
    default: v = SinSmall(r); break;
  }
  return v.hi + v.lo;
}

double ExactTan(double x) {
  if (x == 0.0 || x != x) return x;
  DD r;
  int q;
  if (!Reduce(x, &r, &q)) return std::tan(x);
  const DD s = SinSmall(r), c = CosSmall(r);
  const DD v = (q & 1) ? Neg(Div(c, s)) : Div(s, c);
  return v.hi + v.lo;
}

}  // namespace mw
