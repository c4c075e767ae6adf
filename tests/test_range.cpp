// zul-cv-range through the host's door: sorting by inclusive bounds, held
// values and the reset, NaN values and bounds, exact bits, state across blocks
// and activations, shared buffers at every overlap, and blocks of any length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/host.hpp"
#include "tests/model_arena.hpp"

namespace {

enum : uint32_t {
  input = 0,
  in_range_output = 1,
  out_of_range_output = 2,
  range_low = 3,
  range_high = 4,
  reset = 5
};

const float nan = host::from_bits(0x7fc00000);
const float inf = host::from_bits(0x7f800000);
constexpr uint32_t n = 5;

// What one block gave: each output must be one value throughout.
struct Pair {
  uint32_t in_range, out_of_range;
  bool operator==(const Pair&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Pair& p) {
  return os << std::hex << "{0x" << p.in_range << ", 0x" << p.out_of_range << "}" << std::dec;
}

Pair pair(float in_range, float out_of_range) {
  return {host::bits(in_range), host::bits(out_of_range)};
}

// One instance whose ports each have their own buffer.
struct Rig {
  explicit Rig(const host::Library& lib) : inst(lib) { connect_own(); }

  void connect_own() {
    inst.connect(input, value);
    inst.connect(in_range_output, in_out.data());
    inst.connect(out_of_range_output, out_out.data());
    inst.connect(range_low, low);
    inst.connect(range_high, high);
    inst.connect(reset, clear);
  }

  Pair run(float x, float lo = 0.0f, float hi = 5.0f, float r = 0.0f) {
    value = x;
    low = lo;
    high = hi;
    clear = r;
    std::fill(in_out.begin(), in_out.end(), host::from_bits(host::untouched_bits));
    std::fill(out_out.begin(), out_out.end(), host::from_bits(host::untouched_bits));
    inst.run(n);
    const auto a = host::bits(in_out), b = host::bits(out_out);
    EXPECT_EQ(a, std::vector<uint32_t>(n, a[0])) << "in_range_output changes within a block";
    EXPECT_EQ(b, std::vector<uint32_t>(n, b[0])) << "out_of_range_output changes within a block";
    return {a[0], b[0]};
  }

