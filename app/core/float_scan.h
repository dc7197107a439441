#pragma once
// Tight passes over reading buffers, written with SSE2 where the machine has
// it (every x86-64 does) and as plain loops elsewhere. Both forms give the
// same results; the vector form only takes four readings at a time.

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
using FloatRange = Extremes<float>;
using DoubleRange = Extremes<double>;

// The extremes of v[0..n) over the values that are not `skip`; NaN values
// are passed over too. The same as folding `x > max` and `x < min` in order.
FloatRange RangeSkipping(const float* v, std::size_t n, float skip);

// The extremes of the values of v[0..n) that are not NaN.
DoubleRange RangeOfNumbers(const double* v, std::size_t n);

// out[k] = v[k] where v[k] is finite and not `skip`, NaN otherwise. Returns
// how many values were kept.
long WidenKeeping(const float* v, std::size_t n, float skip, double* out);

}  // namespace larimo
