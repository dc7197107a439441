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

namespace {
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kLargest = std::numeric_limits<float>::max();

// Widens one reading. Comparing the widened values is exact, and
// |w| <= the largest float is "finite" without a branch.
inline bool Widen(float x, float skip, double& out) {
  const double w = x;
  const bool keep = (w != static_cast<double>(skip)) & (std::fabs(w) <= kLargest);
  out = keep ? w : kNone;
  return keep;
}

// Widens one chunk. A fixed count, no branch and buffers that do not
// overlap: the compiler turns the loop into vector code (kept out of line,
// so it is not folded into the caller's loop of unknown length).
constexpr std::size_t kChunk = 256;
[[gnu::noinline]] long WidenChunk(const float* __restrict v, float skip, double* __restrict out) {
  long kept = 0;
  for (std::size_t k = 0; k < kChunk; ++k) kept += Widen(v[k], skip, out[k]);
  return kept;
}

// out[j] = step * (first + j) for one chunk; whole numbers below 2^53 are
// exact in a double, so this equals step * (index + 1) taken one by one.
[[gnu::noinline]] void MultiplesChunk(double step, double first, double* __restrict out) {
  for (int j = 0; j < static_cast<int>(kChunk); ++j) out[j] = step * (first + j);
}
}  // namespace

long WidenKeeping(const float* v, std::size_t n, float skip, double* out) {
  long kept = 0;
  std::size_t k = 0;
  for (; k + kChunk <= n; k += kChunk) kept += WidenChunk(v + k, skip, out + k);
  for (; k < n; ++k) kept += Widen(v[k], skip, out[k]);
  return kept;
}

void FillMultiples(double step, std::size_t n, double* out) {
  std::size_t k = 0;
  for (; k + kChunk <= n; k += kChunk) MultiplesChunk(step, static_cast<double>(k + 1), out + k);
  for (; k < n; ++k) out[k] = step * static_cast<double>(k + 1);
}

}  // namespace larimo
