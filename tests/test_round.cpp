// zul-cv-round through the host's door: the four roundings bit for bit, signed
// zeros, denormals read as zero, NaN and huge inputs, the enable read at every
// sample, and shared buffers at every overlap. The plugin's own floor and
// ceiling are also held against the mathematics library over many values.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <thread>

#include "plugins/zul-cv-round/rounding.hpp"
#include "tests/fp_register.hpp"
#include "tests/host.hpp"
#include "tests/model_arena.hpp"

namespace {

enum : uint32_t {
  input = 0,
  output_round = 1,
  output_ceil = 2,
  output_floor = 3,
  output_fraction = 4,
  enable = 5,
};
constexpr uint32_t outputs[] = {output_round, output_ceil, output_floor, output_fraction};

float f(uint32_t bits) {
  return host::from_bits(bits);
}

// The plugins' floating-point mode reads a denormal operand as a zero of the
// same sign; the mathematics library is given that zero explicitly, since
// without SSE4.1 its floorf works on the bits and would see the denormal.
// Told from the bits: a C library may classify by comparisons, which the
// plugins' mode makes read a denormal as zero.
bool is_denormal(float x) {
  const uint32_t b = host::bits(x);
  return (b & 0x7f800000u) == 0 && (b & 0x007fffffu) != 0;
}
bool is_denormal(double x) {
  const auto b = std::bit_cast<uint64_t>(x);
  return (b & 0x7ff0000000000000u) == 0 && (b & 0x000fffffffffffffu) != 0;
}
float flushed(float x) {
  return is_denormal(x) ? std::copysign(0.0f, x) : x;
}
double flushed(double x) {
  return is_denormal(x) ? std::copysign(0.0, x) : x;
}
float quiet(float x) {
  return f(host::bits(x) | 0x00400000u);
}
double quiet(double x) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(x) | 0x0008000000000000u);
}

struct Parts {
  float round, ceil, floor, fraction;
};

// The four results as the steps define them, computed with <cmath>.
Parts expected_parts(float raw) {
  const float x = flushed(raw);
  if (std::isnan(x)) {
    return {quiet(x), quiet(x), quiet(x), quiet(x)};
  }
  Parts p;
  p.round = static_cast<float>(std::floor(static_cast<double>(x) + 0.5));
  p.ceil = std::ceil(x);
  p.floor = std::floor(x);
  // The truncation comes back from an integer, where zero has no sign: -0.5
  // and -0.0 keep their sign in the fraction.
  const float truncated = std::trunc(x) + 0.0f;
  p.fraction = std::fabs(x) >= 2147483648.0f ? 0.0f : x - truncated;
  return p;
}

// Whether the running thread reads denormal operands as zero.
bool denormals_read_as_zero() {
  volatile float tiny = f(0x00000001);
  return tiny + 0.0f == 0.0f;
}

class Round : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(denormals_read_as_zero()) << "library mode not in force"; }
  host::Library lib{"zul-cv-round"};
};

struct Buffers {
  std::vector<float> in, round, ceil, floor, fraction;
  float on = 1.0f;

  explicit Buffers(std::vector<float> values)
      : in(std::move(values)),
        round(host::untouched(in.size())),
        ceil(host::untouched(in.size())),
        floor(host::untouched(in.size())),
        fraction(host::untouched(in.size())) {}

  void connect(host::Instance& inst) {
    inst.connect(input, in.data());
    inst.connect(output_round, round.data());
    inst.connect(output_ceil, ceil.data());
    inst.connect(output_floor, floor.data());
    inst.connect(output_fraction, fraction.data());
    inst.connect(enable, on);
  }
  uint32_t size() const { return static_cast<uint32_t>(in.size()); }
};