  host::Instance inst;
  float value = 0.0f, low = 0.0f, high = 5.0f, clear = 0.0f;
  std::vector<float> in_out = host::untouched(n), out_out = host::untouched(n);
};

class Range : public testing::Test {
 protected:
  host::Library lib{"zul-cv-range"};
};

struct Call {
  float x, lo, hi, r;
  Pair expected;
};

struct Sequence {
  const char* what;
  std::vector<Call> calls;  // one block each, in one fresh instance
};

const float minus_zero = -0.0f;
const float nan_payload = host::from_bits(0xffd54321);
const float denormal = host::from_bits(0x00000001);

const Sequence sequences[] = {
    {"bounds 0 and 5, one value per block",
     {{2.0f, 0.0f, 5.0f, 0.0f, pair(2.0f, 0.0f)},
      {7.0f, 0.0f, 5.0f, 0.0f, pair(2.0f, 7.0f)},
      {3.0f, 0.0f, 5.0f, 0.0f, pair(3.0f, 7.0f)},
      {3.0f, 0.0f, 5.0f, 1.0f, pair(3.0f, 0.0f)},
      {9.0f, 0.0f, 5.0f, 0.0f, pair(3.0f, 9.0f)}}},
    {"both bounds are inclusive",
     {{0.0f, 0.0f, 5.0f, 0.0f, pair(0.0f, 0.0f)},
      {5.0f, 0.0f, 5.0f, 0.0f, pair(5.0f, 0.0f)},
      {5.0000005f, 0.0f, 5.0f, 0.0f, pair(5.0f, 5.0000005f)},
      {-1.0e-7f, 0.0f, 5.0f, 0.0f, pair(5.0f, -1.0e-7f)},
      {-2.0f, -2.0f, -2.0f, 0.0f, pair(-2.0f, -1.0e-7f)}}},
    {"low above high: nothing is in range",
     {{2.0f, 0.0f, 5.0f, 0.0f, pair(2.0f, 0.0f)},
      {2.0f, 5.0f, 0.0f, 0.0f, pair(2.0f, 2.0f)},
      {5.0f, 5.0f, 0.0f, 0.0f, pair(2.0f, 5.0f)},
      {0.0f, 5.0f, 0.0f, 0.0f, pair(2.0f, 0.0f)},
      {-3.0f, 5.0f, 0.0f, 0.0f, pair(2.0f, -3.0f)}}},
    {"a fresh instance with low above high carries zero in range",
     {{1.0f, 5.0f, 0.0f, 0.0f, pair(0.0f, 1.0f)}}},
    {"a NaN value is out of range and held with its bits",
     {{4.0f, 0.0f, 5.0f, 0.0f, pair(4.0f, 0.0f)},
      {nan_payload, 0.0f, 5.0f, 0.0f, pair(4.0f, nan_payload)},
      {1.0f, 0.0f, 5.0f, 0.0f, pair(1.0f, nan_payload)},
      {2.0f, 0.0f, 5.0f, 0.0f, pair(2.0f, nan_payload)},
      {8.0f, 0.0f, 5.0f, 0.0f, pair(2.0f, 8.0f)},
      {nan, 0.0f, 5.0f, 0.0f, pair(2.0f, nan)},
      {3.0f, 0.0f, 5.0f, 1.0f, pair(3.0f, 0.0f)}}},
    {"negative zero in range arrives as negative zero",
     {{minus_zero, 0.0f, 5.0f, 0.0f, pair(minus_zero, 0.0f)},
      {9.0f, 0.0f, 5.0f, 0.0f, pair(minus_zero, 9.0f)},
      {0.0f, minus_zero, minus_zero, 0.0f, pair(0.0f, 9.0f)},
      {minus_zero, -inf, 0.0f, 0.0f, pair(minus_zero, 9.0f)}}},
    {"a NaN low bound puts everything out of range",
     {{2.0f, nan, 5.0f, 0.0f, pair(0.0f, 2.0f)}, {-inf, nan, nan, 0.0f, pair(0.0f, -inf)}}},
    {"a NaN high bound limits nothing",
     {{2.0f, 0.0f, nan, 0.0f, pair(2.0f, 0.0f)},
      {inf, 0.0f, nan, 0.0f, pair(inf, 0.0f)},
      {-1.0f, 0.0f, nan, 0.0f, pair(inf, -1.0f)}}},
    {"infinite values and bounds",
     {{inf, -inf, inf, 0.0f, pair(inf, 0.0f)},
      {-inf, -inf, inf, 0.0f, pair(-inf, 0.0f)},
      {inf, 0.0f, 5.0f, 0.0f, pair(-inf, inf)}}},
    {"a denormal value passes unchanged",
     {{denormal, 0.0f, 5.0f, 0.0f, pair(denormal, 0.0f)},
      {host::from_bits(0x807fffff), 1.0f, 5.0f, 0.0f,
       pair(denormal, host::from_bits(0x807fffff))}}},
    {"reset clears both before the value is sorted",
     {{4.0f, 0.0f, 5.0f, 0.0f, pair(4.0f, 0.0f)},
      {6.0f, 0.0f, 5.0f, 0.0f, pair(4.0f, 6.0f)},
      {7.0f, 0.0f, 5.0f, 1.0f, pair(0.0f, 7.0f)},
      {1.0f, 0.0f, 5.0f, 1.0f, pair(1.0f, 0.0f)},
      {8.0f, 0.0f, 5.0f, 0.0f, pair(1.0f, 8.0f)}}},
};

TEST_F(Range, SortsAndHoldsValues) {
  for (const Sequence& s : sequences) {
    Rig rig(lib);
    int call = 0;
    for (const Call& c : s.calls) {
      SCOPED_TRACE(testing::Message() << s.what << ", call " << call++ << ", value " << c.x);
      EXPECT_EQ(rig.run(c.x, c.lo, c.hi, c.r), c.expected);
    }
  }
}

// The reset is a switch reading: only a reading of 1 clears.
TEST_F(Range, ResetReading) {
  const struct {
    float r;
    bool clears;
  } cases[] = {
      {1.0f, true},   {1.5f, true},         {1.9999999f, true}, {0.0f, false},  {-0.0f, false},
      {0.99f, false}, {-0.5f, false},       {2.0f, false},      {-1.0f, false}, {3.0e9f, false},
      {nan, false},   {nan_payload, false}, {inf, false},       {-inf, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "reset " << c.r);
    Rig rig(lib);
    rig.run(2.0f);
    rig.run(7.0f);
    EXPECT_EQ(rig.run(3.0f, 0.0f, 5.0f, c.r), pair(3.0f, c.clears ? 0.0f : 7.0f));
    EXPECT_EQ(rig.run(8.0f, 0.0f, 5.0f, c.r), pair(c.clears ? 0.0f : 3.0f, 8.0f));
  }
}

// An empty block reads and writes nothing and does not reset, even with the
// reset on: every port points at a sentinel or an untouched buffer.
TEST_F(Range, EmptyBlockChangesNothing) {
  Rig rig(lib);
  rig.run(2.0f);
  rig.run(7.0f);
  float value = nan, low = nan, high = nan, clear = 1.0f;
  std::vector<float> a = host::untouched(4), b = host::untouched(4);
  rig.inst.connect(input, value);
  rig.inst.connect(in_range_output, a.data());
  rig.inst.connect(out_of_range_output, b.data());
  rig.inst.connect(range_low, low);
  rig.inst.connect(range_high, high);
  rig.inst.connect(reset, clear);
  rig.inst.run(0);
  EXPECT_EQ(host::bits(a), host::bits(host::untouched(4)));
  EXPECT_EQ(host::bits(b), host::bits(host::untouched(4)));
  rig.connect_own();
  EXPECT_EQ(rig.run(3.0f), pair(3.0f, 7.0f));
}

TEST_F(Range, HeldValuesCarryAcrossDeactivateAndActivate) {
  Rig rig(lib);
  rig.run(2.0f);
  rig.run(-7.0f);
  rig.inst.deactivate();
  rig.inst.activate();
  EXPECT_EQ(rig.run(3.0f), pair(3.0f, -7.0f));
  rig.inst.deactivate();
  rig.inst.activate();
  EXPECT_EQ(rig.run(9.0f), pair(3.0f, 9.0f));
}

// Ports at offsets into one arena.
struct Layout {
  size_t in, a, b, lo, hi, r;
};

// Reads one held value back through the rig's own buffers.
uint32_t probe(Rig& rig, bool last_in_range) {
  rig.connect_own();
  return last_in_range ? rig.run(nan).in_range : rig.run(0.0f, -inf, inf).out_of_range;
}

// Ports placed at offsets into one arena: the value's element 0 covered by an
// output, both outputs on one buffer, outputs covering the controls, and
// neighbouring overlaps.
TEST_F(Range, SharedBuffersGiveTheSampleBySampleResult) {
  const Layout layouts[] = {
      {300, 0, 100, 301, 302, 303},  // nothing shared
      {0, 0, 100, 301, 302, 303},    // in_range_output covers the value from sample 0
      {100, 0, 100, 301, 302, 303},  // out_of_range_output covers it
      {3, 0, 100, 301, 302, 303},    // ... in_range_output from sample 3
      {104, 0, 100, 301, 302, 303},  // ... out_of_range_output from sample 4
      {300, 0, 0, 301, 302, 303},    // both outputs on one buffer
      {0, 0, 0, 301, 302, 303},      // ... covering the value
      {300, 0, 1, 301, 302, 303},    // the outputs one sample apart
      {300, 1, 0, 301, 302, 303},    // ... the other way round
      {300, 0, 100, 1, 302, 303},    // an output covers the low bound
      {300, 0, 100, 301, 102, 303},  // ... the high bound
      {300, 0, 100, 301, 302, 0},    // ... the reset
      {2, 0, 1, 4, 3, 5},            // everything overlaps
      {5, 1, 0, 2, 0, 3},            // ... differently
  };
  const float palette[] = {-1.0f, -0.0f, 0.0f, 0.5f, 1.0f, 1.0f, 2.0f,        5.0f,
                           5.5f,  7.0f,  nan,  inf,  -inf, 1.5f, nan_payload, 3.0f};
  std::mt19937 rng(2468);
  std::uniform_int_distribution<size_t> pick(0, std::size(palette) - 1);
  for (const Layout& l : layouts) {
    for (int trial = 0; trial < 40; ++trial) {
      const uint32_t count = 1 + static_cast<uint32_t>(trial % 12);
      SCOPED_TRACE(testing::Message()
                   << "in " << l.in << " a " << l.a << " b " << l.b << " trial " << trial);
      std::vector<float> arena(400);
      for (float& v : arena) v = palette[pick(rng)];
      const float prime_in = palette[pick(rng)], prime_out = palette[pick(rng)];
      // Two instances primed alike, so that each held value can be probed
      // afterwards. Bounds -inf and inf hold every value but NaN; bounds 1 and
      // 0 hold none.
      Rig first(lib), second(lib);
      for (Rig* rig : {&first, &second}) {
        rig->run(prime_in, -inf, inf);
        rig->run(prime_out, 1.0f, 0.0f);
      }
      reference::Model model = model_arena::instantiate("zul-cv-range");
      // What the priming leaves held: a NaN is in no range.
      model.last_in_range = std::isnan(prime_in) ? 0.0f : prime_in;
      model.last_out_of_range = prime_out;
      std::vector<float> expected = arena;
      model_arena::run(model, expected, {l.in, l.a, l.b, l.lo, l.hi, l.r}, count);

      std::vector<float> arenas[2] = {arena, arena};
      for (int k = 0; k < 2; ++k) {
        Rig& rig = k == 0 ? first : second;
        float* base = arenas[k].data();
        rig.inst.connect(input, base + l.in);
        rig.inst.connect(in_range_output, base + l.a);
        rig.inst.connect(out_of_range_output, base + l.b);
        rig.inst.connect(range_low, base + l.lo);
        rig.inst.connect(range_high, base + l.hi);
        rig.inst.connect(reset, base + l.r);
        rig.inst.run(count);
        model_arena::accept_computed_nans(model, expected, arenas[k]);
        ASSERT_EQ(host::bits(arenas[k]), host::bits(expected));
      }
      EXPECT_EQ(probe(first, true), host::bits(model.last_in_range));
      EXPECT_EQ(probe(second, false), host::bits(model.last_out_of_range));
    }
  }
}

// Worked by hand: in_range_output covers the value. Sample 0 finds 7.0 out of
// range and writes the held 0.0 over it; from sample 1 on the value is 0.0,
// below the low bound 1.0, so out_of_range_output carries it.
TEST_F(Range, OutputCoveringTheValueIsSortedFromTheNextSample) {
  std::vector<float> a = {7.0f, 9.0f, 9.0f, 9.0f}, b = host::untouched(4);
  float lo = 1.0f, hi = 5.0f, r = 0.0f;
  Rig rig(lib);
  rig.inst.connect(input, a.data());
  rig.inst.connect(in_range_output, a.data());
  rig.inst.connect(out_of_range_output, b.data());
  rig.inst.connect(range_low, lo);
  rig.inst.connect(range_high, hi);
  rig.inst.connect(reset, r);
  rig.inst.run(4);
  EXPECT_EQ(a, (std::vector<float>{0.0f, 0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(b, (std::vector<float>{7.0f, 0.0f, 0.0f, 0.0f}));
}

// Worked by hand: with both outputs on one buffer, out_of_range_output is
// written last and its values stay.
TEST_F(Range, BothOutputsOnOneBufferEndWithTheOutOfRangeValues) {
  Rig rig(lib);
  std::vector<float> shared = host::untouched(4);
  rig.inst.connect(in_range_output, shared.data());
  rig.inst.connect(out_of_range_output, shared.data());
  rig.value = 2.0f;
  rig.inst.run(4);  // in range: the held out-of-range value, 0.0, stays
  EXPECT_EQ(host::bits(shared), (std::vector<uint32_t>(4, 0u)));
  rig.value = 7.0f;
  rig.inst.run(4);  // out of range: 7.0 stays over the held 2.0
  EXPECT_EQ(shared, (std::vector<float>(4, 7.0f)));
  rig.value = 3.0f;
  rig.inst.run(4);
  EXPECT_EQ(shared, (std::vector<float>(4, 7.0f)));
}

// The same streams cut into blocks of random lengths, empty ones included,
// give the same outputs as one long block, with the value and the controls
// held constant (the value is read once per block, so a changing one would
// depend on where the blocks start).
TEST_F(Range, BlockLengthsDoNotMatter) {
  struct Controls {
    float x, lo, hi, r;
  };
  const Controls cases[] = {
      {2.0f, 0.0f, 5.0f, 0.0f}, {7.0f, 0.0f, 5.0f, 0.0f}, {nan_payload, 0.0f, 5.0f, 0.0f},
      {2.0f, 0.0f, 5.0f, 1.0f}, {7.0f, 0.0f, 5.0f, 1.0f}, {2.0f, 5.0f, 0.0f, 0.0f},
  };
  constexpr size_t length = 500, block = 64;
  std::mt19937 rng(77);
  std::uniform_int_distribution<uint32_t> cut(0, block);
  for (const Controls& c : cases) {
    for (int trial = 0; trial < 4; ++trial) {
      SCOPED_TRACE(testing::Message() << "value " << c.x << " reset " << c.r << " trial " << trial);
      Rig whole(lib), pieces(lib);
      for (Rig* rig : {&whole, &pieces}) {
        rig->run(-3.0f, -inf, inf);  // held values to start from
        rig->run(6.0f, 1.0f, 0.0f);
        rig->value = c.x;
        rig->low = c.lo;
        rig->high = c.hi;
        rig->clear = c.r;
      }
      std::vector<float> whole_a = host::untouched(length), whole_b = host::untouched(length);
      whole.inst.connect(in_range_output, whole_a.data());
      whole.inst.connect(out_of_range_output, whole_b.data());
      whole.inst.run(length);

      std::vector<float> a(block), b(block), pieces_a, pieces_b;
      pieces.inst.connect(in_range_output, a.data());
      pieces.inst.connect(out_of_range_output, b.data());
      for (size_t at = 0; at < length;) {
        const size_t count = std::min<size_t>(cut(rng), length - at);
        std::fill(a.begin(), a.end(), host::from_bits(host::untouched_bits));
        std::fill(b.begin(), b.end(), host::from_bits(host::untouched_bits));
        pieces.inst.run(static_cast<uint32_t>(count));
        pieces_a.insert(pieces_a.end(), a.data(), a.data() + count);
        pieces_b.insert(pieces_b.end(), b.data(), b.data() + count);
        const auto rest = host::bits(host::untouched(block - count));
        ASSERT_EQ(host::bits(a.data() + count, block - count), rest) << "written beyond the block";
        ASSERT_EQ(host::bits(b.data() + count, block - count), rest) << "written beyond the block";
        at += count;
      }
      EXPECT_EQ(host::bits(pieces_a), host::bits(whole_a));
      EXPECT_EQ(host::bits(pieces_b), host::bits(whole_b));
      EXPECT_EQ(probe(pieces, true), probe(whole, true));
    }
  }
}

}  // namespace
