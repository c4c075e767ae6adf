// The exact software fused multiply-add a*b + c, for the processors without
// the instruction: bit for bit what the x86-64 instruction gives under the
// plugins' floating-point mode, and free of any library call.
#pragma once

#include <bit>
#include <cstdint>

namespace zul {

namespace fma_detail {

// An unsigned 128-bit integer as two words, with just the operations the
// fused multiply-add needs: 32-bit processors have no 128-bit type, and their
// 64-bit multiply would be a helper call, which run() may not make.
struct uint128 {
  uint64_t high, low;
};

// The exact product, from 32-bit halves: each partial product is one
// 32x32->64 multiply instruction on every target.
[[gnu::always_inline]] inline uint128 product(uint64_t a, uint64_t b) {
  const auto a0 = static_cast<uint32_t>(a), a1 = static_cast<uint32_t>(a >> 32);
  const auto b0 = static_cast<uint32_t>(b), b1 = static_cast<uint32_t>(b >> 32);
  const uint64_t p00 = uint64_t{a0} * b0, p01 = uint64_t{a0} * b1;
  const uint64_t p10 = uint64_t{a1} * b0, p11 = uint64_t{a1} * b1;
  // Three terms below 2^32 each: no carry is lost.
  const uint64_t middle = (p00 >> 32) + static_cast<uint32_t>(p01) + static_cast<uint32_t>(p10);
  return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32),
          middle << 32 | static_cast<uint32_t>(p00)};
}

// Shifts by 0 to 127 bits. The bits crossing between the words go in two
// steps, so that no word is ever shifted by 64.
[[gnu::always_inline]] inline uint128 shifted_left(uint128 x, int s) {
  const int k = s & 63;
  const uint64_t high = x.high << k | x.low >> 1 >> (63 - k);
  const uint64_t low = x.low << k;
  return (s & 64) != 0 ? uint128{low, 0} : uint128{high, low};
}
[[gnu::always_inline]] inline uint128 shifted_right(uint128 x, int s) {
  const int k = s & 63;
  const uint64_t low = x.low >> k | x.high << 1 << (63 - k);
  const uint64_t high = x.high >> k;
  return (s & 64) != 0 ? uint128{0, high} : uint128{high, low};
}

[[gnu::always_inline]] inline uint128 sum(uint128 x, uint128 y) {
  const uint64_t low = x.low + y.low;
  return {x.high + y.high + (low < x.low), low};
}

// -x where negate is 1, x where it is 0: the complement of every bit, plus one.
[[gnu::always_inline]] inline uint128 negated_if(uint128 x, uint64_t negate) {
  const uint64_t mask = 0 - negate;
  const uint64_t low = (x.low ^ mask) + negate;
  return {(x.high ^ mask) + (low < negate), low};
}

[[gnu::always_inline]] inline bool is_zero(uint128 x) {
  return (x.high | x.low) == 0;
}

// Only for x != 0.
[[gnu::always_inline]] inline int leading_zeros(uint128 x) {
  return x.high != 0 ? __builtin_clzll(x.high) : 64 + __builtin_clzll(x.low);
}

constexpr uint64_t sign_bit = 0x8000000000000000;
constexpr uint64_t infinity = 0x7ff0000000000000;
constexpr uint64_t fraction = 0x000fffffffffffff;
constexpr uint64_t implicit_one = 0x0010000000000000;
constexpr uint64_t quiet_bit = 0x0008000000000000;
// What the instruction returns for an invalid operation on non-NaN operands.
constexpr uint64_t default_nan = 0xfff8000000000000;

[[gnu::always_inline]] inline bool is_nan(uint64_t x) {
  return (x & ~sign_bit) > infinity;
}

[[gnu::always_inline]] inline double from_bits(uint64_t x) {
  return std::bit_cast<double>(x);
}

// The double nearest to sign * m * 2^e (m > 0), ties to even. Tininess is
// judged after rounding, as x86 does: a result that rounds to a magnitude
// below 2^-1022 becomes a zero of its sign, one that rounds up to 2^-1022
// stays; above the largest double it is an infinity.
[[gnu::always_inline]] inline double round_and_pack(uint64_t sign, uint128 m, int e) {
  // Move the top bit to bit 127: the 53 kept bits are then the high word's
  // top 53, and the bits below them shrink to the high word's low 11 bits
  // plus a sticky bit at bit 0 for the low word, well under the halfway bit.
  const int lead = leading_zeros(m);
  m = shifted_left(m, lead);
  const uint64_t high = m.high | (m.low != 0);
  uint64_t kept = high >> 11;
  // Adding half a unit of the last kept bit less one, plus that last bit,
  // carries into it exactly when the dropped bits are above half, or half
  // with an odd last bit: round to nearest even.
  kept += ((high & 0x7ff) + 0x3ff + (kept & 1)) >> 11;
  const uint64_t carry = kept >> 53;  // rounding reached the next power of two
  kept >>= carry;
  // The value is kept * 2^(e - lead + 75 + carry), kept in [2^52, 2^53).
  const int biased = e - lead + 75 + static_cast<int>(carry) + 1075;
  if (biased >= 2047) {
    return from_bits(sign | infinity);
  }
  if (biased <= 0) {
    return from_bits(sign);
  }
  return from_bits(sign | static_cast<uint64_t>(biased) << 52 | (kept & fraction));
}

}  // namespace fma_detail

