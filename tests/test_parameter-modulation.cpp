// zul-cv-parameter-modulation through the host's door: worked examples with
// exact bits, the single rounding of the fused multiply-add, the limit's NaN
// and signed-zero rules, the enable, empty blocks and shared buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "tests/host.hpp"
#include "tests/model_arena.hpp"

namespace {

enum : uint32_t { input = 0, output = 1, offset = 2, depth = 3, enable = 4 };

constexpr uint32_t positive_zero = 0x00000000;
constexpr uint32_t ten = 0x41200000;

class ParameterModulation : public testing::Test {
 protected:
  host::Library lib{"zul-cv-parameter-modulation"};

  // One block through a fresh instance; the output starts untouched.
  std::vector<float> run_block(std::vector<float> in, float depth_value, float offset_value,
                               float enable_value = 1.0f) {
    host::Instance inst(lib);
    std::vector<float> out = host::untouched(in.size());
    inst.connect(input, in.data());
    inst.connect(output, out.data());
    inst.connect(depth, depth_value);
    inst.connect(offset, offset_value);
    inst.connect(enable, enable_value);
    inst.run(static_cast<uint32_t>(in.size()));
    return out;
  }
};

struct Example {
  float input, depth, offset;
  uint32_t expected;
};

const Example examples[] = {
    {5.0f, 100.0f, 0.0f, host::bits(5.0f)},
    {4.0f, 50.0f, 20.0f, host::bits(4.0f)},  // 4 * 0.5 + 2
    {2.0f, 100.0f, 50.0f, host::bits(7.0f)},
    {12.0f, 100.0f, 0.0f, ten},
    {-3.0f, 100.0f, 0.0f, positive_zero},
    {3.0f, 100.0f, 80.0f, ten},  // 11 limited to 10
    {10.0f, 100.0f, -100.0f, positive_zero},
    {7.0f, -100.0f, 100.0f, host::bits(3.0f)},  // a negative depth inverts
    {1.0f, 33.0f, 0.0f, 0x3ea8f5c3},            // 0.33000001, the single nearest 0.33
    {10.0f, 100.0f, 0.0f, ten},
    {9.99999905f, 100.0f, 0.0f, 0x411fffff},
    {-0.5f, -200.0f, 0.0f, host::bits(1.0f)},
    {1.0f, 100.0f, 1.0f, host::bits(1.1f)},  // 1 + 0.1 rounds to the single nearest 1.1
    // NaN never survives the limit: minNum(NaN, 10) is 10.
    {host::from_bits(0x7fc00000), 100.0f, 0.0f, ten},
    {host::from_bits(0xffc12345), -100.0f, -100.0f, ten},
    {host::from_bits(0x7f800001), 0.0f, 0.0f, ten},  // signalling
    {5.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f, ten},
    {5.0f, 100.0f, std::numeric_limits<float>::quiet_NaN(), ten},
    {host::from_bits(0x7f800000), 0.0f, 30.0f, ten},  // inf * 0 is NaN
    // Negative zero and negative results leave as positive zero.
    {-0.0f, 100.0f, -0.0f, positive_zero},  // v is -0
    {0.0f, -100.0f, -0.0f, positive_zero},  // v is -0
    {-0.0f, 100.0f, 0.0f, positive_zero},
    {-1e-30f, 100.0f, 0.0f, positive_zero},
    {host::from_bits(0xff800000), 100.0f, 0.0f, positive_zero},
    // Infinities and results beyond the single range.
    {host::from_bits(0x7f800000), 100.0f, 0.0f, ten},
    {5.0f, 100.0f, host::from_bits(0x7f800000), ten},
    {5.0f, 100.0f, host::from_bits(0xff800000), positive_zero},
    {host::from_bits(0x7f7fffff), 200.0f, 0.0f, ten},  // 2 * max rounds to inf
    {host::from_bits(0xff7fffff), 200.0f, 100.0f, positive_zero},
    // Under the plugins' floating-point mode a denormal input reads as zero,
    // and a result too small for a normal single becomes zero.
    {host::from_bits(0x007fffff), 100.0f, 0.0f, positive_zero},
    {host::from_bits(0x00800000), 100.0f, 0.0f, 0x00800000},
    {host::from_bits(0x00800000), 50.0f, 0.0f, positive_zero},
};

TEST_F(ParameterModulation, WorkedExamples) {
  for (const Example& e : examples) {
    SCOPED_TRACE(testing::Message() << "input " << std::hexfloat << e.input << " depth " << e.depth
                                    << " offset " << e.offset);
    const std::vector<float> out = run_block({e.input}, e.depth, e.offset);
    EXPECT_EQ(host::bits(out[0]), e.expected);
  }
}

TEST_F(ParameterModulation, DepthZeroGivesTheOffsetForEveryFiniteInput) {
  std::vector<float> in;
  for (float v : host::tricky_values()) {
    if (std::isfinite(v)) in.push_back(v);
  }
  const std::vector<float> out = run_block(in, 0.0f, 30.0f);
  EXPECT_EQ(host::bits(out), std::vector<uint32_t>(in.size(), host::bits(3.0f)));
}

// Depth 100 is a gain of exactly 1.0 and offset 0 a bias of 0: every input
// within 0 to 10 passes with its bits unchanged.
TEST_F(ParameterModulation, UnityDepthPassesTheRangeExactly) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> dist(0.0f, 10.0f);
  std::vector<float> in = {0.0f, 1e-30f, 0.1f, 0.33f, 9.99999905f, 10.0f};
  for (int i = 0; i < 500; ++i) in.push_back(dist(rng));
  EXPECT_EQ(host::bits(run_block(in, 100.0f, 0.0f)), host::bits(in));
}

