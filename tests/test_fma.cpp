// The software fused multiply-add: exact results worked out by hand, integer
// sums whose rounding the integer-to-double conversion gives independently,
// and, bit for bit, the x86-64 instruction under the plugins' floating-point
// mode on millions of operands. And the dispatch against /proc/cpuinfo.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "shell/fma.hpp"
#include "tests/fp_register.hpp"

namespace {

uint64_t bits(double x) {
  return std::bit_cast<uint64_t>(x);
}
double real(uint64_t x) {
  return std::bit_cast<double>(x);
}

uint64_t software(uint64_t a, uint64_t b, uint64_t c) {
  return bits(zul::fma_software(real(a), real(b), real(c)));
}

// The processor's instruction, on x86-64 in the one operand order whose NaN
// propagation the software version follows (only where
// instruction_available()).
uint64_t hardware(uint64_t a, uint64_t b, uint64_t c) {
  double x = real(c);
#if defined(__x86_64__)
  __asm__("vfmadd231sd %2, %1, %0" : "+x"(x) : "x"(real(a)), "x"(real(b)));
#else
  x = __builtin_fma(real(a), real(b), x);
#endif
  return bits(x);
}

bool is_nan(uint64_t x) {
  return (x & ~(uint64_t{1} << 63)) > 0x7ff0000000000000;
}

using fp_register::default_mode;
using fp_register::plugin_mode;

// The software path stands for the x86-64 instruction; it can be compared
// with it only where the processor has one.
bool instruction_available() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

// Every test runs in the plugins' mode and gives the old mode back.
class Fma : public testing::Test {
 protected:
  void SetUp() override { fp_register::write(plugin_mode); }
  void TearDown() override { fp_register::write(saved_); }

