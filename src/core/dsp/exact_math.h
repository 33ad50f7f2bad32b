// Elementary functions with results that do not depend on the platform's mathematics
// library: the native and the Windows builds must produce identical samples, and the
// libraries of the two toolchains round differently in a few percent of cases.
//
// Each function evaluates in double-double arithmetic (about 100 significant bits) using
// only additions, subtractions, multiplications and divisions, which IEEE 754 defines
// exactly, and rounds once at the end. The results are the correctly rounded values except
// where the exact value lies within about 2^-90 of a rounding boundary.
#pragma once

namespace mw {

double ExactExp(double x);
double ExactLog(double x);
double ExactPow(double x, double y);
double ExactSin(double x);
double ExactCos(double x);
double ExactTan(double x);

}  // namespace mw