// Operands found by search and checked with exact rational arithmetic: the
// exact x * g + b lies so close to the midpoint between two singles that the
// double rounding of the product alone moves the single result by one bit.
struct Rounding {
  uint32_t input;
  float depth, offset;
  uint32_t fused;      // exact sum, rounded to double, then to single
  uint32_t separated;  // product rounded to double first, then the sum
};

const Rounding roundings[] = {
    {0x4152b1b7, 101.0f, -93.0f, 0x40800095, 0x40800096},   // 13.1683...
    {0x41479ac5, 101.0f, -86.0f, 0x40800051, 0x40800050},   // 12.4753...
    {0xc152b1b7, -101.0f, -93.0f, 0x40800095, 0x40800096},  // both negated
};

TEST_F(ParameterModulation, ProductAndSumAreRoundedOnce) {
  for (const Rounding& r : roundings) {
    SCOPED_TRACE(testing::Message() << "input 0x" << std::hex << r.input);
    const float x = host::from_bits(r.input);
    // The case only discriminates if two roundings really give the other bits.
    volatile double product = static_cast<double>(x) * (static_cast<double>(r.depth) * 0.01);
    const double separated = product + static_cast<double>(r.offset) * 0.1;
    ASSERT_EQ(host::bits(static_cast<float>(separated)), r.separated);
    EXPECT_EQ(host::bits(run_block({x}, r.depth, r.offset)[0]), r.fused);
  }
}

// The scale factors are double products with the doubles nearest 0.01 and
// 0.1: depth 35 * 0.01 is one bit away from 35 / 100, offset -97 * 0.1 one
// bit away from -97 / 10, and each case shows it in the single result.
TEST_F(ParameterModulation, ScaleFactorsAreDoubleProducts) {
  const struct {
    uint32_t input;
    float depth, offset;
    uint32_t expected;
  } cases[] = {
      {0x41fb6dc3, 35.0f, -30.0f, 0x41000009},   // 35 / 100 would give ...08
      {0x415907bf, 101.0f, -97.0f, 0x40800049},  // -97 / 10 would give ...4a
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "input 0x" << std::hex << c.input);
    EXPECT_EQ(host::bits(run_block({host::from_bits(c.input)}, c.depth, c.offset)[0]), c.expected);
  }
}

// Enable readings other than 1 silence every sample; the input is connected
// to null, so reading it would crash the test.
TEST_F(ParameterModulation, DisabledWritesPositiveZeroAndReadsNoInput) {
  for (float e : {0.0f, -0.0f, 0.99f, 2.0f, -1.0f, -0.5f, 3.0e9f, host::from_bits(0x7fc00000),
                  host::from_bits(0x7f800000), host::from_bits(0xff800000)}) {
    for (float offset_value : {0.0f, 100.0f, -100.0f}) {
      SCOPED_TRACE(testing::Message() << "enable " << e << " offset " << offset_value);
      host::Instance inst(lib);
      std::vector<float> out = host::untouched(8);
      float depth_value = 100.0f;
      inst.connect(input, nullptr);
      inst.connect(output, out.data());
      inst.connect(depth, depth_value);
      inst.connect(offset, offset_value);
      inst.connect(enable, e);
      inst.run(8);
      EXPECT_EQ(host::bits(out), std::vector<uint32_t>(8, positive_zero));
    }
  }
}

