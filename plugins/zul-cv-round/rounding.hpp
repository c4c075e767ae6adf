// Exact floor and ceiling without the mathematics library: on x86-64 without
// SSE4.1 floorf, ceilf and floor are library calls, which run() may not make.
//
// Every value is decided by comparisons and conversions, which read a denormal
// operand as zero under the plugins' floating-point mode, so the results agree
// with a hardware rounding instruction in that mode: a positive denormal has
// ceiling +0, a negative one floor -0. Only the sign of a zero result is taken
// from the bits, and flushing keeps the sign.
#pragma once

#include <bit>
#include <cstdint>

#include "shell/plugin.hpp"

namespace rounding {

// From these magnitudes on every float, or double, is a whole number.
inline constexpr float float_whole = 8388608.0f;            // 2^23
inline constexpr double double_whole = 4503599627370496.0;  // 2^52

// A NaN as the rounding instructions return it: quiet, sign and payload kept.
inline float quiet(float x) {
  return zul::float_of(zul::bits_of(x) | 0x00400000u);
}
inline double quiet(double x) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(x) | 0x0008000000000000u);
}

// A zero result has the operand's sign: floor(-0) = -0, ceiling(-0.5) = -0.
inline float zero_signed_as(float x) {
  return zul::float_of(zul::bits_of(x) & 0x80000000u);
}
inline double zero_signed_as(double x) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(x) & 0x8000000000000000u);
}

// Toward zero. Only for magnitudes below 2^23 (2^52), where the conversion is
// defined and the result is exact.
inline float truncated(float x) {
  return static_cast<float>(static_cast<int32_t>(x));
}
// The double one without a 64-bit integer conversion, a helper call on 32-bit
// ARM: adding and taking away 2^52 rounds the magnitude to a whole number
// (nearest, under the plugins' mode), which steps back by one where it went
// up. A zero result is +0, as from the conversion.
inline double truncated(double x) {
  const uint64_t sign = std::bit_cast<uint64_t>(x) & 0x8000000000000000u;
  const double magnitude = std::bit_cast<double>(std::bit_cast<uint64_t>(x) ^ sign);
  double whole = (magnitude + double_whole) - double_whole;
  if (whole > magnitude) whole -= 1.0;
  return std::bit_cast<double>(std::bit_cast<uint64_t>(whole) | sign) + 0.0;  // -0 + 0 is +0
}

// Infinities and large magnitudes pass as they are; a NaN comes out quiet.
inline float already_whole(float x) {
  return x != x ? quiet(x) : x;
}
inline double already_whole(double x) {
  return x != x ? quiet(x) : x;
}

// Of a float, or of a double (the rounding's exact sum).
template <class F>
F floor(F x) {
  constexpr F whole =
      sizeof(F) == sizeof(float) ? static_cast<F>(float_whole) : static_cast<F>(double_whole);
  if (x > -whole && x < whole) {
    F t = truncated(x);
    if (t > x) t -= F{1};
    return t == F{0} ? zero_signed_as(x) : t;
  }
  return already_whole(x);
}

inline float ceiling(float x) {
  if (x > -float_whole && x < float_whole) {
    float t = truncated(x);
    if (t < x) t += 1.0f;
    return t == 0.0f ? zero_signed_as(x) : t;
  }
  return already_whole(x);
}

}  // namespace rounding