void expect_parts(const Buffers& b, size_t i, const Parts& e) {
  SCOPED_TRACE(testing::Message() << "input " << std::hexfloat << b.in[i] << " bits 0x" << std::hex
                                  << host::bits(b.in[i]));
  EXPECT_EQ(host::bits(b.round[i]), host::bits(e.round)) << "round";
  EXPECT_EQ(host::bits(b.ceil[i]), host::bits(e.ceil)) << "ceil";
  EXPECT_EQ(host::bits(b.floor[i]), host::bits(e.floor)) << "floor";
  EXPECT_EQ(host::bits(b.fraction[i]), host::bits(e.fraction)) << "fraction";
}

struct Case {
  float in;
  Parts out;
};

// Written out by hand: halves, signed zeros, the sums a single-precision
// rounding gets wrong, denormals read as zero, the ends of the ranges.
const Case cases[] = {
    {2.5f, {3.0f, 3.0f, 2.0f, 0.5f}},
    {-2.5f, {-2.0f, -2.0f, -3.0f, -0.5f}},
    {-0.5f, {0.0f, -0.0f, -1.0f, -0.5f}},
    {0.5f, {1.0f, 1.0f, 0.0f, 0.5f}},
    {1.5f, {2.0f, 2.0f, 1.0f, 0.5f}},
    {-1.5f, {-1.0f, -1.0f, -2.0f, -0.5f}},
    {2.75f, {3.0f, 3.0f, 2.0f, 0.75f}},
    {-2.75f, {-3.0f, -2.0f, -3.0f, -0.75f}},
    {3.0f, {3.0f, 3.0f, 3.0f, 0.0f}},
    {-3.0f, {-3.0f, -3.0f, -3.0f, 0.0f}},
    {0.49999997f, {0.0f, 1.0f, 0.0f, 0.49999997f}},
    {-0.49999997f, {0.0f, -0.0f, -1.0f, -0.49999997f}},
    {f(0xbf000001), {-1.0f, -0.0f, -1.0f, f(0xbf000001)}},  // just below -0.5
    {0.99999994f, {1.0f, 1.0f, 0.0f, 0.99999994f}},
    {-0.99999994f, {-1.0f, -0.0f, -1.0f, -0.99999994f}},
    {1e-30f, {0.0f, 1.0f, 0.0f, 1e-30f}},
    {-1e-30f, {0.0f, -0.0f, -1.0f, -1e-30f}},
    {f(0x00800000), {0.0f, 1.0f, 0.0f, f(0x00800000)}},  // smallest normals
    {f(0x80800000), {0.0f, -0.0f, -1.0f, f(0x80800000)}},
    {0.0f, {0.0f, 0.0f, 0.0f, 0.0f}},
    {-0.0f, {0.0f, -0.0f, -0.0f, -0.0f}},
    {f(0x00000001), {0.0f, 0.0f, 0.0f, 0.0f}},  // denormals read as zero
    {f(0x007fffff), {0.0f, 0.0f, 0.0f, 0.0f}},
    {f(0x80000001), {0.0f, -0.0f, -0.0f, -0.0f}},
    {f(0x807fffff), {0.0f, -0.0f, -0.0f, -0.0f}},
    {8388607.5f, {8388608.0f, 8388608.0f, 8388607.0f, 0.5f}},
    {-8388607.5f, {-8388607.0f, -8388607.0f, -8388608.0f, -0.5f}},
    {8388608.0f, {8388608.0f, 8388608.0f, 8388608.0f, 0.0f}},
    {8388609.0f, {8388609.0f, 8388609.0f, 8388609.0f, 0.0f}},
    {-8388609.0f, {-8388609.0f, -8388609.0f, -8388609.0f, 0.0f}},
    {16777215.0f, {16777215.0f, 16777215.0f, 16777215.0f, 0.0f}},
    {4503599627370496.0f, {4503599627370496.0f, 4503599627370496.0f, 4503599627370496.0f, 0.0f}},
    {2147483520.0f, {2147483520.0f, 2147483520.0f, 2147483520.0f, 0.0f}},  // below 2^31
    {2147483648.0f, {2147483648.0f, 2147483648.0f, 2147483648.0f, 0.0f}},
    {-2147483648.0f, {-2147483648.0f, -2147483648.0f, -2147483648.0f, 0.0f}},
    {-2147483904.0f, {-2147483904.0f, -2147483904.0f, -2147483904.0f, 0.0f}},
    {f(0x7f7fffff), {f(0x7f7fffff), f(0x7f7fffff), f(0x7f7fffff), 0.0f}},
    {f(0xff7fffff), {f(0xff7fffff), f(0xff7fffff), f(0xff7fffff), 0.0f}},
    {f(0x7f800000), {f(0x7f800000), f(0x7f800000), f(0x7f800000), 0.0f}},
    {f(0xff800000), {f(0xff800000), f(0xff800000), f(0xff800000), 0.0f}},
    // NaN: quiet on every output, sign and payload kept.
    {f(0x7fc00000), {f(0x7fc00000), f(0x7fc00000), f(0x7fc00000), f(0x7fc00000)}},
    {f(0xffd54321), {f(0xffd54321), f(0xffd54321), f(0xffd54321), f(0xffd54321)}},
    {f(0x7f800001), {f(0x7fc00001), f(0x7fc00001), f(0x7fc00001), f(0x7fc00001)}},
    {f(0xffa00001), {f(0xffe00001), f(0xffe00001), f(0xffe00001), f(0xffe00001)}},
};

