#pragma once
// Tight passes over reading buffers: the extremes of a curve and its
// readings widened for the chart. Plain loops the compiler vectorises where
// it can.

#include <cstddef>

namespace larimo {

// The extremes of a pass: min is +infinity and max -infinity when no value
// was taken.
template <typename T>
struct Extremes {
  T min;
  T max;
  // True when some value was taken.
  bool any() const { return max >= min; }
};
using DoubleRange = Extremes<double>;

// The extremes of the values of v[0..n) that are not NaN.
DoubleRange RangeOfNumbers(const double* v, std::size_t n);

// out[k] = v[k] where v[k] is finite and not `skip`, NaN otherwise. Returns
// how many values were kept.
long WidenKeeping(const float* v, std::size_t n, float skip, double* out);

// out[k] = step * (k + 1) for k in [0, n): the X values of n samples.
void FillMultiples(double step, std::size_t n, double* out);

}  // namespace larimo