TEST_F(ParameterModulation, EnableReadsOneFromOneUpToTwo) {
  for (float e : {1.0f, 1.5f, 1.99999988f}) {
    EXPECT_EQ(run_block({2.5f, 12.0f}, 100.0f, 0.0f, e), (std::vector<float>{2.5f, 10.0f})) << e;
  }
}

// With no samples nothing is written, and neither the input nor the enable
// (both null here) is read.
TEST_F(ParameterModulation, EmptyBlockWritesNothing) {
  for (float e : {1.0f, 0.0f}) {
    host::Instance inst(lib);
    std::vector<float> out = host::untouched(4);
    float depth_value = 100.0f, offset_value = 50.0f;
    inst.connect(input, nullptr);
    inst.connect(output, out.data());
    inst.connect(depth, depth_value);
    inst.connect(offset, offset_value);
    inst.connect(enable, nullptr);
    inst.run(0);
    EXPECT_EQ(host::bits(out), host::bits(host::untouched(4))) << e;
  }
}

// Each block takes the controls it finds; deactivate and activate keep nothing.
TEST_F(ParameterModulation, EachBlockReadsItsOwnControls) {
  host::Instance inst(lib);
  std::vector<float> in = {1.0f, 4.0f}, out(2);
  float depth_value = 100.0f, offset_value = 0.0f, enable_value = 1.0f;
  inst.connect(input, in.data());
  inst.connect(output, out.data());
  inst.connect(depth, depth_value);
  inst.connect(offset, offset_value);
  inst.connect(enable, enable_value);
  inst.run(2);
  EXPECT_EQ(out, (std::vector<float>{1.0f, 4.0f}));
  depth_value = 50.0f;
  offset_value = 20.0f;
  inst.run(2);
  EXPECT_EQ(out, (std::vector<float>{2.5f, 4.0f}));
  enable_value = 0.0f;
  inst.run(2);
  EXPECT_EQ(host::bits(out), (std::vector<uint32_t>{positive_zero, positive_zero}));
  inst.deactivate();
  inst.activate();
  enable_value = 1.0f;
  inst.run(2);
  EXPECT_EQ(out, (std::vector<float>{2.5f, 4.0f}));
}

// Ports at indexes into one arena.
struct Layout {
  size_t in, out, offset, depth, enable;
};

void run_in_arena(const host::Library& lib, std::vector<float>& arena, const Layout& l,
                  uint32_t n) {
  host::Instance inst(lib);
  model_arena::connect(inst, arena, {l.in, l.out, l.offset, l.depth, l.enable});
  inst.run(n);
}

// Across depths, offsets and awkward inputs, separate buffers.
TEST_F(ParameterModulation, MatchesTheStepsOverTrickyValues) {
  std::vector<float> values = host::tricky_values();
  for (float v : {0.1f, 0.33f, 3.7f, 9.9f, 10.0f, 10.000001f, -7.25f, 123.456f, 1e-20f}) {
    values.push_back(v);
  }
  const auto n = static_cast<uint32_t>(values.size());
  const Layout l = {0, n, 2 * n, 2 * n + 1, 2 * n + 2};
  for (float d : {100.0f, 33.0f, -100.0f, 0.0f, -0.0f, 101.0f, -200.0f, 7.5f, 1e-3f, 1e30f,
                  host::from_bits(0x7f800000), host::from_bits(0x7fc00000)}) {
    for (float o : {0.0f, -0.0f, 20.0f, -100.0f, 100.0f, 7.7f, -33.3f, 1e30f,
                    host::from_bits(0xff800000), host::from_bits(0xffc00000)}) {
      SCOPED_TRACE(testing::Message() << "depth " << d << " offset " << o);
      std::vector<float> arena = values;
      arena.resize(2 * n + 3, host::from_bits(host::untouched_bits));
      arena[l.depth] = d;
      arena[l.offset] = o;
      arena[l.enable] = 1.0f;
      std::vector<float> expected = arena;
      reference::Model model = model_arena::instantiate("zul-cv-parameter-modulation");
      model_arena::run(model, expected, {l.in, l.out, l.offset, l.depth, l.enable}, n);
      run_in_arena(lib, arena, l, n);
      model_arena::accept_computed_nans(model, expected, arena);
      ASSERT_EQ(host::bits(arena), host::bits(expected));
    }
  }
}

