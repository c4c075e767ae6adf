// zul-cv-gate through the host's door: the hysteresis band and its edges,
// NaN levels and thresholds, the enable and the flag resting while off, exact
// bits, state across blocks and activations, shared buffers at every overlap,
// and blocks of any length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/host.hpp"
#include "tests/model_arena.hpp"

namespace {

enum : uint32_t {
  level = 0,
  input = 1,
  output = 2,
  open_threshold = 3,
  close_threshold = 4,
  enable = 5
};

const float nan = host::from_bits(0x7fc00000);
const float negative_nan = host::from_bits(0xffc12345);
const float inf = host::from_bits(0x7f800000);

enum class Block { passed, silenced, other };

// One instance whose ports each have their own buffer; the input carries
// values whose bits a copy must keep.
struct Rig {
  explicit Rig(const host::Library& lib) : inst(lib) {
    inst.connect(level, level_value);
    inst.connect(input, in.data());
    inst.connect(output, out.data());
    inst.connect(open_threshold, open_value);
    inst.connect(close_threshold, close_value);
    inst.connect(enable, enable_value);
  }

  // Runs one block with these controls and tells what the output became.
  Block run(float x, float open_at = 3.0f, float close_at = 1.0f, float on = 1.0f) {
    level_value = x;
    open_value = open_at;
    close_value = close_at;
    enable_value = on;
    out = host::untouched(in.size());
    inst.connect(output, out.data());
    inst.run(static_cast<uint32_t>(in.size()));
    if (host::bits(out) == host::bits(in)) return Block::passed;
    if (host::bits(out) == std::vector<uint32_t>(in.size(), 0u)) return Block::silenced;
    return Block::other;
  }

