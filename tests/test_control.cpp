// zul-cv-control through the host's door: the 550 Hz one-pole against its
// closed form and the reference model, block-length independence,
// exact pass-through with smoothing off, non-finite controls, bad sample
// rates, and outputs covering the controls' storage.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "tests/host.hpp"
#include "tests/model_arena.hpp"
#include "tests/pole_digest.hpp"

namespace {

enum : uint32_t { output = 0, control = 1, smoothing = 2 };

constexpr double cutoff_radians = -3455.7519189487725;  // -2*pi*550

double pole(double rate) {
  return std::exp(cutoff_radians / rate);
}

// The reference model on buffers of its own, kept across calls: each call
// holds the control at v and smoothing at smoothing_value for n samples.
struct ControlModel {
  explicit ControlModel(double rate) : m(model_arena::instantiate("zul-cv-control", rate)) {}
  std::vector<float> block(float v, float smoothing_value, uint32_t n) {
    std::vector<float> out(n);
    reference::connect_port(m, output, out.data());
    reference::connect_port(m, control, &v);
    reference::connect_port(m, smoothing, &smoothing_value);
    reference::run(m, n);
    return out;
  }
  double state() const { return m.filter_state; }
  reference::Model m;
};

// v * (1 - a^k) in long double, rounded once to single: what the k-th sample
// of a fresh instance holding v with smoothing on must be.
float closed_form(double a, int k, float v) {
  const long double rise = 1.0L - std::pow(static_cast<long double>(a), k);
  return static_cast<float>(static_cast<long double>(v) * rise);
}

// The instance keeps its three port slots and then the coefficients and the
// state, in that order (aligned as the processor aligns doubles); the tests
// read them where the output cannot show them.
struct Fields {
  double input_coefficient, feedback_coefficient, filter_state;
};
struct Record {
  const void* slots[3];
  Fields fields;
};
Fields fields_of(LV2_Handle handle) {
  Record r;
  std::memcpy(&r, handle, sizeof r);
  return r.fields;
}

// One instance with its two controls in place and a fresh output per block.
struct Rig {
  explicit Rig(const host::Library& lib, double rate = 48000.0) : instance(lib, rate) {
    instance.connect(control, control_value);
    instance.connect(smoothing, smoothing_value);
  }
  std::vector<float> run(uint32_t n) {
    std::vector<float> out = host::untouched(n);
    instance.connect(output, out.data());
    instance.run(n);
    return out;
  }
  double state() const { return fields_of(instance.handle()).filter_state; }

