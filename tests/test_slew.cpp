// zul-cv-slew through the host's door: the glide's exact bits, the times of 0,
// the values that would make the state infinite or NaN, the exact-1.0 enable,
// the sample rates that are refused, state across calls, and shared buffers.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tests/host.hpp"
#include "tests/model_arena.hpp"

namespace {

enum : uint32_t { input = 0, output = 1, rise_time = 2, fall_time = 3, enable = 4 };

// The instance record as a host-independent layout: five port slots, then the
// sample rate and the glided value.
struct Record {
  const void* slots[5];
  float sample_rate;
  float current_value;
  float dropped_step;
};

Record record_of(const host::Instance& inst) {
  Record r;
  std::memcpy(&r, inst.handle(), sizeof r);
  return r;
}

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();

// At this rate a time of 1 ms makes time × rate exactly twice the constant, so
// every step covers exactly half of a power-of-two distance: 0.5, 0.75, 0.875.
constexpr double halving_rate = 2.0 * 999.99993896484375;

class Slew : public testing::Test {
 protected:
  host::Library lib{"zul-cv-slew"};
};

// One instance with its own controls; each call runs one block.
struct Rig {
  explicit Rig(const host::Library& lib, double rate = 48000.0) : inst(lib, rate) {
    inst.connect(rise_time, rise);
    inst.connect(fall_time, fall);
    inst.connect(enable, on);
  }
  std::vector<float> run(std::vector<float> in) {
    std::vector<float> out = host::untouched(in.size());
    inst.connect(input, in.data());
    inst.connect(output, out.data());
    inst.run(static_cast<uint32_t>(in.size()));
    return out;
  }
  float state() const { return record_of(inst).current_value; }

