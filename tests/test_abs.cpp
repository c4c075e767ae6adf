// zul-cv-abs through the host's door: the sign bit cleared and nothing else,
// exact pass-through while off, the enable read at every sample, shared buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/host.hpp"
#include "tests/model_arena.hpp"

namespace {

enum : uint32_t { input = 0, output = 1, enable = 2 };

// Input bits and the bits of their absolute value.
struct Rectified {
  uint32_t in, out;
};

const Rectified rectified[] = {
    {0xc0200000, 0x40200000},                            // -2.5 gives 2.5
    {0x40800000, 0x40800000},                            // 4.0 stays 4.0
    {0xc0600000, 0x40600000},                            // -3.5 gives 3.5
    {0x80000000, 0x00000000},                            // -0 gives +0
    {0x00000000, 0x00000000}, {0xff800000, 0x7f800000},  // -inf gives +inf
    {0x7f800000, 0x7f800000}, {0xffc00000, 0x7fc00000},  // NaNs keep their payloads
    {0xffd54321, 0x7fd54321}, {0x7fc12345, 0x7fc12345},
    {0xffa00001, 0x7fa00001},                            // a signalling NaN stays signalling
    {0x7f800001, 0x7f800001}, {0x80000001, 0x00000001},  // a negative denormal keeps its magnitude
    {0x807fffff, 0x007fffff}, {0x00000001, 0x00000001},
    {0x80800000, 0x00800000},  // smallest normal
    {0xff7fffff, 0x7f7fffff},  // largest finite
    {0xbf800000, 0x3f800000},  // -1 gives 1
    {0xc1200000, 0x41200000},  // -10 gives 10
};

// Enables that read exactly 1, and enables that read anything else.
const float enables_on[] = {1.0f, 1.5f, 1.99f, 1.9999999f};
const float enables_off[] = {
    0.0f,
    -0.0f,
    0.99f,
    0.99999994f,
    -0.5f,
    2.0f,
    -1.0f,
    -1.5f,
    3.0f,
    2147483648.0f,
    3.0e9f,
    -3.0e9f,
    host::from_bits(0x00000001),
    host::from_bits(0x7f800000),
    host::from_bits(0xff800000),
    host::from_bits(0x7fc00000),  // a NaN enable reads as off
    host::from_bits(0xffc12345),
};

class Abs : public testing::Test {
 protected:
  host::Library lib{"zul-cv-abs"};

