// The sine of the chorus oscillators, with exactly the values of ExactSin.
//
// ExactSin evaluates its series in double-double arithmetic with a division per term and
// costs about a microsecond. The chorus needs a sine per voice and frame; the voices keep
// the values in tables (see chorus.h), and this function fills them some thirty times
// faster: in [0, 2 pi) it starts from a grid of sines and cosines held as double-doubles
// and adds a short series; elsewhere it reduces the argument and sums the series with
// precomputed coefficients. It keeps its result only when an error bound proves that
// rounding the exact sine gives the same double; a value too close to a rounding boundary
// (a few in a hundred thousand) is left to ExactSin itself. Either way the result is the
// one ExactSin gives, on every platform.
#pragma once

namespace mw {

double OscillatorSine(double x);

}  // namespace mw