  host::Instance inst;
  float level_value = 0.0f, open_value = 3.0f, close_value = 1.0f, enable_value = 1.0f;
  std::vector<float> in = host::tricky_values();
  std::vector<float> out = host::untouched(in.size());
};

class Gate : public testing::Test {
 protected:
  host::Library lib{"zul-cv-gate"};
};

struct Step {
  float level, open_at, close_at;
  Block expected;
};

struct Sequence {
  const char* what;
  std::vector<Step> steps;  // one block each, in one fresh instance
};

constexpr Block pass = Block::passed;
constexpr Block zero = Block::silenced;

const Sequence sequences[] = {
    {"a level above the band opens, inside it holds open",
     {{4.0f, 3.0f, 1.0f, pass}, {2.0f, 3.0f, 1.0f, pass}, {2.0f, 3.0f, 1.0f, pass}}},
    {"a level below the band closes, inside it holds closed",
     {{0.5f, 3.0f, 1.0f, zero}, {2.0f, 3.0f, 1.0f, zero}}},
    {"a fresh instance starts closed",
     {{2.0f, 3.0f, 1.0f, zero}, {1.0000001f, 3.0f, 1.0f, zero}, {2.9999998f, 3.0f, 1.0f, zero}}},
    {"the thresholds themselves open and close",
     {{3.0f, 3.0f, 1.0f, pass},
      {1.0000001f, 3.0f, 1.0f, pass},
      {1.0f, 3.0f, 1.0f, zero},
      {2.9999998f, 3.0f, 1.0f, zero},
      {3.0f, 3.0f, 1.0f, pass}}},
    {"equal thresholds leave no band",
     {{2.0f, 2.0f, 2.0f, zero},
      {2.0001f, 2.0f, 2.0f, pass},
      {2.0f, 2.0f, 2.0f, zero},
      {2.0000002f, 2.0f, 2.0f, pass},
      {1.9999999f, 2.0f, 2.0f, zero}}},
    {"a NaN level closes, whatever its sign and payload",
     {{4.0f, 3.0f, 1.0f, pass},
      {nan, 3.0f, 1.0f, zero},
      {2.0f, 3.0f, 1.0f, zero},
      {4.0f, 3.0f, 1.0f, pass},
      {negative_nan, 3.0f, 1.0f, zero},
      {2.0f, 3.0f, 1.0f, zero}}},
    {"close above open: open exactly while the level lies above close",
     {{2.0f, 1.0f, 3.0f, zero},
      {3.5f, 1.0f, 3.0f, pass},
      {2.0f, 1.0f, 3.0f, zero},
      {3.0f, 1.0f, 3.0f, zero},
      {3.0000002f, 1.0f, 3.0f, pass},
      {0.5f, 1.0f, 3.0f, zero}}},
    {"a NaN open threshold: above close opens, at or below closes",
     {{2.0f, nan, 1.0f, pass},
      {1.0f, nan, 1.0f, zero},
      {1.5f, nan, 1.0f, pass},
      {0.5f, nan, 1.0f, zero}}},
    {"a NaN close threshold never opens: inside holds, above closes",
     {{4.0f, 3.0f, nan, zero},
      {4.0f, 3.0f, 1.0f, pass},
      {2.0f, 3.0f, nan, pass},
      {-5.0f, 3.0f, nan, pass},
      {4.0f, 3.0f, nan, zero},
      {2.0f, 3.0f, nan, zero}}},
    {"infinite levels and thresholds",
     {{inf, 3.0f, 1.0f, pass},
      {-inf, 3.0f, 1.0f, zero},
      {inf, inf, 1.0f, pass},
      {-inf, -inf, -inf, zero},
      {inf, inf, inf, zero}}},
    // Under the libraries' floating-point mode a denormal compares as zero.
    {"a denormal level compares as zero",
     {{host::from_bits(0x00000001), 0.0f, 0.0f, zero},
      {host::from_bits(0x80000001), 0.0f, -1.0f, pass},
      {host::from_bits(0x00000001), 0.0f, 0.0f, zero},
      {host::from_bits(0x00800000), 0.0f, 0.0f, pass}}},
};

TEST_F(Gate, HysteresisSequences) {
  for (const Sequence& s : sequences) {
    Rig rig(lib);
    int call = 0;
    for (const Step& step : s.steps) {
      SCOPED_TRACE(testing::Message() << s.what << ", call " << call++ << ", level " << step.level);
      EXPECT_EQ(rig.run(step.level, step.open_at, step.close_at), step.expected);
    }
  }
}

// Silence is positive zero, whatever sign the input sample has.
TEST_F(Gate, ClosedGateWritesPositiveZero) {
  Rig rig(lib);
  rig.in = {-0.0f, -1.0f, -inf, negative_nan, host::from_bits(0x80000001), -7.5f};
  rig.inst.connect(input, rig.in.data());
  EXPECT_EQ(rig.run(2.0f), Block::silenced);  // fresh, inside the band
  EXPECT_EQ(rig.run(4.0f), Block::passed);
  EXPECT_EQ(rig.run(0.5f), Block::silenced);
}

// Off, the input is copied bit for bit and the flag keeps what it was, even
// with a level that would have opened or closed the gate.
TEST_F(Gate, EnableOffCopiesAndTheFlagRests) {
  for (float off :
       {0.0f, -0.0f, 0.5f, 0.99f, -0.5f, 2.0f, -1.0f, 3.0e9f, nan, negative_nan, inf, -inf}) {
    SCOPED_TRACE(testing::Message() << "enable " << off);
    Rig opened(lib);
    EXPECT_EQ(opened.run(4.0f), Block::passed);
    EXPECT_EQ(opened.run(nan, 3.0f, 1.0f, off), Block::passed);
    EXPECT_EQ(opened.run(0.5f, 3.0f, 1.0f, off), Block::passed);
    EXPECT_EQ(opened.run(2.0f), Block::passed);

    Rig closed(lib);
    EXPECT_EQ(closed.run(4.0f, 3.0f, 1.0f, off), Block::passed);
    EXPECT_EQ(closed.run(2.0f), Block::silenced);
  }
}

TEST_F(Gate, EnableReadingOneGates) {
  for (float on : {1.0f, 1.7f, 1.9999999f}) {
    SCOPED_TRACE(testing::Message() << "enable " << on);
    Rig rig(lib);
    EXPECT_EQ(rig.run(2.0f, 3.0f, 1.0f, on), Block::silenced);
    EXPECT_EQ(rig.run(4.0f, 3.0f, 1.0f, on), Block::passed);
    EXPECT_EQ(rig.run(2.0f, 3.0f, 1.0f, on), Block::passed);
    EXPECT_EQ(rig.run(1.0f, 3.0f, 1.0f, on), Block::silenced);
  }
}

// An empty block reads and writes nothing: the output stays untouched and a
// level that would flip the gate has no effect.
TEST_F(Gate, EmptyBlockChangesNothing) {
  for (const bool start_open : {false, true}) {
    SCOPED_TRACE(testing::Message() << "open " << start_open);
    Rig rig(lib);
    EXPECT_EQ(rig.run(start_open ? 4.0f : 0.0f), start_open ? Block::passed : Block::silenced);
    rig.level_value = start_open ? nan : 4.0f;
    std::vector<float> out = host::untouched(4);
    rig.inst.connect(output, out.data());
    rig.inst.run(0);
    EXPECT_EQ(host::bits(out), host::bits(host::untouched(4)));
    EXPECT_EQ(rig.run(2.0f), start_open ? Block::passed : Block::silenced);
  }
}

TEST_F(Gate, FlagCarriesAcrossDeactivateAndActivate) {
  Rig rig(lib);
  EXPECT_EQ(rig.run(4.0f), Block::passed);
  rig.inst.deactivate();
  rig.inst.activate();
  EXPECT_EQ(rig.run(2.0f), Block::passed);
  EXPECT_EQ(rig.run(0.0f), Block::silenced);
  rig.inst.deactivate();
  rig.inst.activate();
  EXPECT_EQ(rig.run(2.0f), Block::silenced);
}

// Ports at offsets into one arena.
struct Layout {
  size_t level, in, out, open_at, close_at, on;
};

// Sets the flag of a rig's instance (through its own buffers) and reports it
// afterwards through a block with the level inside the band.
bool flag_of(Rig& rig) {
  rig.inst.connect(level, rig.level_value);
  rig.inst.connect(input, rig.in.data());
  rig.inst.connect(open_threshold, rig.open_value);
  rig.inst.connect(close_threshold, rig.close_value);
  rig.inst.connect(enable, rig.enable_value);
  return rig.run(2.0f) == Block::passed;
}

// Ports placed at offsets into one arena: in place, the output covering a
// control's storage before or after the first sample, neighbouring overlaps.
TEST_F(Gate, SharedBuffersGiveTheSampleBySampleResult) {
  const Layout layouts[] = {
      {300, 0, 100, 301, 302, 303},    // nothing shared
      {300, 100, 100, 301, 302, 303},  // input and output in place
      {100, 0, 100, 301, 302, 303},    // the output covers the level from sample 0
      {103, 0, 100, 301, 302, 303},    // ... from sample 3
      {300, 0, 100, 101, 302, 303},    // the output covers the open threshold
      {300, 0, 100, 301, 100, 303},    // ... the close threshold
      {300, 0, 100, 301, 302, 102},    // ... the enable
      {102, 100, 100, 104, 101, 103},  // in place, covering every control
      {300, 100, 101, 301, 302, 303},  // the output one sample ahead of the input
      {300, 101, 100, 301, 302, 303},  // one sample behind
      {104, 101, 100, 102, 106, 100},  // behind and covering everything
  };
  const float palette[] = {-1.0f, -0.0f, 0.0f, 0.5f, 1.0f, 1.0f, 1.5f,  2.0f,
                           2.5f,  3.0f,  3.0f, 4.0f, 1.0f, nan,  -7.0f, 1.25f};
  std::mt19937 rng(4321);
  std::uniform_int_distribution<size_t> pick(0, std::size(palette) - 1);
  for (const Layout& l : layouts) {
    for (int trial = 0; trial < 40; ++trial) {
      for (const bool start_open : {false, true}) {
        const uint32_t n = 1 + static_cast<uint32_t>(trial % 12);
        SCOPED_TRACE(testing::Message() << "level " << l.level << " in " << l.in << " out " << l.out
                                        << " trial " << trial << " open " << start_open);
        std::vector<float> arena(400);
        for (float& v : arena) v = palette[pick(rng)];
        std::vector<float> expected = arena;
        reference::Model model = model_arena::instantiate("zul-cv-gate");
        model.gate_open = start_open;  // as the rig's first block leaves it
        model_arena::run(model, expected, {l.level, l.in, l.out, l.open_at, l.close_at, l.on}, n);

        Rig rig(lib);
        rig.run(start_open ? 4.0f : 0.0f);
        model_arena::connect(rig.inst, arena, {l.level, l.in, l.out, l.open_at, l.close_at, l.on});
        rig.inst.run(n);
        model_arena::accept_computed_nans(model, expected, arena);
        ASSERT_EQ(host::bits(arena), host::bits(expected));
        ASSERT_EQ(flag_of(rig), model.gate_open);
      }
    }
  }
}

// Worked by hand: the level lives in output[1]. Samples 0 and 1 see 4.0 and
// open; output[1] then holds the input 0.5, which closes the gate at sample 2.
TEST_F(Gate, OutputCoveringTheLevelTakesEffectAtTheNextSample) {
  std::vector<float> buffer = {9.0f, 4.0f, 9.0f, 9.0f};
  std::vector<float> in = {0.5f, 0.5f, 0.5f, 0.5f};
  Rig rig(lib);
  rig.inst.connect(level, buffer.data() + 1);
  rig.inst.connect(input, in.data());
  rig.inst.connect(output, buffer.data());
  rig.inst.run(4);
  EXPECT_EQ(host::bits(buffer), host::bits(std::vector<float>{0.5f, 0.5f, 0.0f, 0.0f}));
  EXPECT_FALSE(flag_of(rig));
}

// The same input stream cut into blocks of random lengths, empty ones
// included, gives the same output as one long block, controls held constant.
TEST_F(Gate, BlockLengthsDoNotMatter) {
  struct Controls {
    float level, open_at, close_at, on;
    bool start_open;
  };
  const Controls cases[] = {
      {2.0f, 3.0f, 1.0f, 1.0f, true},  {2.0f, 3.0f, 1.0f, 1.0f, false},
      {4.0f, 3.0f, 1.0f, 1.0f, false}, {0.5f, 3.0f, 1.0f, 1.0f, true},
      {nan, 3.0f, 1.0f, 1.0f, true},   {2.0f, 3.0f, 1.0f, 0.0f, false},
      {0.5f, 3.0f, 1.0f, 2.0f, true},  {2.0f, 2.0f, 2.0f, 1.0f, true},
  };
  constexpr size_t length = 500, block = 64;
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
  std::uniform_int_distribution<uint32_t> cut(0, block);
  const std::vector<float> tricky = host::tricky_values();
  for (const Controls& c : cases) {
    for (int trial = 0; trial < 4; ++trial) {
      SCOPED_TRACE(testing::Message() << "level " << c.level << " enable " << c.on << " open "
                                      << c.start_open << " trial " << trial);
      std::vector<float> stream(length);
      for (size_t i = 0; i < length; ++i) {
        stream[i] = i % 5 == 0 ? tricky[i / 5 % tricky.size()] : dist(rng);
      }

      Rig whole(lib);
      whole.run(c.start_open ? 4.0f : 0.0f);
      std::vector<float> whole_out = host::untouched(length);
      whole.level_value = c.level;
      whole.open_value = c.open_at;
      whole.close_value = c.close_at;
      whole.enable_value = c.on;
      whole.inst.connect(input, stream.data());
      whole.inst.connect(output, whole_out.data());
      whole.inst.run(length);

      Rig pieces(lib);
      pieces.run(c.start_open ? 4.0f : 0.0f);
      pieces.level_value = c.level;
      pieces.open_value = c.open_at;
      pieces.close_value = c.close_at;
      pieces.enable_value = c.on;
      std::vector<float> in(block), out(block), pieces_out;
      pieces.inst.connect(input, in.data());
      pieces.inst.connect(output, out.data());
      for (size_t at = 0; at < length;) {
        const size_t n = std::min<size_t>(cut(rng), length - at);
        std::copy(stream.data() + at, stream.data() + at + n, in.data());
        std::fill(out.begin(), out.end(), host::from_bits(host::untouched_bits));
        pieces.inst.run(static_cast<uint32_t>(n));
        pieces_out.insert(pieces_out.end(), out.data(), out.data() + n);
        ASSERT_EQ(host::bits(out.data() + n, block - n), host::bits(host::untouched(block - n)))
            << "written beyond the block";
        at += n;
      }
      EXPECT_EQ(host::bits(pieces_out), host::bits(whole_out));
      EXPECT_EQ(flag_of(pieces), flag_of(whole));
    }
  }
}

}  // namespace