  host::Instance inst;
  float rise = 10.0f, fall = 10.0f, on = 1.0f;
};

// The stream through one rig, cut into blocks of random lengths from 0 to
// longest, each connected where it stands in the stream.
std::vector<float> run_cut(Rig& rig, std::vector<float>& in, std::mt19937& rng, uint32_t longest) {
  std::uniform_int_distribution<uint32_t> length(0, longest);
  std::vector<float> got = host::untouched(in.size());
  for (size_t at = 0; at < in.size();) {
    const auto len = static_cast<uint32_t>(std::min<size_t>(length(rng), in.size() - at));
    rig.inst.connect(input, in.data() + at);
    rig.inst.connect(output, got.data() + at);
    rig.inst.run(len);
    at += len;
  }
  return got;
}

TEST_F(Slew, InstantiateKeepsTheRateRoundedToNearestAndStartsAtZero) {
  const struct {
    double rate;
    float kept;
  } cases[] = {
      {48000.0, 48000.0f},
      {44100.0, 44100.0f},
      {48000.003, 48000.00390625f},  // nearest; truncation would keep 48000
      {0.1, 0.1f},                   // 0x3DCCCCCD; truncation gives 0x3DCCCCCC
      {1.0, 1.0f},
      {static_cast<double>(FLT_MAX), FLT_MAX},
      {static_cast<double>(FLT_MIN), FLT_MIN},
  };
  for (const auto& c : cases) {
    host::Instance inst(lib, c.rate);
    const Record r = record_of(inst);
    EXPECT_EQ(host::bits(r.sample_rate), host::bits(c.kept)) << c.rate;
    EXPECT_EQ(host::bits(r.current_value), 0u) << c.rate;
  }
}

// Rates that are not a positive finite float would make every step infinite,
// NaN or nothing: no instance, and nothing taken from the allocator.
TEST_F(Slew, RefusesRatesThatAreNotPositiveFiniteFloats) {
  const double dinf = std::numeric_limits<double>::infinity();
  const double rates[] = {
      std::numeric_limits<double>::quiet_NaN(),
      -std::numeric_limits<double>::quiet_NaN(),
      dinf,
      -dinf,
      0.0,
      -0.0,
      -48000.0,
      -static_cast<double>(FLT_MIN),
      std::numeric_limits<double>::denorm_min(),
      1e-300,
      static_cast<double>(FLT_MIN) / 2.0,  // a float denormal
      std::nextafter(static_cast<double>(FLT_MAX), dinf),
      1e39,  // rounds to +inf as a float
      1e300,
  };
  const LV2_Descriptor& d = lib.plugin();
  for (double rate : rates) {
    const size_t before = mallinfo2().uordblks;
    LV2_Handle h = d.instantiate(&d, rate, "/nowhere", nullptr);
    const size_t after = mallinfo2().uordblks;
    EXPECT_EQ(h, nullptr) << rate;
    EXPECT_EQ(after, before) << rate;
    if (h != nullptr) d.cleanup(h);
  }
}

TEST_F(Slew, TenMillisecondsAtFortyEightKilohertz) {
  Rig rig(lib);
  const std::vector<float> out = rig.run(std::vector<float>(480, 1.0f));
  EXPECT_EQ(host::bits(out[0]), 0x3B088888u);    // 0.0020833332; a factor of 1000 gives ...89
  EXPECT_EQ(host::bits(out[1]), 0x3B88641Fu);    // 0.004162326
  EXPECT_EQ(host::bits(out[479]), 0x3F21EBC4u);  // 0.63250375, one time constant
  EXPECT_EQ(host::bits(rig.state()), 0x3F21EBC4u);
}

// A time shorter than a sample period would step past the input: the step
// lands on it instead. A time of more than one period takes the usual step.
// The last bits also tell the constant folded into the divisor.
TEST_F(Slew, TimesShorterThanASampleArriveInOneStep) {
  Rig rig(lib);
  rig.rise = rig.fall = 0.01f;
  EXPECT_EQ(rig.run({1.0f, 1.0f, 1.0f}), (std::vector<float>{1.0f, 1.0f, 1.0f}));
  EXPECT_EQ(host::bits(rig.state()), host::bits(1.0f));

  Rig longer(lib);
  longer.rise = longer.fall = 0.03f;
  const float first = (1.0f * 999.99994f) / (0.03f * 48000.0f);
  ASSERT_LT(first, 1.0f);
  EXPECT_EQ(host::bits(longer.run({1.0f})), host::bits(std::vector<float>{first}));
}

// A ±4 square wave at times up to one sample period: every edge is reached in
// its first sample and nothing leaves [-4, 4], in one block, cut into blocks,
// and with the input on the output's buffer.
TEST_F(Slew, ShortTimesFollowASquareWaveWithinItsRange) {
  std::vector<float> square(600);
  for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 50) % 2 == 0 ? 4.0f : -4.0f;
  for (float time : {0.001f, 0.015f, 0.02f}) {
    for (uint32_t block : {1u, 7u, 64u, 600u}) {
      for (bool in_place : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << "time " << time << " block " << block << " in place " << in_place);
        Rig rig(lib);
        rig.rise = rig.fall = time;
        std::vector<float> in = square;
        std::vector<float> out = host::untouched(in.size());
        float* to = in_place ? in.data() : out.data();
        for (size_t at = 0; at < in.size(); at += block) {
          rig.inst.connect(input, in.data() + at);
          rig.inst.connect(output, to + at);
          rig.inst.run(static_cast<uint32_t>(std::min<size_t>(block, in.size() - at)));
        }
        EXPECT_EQ(host::bits(in_place ? in : out), host::bits(square));
      }
    }
  }
}

// One sample per block, each with its own controls; the glided value carries
// over from block to block.
struct Step {
  float x, rise, fall, expected;
};
struct Walk {
  const char* name;
  double rate;
  std::vector<Step> steps;
};

// Powers of two near the top of the float range, where each overflow can be
// placed in one operation of the step.
const float big = std::ldexp(1.0f, 117);
const float top = std::ldexp(1.0f, 127);
const float above_top = top + std::ldexp(1.0f, 115);
const float below_top = top - std::ldexp(1.0f, 114);