  host::Instance instance;
  float control_value = 1.0f;
  float smoothing_value = 1.0f;
};

void append(std::vector<float>& to, const std::vector<float>& block) {
  to.insert(to.end(), block.begin(), block.end());
}

class Control : public testing::Test {
 protected:
  host::Library lib{"zul-cv-control"};
};

// The closed form's pole must be the one the figures quote, or nothing below
// would be independent of the plugin.
TEST(ControlClosedForm, PoleMatchesTheQuotedDigits) {
  EXPECT_EQ(pole(48000.0), 0.9305357051378595);
  EXPECT_EQ(1.0 - pole(48000.0), 0.06946429486214045);
  EXPECT_EQ(pole(44100.0), 0.924629907511983);
  EXPECT_EQ(1.0 - pole(44100.0), 0.07537009248801696);
}

TEST_F(Control, InstantiateSetsCoefficientsAndState) {
  for (double rate : {48000.0, 44100.0, 96000.0, 8000.0}) {
    Rig rig(lib, rate);
    const Fields f = fields_of(rig.instance.handle());
    EXPECT_EQ(f.feedback_coefficient, pole(rate)) << rate;
    EXPECT_EQ(f.input_coefficient, 1.0 - pole(rate)) << rate;
    EXPECT_EQ(host::bits(static_cast<float>(f.filter_state)), 0u) << "positive zero";
    EXPECT_EQ(std::signbit(f.filter_state), false);
    const reference::Model model = model_arena::instantiate("zul-cv-control", rate);
    EXPECT_EQ(model.feedback_coefficient, pole(rate)) << "the model's, at " << rate;
    EXPECT_EQ(model.input_coefficient, 1.0 - pole(rate)) << "the model's, at " << rate;
  }
}

// The pole is the same bits on every platform, and at every whole rate up to
// 384 kHz it is the one the GNU C library's exp gives where it computes with
// a fused multiply-add: checked rate by rate where this machine's exp is that
// one, and everywhere against the digest of those poles.
bool exp_is_glibcs_fused() {
#if defined(__x86_64__)
  return __builtin_cpu_supports("fma") && __builtin_cpu_supports("avx2");
#elif defined(__aarch64__)
  return true;
#else
  return false;
#endif
}

TEST_F(Control, PoleOfEveryWholeRateIsTheSameEverywhere) {
  const LV2_Descriptor& d = lib.plugin();
  const bool check_each = exp_is_glibcs_fused();
  pole_digest::Digest digest;
  size_t failures = 0;
  for (uint32_t rate = 1; rate <= pole_digest::top_rate && failures < 10; ++rate) {
    LV2_Handle handle = d.instantiate(&d, rate, "", nullptr);
    ASSERT_NE(handle, nullptr);
    const Fields f = fields_of(handle);
    d.cleanup(handle);
    digest.add(f.feedback_coefficient);
    const bool wrong = f.input_coefficient != 1.0 - f.feedback_coefficient ||
                       (check_each && f.feedback_coefficient != pole(rate));
    failures += wrong;
    EXPECT_FALSE(wrong) << rate << " Hz: " << std::hexfloat << f.feedback_coefficient << ", exp "
                        << pole(rate);
  }
  EXPECT_EQ(digest.value, pole_digest::glibc_fused) << std::hex << digest.value;
  if (!check_each) std::printf("this machine's exp is not glibc's fused one: digest only\n");
}

// A fresh instance rises as 1 - a^k, one filter step per sample.
TEST_F(Control, RisesAsOneMinusPowersOfThePole) {
  const struct {
    double rate;
    float control;
    double first, second, third;  // to seven digits
  } cases[] = {
      {48000.0, 1.0f, 0.0694643, 0.1341033, 0.1942522},
      {48000.0, -1.0f, -0.0694643, -0.1341033, -0.1942522},
      {44100.0, 1.0f, 0.0753701, 0.1450595, 0.2094965},
  };
  constexpr uint32_t n = 512;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "rate " << c.rate << " control " << c.control);
    Rig rig(lib, c.rate);
    rig.control_value = c.control;
    const std::vector<float> out = rig.run(n);
    EXPECT_NEAR(out[0], c.first, 5e-8);
    EXPECT_NEAR(out[1], c.second, 5e-8);
    EXPECT_NEAR(out[2], c.third, 5e-8);
    ControlModel model(c.rate);
    EXPECT_EQ(host::bits(out), host::bits(model.block(c.control, 1.0f, n)));
    for (uint32_t k = 0; k < n; ++k) {
      ASSERT_EQ(host::bits(out[k]),
                host::bits(closed_form(pole(c.rate), static_cast<int>(k) + 1, c.control)))
          << "sample " << k;
    }
  }
}

// Each step is one fused multiply-add over the rounded product a*s: the
// state, looked at after every sample, matches the reference to the last bit,
// where two separate roundings would have strayed from it at some samples.
TEST_F(Control, StateIsTheFusedStepToTheLastBit) {
  const double a = pole(48000.0);
  int unfused_differs = 0;
  for (float v : {0.3f, -7.25f, 9.99f, 0.001f, 3.0f, -0.1f}) {
    Rig rig(lib);
    rig.control_value = v;
    ControlModel model(48000.0);
    double unfused = 0.0;
    for (int i = 0; i < 300; ++i) {
      rig.run(1);
      model.block(v, 1.0f, 1);
      ASSERT_EQ(rig.state(), model.state()) << "control " << v << " sample " << i;
      unfused = (1.0 - a) * static_cast<double>(v) + a * unfused;
      unfused_differs += unfused != model.state();
      unfused = model.state();
    }
  }
  EXPECT_GT(unfused_differs, 0) << "these controls do not tell fused from unfused";
}

