// The platform-independent elementary functions: correctly rounded on cases where common
// mathematics libraries are not, and never more than an ulp from them anywhere.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/dsp/exact_math.h"

namespace {

struct Known {
  const char* function;
  double x, y, expected;  // expected: the exact value rounded to nearest, computed apart
};

// Reference values from an independent 80-digit decimal evaluation.
constexpr Known kKnown[] = {
    {"pow", 0x1.4p+3, 0x1.d7ae147ae147bp+1, 0x1.2e9b942d1e5fap+12},  // 10^3.685
    {"pow", 0x1.4p+3, 0x1.b2e147ae147aep+2, 0x1.7cb2916b57087p+22},  // 10^6.795
    {"pow", 0x1.02de00d1b7176p-5, 0x1.999999999999ap-3, 0x1.009225b945fc3p-1},
    {"cos", 0x1.5bb98c7e2824p+0, 0, 0x1.afecb9288e02bp-3},
    {"cos", 0x1.f71758e219652p+0, 0, -0x1.897ada977fc97p-2},
    {"sin", 0x1.089a02752546p+1, 0, 0x1.c233bf6c24fc9p-1},
    {"sin", 0x1.1faacd9e83e42p+1, 0, 0x1.8f3556b190277p-1},
    {"cos", 0x1.454fdf3b645a1p+1, 0, -0x1.a68b8835c469dp-1},
    {"sin", 0x1.7645a1cac0831p+1, 0, 0x1.ba1f1ecc68613p-3},
    {"cos", 0x1.e5aee631f8a09p+1, 0, -0x1.96b932987735dp-1},
    {"cos", 0x1.54ded288ce703p+2, 0, 0x1.26dd0d2867ddfp-1},
    {"tan", 0x1.178d4fdf3b645p-1, 0, 0x1.37195215a3903p-1},
    {"log", 0x1.4fc1da7b0b392p+6, 0, 0x1.1b86a9248c078p+2},
    {"exp", -0x1.6cbcfa53f9445p-1, 0, 0x1.f63f4b78bab32p-2},
    {"sin", 0x1p+0, 0, 0x1.aed548f090ceep-1},
    {"cos", 0x1.921fb54442d18p+0, 0, 0x1.1a62633145c07p-54},  // cos of double(pi/2)
    {"sin", 0x1.921fb54442d18p+1, 0, 0x1.1a62633145c07p-53},  // sin of double(pi)
};

double Eval(const std::string& f, double x, double y) {
  if (f == "pow") return mw::ExactPow(x, y);
  if (f == "exp") return mw::ExactExp(x);
  if (f == "log") return mw::ExactLog(x);
  if (f == "sin") return mw::ExactSin(x);
  if (f == "cos") return mw::ExactCos(x);
  return mw::ExactTan(x);
}

TEST(ExactMath, MatchesIndependentCorrectlyRoundedValues) {
  for (const Known& k : kKnown) {
    EXPECT_EQ(Eval(k.function, k.x, k.y), k.expected) << k.function << " " << k.x;
  }
}

bool WithinOneUlp(double a, double b) {
  return a == b || std::nextafter(a, b) == b;
}

// Over the domains the engines use, never more than one ulp from the platform's library.
TEST(ExactMath, AgreesWithThePlatformLibraryToAnUlp) {
  for (int v = -799; v <= 2000; ++v) {
    const double y = v * 0.005;
    ASSERT_TRUE(WithinOneUlp(mw::ExactPow(10.0, y), std::pow(10.0, y))) << v;
  }
  for (int i = 1; i < 3000; ++i) {
    const double y = 10.0 / i;
    ASSERT_TRUE(WithinOneUlp(mw::ExactPow(0.0316, y), std::pow(0.0316, y))) << y;
    const double x = i * 0.0041 - 7.0;
    ASSERT_TRUE(WithinOneUlp(mw::ExactExp(x * 9), std::exp(x * 9))) << x;
    ASSERT_TRUE(WithinOneUlp(mw::ExactSin(x), std::sin(x))) << x;
    ASSERT_TRUE(WithinOneUlp(mw::ExactCos(x), std::cos(x))) << x;
    ASSERT_TRUE(WithinOneUlp(mw::ExactLog(i * 0.37), std::log(i * 0.37))) << i;
    if (std::fabs(std::cos(x)) > 1e-3) {
      ASSERT_TRUE(WithinOneUlp(mw::ExactTan(x), std::tan(x))) << x;
    }
  }
}

// Large arguments, as a long-running oscillator reaches: correctly rounded (reference
// values from the same independent evaluation), where some platform libraries are not.
TEST(ExactMath, LargeArgumentsReduceAccurately) {
  struct Large {
    double x, sin, cos;
  };
  constexpr Large kLarge[] = {
      {0x1.9f0a01f7ced91p+20, 0x1.dd450af889491p-2, -0x1.c4fcb986372a3p-1},
      {0x1.d6f3456000000p+26, 0x1.df4f404fe0ff9p-1, -0x1.68090105c433dp-2},
      {0x1.dcd6500100000p+30, 0x1.f8f61d4d823cdp-1, 0x1.526b7bd834c3bp-3},
      {0x1.d6f3458800000p+29, 0x1.ffe52edc52dfbp-1, -0x1.4b68580d20bf8p-6},
  };
  for (const Large& l : kLarge) {
    EXPECT_EQ(mw::ExactSin(l.x), l.sin) << l.x;
    EXPECT_EQ(mw::ExactCos(l.x), l.cos) << l.x;
  }
  for (double x = 1.0e6; x < 2.0e9; x = x * 1.7 + 0.123) {
    const double s = mw::ExactSin(x), c = mw::ExactCos(x);
    ASSERT_NEAR(s * s + c * c, 1.0, 4e-16) << x;
  }
}

TEST(ExactMath, ExactCasesAndSymmetries) {
  EXPECT_EQ(mw::ExactPow(10.0, 2.0), 100.0);
  EXPECT_EQ(mw::ExactPow(10.0, 0.0), 1.0);
  EXPECT_EQ(mw::ExactPow(2.0, -3.0), 0.125);
  EXPECT_EQ(mw::ExactPow(4.0, 0.5), 2.0);
  EXPECT_EQ(mw::ExactPow(-2.0, 3.0), -8.0);
  EXPECT_EQ(mw::ExactPow(-2.0, 2.0), 4.0);
  EXPECT_EQ(mw::ExactExp(0.0), 1.0);
  EXPECT_EQ(mw::ExactLog(1.0), 0.0);
  EXPECT_EQ(mw::ExactLog(8.0), 3 * mw::ExactLog(2.0));
  EXPECT_EQ(mw::ExactCos(0.0), 1.0);
  for (double x = 0.001; x < 20.0; x *= 1.37) {
    EXPECT_EQ(mw::ExactSin(-x), -mw::ExactSin(x));
    EXPECT_EQ(mw::ExactCos(-x), mw::ExactCos(x));
  }
}

TEST(ExactMath, SpecialValues) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(std::isnan(mw::ExactPow(std::nan(""), 2.0)));
  EXPECT_TRUE(std::isnan(mw::ExactPow(-2.0, 0.5)));
  EXPECT_EQ(mw::ExactPow(0.0, 2.0), 0.0);
  EXPECT_EQ(mw::ExactPow(10.0, 400.0), inf);
  EXPECT_EQ(mw::ExactPow(10.0, -400.0), 0.0);
  EXPECT_EQ(mw::ExactExp(1000.0), inf);
  EXPECT_EQ(mw::ExactExp(-1000.0), 0.0);
  EXPECT_EQ(mw::ExactExp(-inf), 0.0);
  EXPECT_EQ(mw::ExactLog(0.0), -inf);
  EXPECT_TRUE(std::isnan(mw::ExactLog(-1.0)));
  EXPECT_TRUE(std::isnan(mw::ExactSin(std::nan(""))));
  EXPECT_GT(mw::ExactExp(-740.0), 0.0);  // subnormal, not flushed
}

}  // namespace