const Walk walks[] = {
    {"halves the distance at 1 ms",
     halving_rate,
     {{1.0f, 1.0f, 9.0f, 0.5f}, {1.0f, 1.0f, 9.0f, 0.75f}, {1.0f, 1.0f, 9.0f, 0.875f}}},
    {"quarters it at 2 ms", halving_rate, {{1.0f, 2.0f, 9.0f, 0.25f}, {1.25f, 2.0f, 9.0f, 0.5f}}},
    {"rise time 0 holds while the input is above, then the fall time governs",
     halving_rate,
     {{1.0f, 1.0f, 1.0f, 0.5f},
      {1.0f, 0.0f, 1.0f, 0.5f},
      {9.0f, 0.0f, 1.0f, 0.5f},
      {-0.5f, 0.0f, 1.0f, 0.0f}}},
    {"fall time 0 holds while the input is below, then the rise time governs",
     halving_rate,
     {{-1.0f, 9.0f, 0.0f, 0.0f}, {-5.0f, 1.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f, 0.5f}}},
    {"both times 0 hold whatever the input",
     halving_rate,
     {{1.0f, 1.0f, 1.0f, 0.5f},
      {9.0f, 0.0f, 0.0f, 0.5f},
      {-9.0f, 0.0f, 0.0f, 0.5f},
      {0.5f, 0.0f, 0.0f, 0.5f}}},
    {"an input equal to the value changes nothing",
     halving_rate,
     {{0.0f, 1.0f, 1.0f, 0.0f}, {1.0f, 1.0f, 1.0f, 0.5f}, {0.5f, 1.0f, 1.0f, 0.5f}}},
    {"negative times are not clamped: the step goes the other way",
     halving_rate,
     {{1.0f, -1.0f, 1.0f, -0.5f}}},
    {"a step that rounding carries past the input lands on it",
     halving_rate,
     {{3.0f, 0.5f, 0.5f, 3.0f},    // 0.5 ms: the whole distance in one step
      {1e-8f, 0.5f, 0.5f, 1e-8f},  // 1e-8 - 3 rounds to -3: the sum 0 is below
      {-3.0f, 0.5f, 0.5f, -3.0f},
      {-1e-8f, 0.5f, 0.5f, -1e-8f}}},
    {"a step past a denormal input lands on its bits, read as zero on the way",
     halving_rate,
     {{-1.0f, 0.25f, 0.25f, -1.0f},  // 0.25 ms: twice the distance, so always past
      {host::from_bits(0x00000001), 0.25f, 0.25f, host::from_bits(0x00000001)},
      {1.0f, 0.25f, 0.25f, 1.0f},
      {host::from_bits(0x80000001), 0.25f, 0.25f, host::from_bits(0x80000001)}}},
    {"NaN and infinite input samples are ignored",
     halving_rate,
     {{1.0f, 1.0f, 1.0f, 0.5f},
      {nan, 1.0f, 1.0f, 0.5f},
      {inf, 1.0f, 1.0f, 0.5f},
      {-inf, 1.0f, 1.0f, 0.5f},
      {host::from_bits(0xFFC12345), 1.0f, 1.0f, 0.5f},
      {1.0f, 1.0f, 1.0f, 0.75f}}},
    {"NaN and infinite times hold the value",
     halving_rate,
     {{1.0f, 1.0f, 1.0f, 0.5f},
      {1.0f, nan, 1.0f, 0.5f},
      {0.0f, 1.0f, nan, 0.5f},
      {1.0f, inf, 1.0f, 0.5f},
      {1.0f, -inf, 1.0f, 0.5f},
      {0.0f, 1.0f, inf, 0.5f},
      {1.0f, 1.0f, 1.0f, 0.75f}}},
    {"a step that overflows anywhere leaves the value where it was",
     halving_rate,
     {
         {std::ldexp(1.0f, 120), 1.0f, 1.0f, 0.0f},      // the product with the constant
         {1024.0f, FLT_MIN, 1.0f, 0.0f},                 // the quotient
         {-big, 1.0f, -std::ldexp(1.0f, -11), top},      // a negative time, away to 2^127
         {above_top, std::ldexp(1.0f, -13), 1.0f, top},  // the sum
         {-top, 1.0f, 1.0f, top},                        // the difference
         {below_top, 1.0f, 0.5f, below_top},             // 0.5 ms: all the way, finite
     }},
    {"the example at 48 kHz resumes after the ignored samples",
     48000.0,
     {{1.0f, 10.0f, 10.0f, 0.0020833332f},
      {inf, 10.0f, 10.0f, 0.0020833332f},
      {nan, 10.0f, 10.0f, 0.0020833332f},
      {1.0f, 10.0f, nan, 0.004162326f},
      {1e30f, 1e-20f, 10.0f, 0.004162326f},  // a huge distance in a tiny time
      {-1e30f, 10.0f, -inf, 0.004162326f}}},
};

