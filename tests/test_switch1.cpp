// zul-cv-switch1 through the host's door: routing by selector reading, exact
// bits, untouched buffers, and shared buffers at every overlap.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/host.hpp"
#include "tests/model_arena.hpp"

namespace {

enum : uint32_t { input = 0, output_a = 1, output_b = 2, selector = 3 };

struct Route {
  float selector;
  int chosen;  // output port that carries the input; 0 for none
};

const Route routes[] = {
    {0.0f, output_a},
    {0.7f, output_a},
    {0.99f, output_a},
    {-0.5f, output_a},
    {-0.0f, output_a},
    {1.0f, output_b},
    {1.5f, output_b},
    {1.9f, output_b},
    {2.0f, 0},
    {-1.0f, 0},
    {3.0e9f, 0},
    {-3.0e9f, 0},
    {host::from_bits(0x7f800000), 0},
    {host::from_bits(0xff800000), 0},
    {host::from_bits(0x7fc00000), 0},
    {host::from_bits(0xffc12345), 0},
};

class Switch1 : public testing::Test {
 protected:
  host::Library lib{"zul-cv-switch1"};
};

TEST_F(Switch1, RoutesBySelectorReading) {
  const std::vector<float> in = host::tricky_values();
  const auto n = static_cast<uint32_t>(in.size());
  const std::vector<uint32_t> zeros(n, 0u);
  for (const Route& r : routes) {
    SCOPED_TRACE(testing::Message() << "selector " << r.selector);
    host::Instance inst(lib);
    std::vector<float> a = host::untouched(n), b = host::untouched(n);
    float sel = r.selector;
    inst.connect(input, const_cast<float*>(in.data()));
    inst.connect(output_a, a.data());
    inst.connect(output_b, b.data());
    inst.connect(selector, sel);
    inst.run(n);
    const auto untouched = host::bits(host::untouched(n));
    switch (r.chosen) {
      case output_a:
        EXPECT_EQ(host::bits(a), host::bits(in));
        EXPECT_EQ(host::bits(b), zeros);
        break;
      case output_b:
        EXPECT_EQ(host::bits(a), zeros);
        EXPECT_EQ(host::bits(b), host::bits(in));
        break;
      default:
        EXPECT_EQ(host::bits(a), untouched);
        EXPECT_EQ(host::bits(b), untouched);
    }
  }
}

// A change of selector takes full effect at the next block, and a block that
// routes nothing leaves the previous block's samples in place.
TEST_F(Switch1, EachBlockFollowsItsOwnSelector) {
  host::Instance inst(lib);
  std::vector<float> in = {1.0f, -2.0f, 3.0f}, a(3), b(3);
  float sel = 0.0f;
  inst.connect(input, in.data());
  inst.connect(output_a, a.data());
  inst.connect(output_b, b.data());
  inst.connect(selector, sel);
  inst.run(3);
  EXPECT_EQ(a, in);
  sel = 1.0f;
  inst.run(3);
  EXPECT_EQ(host::bits(a), (std::vector<uint32_t>{0, 0, 0}));
  EXPECT_EQ(b, in);
  sel = 2.0f;
  in = {7.0f, 8.0f, 9.0f};
  inst.run(3);
  EXPECT_EQ(b, (std::vector<float>{1.0f, -2.0f, 3.0f}));
  EXPECT_EQ(host::bits(a), (std::vector<uint32_t>{0, 0, 0}));
}

TEST_F(Switch1, EmptyBlockWritesNothing) {
  for (float s : {0.0f, 1.0f, 2.0f}) {
    host::Instance inst(lib);
    std::vector<float> in = {5.0f}, a = host::untouched(1), b = host::untouched(1);
    inst.connect(input, in.data());
    inst.connect(output_a, a.data());
    inst.connect(output_b, b.data());
    inst.connect(selector, s);
    inst.run(0);
    EXPECT_EQ(host::bits(a[0]), host::untouched_bits) << s;
    EXPECT_EQ(host::bits(b[0]), host::untouched_bits) << s;
  }
}

// Ports placed at offsets into one arena: the same buffer, neighbouring
// buffers, and buffers overlapping by a few samples either way.
TEST_F(Switch1, SharedBuffersGiveTheSampleBySampleResult) {
  struct Layout {
    size_t in, a, b;
  };
  const Layout layouts[] = {
      {0, 0, 600},    // input and output A share
      {0, 600, 0},    // input and output B share
      {600, 0, 0},    // both outputs share
      {0, 0, 0},      // all three share
      {0, 1, 600},    // output A one sample ahead of the input
      {1, 0, 600},    // output A one sample behind
      {0, 600, 3},    // output B three samples ahead
      {5, 600, 0},    // output B five behind
      {0, 300, 301},  // the outputs overlap by all but one sample
      {0, 300, 900},  // no overlap at all
  };
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
  for (const Layout& l : layouts) {
    for (float sel : {0.0f, 1.0f}) {
      for (uint32_t n : {1u, 3u, 4u, 7u, 16u, 33u, 256u}) {
        SCOPED_TRACE(testing::Message() << "in " << l.in << " a " << l.a << " b " << l.b << " sel "
                                        << sel << " n " << n);
        std::vector<float> arena(1200);
        for (float& v : arena) v = dist(rng);
        std::vector<float> expected = arena;
        float model_sel = sel;
        reference::Model model = model_arena::instantiate("zul-cv-switch1");
        reference::connect_port(model, selector, &model_sel);
        model_arena::run(model, expected, {l.in, l.a, l.b}, n);
        host::Instance inst(lib);
        model_arena::connect(inst, arena, {l.in, l.a, l.b});
        inst.connect(selector, sel);
        inst.run(n);
        model_arena::accept_computed_nans(model, expected, arena);
        ASSERT_EQ(host::bits(arena), host::bits(expected));
      }
    }
  }
}

// The selector is read once, before any sample: an output that covers the
// selector's storage does not change the route within the block.
TEST_F(Switch1, SelectorIsReadOncePerBlock) {
  std::vector<float> arena = {0.0f, 4.0f, 5.0f, 6.0f};
  std::vector<float> in = {9.0f, 9.0f, 9.0f, 9.0f};
  std::vector<float> b = host::untouched(4);
  host::Instance inst(lib);
  inst.connect(selector, arena.data());  // output A overwrites it at sample 0
  inst.connect(input, in.data());
  inst.connect(output_a, arena.data());
  inst.connect(output_b, b.data());
  inst.run(4);
  EXPECT_EQ(arena, in);
  EXPECT_EQ(host::bits(b), (std::vector<uint32_t>{0, 0, 0, 0}));
}

}  // namespace