// Blocks of any length carry on where the last one stopped: the stream is the
// same sample for sample.
TEST_F(Control, BlockLengthDoesNotChangeTheStream) {
  constexpr uint32_t total = 2048;
  ControlModel model(48000.0);
  const std::vector<float> expected = model.block(1.0f, 1.0f, total);
  std::mt19937 rng(550);
  std::uniform_int_distribution<uint32_t> length(0, 300);
  const std::vector<std::vector<uint32_t>> cuts = {
      std::vector<uint32_t>(total, 1),         std::vector<uint32_t>(total / 4, 4),
      std::vector<uint32_t>(total / 128, 128), std::vector<uint32_t>(total / 512, 512),
      {1, 3, 3, 128, 1, 512, 7, 1393},
  };
  auto run_cut = [&](const std::vector<uint32_t>& cut) {
    Rig rig(lib);
    std::vector<float> stream;
    for (uint32_t n : cut) append(stream, rig.run(n));
    return stream;
  };
  for (const auto& cut : cuts) {
    EXPECT_EQ(host::bits(run_cut(cut)), host::bits(expected)) << "first block " << cut[0];
  }
  for (int trial = 0; trial < 10; ++trial) {
    std::vector<uint32_t> cut;
    for (uint32_t left = total; left > 0;) {
      const uint32_t n = std::min(left, length(rng));
      cut.push_back(n);
      left -= n;
    }
    EXPECT_EQ(host::bits(run_cut(cut)), host::bits(expected)) << "trial " << trial;
  }
  EXPECT_NEAR(expected[2], 0.1942522, 5e-8);
}

// Switch readings of 1 smooth; any other reading passes the control through.
TEST_F(Control, SmoothingFollowsTheSwitchReading) {
  const struct {
    float smoothing;
    bool on;
  } cases[] = {
      {1.0f, true},
      {1.5f, true},
      {1.9999999f, true},
      {0.0f, false},
      {-0.0f, false},
      {0.99f, false},
      {-0.5f, false},
      {2.0f, false},
      {-1.0f, false},
      {3.0e9f, false},
      {host::from_bits(0x7fc00000), false},
      {host::from_bits(0xff800000), false},
  };
  const float first = closed_form(pole(48000.0), 1, 1.0f);
  for (const auto& c : cases) {
    Rig rig(lib);
    rig.smoothing_value = c.smoothing;
    const std::vector<float> out = rig.run(4);
    EXPECT_EQ(host::bits(out[0]), host::bits(c.on ? first : 1.0f)) << c.smoothing;
  }
}

// With smoothing off every sample is the control's 32 bits, whatever they are.
TEST_F(Control, SmoothingOffCopiesTheControlExactly) {
  std::vector<float> controls = host::tricky_values();
  controls.push_back(0.3f);
  controls.push_back(-7.25f);
  constexpr uint32_t n = 37;
  for (float off : {0.0f, 0.99f, 2.0f, -1.0f}) {
    for (float v : controls) {
      SCOPED_TRACE(testing::Message()
                   << "smoothing " << off << " control bits " << std::hex << host::bits(v));
      Rig rig(lib);
      rig.control_value = v;
      rig.smoothing_value = off;
      for (int block = 0; block < 3; ++block) {
        EXPECT_EQ(host::bits(rig.run(n)), std::vector<uint32_t>(n, host::bits(v)));
      }
      EXPECT_TRUE(std::isfinite(rig.state()));
    }
  }
}

// The filter advances while smoothing is off, so switching it on carries on
// from where the control has led the state.
TEST_F(Control, FilterRunsWhileSmoothingIsOff) {
  const double a = pole(48000.0);
  for (const std::vector<uint32_t>& cut :
       {std::vector<uint32_t>{8}, {3, 5}, {1, 1, 1, 1, 1, 1, 1, 1}, {2, 0, 6}}) {
    Rig rig(lib);
    rig.smoothing_value = 0.0f;
    for (uint32_t n : cut) EXPECT_EQ(rig.run(n), std::vector<float>(n, 1.0f));
    ControlModel model(48000.0);
    model.block(1.0f, 0.0f, 8);
    EXPECT_EQ(rig.state(), model.state());
    EXPECT_NEAR(rig.state(), 0.4378343, 5e-8);
    rig.smoothing_value = 1.0f;
    const std::vector<float> on = rig.run(3);
    EXPECT_NEAR(on[0], 0.4768848, 5e-8);
    EXPECT_EQ(host::bits(on), host::bits(model.block(1.0f, 1.0f, 3)));
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(host::bits(on[static_cast<size_t>(k)]), host::bits(closed_form(a, 9 + k, 1.0f)));
    }
  }
}

