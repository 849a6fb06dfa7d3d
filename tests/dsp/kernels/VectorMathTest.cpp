// The array forms of exp and log against the C library's scalar functions: within
// a few units in the last place, at every run length (a run's last vector is part-filled), in place,
// and the same for an input wherever it lies in a run. ZARN_TEST_CPU=avx2 runs the AVX2 forms.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/kernels/VectorMath.h"

namespace {

int64_t UnitsApart(double a, double b) {
  int64_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x > y ? x - y : y - x;  // both have the same sign here
}

struct Function {
  const char* name;
  void (*array)(const double*, double*, int);
  double (*scalar)(double);
  double low, high;  // the inputs the stages give it
};

const Function kFunctions[] = {
    {"exp", vmath::Exp, [](double x) { return std::exp(x); }, -700.0, 2.0},
    {"log", vmath::Log, [](double x) { return std::log(x); }, 1e-20, 2.0},
};

std::vector<double> Inputs(const Function& f, size_t n, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> uniform(f.low, f.high);
  std::vector<double> x(n);
  for (double& v : x) v = uniform(random);
  return x;
}

TEST(VectorMath, EveryRunLengthWithinFourUnitsOfTheScalarFunction) {
  for (const Function& f : kFunctions) {
    for (int n = 0; n <= 41; ++n) {
      // One past the end of the run must stay as it was.
      const std::vector<double> x = Inputs(f, static_cast<size_t>(n) + 1, static_cast<unsigned>(n));
      std::vector<double> out(x.size(), -7.0);
      f.array(x.data(), out.data(), n);
      for (int i = 0; i < n; ++i)
        ASSERT_LE(UnitsApart(out[i], f.scalar(x[i])), 4) << f.name << " run " << n << " at " << i << ": " << x[i];
      EXPECT_EQ(out[n], -7.0) << f.name << " run " << n;
    }
  }
}

TEST(VectorMath, AnInputGivesTheSameResultAnywhereInARunAndInPlace) {
  for (const Function& f : kFunctions) {
    const std::vector<double> x = Inputs(f, 300, 5);
    std::vector<double> whole(x.size());
    f.array(x.data() + 1, whole.data(), 299);  // from an odd address
    std::vector<double> inPlace(x);
    f.array(inPlace.data(), inPlace.data(), 300);
    for (size_t i = 0; i < 299; ++i) {
      double alone;
      f.array(&x[i + 1], &alone, 1);
      ASSERT_EQ(whole[i], alone) << f.name << " at " << i;
      ASSERT_EQ(inPlace[i + 1], alone) << f.name << " at " << i;
    }
  }
}

TEST(VectorMath, EdgesOfTheStagesInputs) {
  double x[] = {-1e4, 0.0, -745.2, -2.0 * 6.0 * 1e6, 1.0}, out[5];
  vmath::Exp(x, out, 5);
  EXPECT_EQ(out[0], 0.0);  // far below the smallest double
  EXPECT_EQ(out[1], 1.0);
  EXPECT_EQ(out[3], 0.0);
  EXPECT_NEAR(out[4], std::numbers::e, 1e-15);
  double logs[] = {0.0, 1.0, 1e-20, 1e-300, 2.0};
  vmath::Log(logs, out, 5);
  EXPECT_EQ(out[0], -std::numeric_limits<double>::infinity());  // the leveler's envelope at silence
  EXPECT_EQ(out[1], 0.0);
  EXPECT_NEAR(out[2], -20.0 * std::numbers::ln10, 1e-13);
  EXPECT_NEAR(out[3], -300.0 * std::numbers::ln10, 1e-12);
  EXPECT_NEAR(out[4], std::numbers::ln2, 1e-16);
}

}  // namespace