  // Runs one block on separate buffers and returns the output's bits.
  std::vector<uint32_t> process(const std::vector<float>& in, float en) {
    host::Instance inst(lib);
    std::vector<float> out = host::untouched(in.size());
    inst.connect(input, const_cast<float*>(in.data()));
    inst.connect(output, out.data());
    inst.connect(enable, en);
    inst.run(static_cast<uint32_t>(in.size()));
    return host::bits(out);
  }
};

TEST_F(Abs, ClearsTheSignBitWhileEnabled) {
  std::vector<float> in;
  std::vector<uint32_t> expected;
  for (const Rectified& r : rectified) {
    in.push_back(host::from_bits(r.in));
    expected.push_back(r.out);
  }
  for (float en : enables_on) {
    EXPECT_EQ(process(in, en), expected) << "enable " << en;
  }
}

TEST_F(Abs, PassesEveryBitThroughWhileOff) {
  std::vector<float> in = host::tricky_values();
  for (const Rectified& r : rectified) in.push_back(host::from_bits(r.in));
  for (float en : enables_off) {
    EXPECT_EQ(process(in, en), host::bits(in)) << "enable " << std::hexfloat << en;
  }
}

// With n = 0 neither the input nor the enable is read and nothing is written:
// all three ports sit on a forbidden page.
TEST_F(Abs, EmptyBlockReadsAndWritesNothing) {
  host::Forbidden forbidden;
  host::Instance inst(lib);
  inst.connect(input, forbidden.data());
  inst.connect(output, forbidden.data());
  inst.connect(enable, forbidden.data());
  inst.run(0);
  // And an ordinary output buffer keeps what it held.
  std::vector<float> in = {-1.0f}, out = host::untouched(1);
  float en = 1.0f;
  inst.connect(input, in.data());
  inst.connect(output, out.data());
  inst.connect(enable, en);
  inst.run(0);
  EXPECT_EQ(host::bits(out[0]), host::untouched_bits);
}

// Input and output on one buffer: rectified in place while enabled, left
// exactly as it was while not.
TEST_F(Abs, RectifiesInPlace) {
  std::vector<float> buffer;
  std::vector<uint32_t> expected;
  for (const Rectified& r : rectified) {
    buffer.push_back(host::from_bits(r.in));
    expected.push_back(r.out);
  }
  const std::vector<uint32_t> original = host::bits(buffer);
  const auto n = static_cast<uint32_t>(buffer.size());
  host::Instance inst(lib);
  float en = 0.0f;
  inst.connect(input, buffer.data());
  inst.connect(output, buffer.data());
  inst.connect(enable, en);
  inst.run(n);
  EXPECT_EQ(host::bits(buffer), original);
  en = 1.0f;
  inst.run(n);
  EXPECT_EQ(host::bits(buffer), expected);
}

// A change of the enable takes effect from the first sample of the next
// block, and nothing is remembered across deactivate and activate.
TEST_F(Abs, EachBlockFollowsItsOwnEnable) {
  host::Instance inst(lib);
  std::vector<float> in = {-1.0f, 2.0f, -0.0f}, out(3);
  float en = 1.0f;
  inst.connect(input, in.data());
  inst.connect(output, out.data());
  inst.connect(enable, en);
  inst.run(3);
  EXPECT_EQ(host::bits(out), (std::vector<uint32_t>{0x3f800000, 0x40000000, 0}));
  en = 0.0f;
  inst.run(3);
  EXPECT_EQ(host::bits(out), host::bits(in));
  inst.deactivate();
  inst.activate();
  inst.run(3);
  EXPECT_EQ(host::bits(out), host::bits(in));
  en = 1.5f;
  inst.run(2);  // a shorter block writes only its own samples
  EXPECT_EQ(host::bits(out), (std::vector<uint32_t>{0x3f800000, 0x40000000, 0x80000000}));
}

// The output covers the enable's storage at output[k]: the value written there
// is the enable read at sample k+1 and after.
TEST_F(Abs, OutputOverTheEnableSwitchesTheFollowingSamples) {
  struct Case {
    const char* what;
    float enable;  // before the block
    size_t k;
    std::vector<float> in, expected;
  };
  const Case cases[] = {
      {"on, 0.5 written: off after k",
       1.0f,
       2,
       {-1.0f, -2.0f, -0.5f, -4.0f, 1.5f, -6.0f},
       {1.0f, 2.0f, 0.5f, -4.0f, 1.5f, -6.0f}},
      {"on, -1.5 rectified to 1.5: stays on",
       1.0f,
       1,
       {-1.0f, -1.5f, -3.0f, -4.0f},
       {1.0f, 1.5f, 3.0f, 4.0f}},
      {"off, 1.25 copied: on after k",
       0.0f,
       1,
       {-1.0f, 1.25f, -3.0f, -4.0f},
       {-1.0f, 1.25f, 3.0f, 4.0f}},
      {"off, -1.25 copied: stays off",
       0.0f,
       1,
       {-1.0f, -1.25f, -3.0f, -4.0f},
       {-1.0f, -1.25f, -3.0f, -4.0f}},
      {"on at k = 0, 2.0 written: off", 1.0f, 0, {-2.0f, -3.0f, -4.0f}, {2.0f, -3.0f, -4.0f}},
      {"on at the last sample: no effect", 1.0f, 2, {-1.0f, -2.0f, -0.25f}, {1.0f, 2.0f, 0.25f}},
      {"on, -inf rectified to +inf: off",
       1.0f,
       1,
       {-1.0f, -INFINITY, -3.0f},
       {1.0f, INFINITY, -3.0f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto n = static_cast<uint32_t>(c.in.size());
    std::vector<float> out = host::untouched(n);
    out[c.k] = c.enable;
    host::Instance inst(lib);
    inst.connect(input, const_cast<float*>(c.in.data()));
    inst.connect(output, out.data());
    inst.connect(enable, out.data() + c.k);
    inst.run(n);
    EXPECT_EQ(out, c.expected);
  }
}

// A NaN written over the enable reads as off from the next sample on.
TEST_F(Abs, NaNWrittenOverTheEnableTurnsItOff) {
  const float nan = host::from_bits(0xffc12345);
  std::vector<float> in = {-1.0f, nan, -3.0f}, out = {1.0f, 1.0f, 1.0f};
  host::Instance inst(lib);
  inst.connect(input, in.data());
  inst.connect(output, out.data());
  inst.connect(enable, out.data() + 1);
  inst.run(3);
  EXPECT_EQ(host::bits(out), (std::vector<uint32_t>{0x3f800000, 0x7fc12345, 0xc0400000}));
}

// Ports placed at offsets into one arena: input and output shifted against
// each other, and the enable's storage inside the output, the input, or both.
TEST_F(Abs, SharedBuffersGiveTheSampleBySampleResult) {
  struct Layout {
    size_t in, out, en;
  };
  const Layout layouts[] = {
      {0, 0, 1000},    // input and output on one buffer
      {0, 1, 1000},    // output one sample ahead of the input
      {1, 0, 1000},    // output one sample behind
      {0, 3, 1000},    // three ahead
      {5, 0, 1000},    // five behind
      {0, 300, 1000},  // no overlap
      {0, 300, 300},   // enable at output[0]
      {0, 300, 301},   // enable at output[1]
      {0, 300, 310},   // enable at output[10]
      {0, 300, 330},   // enable at output[30], beyond the short blocks
      {0, 0, 7},       // in place, enable inside both
      {0, 2, 5},       // output ahead of the input, enable inside both
      {4, 0, 2},       // output behind the input, enable in the output only
      {300, 0, 301},   // enable inside the input only
  };
  std::mt19937 rng(3101);
  // Plenty of values in [1, 2) and in (-2, -1], so the enable flips often.
  std::uniform_real_distribution<float> dist(-3.0f, 3.0f);
  const std::vector<float> tricky = host::tricky_values();
  for (const Layout& l : layouts) {
    for (float en : {0.0f, 1.0f}) {
      for (uint32_t n : {1u, 2u, 3u, 4u, 7u, 16u, 33u, 256u}) {
        SCOPED_TRACE(testing::Message() << "in " << l.in << " out " << l.out << " en " << l.en
                                        << " enable " << en << " n " << n);
        std::vector<float> arena(1200);
        for (size_t i = 0; i < arena.size(); ++i) {
          arena[i] = i % 7 == 3 ? tricky[i / 7 % tricky.size()] : dist(rng);
        }
        arena[l.en] = en;
        std::vector<float> expected = arena;
        reference::Model model = model_arena::instantiate("zul-cv-abs");
        model_arena::run(model, expected, {l.in, l.out, l.en}, n);
        host::Instance inst(lib);
        model_arena::connect(inst, arena, {l.in, l.out, l.en});
        inst.run(n);
        model_arena::accept_computed_nans(model, expected, arena);
        ASSERT_EQ(host::bits(arena), host::bits(expected));
      }
    }
  }
}

}  // namespace
