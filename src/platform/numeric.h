#pragma once
// Number rules shared by every subsystem: conversions from floating point take
// the nearest integer with a half going to the even neighbour, and a result
// that does not fit its integer type is reported instead of wrapped.
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace Numeric {

// Nearest integer, ties to even (1.5 -> 2, 2.5 -> 2, -0.5 -> -0).
inline double roundHalfEven(double x)
{
    const double r = std::round(x); // ties away from zero
    if (std::fabs(x - std::trunc(x)) == 0.5)
        return 2.0 * std::round(x / 2.0);
    return r;
}

// Rounds and converts to T, or nothing when the value is not finite or does
// not fit T: the caller treats that as the design's overflow error.
template <typename T>
std::optional<T> toIntChecked(double x)
{
    if (!std::isfinite(x))
        return std::nullopt;
    const double r = roundHalfEven(x);
    if (r < static_cast<double>(std::numeric_limits<T>::min())
        || r > static_cast<double>(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(r);
}

// a + b for signed 32-bit values, or nothing on overflow.
inline std::optional<int32_t> addChecked(int32_t a, int32_t b)
{
    int32_t r;
    if (__builtin_add_overflow(a, b, &r))
        return std::nullopt;
    return r;
}

inline std::optional<int32_t> subChecked(int32_t a, int32_t b)
{
    int32_t r;
    if (__builtin_sub_overflow(a, b, &r))
        return std::nullopt;
    return r;
}

} // namespace Numeric