TEST_F(Slew, WalksOneSampleAtATime) {
  for (const Walk& w : walks) {
    SCOPED_TRACE(w.name);
    Rig rig(lib, w.rate);
    for (size_t k = 0; k < w.steps.size(); ++k) {
      const Step& s = w.steps[k];
      rig.rise = s.rise;
      rig.fall = s.fall;
      const std::vector<float> out = rig.run({s.x});
      EXPECT_EQ(host::bits(out[0]), host::bits(s.expected)) << "step " << k << ": " << out[0];
      EXPECT_EQ(host::bits(rig.state()), host::bits(s.expected)) << "step " << k;
    }
  }
}

const float offs[] = {0.0f,
                      -0.0f,
                      0.5f,
                      0.99999994f,
                      1.0000001f,
                      1.5f,
                      2.0f,
                      -1.0f,
                      inf,
                      -inf,
                      nan,
                      host::from_bits(0xFFC12345),
                      host::from_bits(0x00000001)};

// Off is anything but exactly 1.0: the input passes bit for bit and the
// glided value rests, to go on from there when switched on again.
TEST_F(Slew, EnableIsOnOnlyAtExactlyOne) {
  const std::vector<float> tricky = host::tricky_values();
  for (float off : offs) {
    SCOPED_TRACE(testing::Message() << "enable 0x" << std::hex << host::bits(off));
    Rig rig(lib);
    ASSERT_EQ(host::bits(rig.run({1.0f})[0]), 0x3B088888u);
    rig.on = off;
    EXPECT_EQ(host::bits(rig.run(tricky)), host::bits(tricky));
    EXPECT_EQ(host::bits(rig.state()), 0x3B088888u);
    rig.on = 1.0f;
    EXPECT_EQ(host::bits(rig.run({1.0f})[0]), 0x3B88641Fu);
  }
}

// While off, the times are not read at all: here they point nowhere.
TEST_F(Slew, TimesAreNotReadWhileOff) {
  for (float off : offs) {
    Rig rig(lib);
    rig.on = off;
    rig.inst.connect(rise_time, nullptr);
    rig.inst.connect(fall_time, nullptr);
    EXPECT_EQ(rig.run({1.0f, -2.0f}), (std::vector<float>{1.0f, -2.0f}));
    EXPECT_EQ(host::bits(rig.state()), 0u);
  }
}

TEST_F(Slew, EmptyBlockReadsAndWritesNothing) {
  Rig rig(lib);
  rig.run({1.0f});
  for (uint32_t port = 0; port < 5; ++port) rig.inst.connect(port, nullptr);
  rig.inst.run(0);
  EXPECT_EQ(host::bits(rig.state()), 0x3B088888u);
  rig.inst.connect(rise_time, rig.rise);
  rig.inst.connect(fall_time, rig.fall);
  rig.inst.connect(enable, rig.on);
  std::vector<float> in(8, 1.0f), out = host::untouched(8);
  rig.inst.connect(input, in.data());
  rig.inst.connect(output, out.data());
  rig.inst.run(0);
  EXPECT_EQ(host::bits(out), host::bits(host::untouched(8)));
  rig.inst.run(1);
  EXPECT_EQ(host::bits(out[0]), 0x3B88641Fu);
  EXPECT_EQ(host::bits(out[1]), host::untouched_bits) << "wrote beyond the block";
}

// Off samples in between change nothing: the glide goes on from where it was.
TEST_F(Slew, SwitchingOffAndOnResumesFromTheHeldValue) {
  Rig interrupted(lib), straight(lib);
  std::vector<float> in(40);
  for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>(i % 7) - 2.5f;
  const std::vector<float> first(in.begin(), in.begin() + 20), rest(in.begin() + 20, in.end());
  const std::vector<float> got_first = interrupted.run(first);
  interrupted.on = 0.0f;
  const std::vector<float> bypass = {7.0f, -7.0f, 3.0f};
  EXPECT_EQ(interrupted.run(bypass), bypass);
  interrupted.on = 1.0f;
  const std::vector<float> got_rest = interrupted.run(rest);
  std::vector<float> got = got_first;
  got.insert(got.end(), got_rest.begin(), got_rest.end());
  EXPECT_EQ(host::bits(got), host::bits(straight.run(in)));
}

