// zul-cv-switch2 through the host's door: choosing by selector reading, exact
// bits, an unchosen input that is never touched, and shared buffers.
#include <gtest/gtest.h>

#include <random>

#include "tests/host.hpp"
#include "tests/model_arena.hpp"

namespace {

enum : uint32_t { input_a = 0, input_b = 1, output = 2, selector = 3 };

enum class Source { a, b, none };

struct Choice {
  float selector;
  Source source;
};

const Choice choices[] = {
    {0.0f, Source::a},
    {-0.0f, Source::a},
    {0.5f, Source::a},
    {0.99f, Source::a},
    {-0.5f, Source::a},
    {-0.99999994f, Source::a},
    {host::from_bits(0x00000001), Source::a},  // a denormal truncates to 0
    {1.0f, Source::b},
    {1.5f, Source::b},
    {1.9999999f, Source::b},
    {2.0f, Source::none},
    {-1.0f, Source::none},
    {7.0f, Source::none},
    {2147483648.0f, Source::none},
    {3.0e9f, Source::none},
    {-3.0e9f, Source::none},
    {host::from_bits(0x7f800000), Source::none},
    {host::from_bits(0xff800000), Source::none},
    {host::from_bits(0x7fc00000), Source::none},
    {host::from_bits(0xffc12345), Source::none},
};

// The tricky values on input A, the same values shifted by one on input B, so
// that the two inputs differ at every index.
std::vector<float> shifted(const std::vector<float>& values) {
  std::vector<float> out(values.begin() + 1, values.end());
  out.push_back(values.front());
  return out;
}

class Switch2 : public testing::Test {
 protected:
  host::Library lib{"zul-cv-switch2"};
};

TEST_F(Switch2, ChoosesBySelectorReading) {
  const std::vector<float> a = host::tricky_values();
  const std::vector<float> b = shifted(a);
  const auto n = static_cast<uint32_t>(a.size());
  for (const Choice& c : choices) {
    SCOPED_TRACE(testing::Message() << "selector " << std::hexfloat << c.selector);
    host::Instance inst(lib);
    std::vector<float> out = host::untouched(n);
    float sel = c.selector;
    inst.connect(input_a, const_cast<float*>(a.data()));
    inst.connect(input_b, const_cast<float*>(b.data()));
    inst.connect(output, out.data());
    inst.connect(selector, sel);
    inst.run(n);
    switch (c.source) {
      case Source::a:
        EXPECT_EQ(host::bits(out), host::bits(a));
        break;
      case Source::b:
        EXPECT_EQ(host::bits(out), host::bits(b));
        break;
      case Source::none:
        EXPECT_EQ(host::bits(out), host::bits(host::untouched(n)));
    }
  }
}

// The input that is not chosen is not read at all: it sits on a forbidden
// page. A reading other than 0 and 1 touches neither input nor the output.
TEST_F(Switch2, UnchosenInputIsNeverRead) {
  host::Forbidden forbidden;
  const std::vector<float> in = host::tricky_values();
  const auto n = static_cast<uint32_t>(in.size());
  for (const Choice& c : choices) {
    SCOPED_TRACE(testing::Message() << "selector " << std::hexfloat << c.selector);
    host::Instance inst(lib);
    std::vector<float> out = host::untouched(n);
    float sel = c.selector;
    const bool chose_a = c.source == Source::a;
    const bool chose_b = c.source == Source::b;
    inst.connect(input_a, chose_a ? const_cast<float*>(in.data()) : forbidden.data());
    inst.connect(input_b, chose_b ? const_cast<float*>(in.data()) : forbidden.data());
    inst.connect(output, c.source == Source::none ? forbidden.data() : out.data());
    inst.connect(selector, sel);
    inst.run(n);
    if (c.source != Source::none) {
      EXPECT_EQ(host::bits(out), host::bits(in));
    }
  }
}

TEST_F(Switch2, EmptyBlockReadsNoInputAndWritesNothing) {
  host::Forbidden forbidden;
  for (const Choice& c : choices) {
    host::Instance inst(lib);
    float sel = c.selector;
    inst.connect(input_a, forbidden.data());
    inst.connect(input_b, forbidden.data());
    inst.connect(output, forbidden.data());
    inst.connect(selector, sel);
    inst.run(0);
  }
  // And an ordinary output buffer keeps what it held.
  host::Instance inst(lib);
  std::vector<float> a = {1.0f}, b = {2.0f}, out = host::untouched(1);
  float sel = 0.0f;
  inst.connect(input_a, a.data());
  inst.connect(input_b, b.data());
  inst.connect(output, out.data());
  inst.connect(selector, sel);
  inst.run(0);
  EXPECT_EQ(host::bits(out[0]), host::untouched_bits);
}

// A change of selector takes full effect at the next block; a block that
// chooses nothing leaves the previous block's samples in place, also across
// deactivate and activate.
TEST_F(Switch2, EachBlockFollowsItsOwnSelector) {
  host::Instance inst(lib);
  std::vector<float> a = {1.0f, -2.0f, 3.0f}, b = {-0.0f, 5.0f, -6.0f}, out(3);
  float sel = 0.0f;
  inst.connect(input_a, a.data());
  inst.connect(input_b, b.data());
  inst.connect(output, out.data());
  inst.connect(selector, sel);
  inst.run(3);
  EXPECT_EQ(host::bits(out), host::bits(a));
  sel = 1.0f;
  inst.run(3);
  EXPECT_EQ(host::bits(out), host::bits(b));
  for (float off : {2.0f, -1.0f}) {
    sel = off;
    a = {7.0f, 8.0f, 9.0f};
    inst.run(3);
    EXPECT_EQ(host::bits(out), (std::vector<uint32_t>{0x80000000, 0x40a00000, 0xc0c00000}));
  }
  inst.deactivate();
  inst.activate();
  sel = 1.0f;
  b = {10.0f, 11.0f, 12.0f};
  inst.run(3);
  EXPECT_EQ(out, b);
  sel = 0.5f;
  inst.run(2);  // a shorter block writes only its own samples
  EXPECT_EQ(out, (std::vector<float>{7.0f, 8.0f, 12.0f}));
}

// Ports placed at offsets into one arena: the output on the source, on the
// unchosen input, on both, and shifted against them by a few samples.
TEST_F(Switch2, SharedBuffersGiveTheSampleBySampleResult) {
  struct Layout {
    size_t a, b, out;
  };
  const Layout layouts[] = {
      {0, 600, 0},    // output on input A
      {600, 0, 0},    // output on input B
      {0, 0, 0},      // all three on one buffer
      {0, 0, 600},    // both inputs on one buffer
      {0, 600, 1},    // output one sample ahead of input A
      {1, 600, 0},    // output one sample behind input A
      {600, 0, 3},    // output three samples ahead of input B
      {600, 5, 0},    // output five behind input B
      {0, 4, 2},      // output between two overlapping inputs
      {0, 300, 900},  // no overlap at all
  };
  std::mt19937 rng(2202);
  std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
  const std::vector<float> tricky = host::tricky_values();
  for (const Layout& l : layouts) {
    for (float sel : {0.0f, 1.0f, 2.0f}) {
      for (uint32_t n : {1u, 3u, 4u, 7u, 16u, 33u, 256u}) {
        SCOPED_TRACE(testing::Message() << "a " << l.a << " b " << l.b << " out " << l.out
                                        << " sel " << sel << " n " << n);
        std::vector<float> arena(1200);
        for (size_t i = 0; i < arena.size(); ++i) {
          arena[i] = i % 5 == 0 ? tricky[i / 5 % tricky.size()] : dist(rng);
        }
        std::vector<float> expected = arena;
        float model_sel = sel;
        reference::Model model = model_arena::instantiate("zul-cv-switch2");
        reference::connect_port(model, selector, &model_sel);
        model_arena::run(model, expected, {l.a, l.b, l.out}, n);
        host::Instance inst(lib);
        model_arena::connect(inst, arena, {l.a, l.b, l.out});
        inst.connect(selector, sel);
        inst.run(n);
        model_arena::accept_computed_nans(model, expected, arena);
        ASSERT_EQ(host::bits(arena), host::bits(expected));
      }
    }
  }
}

// The selector is read once, before any sample: an output that covers the
// selector's storage does not change the choice within the block, and the
// other input is still not read.
TEST_F(Switch2, SelectorIsReadOncePerBlock) {
  host::Forbidden forbidden;
  struct Case {
    float selector;
    uint32_t chosen_port;
  };
  for (const Case& c : {Case{0.0f, input_a}, Case{1.0f, input_b}}) {
    SCOPED_TRACE(c.selector);
    std::vector<float> arena = {9.0f, 9.0f, 9.0f, 9.0f};
    arena[2] = c.selector;  // the output overwrites it at sample 2
    // Each value would read as the other choice, or as none, if re-read.
    const std::vector<float> in = {1.0f, 2.0f, c.selector == 0.0f ? 1.0f : 0.0f, 5.0f};
    host::Instance inst(lib);
    inst.connect(selector, arena.data() + 2);
    inst.connect(input_a, forbidden.data());
    inst.connect(input_b, forbidden.data());
    inst.connect(c.chosen_port, const_cast<float*>(in.data()));
    inst.connect(output, arena.data());
    inst.run(4);
    EXPECT_EQ(arena, in);
  }
}

}  // namespace