// Exact IEEE 754 binary64 fused multiply-add, round to nearest even, bit for
// bit what the x86-64 instruction gives under the plugins' floating-point mode
// (flush-to-zero, denormals-are-zero): denormal operands read as zeros of
// their sign, a result below 2^-1022 after rounding is a zero of its sign, and
// a NaN result is the first NaN of a, b, c made quiet, or the default NaN for
// inf*0 and inf-inf. Integer arithmetic only, so it does not depend on the
// floating-point mode it runs under.
[[gnu::always_inline]] inline double fma_software(double a, double b, double c) {
  using namespace fma_detail;
  const auto ua = std::bit_cast<uint64_t>(a);
  const auto ub = std::bit_cast<uint64_t>(b);
  const auto uc = std::bit_cast<uint64_t>(c);
  const auto xa = static_cast<unsigned>(ua >> 52) & 0x7ff;
  const auto xb = static_cast<unsigned>(ub >> 52) & 0x7ff;
  const auto xc = static_cast<unsigned>(uc >> 52) & 0x7ff;
  const uint64_t product_sign = (ua ^ ub) & sign_bit;
  const uint64_t c_sign = uc & sign_bit;

  // Zeros, denormals, infinities and NaNs; the common case skips all of it.
  bool c_is_zero = false;
  if (xa - 1 >= 2046 || xb - 1 >= 2046 || xc - 1 >= 2046) {
    if (is_nan(ua)) return from_bits(ua | quiet_bit);
    if (is_nan(ub)) return from_bits(ub | quiet_bit);
    if (is_nan(uc)) return from_bits(uc | quiet_bit);
    const bool a_is_zero = xa == 0, b_is_zero = xb == 0;  // denormals too
    c_is_zero = xc == 0;
    const bool c_is_infinite = xc == 0x7ff;
    if (xa == 0x7ff || xb == 0x7ff) {
      if (a_is_zero || b_is_zero) return from_bits(default_nan);
      if (c_is_infinite && c_sign != product_sign) return from_bits(default_nan);
      return from_bits(product_sign | infinity);
    }
    if (c_is_infinite) return c;
    if (a_is_zero || b_is_zero) {
      // An exact zero product: c itself, or a zero that is negative only
      // when both addends are.
      return c_is_zero ? from_bits(product_sign & c_sign) : c;
    }
  }

  // a and b are normal: their exact product moved up by 20 bits, so that its
  // top bit is bit 124 or 125 and bit 0 is zero, worth p * 2^ep.
  const uint64_t ma = (ua & fraction) | implicit_one;
  const uint64_t mb = (ub & fraction) | implicit_one;
  const uint128 p = shifted_left(product(ma, mb), 20);
  const int ep = static_cast<int>(xa + xb) - 2170;
  if (c_is_zero) {
    return round_and_pack(product_sign, p, ep);
  }

  // c is normal: moved up by 73 bits, top bit 125, worth q * 2^eq.
  const uint128 q = {((uc & fraction) | implicit_one) << 9, 0};
  const int eq = static_cast<int>(xc) - 1148;

  // Align the addend of smaller exponent to the other one. Bits are shifted
  // out only past the 20 (73) zero bits below p (q): then y < 2^105 and x is
  // at least 2^124, so x + y and x - y keep 70 bits or more below their
  // last kept bit, and the bits shifted out become one sticky bit at bit 0.
  // x's bit 0 is zero, so a result with a sticky bit is odd and never lands
  // on a tie or a double by accident.
  const bool p_larger = ep >= eq;
  const uint128 x = p_larger ? p : q;
  uint128 y = p_larger ? q : p;
  const uint64_t x_sign = p_larger ? product_sign : c_sign;
  const int distance = p_larger ? ep - eq : eq - ep;
  const int shift = distance < 127 ? distance : 127;  // y < 2^126: all of it is gone at 127
  const int e = p_larger ? ep : eq;
  const bool sticky = !is_zero(shifted_left(shifted_left(y, 127 - shift), 1));  // shifted out
  y = shifted_right(y, shift);
  y.low |= sticky;

  // x + y or x - y, without a branch on the signs. A difference is negative
  // (bit 127 set) only where nothing was shifted out; it is exact then.
  const uint64_t y_sign = p_larger ? c_sign : product_sign;
  uint128 m = sum(x, negated_if(y, x_sign != y_sign));
  const uint64_t negative = m.high >> 63;
  m = negated_if(m, negative);
  if (is_zero(m)) {
    return from_bits(0);  // exact cancellation is +0 when rounding to nearest
  }
  return round_and_pack(x_sign ^ (negative << 63), m, e);
}

}  // namespace zul