TEST_F(Round, HandWrittenCases) {
  std::vector<float> values;
  for (const Case& c : cases) values.push_back(c.in);
  Buffers b(values);
  host::Instance inst(lib);
  b.connect(inst);
  inst.run(b.size());
  for (size_t i = 0; i < std::size(cases); ++i) expect_parts(b, i, cases[i].out);
}

// The same cases one sample per block, so that nothing depends on the
// neighbouring samples or on how a block is split.
TEST_F(Round, HandWrittenCasesOneByOne) {
  host::Instance inst(lib);
  for (const Case& c : cases) {
    Buffers b({c.in});
    b.connect(inst);
    inst.run(1);
    expect_parts(b, 0, c.out);
  }
}

// Every pattern class and many random ones against the <cmath> reference.
std::vector<float> many_inputs() {
  std::vector<float> values = host::tricky_values();
  for (const Case& c : cases) values.push_back(c.in);
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<uint32_t> any_bits;
  std::uniform_real_distribution<float> moderate(-40.0f, 40.0f);
  std::uniform_int_distribution<int> whole(-300, 300);
  for (int i = 0; i < 20000; ++i) {
    values.push_back(f(any_bits(rng)));
    values.push_back(moderate(rng));
    // Whole numbers and halves, and their neighbours one step either way.
    const float w = static_cast<float>(whole(rng)) * 0.5f;
    values.push_back(w);
    values.push_back(std::nextafter(w, 1e9f));
    values.push_back(std::nextafter(w, -1e9f));
  }
  for (float edge : {8388608.0f, 16777216.0f, 2147483648.0f, 1.0f, 0.5f}) {
    float up = edge, down = edge;
    for (int k = 0; k < 40; ++k) {
      values.insert(values.end(), {up, -up, down, -down});
      up = std::nextafter(up, 1e30f);
      down = std::nextafter(down, 0.0f);
    }
  }
  return values;
}

TEST_F(Round, LargeBlockMatchesTheReference) {
  Buffers b(many_inputs());
  host::Instance inst(lib);
  b.connect(inst);
  inst.run(b.size());
  for (uint32_t i = 0; i < b.size(); ++i) {
    expect_parts(b, i, expected_parts(b.in[i]));
    if (HasFailure()) return;
  }
}

