#include "store/float_scan.h"

#include <cmath>
#include <limits>

namespace larimo {

namespace {
// Folds x into the running extremes; a NaN changes neither.
template <typename T>
void Fold(T x, Extremes<T>& r) {
  if (x > r.max) r.max = x;
  if (x < r.min) r.min = x;
}
}  // namespace

DoubleRange RangeOfNumbers(const double* v, std::size_t n) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  DoubleRange r{kInf, -kInf};
  for (std::size_t k = 0; k < n; ++k) Fold(v[k], r);
  return r;
}

long WidenKeeping(const float* v, std::size_t n, float skip, double* out) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  long kept = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const float x = v[k];
    const bool keep = x != skip && std::isfinite(x);
    out[k] = keep ? static_cast<double>(x) : none;
    kept += keep ? 1 : 0;
  }
  return kept;
}

}  // namespace larimo