// An output covering the smoothing switch turns smoothing off mid-call: the
// rest of the call carries the last filtered value, not the control value.
// The next call starts off and writes the control value until its own output
// turns smoothing on again.
TEST_F(Control, SmoothingTurnedOffWithinACallHoldsTheFilteredValue) {
  const double a = pole(48000.0);
  std::vector<float> out = {9.0f, 9.0f, 1.0f, 9.0f};  // out[2] is the smoothing switch
  float value = 1.0f;
  host::Instance inst(lib);
  inst.connect(output, out.data());
  inst.connect(control, value);
  inst.connect(smoothing, out.data() + 2);
  inst.run(4);
  const float third = closed_form(a, 3, 1.0f);  // 0.1942522: reads 0 from sample 3 on
  EXPECT_EQ(host::bits(out), host::bits(std::vector<float>{closed_form(a, 1, 1.0f),
                                                           closed_form(a, 2, 1.0f), third, third}));
  out[3] = 1.0f;  // the next call writes 1.0 onto the switch at sample 2
  inst.run(4);
  EXPECT_EQ(host::bits(out),
            host::bits(std::vector<float>{1.0f, 1.0f, 1.0f, closed_form(a, 8, 1.0f)}));
  EXPECT_EQ(fields_of(inst.handle()).filter_state, [&] {
    ControlModel model(48000.0);
    model.block(1.0f, 1.0f, 8);
    return model.state();
  }());
}

// A steady state is one the step leaves bit for bit: -0 and +0 are not the
// same state. A control of -0 holds a state decayed to -0; a control of +0
// then moves it to +0, and the smoothed output must say so.
TEST_F(Control, SignedZerosAreDifferentStates) {
  Rig rig(lib);
  rig.control_value = -1.0f;
  rig.run(512);
  rig.control_value = -0.0f;
  for (int block = 0; block < 40 && std::bit_cast<uint64_t>(rig.state()) != (1ull << 63); ++block) {
    rig.run(512);
  }
  ASSERT_EQ(std::bit_cast<uint64_t>(rig.state()), 1ull << 63) << "the state never reached -0";
  EXPECT_EQ(host::bits(rig.run(64)), std::vector<uint32_t>(64, 0x80000000u));
  rig.control_value = 0.0f;
  EXPECT_EQ(host::bits(rig.run(64)), std::vector<uint32_t>(64, 0u));
  EXPECT_EQ(std::bit_cast<uint64_t>(rig.state()), 0u);
}

// Long held controls bring the filter to a state that its step leaves as it
// is; from there on the block is one value. Blocks cut anywhere give the
// same stream as the sample-by-sample filter, before and after that point.
TEST_F(Control, SettledStatesGiveTheSampleBySampleStream) {
  std::mt19937 rng(5500);
  std::uniform_int_distribution<uint32_t> piece(0, 1500);
  const float controls[] = {1.0f, -7.25f, 0.3f, 10.0f, 0.0f, 1e-30f, -3.0e38f, 4.0f};
  Rig cut(lib);
  ControlModel model(48000.0);
  for (float v : controls) {
    for (float sw : {1.0f, 0.0f}) {
      SCOPED_TRACE(testing::Message() << "control " << v << " smoothing " << sw);
      cut.control_value = v;
      cut.smoothing_value = sw;
      std::vector<float> got, expected;
      for (uint32_t left = 6000; left > 0;) {
        const uint32_t n = std::min(left, piece(rng));
        append(got, cut.run(n));
        if (n > 0) append(expected, model.block(v, sw, n));
        left -= n;
      }
      ASSERT_EQ(host::bits(got), host::bits(expected));
      ASSERT_EQ(cut.state(), model.state());
    }
  }
}

TEST_F(Control, StateCarriesAcrossDeactivateAndActivate) {
  Rig rig(lib);
  rig.control_value = 2.5f;
  std::vector<float> stream = rig.run(5);
  rig.instance.deactivate();
  rig.instance.activate();
  append(stream, rig.run(5));
  rig.instance.deactivate();
  rig.instance.activate();
  append(stream, rig.run(1));
  ControlModel model(48000.0);
  EXPECT_EQ(host::bits(stream), host::bits(model.block(2.5f, 1.0f, 11)));
  EXPECT_EQ(host::bits(stream[10]), host::bits(closed_form(pole(48000.0), 11, 2.5f)));
}