TEST_F(Round, EnableReadsOnOnlyForOne) {
  const struct {
    float value;
    bool on;
  } enables[] = {
      {1.0f, true},           {1.7f, true},           {1.9999999f, true},
      {0.0f, false},          {-0.0f, false},         {0.5f, false},
      {0.99999994f, false},   {2.0f, false},          {-1.0f, false},
      {-0.5f, false},         {3.0e9f, false},        {f(0x7fc00000), false},
      {f(0x7f800000), false}, {f(0xff800000), false}, {f(0x00000001), false},
  };
  const std::vector<float> in = {2.5f, -0.5f, f(0x7fc00000), 7.25f};
  for (const auto& e : enables) {
    SCOPED_TRACE(testing::Message() << "enable " << e.value);
    host::Instance inst(lib);
    Buffers b(in);
    b.on = e.value;
    b.connect(inst);
    if (!e.on) inst.connect(input, nullptr);  // off: the input must not be read at all
    inst.run(b.size());
    for (uint32_t i = 0; i < b.size(); ++i) {
      expect_parts(b, i, e.on ? expected_parts(in[i]) : Parts{0.0f, 0.0f, 0.0f, 0.0f});
    }
  }
}

// Off writes positive zero whatever the input would have given (negative
// zero, NaN), and a later block that is on computes again.
TEST_F(Round, OffSilencesAndOnResumes) {
  host::Instance inst(lib);
  Buffers b({-0.5f, f(0xffd54321), -0.0f});
  b.connect(inst);
  b.on = 0.0f;
  inst.run(b.size());
  for (uint32_t i = 0; i < b.size(); ++i) expect_parts(b, i, {0.0f, 0.0f, 0.0f, 0.0f});
  b.on = 1.0f;
  inst.deactivate();
  inst.activate();
  inst.run(b.size());
  for (uint32_t i = 0; i < b.size(); ++i) expect_parts(b, i, expected_parts(b.in[i]));
}

TEST_F(Round, EmptyBlockReadsAndWritesNothing) {
  host::Instance inst(lib);
  Buffers b({1.5f});
  b.connect(inst);
  inst.connect(input, nullptr);
  inst.connect(enable, nullptr);
  inst.run(0);
  for (const auto* out : {&b.round, &b.ceil, &b.floor, &b.fraction}) {
    EXPECT_EQ(host::bits((*out)[0]), host::untouched_bits);
  }
}

// An output that covers the enable's storage switches the plugin within the
// block: the enable is read before each sample's outputs are written.
TEST_F(Round, EnableIsReadAtEverySample) {
  host::Instance inst(lib);
  Buffers b({1.25f, 1.5f, 2.0f, 3.0f});
  b.round[1] = 1.0f;
  b.connect(inst);
  inst.connect(enable, &b.round[1]);
  inst.run(b.size());
  // Sample 1 still reads 1.0, then writes its rounding, 2, over the enable.
  EXPECT_EQ(host::bits(b.round), host::bits({1.0f, 2.0f, 0.0f, 0.0f}));
  EXPECT_EQ(host::bits(b.ceil), host::bits({2.0f, 2.0f, 0.0f, 0.0f}));
  EXPECT_EQ(host::bits(b.floor), host::bits({1.0f, 1.0f, 0.0f, 0.0f}));
  EXPECT_EQ(host::bits(b.fraction), host::bits({0.25f, 0.5f, 0.0f, 0.0f}));
}

// The input's buffer given to each output in turn: the other outputs get what
// separate buffers get, and the shared buffer ends holding that output.
TEST_F(Round, InputSharedWithEachOutput) {
  const std::vector<float> in = many_inputs();
  Buffers separate(in);
  {
    host::Instance inst(lib);
    separate.connect(inst);
    inst.run(separate.size());
  }
  const std::vector<float>* results[] = {&separate.round, &separate.ceil, &separate.floor,
                                         &separate.fraction};
  for (size_t k = 0; k < 4; ++k) {
    SCOPED_TRACE(testing::Message() << "shared with port " << outputs[k]);
    Buffers b(in);
    std::vector<float>* own[] = {&b.round, &b.ceil, &b.floor, &b.fraction};
    host::Instance inst(lib);
    b.connect(inst);
    inst.connect(outputs[k], b.in.data());
    inst.run(b.size());
    *own[k] = b.in;
    for (size_t j = 0; j < 4; ++j) ASSERT_EQ(host::bits(*own[j]), host::bits(*results[j])) << j;
  }
}

