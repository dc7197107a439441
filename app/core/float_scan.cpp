#include "core/float_scan.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace larimo {

namespace {
constexpr float kInf = std::numeric_limits<float>::infinity();

// Folds x into the running extremes; a NaN changes neither.
template <typename T>
void Fold(T x, Extremes<T>& r) {
  if (x > r.max) r.max = x;
  if (x < r.min) r.min = x;
}

// Folds the lanes of a vector pass into the running extremes. A lane that
// took nothing holds the neutral ends, which change neither.
template <typename T, std::size_t N>
void FoldLanes(const T (&mins)[N], const T (&maxs)[N], Extremes<T>& r) {
  for (std::size_t lane = 0; lane < N; ++lane) {
    r.min = std::min(r.min, mins[lane]);
    r.max = std::max(r.max, maxs[lane]);
  }
}
}  // namespace

FloatRange RangeSkipping(const float* v, std::size_t n, float skip) {
  FloatRange r{kInf, -kInf};
  std::size_t k = 0;
#if defined(__SSE2__)
  if (n >= 4) {
    // maxps(a, b) is `a > b ? a : b` and minps(a, b) is `a < b ? a : b`, so
    // with the running extremes as b a NaN reading leaves them as they are,
    // exactly as the plain comparisons do. Skipped values become the
    // neutral ends first.
    const __m128 skipV = _mm_set1_ps(skip);
    const __m128 lowest = _mm_set1_ps(-kInf);
    const __m128 highest = _mm_set1_ps(kInf);
    __m128 maxV = lowest;
    __m128 minV = highest;
    for (; k + 4 <= n; k += 4) {
      const __m128 x = _mm_loadu_ps(v + k);
      const __m128 taken = _mm_cmpneq_ps(x, skipV);
      const __m128 forMax = _mm_or_ps(_mm_and_ps(taken, x), _mm_andnot_ps(taken, lowest));
      const __m128 forMin = _mm_or_ps(_mm_and_ps(taken, x), _mm_andnot_ps(taken, highest));
      maxV = _mm_max_ps(forMax, maxV);
      minV = _mm_min_ps(forMin, minV);
    }
    alignas(16) float mins[4];
    alignas(16) float maxs[4];
    _mm_store_ps(mins, minV);
    _mm_store_ps(maxs, maxV);
    FoldLanes(mins, maxs, r);
  }
#endif
  for (; k < n; ++k) {
    if (v[k] != skip) Fold(v[k], r);
  }
  return r;
}

DoubleRange RangeOfNumbers(const double* v, std::size_t n) {
  constexpr double kInfD = std::numeric_limits<double>::infinity();
  DoubleRange r{kInfD, -kInfD};
  std::size_t k = 0;
#if defined(__SSE2__)
  if (n >= 2) {
    // As above: with the running extremes as the second operand a NaN
    // leaves them as they are.
    __m128d minV = _mm_set1_pd(r.min);
    __m128d maxV = _mm_set1_pd(r.max);
    for (; k + 2 <= n; k += 2) {
      const __m128d x = _mm_loadu_pd(v + k);
      minV = _mm_min_pd(x, minV);
      maxV = _mm_max_pd(x, maxV);
    }
    alignas(16) double mins[2];
    alignas(16) double maxs[2];
    _mm_store_pd(mins, minV);
    _mm_store_pd(maxs, maxV);
    FoldLanes(mins, maxs, r);
  }
#endif
  for (; k < n; ++k) Fold(v[k], r);
  return r;
}

long WidenKeeping(const float* v, std::size_t n, float skip, double* out) {
  const double none = std::numeric_limits<double>::quiet_NaN();
  long kept = 0;
  std::size_t k = 0;
#if defined(__SSE2__)
  const __m128 skipV = _mm_set1_ps(skip);
  const __m128 inf = _mm_set1_ps(kInf);
  const __m128 noSign = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  const __m128 nan = _mm_set1_ps(std::numeric_limits<float>::quiet_NaN());
  for (; k + 4 <= n; k += 4) {
    const __m128 x = _mm_loadu_ps(v + k);
    // |x| < infinity is false for infinities and NaN.
    const __m128 keep =
        _mm_and_ps(_mm_cmpneq_ps(x, skipV), _mm_cmplt_ps(_mm_and_ps(x, noSign), inf));
    const __m128 y = _mm_or_ps(_mm_and_ps(keep, x), _mm_andnot_ps(keep, nan));
    _mm_storeu_pd(out + k, _mm_cvtps_pd(y));
    _mm_storeu_pd(out + k + 2, _mm_cvtps_pd(_mm_movehl_ps(y, y)));
    const int bits = _mm_movemask_ps(keep);
    kept += (bits & 1) + ((bits >> 1) & 1) + ((bits >> 2) & 1) + ((bits >> 3) & 1);
  }
#endif
  for (; k < n; ++k) {
    const float x = v[k];
    const bool keep = x != skip && std::isfinite(x);
    out[k] = keep ? static_cast<double>(x) : none;
    kept += keep ? 1 : 0;
  }
  return kept;
}

}  // namespace larimo