// An empty block writes nothing and leaves the state, whatever the controls
// hold during it.
TEST_F(Control, EmptyBlockWritesNothingAndKeepsTheState) {
  Rig rig(lib);
  std::vector<float> stream = rig.run(4);
  const double before = rig.state();
  for (float v : {5.0f, host::from_bits(0x7fc00000), host::from_bits(0xff800000)}) {
    for (float s : {0.0f, 1.0f}) {
      rig.control_value = v;
      rig.smoothing_value = s;
      std::vector<float> out = host::untouched(1);
      rig.instance.connect(output, out.data());
      rig.instance.run(0);
      EXPECT_EQ(host::bits(out[0]), host::untouched_bits);
      EXPECT_EQ(rig.state(), before);
    }
  }
  rig.control_value = 1.0f;
  rig.smoothing_value = 1.0f;
  append(stream, rig.run(4));
  ControlModel model(48000.0);
  EXPECT_EQ(host::bits(stream), host::bits(model.block(1.0f, 1.0f, 8)));
}

// An infinite or NaN control leaves the state as it stood: the smoothed
// output holds the last value, the unsmoothed one carries the control, and
// a finite control afterwards carries on from the held state.
TEST_F(Control, NonFiniteControlLeavesTheState) {
  const double a = pole(48000.0);
  const uint32_t non_finite[] = {0x7fc00000, 0xffc00000, 0x7fc12345, 0x7f800001,
                                 0xffa00001, 0x7f800000, 0xff800000};
  for (uint32_t bad : non_finite) {
    for (float smoothing_value : {1.0f, 0.0f}) {
      SCOPED_TRACE(testing::Message()
                   << "control bits " << std::hex << bad << " smoothing " << smoothing_value);
      Rig rig(lib);
      rig.run(5);
      const double held = rig.state();
      rig.control_value = host::from_bits(bad);
      rig.smoothing_value = smoothing_value;
      const std::vector<float> during = rig.run(7);
      const uint32_t expected =
          smoothing_value == 1.0f ? host::bits(static_cast<float>(held)) : bad;
      EXPECT_EQ(host::bits(during), std::vector<uint32_t>(7, expected));
      EXPECT_EQ(rig.state(), held);
      rig.control_value = 1.0f;
      rig.smoothing_value = 1.0f;
      const std::vector<float> after = rig.run(3);
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(host::bits(after[static_cast<size_t>(k)]),
                  host::bits(closed_form(a, 6 + k, 1.0f)));
      }
    }
  }
}

// The largest finite controls, either sign, keep the state finite.
TEST_F(Control, LargestControlsStayFinite) {
  Rig rig(lib);
  ControlModel model(48000.0);
  for (float v : {FLT_MAX, -FLT_MAX, FLT_MAX, 1.0f}) {
    rig.control_value = v;
    EXPECT_EQ(host::bits(rig.run(300)), host::bits(model.block(v, 1.0f, 300)));
    EXPECT_TRUE(std::isfinite(rig.state()));
    EXPECT_EQ(rig.state(), model.state());
  }
}

// A rate that is not finite and positive gives no instance; any positive
// finite rate gives one whose filter is usable.
TEST_F(Control, OnlyFinitePositiveRatesInstantiate) {
  const LV2_Descriptor& d = lib.plugin();
  constexpr double inf = std::numeric_limits<double>::infinity();
  for (double rate :
       {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(), inf,
        -inf, 0.0, -0.0, -48000.0, -DBL_MIN, -std::numeric_limits<double>::denorm_min()}) {
    EXPECT_EQ(d.instantiate(&d, rate, "", nullptr), nullptr) << rate;
  }
  // A tiny rate puts the pole at 0 (the output is the control), a huge one
  // at 1 (the filter never moves).
  const struct {
    double rate;
    float first;
  } usable[] = {
      {std::numeric_limits<double>::denorm_min(), 3.0f},
      {1.0e-300, 3.0f},
      {DBL_MAX, 0.0f},
      {1.0, 3.0f},
  };
  for (const auto& u : usable) {
    Rig rig(lib, u.rate);
    rig.control_value = 3.0f;
    EXPECT_EQ(host::bits(rig.run(2)), std::vector<uint32_t>(2, host::bits(u.first))) << u.rate;
  }
}