struct Layout {
  size_t in, round, ceil, floor, fraction, enable;
};

TEST_F(Round, SharedBuffersGiveTheSampleBySampleResult) {
  constexpr size_t e = 2000;  // the enable's own place, out of every stream's way
  const Layout layouts[] = {
      {0, 0, 400, 800, 1200, e},        // input shares with each output in turn
      {0, 400, 0, 800, 1200, e},        //
      {0, 400, 800, 0, 1200, e},        //
      {0, 400, 800, 1200, 0, e},        //
      {0, 0, 0, 0, 0, e},               // everything on one buffer
      {400, 0, 0, 0, 0, e},             // all outputs on one buffer
      {0, 400, 400, 800, 1200, e},      // two outputs share: the later one stays
      {0, 400, 800, 800, 1200, e},      //
      {0, 400, 800, 1200, 1200, e},     //
      {0, 400, 800, 400, 1200, e},      //
      {0, 1, 400, 800, 1200, e},        // round one sample ahead of the input
      {1, 0, 400, 800, 1200, e},        // one behind
      {0, 400, 3, 800, 1200, e},        // ceil three ahead
      {5, 400, 800, 0, 1200, e},        // floor five behind
      {0, 400, 800, 1200, 2, e},        // fraction two ahead
      {0, 400, 401, 402, 403, e},       // outputs staggered by one sample
      {0, 403, 402, 401, 400, e},       // and the other way
      {0, 400, 800, 1200, 1600, 410},   // round covers the enable at sample 10
      {0, 400, 800, 1200, 1600, 5},     // the enable is a sample of the input
      {0, 2, 800, 1200, 1600, 4},       // round, ahead of the input, covers it
      {0, 400, 800, 1200, 1600, 1620},  // fraction covers it at sample 20
  };
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> dist(-3.0f, 3.0f);
  std::uniform_int_distribution<uint32_t> any_bits;
  for (const Layout& l : layouts) {
    for (uint32_t n : {1u, 3u, 4u, 7u, 16u, 33u, 256u}) {
      SCOPED_TRACE(testing::Message() << "in " << l.in << " round " << l.round << " ceil " << l.ceil
                                      << " floor " << l.floor << " fraction " << l.fraction
                                      << " enable " << l.enable << " n " << n);
      std::vector<float> arena(2001);
      for (float& v : arena) v = (any_bits(rng) % 8 == 0) ? f(any_bits(rng)) : dist(rng);
      arena[l.enable] = 1.5f;
      std::vector<float> expected = arena;
      reference::Model model = model_arena::instantiate("zul-cv-round");
      model_arena::run(model, expected, {l.in, l.round, l.ceil, l.floor, l.fraction, l.enable}, n);
      host::Instance inst(lib);
      model_arena::connect(inst, arena, {l.in, l.round, l.ceil, l.floor, l.fraction, l.enable});
      inst.run(n);
      model_arena::accept_computed_nans(model, expected, arena);
      ASSERT_EQ(host::bits(arena), host::bits(expected));
    }
  }
}

// The plugin's own floor and ceiling against <cmath>, over random bit
// patterns of every class and the edges of the ranges where they change
// method. Under the library's mode a denormal is a signed zero to both.
std::vector<float> helper_floats() {
  std::vector<float> values = many_inputs();
  std::mt19937 rng(7);
  std::uniform_int_distribution<uint32_t> any_bits;
  for (int i = 0; i < 1 << 20; ++i) values.push_back(f(any_bits(rng)));
  return values;
}

