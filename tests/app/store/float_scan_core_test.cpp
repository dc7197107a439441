#include "store/float_scan.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace larimo {
namespace {

constexpr float kSkip = -999.0f;
const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Every length from 0 to 13 at every start offset 0 to 3, so that each
// split between the four-wide part and the leftovers is met, over values
// that mix readings with skipped ones, NaN, infinities and both zeros.
std::vector<float> Mixed() {
  return {3.5f,    kSkip, -0.0f, 12.25f, kNan, -40.0f, kSkip, 0.0f, 850.0f,
          -200.0f, kSkip, 1e-7f, kNan,   kInf, kSkip,  -kInf, 99.0f};
}

TEST(FloatScan, RangeOfNumbersPassesOverNanAtEveryLengthAndOffset) {
  const std::vector<float> mixed = Mixed();
  const std::vector<double> v(mixed.begin(), mixed.end());
  for (std::size_t from = 0; from < 4; ++from) {
    for (std::size_t n = 0; from + n <= v.size() && n <= 13; ++n) {
      double min = std::numeric_limits<double>::infinity();
      double max = -min;
      for (std::size_t k = from; k < from + n; ++k) {
        if (std::isnan(v[k])) continue;
        min = std::min(min, v[k]);
        max = std::max(max, v[k]);
      }
      const DoubleRange r = RangeOfNumbers(v.data() + from, n);
      EXPECT_EQ(r.min, min) << from << "+" << n;
      EXPECT_EQ(r.max, max) << from << "+" << n;
    }
  }
}

// Short lengths as above, and lengths around the whole chunks of the long
// pass (256 readings).
TEST(FloatScan, WidenKeepingKeepsFiniteReadingsOnly) {
  std::vector<float> v;
  while (v.size() < 800) {
    const std::vector<float> mixed = Mixed();
    v.insert(v.end(), mixed.begin(), mixed.end());
  }
  std::vector<std::size_t> lengths = {255, 256, 257, 513, 780};
  for (std::size_t n = 0; n <= 13; ++n) lengths.push_back(n);
  for (std::size_t from = 0; from < 4; ++from) {
    for (std::size_t n : lengths) {
      std::vector<double> out(n + 1, 123.0);
      const long kept = WidenKeeping(v.data() + from, n, kSkip, out.data());
      long expected = 0;
      for (std::size_t k = 0; k < n; ++k) {
        const float x = v[from + k];
        if (x != kSkip && std::isfinite(x)) {
          ++expected;
          EXPECT_EQ(out[k], static_cast<double>(x)) << from << "+" << k;
          EXPECT_EQ(std::signbit(out[k]), std::signbit(x)) << from << "+" << k;
        } else {
          EXPECT_TRUE(std::isnan(out[k])) << from << "+" << k;
        }
      }
      EXPECT_EQ(kept, expected) << from << "+" << n;
      EXPECT_EQ(out[n], 123.0) << "wrote past the end";
    }
  }
}

TEST(FloatScan, FillMultiplesEqualsEachProduct) {
  for (const double step : {0.01, 0.1, 1.0 / 3.0, 600.0}) {
    for (const std::size_t n : {0UL, 1UL, 255UL, 256UL, 257UL, 88000UL}) {
      std::vector<double> out(n + 1, -1.0);
      FillMultiples(step, n, out.data());
      for (std::size_t k = 0; k < n; ++k) {
        ASSERT_EQ(out[k], step * static_cast<double>(k + 1)) << step << " " << k;
      }
      EXPECT_EQ(out[n], -1.0) << "wrote past the end";
    }
  }
}

}  // namespace
}  // namespace larimo
