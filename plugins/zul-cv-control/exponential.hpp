// e^x rounded once to double, in plain double arithmetic of the project's
// own, so that the pole is the same bits on every platform: a C library's exp
// may differ in the last bit (MinGW's x87 one follows the precision control).
// Works in double-double (a value as an unevaluated sum hi + lo) to about
// 100 bits, which settles the rounding of every result short of a case
// closer to a midpoint than that; exact products come from Dekker's split,
// not a fused multiply-add, which not every target has. Expects round to
// nearest, which instantiate holds while it runs. A result below the
// smallest normal double is +0, as the plugins' flush-to-zero mode makes it.
#pragma once

#include <bit>
#include <cstdint>

namespace exponential {

struct Pair {
  double hi, lo;
};

// a + b exactly, for |a| >= |b| or a == 0.
constexpr Pair quick_sum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a + b exactly, in any order of magnitude.
constexpr Pair sum(double a, double b) {
  const double s = a + b;
  const double b_part = s - a;
  return {s, (a - (s - b_part)) + (b - b_part)};
}

// a * b exactly: each factor split into halves of 26 bits, whose products are
// exact.
constexpr Pair split(double a) {
  const double c = 134217729.0 * a;  // 2^27 + 1
  const double hi = c - (c - a);
  return {hi, a - hi};
}
constexpr Pair product(double a, double b) {
  const double p = a * b;
  const Pair x = split(a), y = split(b);
  return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

constexpr Pair times(Pair a, Pair b) {
  const Pair p = product(a.hi, b.hi);
  return quick_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// a / d for a small whole d: the quotient's first double, then the
// remainder's.
constexpr Pair divided(Pair a, double d) {
  const double q = a.hi / d;
  const Pair back = product(q, d);
  const double rest = ((a.hi - back.hi) - back.lo) + a.lo;
  return quick_sum(q, rest / d);
}

constexpr Pair plus_one(Pair a) {
  const Pair s = sum(1.0, a.hi);
  return quick_sum(s.hi, s.lo + a.lo);
}

inline constexpr double smallest_normal = 0x1p-1022;

constexpr double exp(double x) {
  if (x != x) return x;
  if (x > 709.8) return std::bit_cast<double>(uint64_t{0x7ff0000000000000});
  if (x < -708.5) return 0.0;  // below the smallest normal double
  // Below 2^-54 the sum 1 + x already rounds as e^x does.
  if (x > -0x1p-54 && x < 0x1p-54) return 1.0 + x;

  // x = k ln 2 + r with |r| <= ln 2 / 2. k is rounded by the 1.5 * 2^52
  // trick; ln 2 comes in three parts, the first two short enough that k times
  // them is exact, and x minus the first is exact as the two are close.
  constexpr double round_shift = 0x1.8p52;
  const double k = (x * 0x1.71547652b82fep0 + round_shift) - round_shift;
  constexpr double ln2_1 = 0x1.62e42fefa3800p-1, ln2_2 = 0x1.ef35793c76000p-45,
                   ln2_3 = 0x1.cc01f97b57a08p-87;
  const Pair r0 = sum(x - k * ln2_1, -(k * ln2_2));
  const Pair r = quick_sum(r0.hi, r0.lo - k * ln2_3);

  // e^r = 1 + r(1 + r/2(1 + r/3(... (1 + r/27)))): the last term is below
  // 2^-120 for |r| <= ln 2 / 2.
  Pair p = {1.0, 0.0};
  for (int n = 27; n >= 1; --n) p = plus_one(times(divided(r, n), p));

  // Times 2^k, exact while the result stays normal; 2^1024 in two steps.
  const double k_first = k > 1023.0 ? k - 1.0 : k;
  const double scale = std::bit_cast<double>(static_cast<uint64_t>(1023.0 + k_first) << 52);
  const double result = (p.hi + p.lo) * scale * (k > 1023.0 ? 2.0 : 1.0);
  return result < smallest_normal ? 0.0 : result;
}

}  // namespace exponential