// An output over the enable's storage: sample 2 writes 5 there, so sample 3
// reads the enable as 5 and silences the rest of the block.
TEST_F(ParameterModulation, OutputOverTheEnableSwitchesFromTheNextSample) {
  std::vector<float> in = {1.5f, 1.5f, 5.0f, 5.0f, 5.0f};
  std::vector<float> out = {9.0f, 9.0f, 1.0f, 9.0f, 9.0f};
  float depth_value = 100.0f, offset_value = 0.0f;
  host::Instance inst(lib);
  inst.connect(input, in.data());
  inst.connect(output, out.data());
  inst.connect(depth, depth_value);
  inst.connect(offset, offset_value);
  inst.connect(enable, out.data() + 2);
  inst.run(5);
  EXPECT_EQ(host::bits(out), host::bits(std::vector<float>{1.5f, 1.5f, 5.0f, 0.0f, 0.0f}));
  // Written as 1.5 at sample 1, an enable there stays on.
  out = {9.0f, 1.0f, 9.0f, 9.0f, 9.0f};
  inst.connect(enable, out.data() + 1);
  inst.run(5);
  EXPECT_EQ(out, in);
}

// Depth and offset are read once per block: an output over their storage has
// no effect until the next block, which reads what the last one wrote.
TEST_F(ParameterModulation, OutputOverDepthOrOffsetActsFromTheNextBlock) {
  std::vector<float> in = {5.0f, 5.0f, 5.0f};
  float enable_value = 1.0f, offset_value = 0.0f;
  std::vector<float> out = {100.0f, 9.0f, 9.0f};  // depth lives in out[0]
  host::Instance inst(lib);
  inst.connect(input, in.data());
  inst.connect(output, out.data());
  inst.connect(depth, out.data());
  inst.connect(offset, offset_value);
  inst.connect(enable, enable_value);
  inst.run(3);
  EXPECT_EQ(out, in);
  inst.run(3);  // depth 5 now: 5 * 0.05
  EXPECT_EQ(out, (std::vector<float>{0.25f, 0.25f, 0.25f}));

  float depth_value = 100.0f;
  out = {9.0f, 50.0f, 9.0f};  // offset lives in out[1]
  inst.connect(depth, depth_value);
  inst.connect(offset, out.data() + 1);
  in = {1.0f, 1.0f, 1.0f};
  inst.run(3);
  EXPECT_EQ(out, (std::vector<float>{6.0f, 6.0f, 6.0f}));
  inst.run(3);  // offset 6 now: 1 + 0.6
  EXPECT_EQ(host::bits(out), host::bits(std::vector<float>{1.6f, 1.6f, 1.6f}));
}

// Ports placed at offsets into one arena: input and output on one buffer or
// overlapping either way, the output over the enable, the depth or the offset
// at various samples, and everything at once.
TEST_F(ParameterModulation, SharedBuffersGiveTheSampleBySampleResult) {
  const Layout layouts[] = {
      {0, 0, 900, 901, 902},    // input and output share
      {0, 1, 900, 901, 902},    // output one sample ahead of the input
      {1, 0, 900, 901, 902},    // output one sample behind
      {0, 3, 900, 901, 902},    // three ahead
      {5, 0, 900, 901, 902},    // five behind
      {0, 300, 900, 901, 300},  // output over the enable at sample 0
      {0, 300, 900, 901, 304},  // output over the enable at sample 4
      {0, 300, 900, 901, 331},  // output over the enable at sample 31
      {0, 300, 300, 901, 902},  // output over the offset at sample 0
      {0, 300, 900, 302, 902},  // output over the depth at sample 2
      {0, 0, 5, 6, 7},          // input, output and all controls in one buffer
      {10, 0, 3, 2, 4},         // output over the controls, input behind
      {0, 300, 600, 601, 602},  // no overlap at all
  };
  std::mt19937 rng(4321);
  std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
  for (const Layout& l : layouts) {
    for (float start_enable : {1.0f, 0.0f}) {
      for (uint32_t n : {1u, 3u, 4u, 7u, 16u, 33u, 256u}) {
        SCOPED_TRACE(testing::Message() << "in " << l.in << " out " << l.out << " offset "
                                        << l.offset << " depth " << l.depth << " enable "
                                        << l.enable << " start " << start_enable << " n " << n);
        std::vector<float> arena(1000);
        for (float& v : arena) v = dist(rng);
        arena[l.depth] = 130.0f;
        arena[l.offset] = 40.0f;
        arena[l.enable] = start_enable;
        std::vector<float> expected = arena;
        reference::Model model = model_arena::instantiate("zul-cv-parameter-modulation");
        model_arena::run(model, expected, {l.in, l.out, l.offset, l.depth, l.enable}, n);
        run_in_arena(lib, arena, l, n);
        model_arena::accept_computed_nans(model, expected, arena);
        ASSERT_EQ(host::bits(arena), host::bits(expected));
      }
    }
  }
}

}  // namespace
