// How far the Multi-Tap Delay's sweep shortens each tap, decided frame by frame without an
// exact sine per frame: an approximate sine, bounds that prove the integer shifts, and how
// many frames they are proven for.
#pragma once

#include <cstdint>

#include "core/dsp/exact_math.h"

namespace mw {
namespace tap_shifts {

// Below this the approximate sine is within 1e-15 of the correctly rounded one; shifts are
// decided with it when a margin of kSineSlack either side leaves them unchanged.
constexpr double kFastSineLimit = 1.0e6;
constexpr double kSineSlack = 0x1p-36;
// Below 10^6 an addition to the phase rounds by at most 2^-34; twice that bounds it.
constexpr double kPhaseRounding = 0x1p-33;

// x = n pi/2 + r with pi/2 in three parts (the first two of 33 significant bits, so that
// n times them is exact for |n| < 2^20, which |x| < 1e6 guarantees); r is then within
// about 2e-16 of its true value. sin and cos of |r| <= pi/4 by their Taylor series to the
// 17th and 16th power (truncation below 1e-19), evaluated with a few roundings of 1e-16.
inline double SinApprox(double x) {
  constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
  constexpr double kPio2A = 0x1.921fb544p+0;
  constexpr double kPio2B = 0x1.0b4611a6p-34;
  constexpr double kPio2C = 0x1.3198a2e037073p-69;
  // Round to the nearest integer by adding and removing 1.5 x 2^52 (|x| < 1e6).
  constexpr double kRound = 6755399441055744.0;
  const double n = (x * kTwoOverPi + kRound) - kRound;
  const double r = ((x - n * kPio2A) - n * kPio2B) - n * kPio2C;
  const double r2 = r * r;
  const int quadrant = static_cast<int>(static_cast<std::int64_t>(n) & 3);
  double v;
  if ((quadrant & 1) == 0) {
    double p = 1.0 / 355687428096000.0;
    p = p * r2 - 1.0 / 1307674368000.0;
    p = p * r2 + 1.0 / 6227020800.0;
    p = p * r2 - 1.0 / 39916800.0;
    p = p * r2 + 1.0 / 362880.0;
    p = p * r2 - 1.0 / 5040.0;
    p = p * r2 + 1.0 / 120.0;
    p = p * r2 - 1.0 / 6.0;
    v = r + r * r2 * p;
  } else {
    double p = 1.0 / 20922789888000.0;
    p = p * r2 - 1.0 / 87178291200.0;
    p = p * r2 + 1.0 / 479001600.0;
    p = p * r2 - 1.0 / 3628800.0;
    p = p * r2 + 1.0 / 40320.0;
    p = p * r2 - 1.0 / 720.0;
    p = p * r2 + 1.0 / 24.0;
    p = p * r2 - 0.5;
    v = 1.0 + r2 * p;
  }
  return quadrant >= 2 ? -v : v;
}

// The shift of a tap for the oscillator value m: trunc(m x E + 0.5) in mono, trunc(m x E)
// in stereo. Both are non-decreasing in m for E >= 0.
template <bool kMono>
inline std::int32_t Shift(double m, double e) {
  if (kMono) return static_cast<std::int32_t>(m * e + 0.5);
  return static_cast<std::int32_t>(m * e);
}

// The shifts of the taps in use for m = sin(phase) + 1.0, with sin the exact sine, and
// how many of the following frames provably keep the same shifts.
//
// The exact sine costs about a microsecond; the shifts only need the integer part. An
// approximate sine s, within kSineSlack of the exact one by a wide margin, bounds m between
// (s - slack) + 1.0 and (s + slack) + 1.0 (rounded additions are monotonic), and the shift
// is monotonic in m, so where both bounds give the same shift it is the exact one. Only
// where a bound straddles an integer is the exact sine evaluated.
//
// The phase grows by at most `sigma` a frame (the step plus the rounding of the sum), and
// the sine moves no faster than its argument, so over the next W frames the exact sine
// stays within W x sigma of this one. Widening the bounds by that much and finding the
// same shifts at both ends proves them for all W frames.
template <bool kMono>
inline std::uint32_t Shifts(double phase, double sigma, const double* depth,
                            const double* inverseDepth, int taps, std::int32_t* k) {
  constexpr double kLimit = kFastSineLimit;
  constexpr double kSlack = kSineSlack;
  constexpr double kHalf = kMono ? 0.5 : 0.0;
  if (!(phase < kLimit && phase > -kLimit)) {
    const double m = ExactSin(phase) + 1.0;
    for (int i = 0; i < taps; ++i) k[i] = Shift<kMono>(m, depth[i]);
    return 0;
  }
  const double s = SinApprox(phase);
  const double mLo = (s - kSlack) + 1.0;
  const double mHi = (s + kSlack) + 1.0;
  bool agree = true;
  double room = 1.0;  // how far m may move, estimated; the check below is what counts
  for (int i = 0; i < taps; ++i) {
    const std::int32_t lo = Shift<kMono>(mLo, depth[i]);
    agree = agree && lo == Shift<kMono>(mHi, depth[i]);
    k[i] = lo;
    const double up = (lo + 1 - kHalf) * inverseDepth[i] - mHi;
    if (up < room) room = up;
    if (lo > 0) {
      const double down = mLo - (lo - kHalf) * inverseDepth[i];
      if (down < room) room = down;
    }
  }
  if (!agree) {
    const double m = ExactSin(phase) + 1.0;
    for (int i = 0; i < taps; ++i) k[i] = Shift<kMono>(m, depth[i]);
    return 0;
  }

  double frames = (room - 1e-9) / sigma;
  if (!(frames >= 1.0)) return 0;
  if (frames > 65536.0) frames = 65536.0;
  const std::uint32_t hold = static_cast<std::uint32_t>(frames);
  const double widen = hold * sigma;
  if (!(phase + widen < kLimit && phase - widen > -kLimit)) return 0;
  const double wLo = ((s - kSlack) - widen) + 1.0;
  const double wHi = ((s + kSlack) + widen) + 1.0;
  for (int i = 0; i < taps; ++i) {
    if (Shift<kMono>(wLo, depth[i]) != k[i] || Shift<kMono>(wHi, depth[i]) != k[i]) return 0;
  }
  return hold;
}

}  // namespace tap_shifts
}  // namespace mw
