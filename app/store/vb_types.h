#pragma once
// Scalar types of the data store and the measurement file.
//
// A Boolean is a 16-bit integer with True = -1 and False = 0. Values read
// back from files may hold anything, so code that asks "is it True" compares
// with -1 (IsTrue) and code that asks "is it set" compares with 0 (IsSet);
// each caller picks the test its rule calls for.

#include <cstdint>

namespace larimo {

using Byte = std::uint8_t;
using Integer = std::int16_t;
using Long = std::int32_t;
using Single = float;
using Boolean = std::int16_t;

inline constexpr Boolean kTrue = -1;
inline constexpr Boolean kFalse = 0;

constexpr bool IsTrue(Boolean b) { return b == kTrue; }
constexpr bool IsSet(Boolean b) { return b != 0; }
constexpr Boolean ToBoolean(bool b) { return b ? kTrue : kFalse; }

}  // namespace larimo