 private:
  decltype(fp_register::read()) saved_ = fp_register::read();
};

struct Case {
  const char* what;
  uint64_t a, b, c, expected;
};

// Checks a table: the software path in the plugins' mode and in the default
// mode (it uses integer arithmetic only), with a and b exchanged where the
// result is not a NaN (whose payload depends on the order), and the table
// itself against the instruction where there is one.
void check(const std::vector<Case>& cases) {
  const bool instruction = instruction_available();
  for (const Case& t : cases) {
    SCOPED_TRACE(t.what);
    EXPECT_EQ(software(t.a, t.b, t.c), t.expected);
    if (!is_nan(t.expected)) {
      EXPECT_EQ(software(t.b, t.a, t.c), t.expected) << "a and b exchanged";
    }
    fp_register::write(default_mode);
    const uint64_t in_default_mode = software(t.a, t.b, t.c);
    fp_register::write(plugin_mode);
    EXPECT_EQ(in_default_mode, t.expected) << "in the default floating-point mode";
    if (instruction) {
      EXPECT_EQ(hardware(t.a, t.b, t.c), t.expected) << "the instruction";
    }
  }
}

constexpr uint64_t one = 0x3ff0000000000000;
constexpr uint64_t one_plus_ulp = 0x3ff0000000000001;  // 1 + 2^-52
constexpr uint64_t minus_one = 0xbff0000000000000;
constexpr uint64_t two = 0x4000000000000000;
constexpr uint64_t zero = 0;
constexpr uint64_t minus_zero = 0x8000000000000000;
constexpr uint64_t smallest_normal = 0x0010000000000000;  // 2^-1022
constexpr uint64_t largest = 0x7fefffffffffffff;
constexpr uint64_t inf = 0x7ff0000000000000;
constexpr uint64_t minus_inf = 0xfff0000000000000;
constexpr uint64_t default_nan = 0xfff8000000000000;
constexpr uint64_t denormal = 0x0000000000000001;
constexpr uint64_t minus_denormal = 0x8000000000000001;
constexpr uint64_t largest_denormal = 0x000fffffffffffff;

TEST_F(Fma, RoundsOnceToNearestTiesToEven) {
  check({
      {"1 + 2^-51, + 2^-53: a tie, stays even", one, 0x3ff0000000000002, 0x3ca0000000000000,
       0x3ff0000000000002},
      {"(1 + 2^-52)^2 + 2^-53: the product's 2^-104 breaks the tie upward", one_plus_ulp,
       one_plus_ulp, 0x3ca0000000000000, 0x3ff0000000000003},
      {"(1 + 2^-52)(1 - 2^-53) = 1 + 2^-53 - 2^-105: just below a tie", one_plus_ulp,
       0x3fefffffffffffff, zero, one},
      {"(1 + 2^-52)(1 - 2^-53) + 2^-52: just below the tie that would go up", one_plus_ulp,
       0x3fefffffffffffff, 0x3cb0000000000000, one_plus_ulp},
      {"1 + 2^-53: a tie, stays at 1", 0x3ca0000000000000, one, one, one},
      {"1 + 2^-52 + 2^-53: a tie, goes up to even", 0x3ca0000000000000, one, one_plus_ulp,
       0x3ff0000000000002},
      {"1 + 2^-53 + 2^-105: above the tie", one_plus_ulp, 0x3ca0000000000000, one, one_plus_ulp},
      {"1 - 2^-54: a tie below 1, goes up to 1", 0xbc90000000000000, one, one, one},
      {"1 - 2^-54 - 2^-106: below the tie", 0xbff0000000000001, 0x3c90000000000000, one,
       0x3fefffffffffffff},
      {"2^53 + 1: a tie between integers, stays even", 0x4340000000000000, one, one,
       0x4340000000000000},
      {"2^53 + 3: a tie, goes up to even", 0x4340000000000000, one, 0x4008000000000000,
       0x4340000000000002},
      {"(1 + 2^-52)^2 - (1 + 2^-51): only the product's rounding error is left", one_plus_ulp,
       one_plus_ulp, 0xbff0000000000002, 0x3970000000000000},
      {"(1 + 2^-52)(1 - 2^-52) - 1 = -2^-104", one_plus_ulp, 0x3feffffffffffffe, minus_one,
       0xb970000000000000},
      {"1 + 2^-1000: far below the last bit", 0x0170000000000000, 0x3ff0000000000000, one, one},
      {"1 - 2^-1000 rounds back to 1", 0x8170000000000000, one, one, one},
      {"(1 + 2^-52) - 2^-600 * 2^-400", 0x1a70000000000000, 0xa6f0000000000000, one_plus_ulp,
       one_plus_ulp},
      {"(2^27 + 1)(2^26 + 1): a tie, stays even", 0x41a0000002000000, 0x4190000004000000, zero,
       0x4340000006000000},
      {"(2^27 + 1)(2^26 + 1) + 2^-1000: the far addend breaks the tie upward", 0x41a0000002000000,
       0x4190000004000000, 0x0170000000000000, 0x4340000006000001},
      {"(2^27 + 1)(2^26 + 1) + 2^-72: an addend aligned just out of reach breaks the tie",
       0x41a0000002000000, 0x4190000004000000, 0x3b70000000000000, 0x4340000006000001},
      {"(2^27 + 1)(2^26 + 1) - 2^-1000", 0x41a0000002000000, 0x4190000004000000, 0x8170000000000000,
       0x4340000006000000},
      {"(2^27 + 1)(2^26 + 3): a tie, goes up to even", 0x41a0000002000000, 0x419000000c000000, zero,
       0x434000000e000002},
      {"(2^27 + 1)(2^26 + 3) - 2^-1000: the far addend breaks the tie downward", 0x41a0000002000000,
       0x419000000c000000, 0x8170000000000000, 0x434000000e000001},
      {"(2^27 + 1)(2^26 + 3) + 2^-1000", 0x41a0000002000000, 0x419000000c000000, 0x0170000000000000,
       0x434000000e000002},
      {"2^-600 * 2^-450 + 2^-1022 = 2^-1022 (1 + 2^-28)", 0x1a70000000000000, 0x23d0000000000000,
       smallest_normal, 0x0010000001000000},
  });
}

TEST_F(Fma, SignedZerosAndDenormalOperands) {
  check({
      {"+0 * 1 + +0", zero, one, zero, zero},
      {"-0 * 1 + +0", minus_zero, one, zero, zero},
      {"+0 * 1 + -0", zero, one, minus_zero, zero},
      {"-0 * 1 + -0", minus_zero, one, minus_zero, minus_zero},
      {"+0 * -1 + -0", zero, minus_one, minus_zero, minus_zero},
      {"-0 * -1 + -0", minus_zero, minus_one, minus_zero, zero},
      {"1 * 1 - 1: an exact zero sum is +0", one, one, minus_one, zero},
      {"-1 * 1 + 1", minus_one, one, one, zero},
      {"-1 * -1 - 1", minus_one, minus_one, minus_one, zero},
      {"3 * 5 + -0", 0x4008000000000000, 0x4014000000000000, minus_zero, 0x402e000000000000},
      {"3 * 5 + a denormal that reads as 0", 0x4008000000000000, 0x4014000000000000, denormal,
       0x402e000000000000},
      {"0 * 5 + 7", zero, 0x4014000000000000, 0x401c000000000000, 0x401c000000000000},
      {"-0 * 5 - 7", minus_zero, 0x4014000000000000, 0xc01c000000000000, 0xc01c000000000000},
      {"denormal * 1 + -0: +0 + -0", denormal, one, minus_zero, zero},
      {"-denormal * 1 + -0: -0 + -0", minus_denormal, one, minus_zero, minus_zero},
      {"largest denormal * 2^1000 + 0: read as 0, though the product is normal", largest_denormal,
       0x7e70000000000000, zero, zero},
      {"2^1000 * -denormal + 1", 0x7e70000000000000, minus_denormal, one, one},
      {"1 * 1 + denormal", one, one, denormal, one},
      {"0 * 1 - denormal: +0 + -0", zero, one, minus_denormal, zero},
      {"-0 * 1 - denormal: -0 + -0", minus_zero, one, minus_denormal, minus_zero},
      {"denormal * denormal - denormal", denormal, denormal, minus_denormal, zero},
      {"inf * denormal + 1: inf * 0", inf, denormal, one, default_nan},
  });
}

TEST_F(Fma, ResultsBelowTheNormalRangeFlushAfterRounding) {
  check({
      {"2^-511 * 2^-511 = 2^-1022", 0x2000000000000000, 0x2000000000000000, zero, smallest_normal},
      {"2^-1022 (1 - 2^-53): a denormal, flushed", smallest_normal, 0x3fefffffffffffff, zero, zero},
      {"-2^-1022 (1 - 2^-53): flushed to -0", smallest_normal, 0xbfefffffffffffff, zero,
       minus_zero},
      {"2^-1022 / 2: an exact denormal, flushed", smallest_normal, 0x3fe0000000000000, zero, zero},
      {"-2^-1022 / 2 + 0: a zero of the result's sign", smallest_normal, 0xbfe0000000000000, zero,
       minus_zero},
      {"2^-1022 / 2 + -0", smallest_normal, 0x3fe0000000000000, minus_zero, zero},
      {"1.5 * 2^-1022 - 2^-1022 = 2^-1023", smallest_normal, 0x3ff8000000000000, 0x8010000000000000,
       zero},
      {"2^-1022 - 2^-1075: below 2^-1022 after rounding", smallest_normal, 0xbca0000000000000,
       smallest_normal, zero},
      {"2^-1022 - 2^-1076: a tie that rounds up to 2^-1022, kept", smallest_normal,
       0xbc90000000000000, smallest_normal, smallest_normal},
      {"2^-1022 - 2^-1076 - 2^-1082: below the tie", smallest_normal, 0xbc90400000000000,
       smallest_normal, zero},
      {"2^-1022 - 2^-1076 + 2^-1128: above the tie", smallest_normal, 0xbc8ffffffffffffe,
       smallest_normal, smallest_normal},
      {"2^-1022 - 2^-1077: rounds up to 2^-1022", smallest_normal, 0xbc80000000000000,
       smallest_normal, smallest_normal},
      {"-2^-1022 + 2^-1076: the tie, negative", smallest_normal, 0x3c90000000000000,
       0x8010000000000000, 0x8010000000000000},
      {"-2^-1022 + 2^-1075: flushed to -0", smallest_normal, 0x3ca0000000000000, 0x8010000000000000,
       minus_zero},
      {"2^-1021 - 2^-1022 = 2^-1022", 0x0020000000000000, one, 0x8010000000000000, smallest_normal},
      {"2^-600 * 2^-600: far below the normal range", 0x1a70000000000000, 0x1a70000000000000, zero,
       zero},
      {"-2^-600 * 2^-600 + 0", 0x9a70000000000000, 0x1a70000000000000, zero, minus_zero},
      {"2^-600 * 2^-600 + 2^-1000", 0x1a70000000000000, 0x1a70000000000000, 0x0170000000000000,
       0x0170000000000000},
  });
}

TEST_F(Fma, OverflowAtTheLargestDouble) {
  check({
      {"largest * 1", largest, one, zero, largest},
      {"largest * 2", largest, two, zero, inf},
      {"largest * -2", largest, 0xc000000000000000, zero, minus_inf},
      {"largest + 2^970: a tie, rounds to even, which is 2^1024", largest, one, 0x7c90000000000000,
       inf},
      {"largest + 2^970 (1 - 2^-53): below the tie", largest, one, 0x7c8fffffffffffff, largest},
      {"-largest - 2^970", largest, minus_one, 0xfc90000000000000, minus_inf},
      {"2^1023 * 2 - largest = 2^971: the product alone would overflow", 0x7fe0000000000000, two,
       0xffefffffffffffff, 0x7ca0000000000000},
      {"2^1023 * 2 - 2^1023", 0x7fe0000000000000, two, 0xffe0000000000000, 0x7fe0000000000000},
      {"largest * largest - largest", largest, largest, 0xffefffffffffffff, inf},
      {"-largest * largest + largest", 0xffefffffffffffff, largest, largest, minus_inf},
  });
}

TEST_F(Fma, Infinities) {
  check({
      {"inf * 2 + 1", inf, two, one, inf},
      {"inf * -2 + 1", inf, 0xc000000000000000, one, minus_inf},
      {"inf * 2 + inf", inf, two, inf, inf},
      {"-inf * 2 - inf", minus_inf, two, minus_inf, minus_inf},
      {"inf * 2 - inf", inf, two, minus_inf, default_nan},
      {"-inf * -1 - inf", minus_inf, minus_one, minus_inf, default_nan},
      {"2 * 3 - inf", two, 0x4008000000000000, minus_inf, minus_inf},
      {"0 * 3 + inf", zero, 0x4008000000000000, inf, inf},
      {"inf * 0 + 1", inf, zero, one, default_nan},
      {"-0 * inf + inf", minus_zero, inf, inf, default_nan},
      {"inf * inf + inf", inf, inf, inf, inf},
      {"largest * 2 - inf: an infinite addend wins over an overflowing product", largest, two,
       minus_inf, minus_inf},
      {"largest * largest - inf", largest, largest, minus_inf, minus_inf},
      {"2^-600 * 2^-600 - inf", 0x1a70000000000000, 0x1a70000000000000, minus_inf, minus_inf},
  });
}

// A NaN result is the first NaN of a, b, c, made quiet, with its sign and
// payload; the default NaN only where no operand is a NaN.
TEST_F(Fma, NaNsPropagateInOperandOrder) {
  constexpr uint64_t qa = 0x7ff8000000000aaa, qb = 0x7ff8000000000bbb, qc = 0x7ff8000000000ccc;
  constexpr uint64_t sa = 0x7ff0000000000aaa, sb = 0x7ff0000000000bbb, sc = 0x7ff0000000000ccc;
  check({
      {"quiet a", qa, two, one, qa},
      {"signalling a, made quiet", sa, two, one, qa},
      {"quiet b", two, qb, one, qb},
      {"signalling b", two, sb, one, qb},
      {"quiet c", two, one, qc, qc},
      {"signalling c", two, one, sc, qc},
      {"a before b", qa, qb, one, qa},
      {"quiet a before signalling b", qa, sb, one, qa},
      {"a before c", sa, one, qc, qa},
      {"b before c", one, qb, sc, qb},
      {"signalling b before quiet c", one, sb, qc, qb},
      {"all three", qa, sb, sc, qa},
      {"negative NaN keeps its sign", 0xfff0000000000123, one, one, 0xfff8000000000123},
      {"negative quiet NaN in c", one, one, 0xfff8000000000456, 0xfff8000000000456},
      {"inf * 0 + NaN: the NaN, not the default NaN", inf, zero, sc, qc},
      {"NaN * 0 + inf", qa, zero, inf, qa},
      {"inf * NaN - inf", inf, sb, minus_inf, qb},
      {"NaN * denormal + denormal", qa, denormal, denormal, qa},
      {"the largest payload", 0x7fffffffffffffff, one, one, 0x7fffffffffffffff},
      {"the smallest signalling payload", 0x7ff0000000000001, one, one, 0x7ff8000000000001},
  });
}

// a = m1 2^s, b = m2 2^t and c = m3 2^(s+t) with integers m1, m2 below 2^27
// and |m3| at most 2^53: a*b + c is the integer m1 m2 + m3 times 2^(s+t), and
// its rounding is what the correctly rounded integer-to-double conversion
// gives. Many of these sums are ties; this needs no FMA instruction.
TEST_F(Fma, IntegerSumsRoundAsTheConversionDoes) {
  std::mt19937_64 random(20240601);
  auto power_of_two = [](int e) { return real(uint64_t(1023 + e) << 52); };
  int ties = 0, mismatches = 0;
  constexpr int n = 400000;
  for (int i = 0; i < n; ++i) {
    const auto m1 = static_cast<int64_t>((random() >> 38) | (uint64_t{1} << 26));
    const auto m2 = static_cast<int64_t>((random() >> 38) | (uint64_t{1} << 26));
    const uint64_t r = random();
    int64_t m3 = static_cast<int64_t>(r >> 10) - (int64_t{1} << 53);  // |m3| <= 2^53
    if ((r & 3) == 0) m3 >>= 40;  // small: the product dominates
    const int s = static_cast<int>(random() % 301) - 150;
    const int t = static_cast<int>(random() % 301) - 150;
    const bool negative_a = (r & 4) != 0;
    const double a = static_cast<double>(negative_a ? -m1 : m1) * power_of_two(s);
    const double b = static_cast<double>(m2) * power_of_two(t);
    const double c = static_cast<double>(m3) * power_of_two(s + t);
    const int64_t sum = (negative_a ? -m1 : m1) * m2 + m3;
    const uint64_t magnitude = static_cast<uint64_t>(sum < 0 ? -sum : sum);
    ties += (magnitude >> 53 == 1 && (magnitude & 1) == 1) ||
            (magnitude >> 54 == 1 && (magnitude & 3) == 2);
    const uint64_t expected = bits(static_cast<double>(sum) * power_of_two(s + t));
    const uint64_t got = bits(zul::fma_software(a, b, c));
    if (got != expected && ++mismatches <= 5) {
      ADD_FAILURE() << std::hex << bits(a) << " * " << bits(b) << " + " << bits(c) << ": " << got
                    << ", expected " << expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(ties, n / 20) << "the cases should contain many exact ties";
}

struct Operands {
  uint64_t a, b, c;
};

// Bit patterns of one kind: sign and fraction random, the exponent field given.
uint64_t with_exponent(uint64_t random_bits, uint64_t field) {
  return (random_bits & 0x800fffffffffffff) | (field & 0x7ff) << 52;
}

// Runs n operands of one kind through both paths, bit for bit; returns how
// often landmark(operands, result) held, to show the kind reaches its edge.
template <class Generate, class Landmark>
int compare_with_instruction(int n, Generate generate, Landmark landmark) {
  int mismatches = 0, landmarks = 0;
  for (int i = 0; i < n; ++i) {
    const Operands o = generate();
    const uint64_t expected = hardware(o.a, o.b, o.c);
    const uint64_t got = software(o.a, o.b, o.c);
    landmarks += landmark(o, expected);
    if (got != expected && ++mismatches <= 5) {
      ADD_FAILURE() << std::hex << o.a << " * " << o.b << " + " << o.c << ": " << got
                    << ", the instruction gives " << expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
  return landmarks;
}

constexpr uint64_t magnitude_bits = 0x7fffffffffffffff;
constexpr uint64_t fraction_bits = 0x000fffffffffffff;

class FmaAgainstInstruction : public Fma {
 protected:
  void SetUp() override {
    Fma::SetUp();
    if (!instruction_available()) {
      GTEST_SKIP() << "no x86-64 FMA instruction to compare with on this processor";
    }
  }
  std::mt19937_64 random{0x5eed};
  uint64_t exponent_in(int low, int high) {
    return static_cast<uint64_t>(low) + random() % static_cast<uint64_t>(high - low + 1);
  }
};

TEST_F(FmaAgainstInstruction, UniformBits) {
  const int nans = compare_with_instruction(
      1000000,
      [&] {
        return Operands{random(), random(), random()};
      },
      [](const Operands&, uint64_t r) { return is_nan(r); });
  EXPECT_GT(nans, 100);
}

// Exponent fields anywhere, the edges of the range (zero and denormal, the
// smallest normals, the largest, infinity and NaN) ten times as often.
TEST_F(FmaAgainstInstruction, SpreadExponents) {
  auto field = [&] {
    const uint64_t pick = random() % 16;
    constexpr uint64_t edges[] = {0, 1, 2, 2045, 2046, 2047};
    return pick < 6 ? edges[pick] : random() % 2048;
  };
  auto operand = [&] {
    const uint64_t r = random();
    return with_exponent((r & 0xf) == 0 ? r & 0x8000000000000000 : r, field());
  };
  const int specials = compare_with_instruction(
      800000,
      [&] {
        return Operands{operand(), operand(), operand()};
      },
      [](const Operands&, uint64_t r) { return (r & magnitude_bits) >= inf || r << 1 == 0; });
  EXPECT_GT(specials, 10000);
}

// c close to -a*b: the sum cancels most or all of the product's bits.
TEST_F(FmaAgainstInstruction, NearCancellation) {
  const int cancellations = compare_with_instruction(
      1000000,
      [&] {
        const uint64_t a = with_exponent(random(), exponent_in(1023 - 200, 1023 + 200));
        const uint64_t b = with_exponent(random(), exponent_in(1023 - 200, 1023 + 200));
        const uint64_t r = random();
        const uint64_t product = bits(-(real(a) * real(b)));
        // A few units in the last place away, or a power of two off.
        uint64_t c = product + (r & 7) - 3;
        if ((r & 0x30) == 0)
          c = product + (uint64_t{1} << 52) - ((r >> 6) & 2) * (uint64_t{1} << 52);
        return Operands{a, b, c};
      },
      [](const Operands& o, uint64_t r) {
        return (r & magnitude_bits) < (o.c & magnitude_bits) - (uint64_t{40} << 52);
      });
  EXPECT_GT(cancellations, 100000) << "results 2^40 or more below c";
}

// Products and sums around 2^-1022, where results are flushed or kept; short
// fractions make exact ties at the boundary likely.
TEST_F(FmaAgainstInstruction, AroundTheSmallestNormal) {
  auto fraction = [&](uint64_t r) { return (r & 0x100) != 0 ? r : r & 0x800e000000000000; };
  const int kept_below = compare_with_instruction(
      1000000,
      [&] {
        const uint64_t r = random();
        const int ea = static_cast<int>(exponent_in(1, 1022));
        // 2^(ea-1023) 2^(eb-1023) near 2^-1022 or, with c, near 2^-1022 - 2^-1076.
        const bool with_c = (r & 1) != 0;
        const int target = with_c ? 1 - 54 - static_cast<int>(r >> 1 & 3) : 1;
        const int eb = target + 1023 - ea + static_cast<int>((r >> 3) % 5) - 2;
        if (eb < 1 || eb > 2046) return Operands{one, one, one};
        const uint64_t a = with_exponent(fraction(random()), static_cast<uint64_t>(ea));
        const uint64_t b = with_exponent(fraction(random()), static_cast<uint64_t>(eb));
        uint64_t c = (r >> 6 & 1) != 0 ? minus_zero : zero;
        if (with_c) {
          c = with_exponent(fraction(random()), 1 + (r >> 7 & 1));
          if ((r >> 8 & 3) == 0) c = (c & minus_zero) | smallest_normal;
        }
        return Operands{a, b, c};
      },
      [](const Operands& o, uint64_t r) {
        // Rounded up to 2^-1022 from an exact sum below it.
        return (r & magnitude_bits) == smallest_normal &&
               (o.c & magnitude_bits) == smallest_normal && ((o.a ^ o.b ^ o.c) >> 63) != 0;
      });
  EXPECT_GT(kept_below, 100) << "sums just below 2^-1022 that round up to it";
}

// Significands of 27 bits, so that half the products are exact ties, with
// addends from far below to far above the product: a tie is broken only by
// the bits of c that alignment shifts out.
TEST_F(FmaAgainstInstruction, ShortProductsAndFarAddends) {
  constexpr uint64_t short_fraction = 0x800ffffffc000000;
  const int broken_ties = compare_with_instruction(
      1000000,
      [&] {
        const uint64_t r = random();
        const uint64_t ea = exponent_in(1023 - 100, 1023 + 100);
        const uint64_t eb = exponent_in(1023 - 100, 1023 + 100);
        const uint64_t a = with_exponent(random() & short_fraction, ea);
        const uint64_t b = with_exponent(random() & short_fraction, eb);
        const uint64_t distance = r % 160;
        const uint64_t ec = ea + eb - 1023 + ((r & 0x100) != 0 ? 40 : 0) - distance;
        const uint64_t c_bits = (r & 0x200) != 0 ? random() : random() & short_fraction;
        return Operands{a, b, with_exponent(c_bits, ec)};
      },
      [](const Operands& o, uint64_t) {
        const uint64_t product =
            ((o.a & fraction_bits) >> 26 | 1 << 26) * ((o.b & fraction_bits) >> 26 | 1 << 26);
        const auto ec = static_cast<int>(o.c >> 52 & 0x7ff);
        const auto ep = static_cast<int>((o.a >> 52 & 0x7ff) + (o.b >> 52 & 0x7ff)) - 1023;
        return product >> 53 == 1 && (product & 1) == 1 && ec < ep - 60;
      });
  EXPECT_GT(broken_ties, 10000) << "exact ties of the product beside a far smaller c";
}

// Products around 2^1024, with addends from tiny to as large as the product.
TEST_F(FmaAgainstInstruction, AroundTheLargestDouble) {
  const int overflows = compare_with_instruction(
      500000,
      [&] {
        const uint64_t r = random();
        const int ea = static_cast<int>(exponent_in(1024, 2046));
        const int eb = 2047 - ea + 1023 + static_cast<int>(r % 4) - 2;
        const uint64_t a = with_exponent(random() | (r & 0x10 ? 0x000ffffffffffff0 : 0),
                                         static_cast<uint64_t>(ea));
        const uint64_t b = with_exponent(random(), static_cast<uint64_t>(eb));
        const uint64_t c = with_exponent(random(), exponent_in(1023, 2046));
        return Operands{a, b, c};
      },
      [](const Operands&, uint64_t r) { return (r & magnitude_bits) == inf; });
  EXPECT_GT(overflows, 10000);
}

}  // namespace