TEST_F(Slew, StateCarriesOverDeactivateAndActivate) {
  Rig rig(lib);
  const std::vector<float> first = rig.run(std::vector<float>(240, 1.0f));
  rig.inst.deactivate();
  rig.inst.activate();
  const std::vector<float> second = rig.run(std::vector<float>(240, 1.0f));
  EXPECT_NE(host::bits(second[0]), 0x3B088888u) << "started again from 0";
  Rig straight(lib);
  const std::vector<float> all = straight.run(std::vector<float>(480, 1.0f));
  EXPECT_EQ(host::bits(second.back()), host::bits(all.back()));
  EXPECT_EQ(host::bits(second.back()), 0x3F21EBC4u);
  EXPECT_EQ(host::bits(first), host::bits(std::vector<float>(all.begin(), all.begin() + 240)));
}

// The same stream cut into blocks of any length, empty ones included, gives
// the same output as one long block.
TEST_F(Slew, AnyCutIntoBlocksGivesTheSameStream) {
  const struct {
    float rise, fall;
    double rate;
  } controls[] = {
      {10.0f, 10.0f, 48000.0}, {0.01f, 0.02f, 48000.0},    {0.0f, 3.0f, 44100.0},
      {5.0f, 0.0f, 96000.0},   {1.0f, 1.0f, halving_rate}, {nan, 2.0f, 48000.0},
  };
  std::mt19937 rng(4321);
  std::uniform_real_distribution<float> level(-10.0f, 10.0f);
  std::uniform_int_distribution<int> kind(0, 19);
  for (const auto& c : controls) {
    for (int round = 0; round < 5; ++round) {
      SCOPED_TRACE(testing::Message()
                   << "rise " << c.rise << " fall " << c.fall << " round " << round);
      std::vector<float> in(1000);
      for (float& v : in) {
        const int k = kind(rng);
        v = k == 0 ? nan : k == 1 ? inf : k == 2 ? -3e38f : level(rng);
      }
      Rig whole(lib, c.rate), cut(lib, c.rate);
      whole.rise = cut.rise = c.rise;
      whole.fall = cut.fall = c.fall;
      const std::vector<float> expected = whole.run(in);
      ASSERT_EQ(host::bits(run_cut(cut, in, rng, 70)), host::bits(expected));
    }
  }
}

// A steady input is reached exactly: steps too small to move the value on
// their own are summed until they do. Without that the glide stops short for
// good (9.97711 for 10 at 1 s, 9.99977 at 10 ms).
struct Arrival {
  const char* name;
  float from, to, time;
  size_t within;  // samples at 48 kHz
};
const Arrival arrivals[] = {
    {"10 ms up from 0 to 10", 0.0f, 10.0f, 10.0f, 9600},
    {"10 ms down from 10 to -7.3", 10.0f, -7.3f, 10.0f, 9600},
    {"1 s up from 0 to 10", 0.0f, 10.0f, 1000.0f, 16 * 48000},
    {"10 s up from 0 to 10", 0.0f, 10.0f, 10000.0f, 16 * 480000},
    {"100 ms down from 1 to 0.25", 1.0f, 0.25f, 100.0f, 16 * 4800},
    {"10 ms up from -5 to 1e-3", -5.0f, 1e-3f, 10.0f, 32 * 480},
};

// How many samples of a steady input `to` the glide takes to reach it exactly
// and stay there; more than `within` where it does not.
size_t samples_to_arrive(Rig& rig, float to, size_t within) {
  std::vector<float> out = rig.run(std::vector<float>(within, to));
  const auto first = std::find(out.begin(), out.end(), to);
  const size_t at = static_cast<size_t>(first - out.begin());
  for (size_t i = at; i < out.size(); ++i) {
    if (host::bits(out[i]) != host::bits(to)) return out.size() + 1;  // left again
  }
  return at + 1;
}

TEST_F(Slew, SteadyInputIsReachedExactly) {
  for (const Arrival& a : arrivals) {
    SCOPED_TRACE(a.name);
    Rig rig(lib);
    rig.rise = rig.fall = a.time;
    if (a.from != 0.0f) {
      ASSERT_LE(samples_to_arrive(rig, a.from, a.within), a.within) << "to the start";
    }
    const size_t took = samples_to_arrive(rig, a.to, a.within);
    EXPECT_LE(took, a.within) << "stopped at " << rig.state();
    EXPECT_EQ(host::bits(rig.state()), host::bits(a.to));
    EXPECT_EQ(host::bits(record_of(rig.inst).dropped_step), 0u);
  }
}