// The output may cover either control's storage: the control is read once per
// block, the smoothing switch at every sample.
TEST_F(Control, OutputCoveringTheControlsGivesTheSampleBySampleResult) {
  struct Layout {
    size_t out, ctl, smo;
  };
  const Layout layouts[] = {
      {10, 0, 1},   // apart
      {0, 0, 500},  // output covers the control at sample 0
      {0, 3, 500},  // ... at sample 3
      {0, 500, 0},  // output covers smoothing at sample 0
      {0, 500, 1},  // ... at sample 1
      {0, 500, 5},  // ... at sample 5
      {0, 40, 41},  // output covers both, smoothing just after the control
      {0, 7, 2},    // smoothing first, control later
      {5, 500, 4},  // smoothing just before the output: never written
      {0, 2, 2},    // control and smoothing share one value
  };
  std::mt19937 rng(4400);
  std::uniform_real_distribution<float> noise(-10.0f, 10.0f);
  const float controls[] = {1.5f, 3.0f, 0.5f, -1.0f, 1.0f};
  const float switches[] = {0.0f, 1.0f, 1.5f, 2.0f};
  for (const Layout& l : layouts) {
    for (float v : controls) {
      for (float sw : switches) {
        for (uint32_t n : {1u, 2u, 8u, 64u}) {
          SCOPED_TRACE(testing::Message() << "out " << l.out << " ctl " << l.ctl << " smo " << l.smo
                                          << " control " << v << " smoothing " << sw << " n " << n);
          std::vector<float> arena(600);
          for (float& x : arena) x = noise(rng);
          arena[l.smo] = sw;
          arena[l.ctl] = v;
          std::vector<float> expected = arena;
          reference::Model model = model_arena::instantiate("zul-cv-control");
          host::Instance inst(lib);
          model_arena::connect(inst, arena, {l.out, l.ctl, l.smo});
          // Two blocks: the second starts from what the first left behind.
          for (int block = 0; block < 2; ++block) {
            model_arena::run(model, expected, {l.out, l.ctl, l.smo}, n);
            inst.run(n);
            model_arena::accept_computed_nans(model, expected, arena);
            ASSERT_EQ(host::bits(arena), host::bits(expected)) << "block " << block;
          }
          EXPECT_EQ(fields_of(inst.handle()).filter_state, model.filter_state);
        }
      }
    }
  }
}

// A stream of held controls, each segment cut into random blocks, gives what
// each segment gives as one block.
TEST_F(Control, RandomBlockCutsMatchOneBlockPerSegment) {
  std::mt19937 rng(96000);
  std::uniform_real_distribution<float> level(-10.0f, 10.0f);
  std::uniform_int_distribution<uint32_t> segment_length(1, 700);
  std::uniform_int_distribution<int> coin(0, 3);
  for (int trial = 0; trial < 12; ++trial) {
    SCOPED_TRACE(testing::Message() << "trial " << trial);
    Rig whole(lib), cut(lib);
    ControlModel model(48000.0);
    for (int segment = 0; segment < 8; ++segment) {
      const float v = level(rng);
      const float sw = coin(rng) == 0 ? 0.0f : 1.0f;
      const uint32_t n = segment_length(rng);
      whole.control_value = cut.control_value = v;
      whole.smoothing_value = cut.smoothing_value = sw;
      const std::vector<float> expected = whole.run(n);
      std::vector<float> pieces;
      for (uint32_t left = n; left > 0;) {
        const uint32_t piece = std::min(left, std::uniform_int_distribution<uint32_t>(0, 90)(rng));
        append(pieces, cut.run(piece));
        left -= piece;
      }
      ASSERT_EQ(host::bits(pieces), host::bits(expected)) << "segment " << segment;
      ASSERT_EQ(host::bits(expected), host::bits(model.block(v, sw, n))) << "segment " << segment;
      ASSERT_EQ(whole.state(), model.state()) << "segment " << segment;
    }
    EXPECT_EQ(whole.state(), cut.state());
  }
}

}  // namespace