std::vector<double> helper_doubles() {
  std::vector<double> values;
  for (float x : many_inputs()) values.push_back(static_cast<double>(x) + 0.5);
  std::mt19937_64 rng(8);
  std::uniform_int_distribution<uint64_t> any_bits;
  std::uniform_real_distribution<double> moderate(-100.0, 100.0);
  for (int i = 0; i < 1 << 18; ++i) {
    values.push_back(std::bit_cast<double>(any_bits(rng)));
    values.push_back(moderate(rng));
  }
  for (uint64_t b : {0x0ull, 0x1ull, 0x000fffffffffffffull, 0x7ff0000000000000ull,
                     0x7ff0000000000001ull, 0x7ff8000000000000ull, 0x3fe0000000000000ull}) {
    values.push_back(std::bit_cast<double>(b));
    values.push_back(-std::bit_cast<double>(b));
  }
  for (double edge : {4503599627370496.0, 9007199254740992.0, 1.0, 0.5}) {
    double up = edge, down = edge;
    for (int k = 0; k < 40; ++k) {
      values.insert(values.end(), {up, -up, down, -down});
      up = std::nextafter(up, 1e300);
      down = std::nextafter(down, 0.0);
    }
  }
  return values;
}

// Bit for bit as std::floor and std::ceil of the value the mode reads: a
// denormal as a signed zero when flush is true, the input itself otherwise.
void expect_helpers_match_cmath(bool flush) {
  for (float x : helper_floats()) {
    const float v = flush ? flushed(x) : x;
    const float floor = std::isnan(v) ? quiet(v) : std::floor(v);
    const float ceil = std::isnan(v) ? quiet(v) : std::ceil(v);
    ASSERT_EQ(host::bits(rounding::floor(x)), host::bits(floor)) << std::hexfloat << x;
    ASSERT_EQ(host::bits(rounding::ceiling(x)), host::bits(ceil)) << std::hexfloat << x;
  }
  for (double x : helper_doubles()) {
    const double v = flush ? flushed(x) : x;
    const double floor = std::isnan(v) ? quiet(v) : std::floor(v);
    ASSERT_EQ(std::bit_cast<uint64_t>(rounding::floor(x)), std::bit_cast<uint64_t>(floor))
        << std::hexfloat << x;
  }
}

// The double truncation floor builds on, held alone against std::trunc below
// 2^52, where floor uses it: random magnitudes of every exponent and the
// edges. A zero result is +0, as the integer conversion gave.
void expect_truncation_matches_cmath(bool flush) {
  std::vector<double> values = helper_doubles();
  std::mt19937_64 rng(9);
  std::uniform_int_distribution<uint64_t> any_bits;
  for (int i = 0; i < 1 << 20; ++i) {
    const uint64_t exponent = any_bits(rng) % (1023 + 52);
    values.push_back(std::bit_cast<double>((any_bits(rng) & 0x800fffffffffffffu) | exponent << 52));
  }
  for (double x : values) {
    if (!(std::fabs(x) < 4503599627370496.0)) continue;
    const double expected = std::trunc(flush ? flushed(x) : x) + 0.0;
    ASSERT_EQ(std::bit_cast<uint64_t>(rounding::truncated(x)), std::bit_cast<uint64_t>(expected))
        << std::hexfloat << x;
  }
}

TEST_F(Round, RoundingHelpersMatchCmathUnderTheLibraryMode) {
  expect_helpers_match_cmath(true);
  expect_truncation_matches_cmath(true);
}

// Nothing in the helpers relies on flushing: in the default mode, on a thread
// of its own, they agree with <cmath> on denormals too.

TEST(RoundingHelpers, MatchCmathWithoutFlushing) {
  std::thread worker([] {
    fp_register::write(fp_register::default_mode);
    ASSERT_FALSE(denormals_read_as_zero());
    expect_helpers_match_cmath(false);
    expect_truncation_matches_cmath(false);
  });
  worker.join();
}

}  // namespace