// The counts of the 10 ms glides, as they were worked out from the rule
// when it was drawn up; any change in the order of the sums moves them.
TEST_F(Slew, TenMillisecondGlidesArriveAtTheirKnownSamples) {
  Rig up(lib);
  EXPECT_EQ(samples_to_arrive(up, 10.0f, 9600), 6670u);
  Rig down(lib);
  ASSERT_LE(samples_to_arrive(down, 10.0f, 9600), 9600u);
  EXPECT_EQ(samples_to_arrive(down, -7.3f, 9600), 7265u);
}

// The dropped steps are state like the glided value: they rest while the
// plugin is off and are kept across deactivate and activate.
TEST_F(Slew, DroppedStepsRestWhileOffAndSurviveDeactivate) {
  Rig straight(lib), interrupted(lib);
  const std::vector<float> in(6000, 10.0f);
  const std::vector<float> expected = straight.run(in);
  // Sample by sample into the part of the glide where steps are dropped,
  // until some are held.
  std::vector<float> got;
  while (got.size() < 3000 || record_of(interrupted.inst).dropped_step == 0.0f) {
    ASSERT_LT(got.size(), 6000u) << "no step was ever dropped";
    got.push_back(interrupted.run({in[got.size()]})[0]);
  }
  const size_t held_at = got.size();
  const float dropped = record_of(interrupted.inst).dropped_step;
  interrupted.on = 0.0f;
  interrupted.run(std::vector<float>(100, -3.0f));
  interrupted.inst.deactivate();
  interrupted.inst.activate();
  EXPECT_EQ(host::bits(record_of(interrupted.inst).dropped_step), host::bits(dropped));
  interrupted.on = 1.0f;
  const auto resume = in.begin() + static_cast<std::ptrdiff_t>(held_at);
  const std::vector<float> rest = interrupted.run(std::vector<float>(resume, in.end()));
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(host::bits(got), host::bits(expected));
}

// The same arrivals cut into random blocks, the arrived runs taken several
// samples at a time, give one long block's stream.
TEST_F(Slew, ArrivalsCutIntoBlocksGiveTheSameStream) {
  std::mt19937 rng(6670);
  std::vector<float> in;
  for (float target : {10.0f, -7.3f, -7.3f, 0.0f, -0.0f, 3.0f}) in.resize(in.size() + 8000, target);
  Rig whole(lib), cut(lib);
  const std::vector<float> expected = whole.run(in);
  ASSERT_EQ(host::bits(run_cut(cut, in, rng, 40)), host::bits(expected));
  EXPECT_EQ(host::bits(expected[15999]), host::bits(-7.3f));
  EXPECT_EQ(host::bits(expected.back()), host::bits(3.0f));
}

// An output covering a control's storage changes it for the next sample: the
// enable and the times are read at every sample, not once per block.
TEST_F(Slew, ControlsAreReadAtEverySample) {
  {
    std::vector<float> in = {1.0f, 1.0f, 1.0f};
    std::vector<float> out = {1.0f, 0.0f, 0.0f};  // out[0] is the rise time, 1 ms
    float fall = 1.0f, on = 1.0f;
    host::Instance inst(lib, halving_rate);
    inst.connect(input, in.data());
    inst.connect(output, out.data());
    inst.connect(rise_time, out.data());
    inst.connect(fall_time, fall);
    inst.connect(enable, on);
    inst.run(3);
    // Half way, then 0.5 ms covers the whole rest; read once it would be 0.75.
    EXPECT_EQ(out, (std::vector<float>{0.5f, 1.0f, 1.0f}));
  }
  {
    std::vector<float> in = {1.0f, host::from_bits(0x80000000), host::from_bits(0x7FC12345)};
    std::vector<float> out = {1.0f, 0.0f, 0.0f};  // out[0] is the enable
    float rise = 1.0f, fall = 1.0f;
    host::Instance inst(lib, halving_rate);
    inst.connect(input, in.data());
    inst.connect(output, out.data());
    inst.connect(rise_time, rise);
    inst.connect(fall_time, fall);
    inst.connect(enable, out.data());
    inst.run(3);
    // The enable became 0.5 at sample 0: the rest of the block passes through.
    EXPECT_EQ(host::bits(out), (std::vector<uint32_t>{0x3F000000, 0x80000000, 0x7FC12345}));
    EXPECT_EQ(host::bits(record_of(inst).current_value), 0x3F000000u);
  }
}

struct Layout {
  size_t in, out, rise, fall, enable;
};

// Ports at offsets into one arena: in place, outputs a few samples off the
// input, and outputs that cover the enable's or a time's storage.
const Layout layouts[] = {
    {0, 0, 900, 901, 902},    // in place
    {1, 0, 900, 901, 902},    // output one sample behind the input
    {0, 1, 900, 901, 902},    // output one sample ahead
    {0, 4, 900, 901, 902},    // four ahead
    {0, 9, 900, 901, 902},    // nine ahead: past a group of eight
    {9, 0, 900, 901, 902},    // nine behind
    {0, 600, 600, 601, 902},  // output covers both times from sample 0
    {0, 600, 900, 901, 600},  // output covers the enable at sample 0
    {0, 600, 900, 901, 603},  // ... at sample 3
    {0, 0, 5, 6, 902},        // in place, and the times at samples 5 and 6
    {0, 0, 900, 2, 3},        // in place, fall time and enable inside the block
    {10, 600, 12, 600, 601},  // times and enable in the input and the output
    {0, 600, 900, 901, 902},  // nothing shared
};

// What the arena's streams hold: random levels, or runs of a few values that
// the glide reaches and then sits on (where several samples are taken at a
// time), signed zeros among them.
enum class Input { random, runs };

void fill(std::vector<float>& arena, Input kind, std::mt19937& rng) {
  std::uniform_real_distribution<float> level(-10.0f, 10.0f);
  const float steady[] = {0.0f, -0.0f, 1.0f, 0.5f, -2.0f, 3.0f};
  std::uniform_int_distribution<size_t> pick(0, std::size(steady) - 1), run(1, 24);
  for (size_t i = 0; i < arena.size();) {
    if (kind == Input::random) {
      arena[i++] = level(rng);
      continue;
    }
    const float v = steady[pick(rng)];
    for (size_t k = run(rng); k > 0 && i < arena.size(); --k) arena[i++] = v;
  }
}

TEST_F(Slew, SharedBuffersGiveTheSampleBySampleResult) {
  // Times shorter than a sample land on the input; at the halving rate 0.5 ms
  // covers a whole power-of-two distance in one step, so runs are reached.
  const struct {
    Input kind;
    double rate;
    float rise, fall;
  } inputs[] = {{Input::random, 48000.0, 0.015f, 0.04f}, {Input::runs, halving_rate, 0.5f, 0.5f}};
  std::mt19937 rng(99);
  for (const auto& kind : inputs) {
    for (const Layout& l : layouts) {
      for (uint32_t n : {1u, 2u, 3u, 7u, 16u, 17u, 64u, 200u}) {
        SCOPED_TRACE(testing::Message()
                     << "in " << l.in << " out " << l.out << " rise " << l.rise << " fall "
                     << l.fall << " enable " << l.enable << " n " << n << " rate " << kind.rate);
        std::vector<float> arena(1000);
        fill(arena, kind.kind, rng);
        arena[l.rise] = kind.rise;
        arena[l.fall] = kind.fall;
        arena[l.enable] = 1.0f;
        std::vector<float> expected = arena;
        reference::Model model = model_arena::instantiate("zul-cv-slew", kind.rate);
        host::Instance inst(lib, kind.rate);
        for (int call = 0; call < 3; ++call) {
          model_arena::run(model, expected, {l.in, l.out, l.rise, l.fall, l.enable}, n);
          model_arena::connect(inst, arena, {l.in, l.out, l.rise, l.fall, l.enable});
          inst.run(n);
          model_arena::accept_computed_nans(model, expected, arena);
          ASSERT_EQ(host::bits(arena), host::bits(expected)) << "call " << call;
          EXPECT_EQ(host::bits(record_of(inst).current_value), host::bits(model.current_value));
          EXPECT_EQ(host::bits(record_of(inst).dropped_step), host::bits(model.dropped_step));
        }
      }
    }
  }
}

}  // namespace
