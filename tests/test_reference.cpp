// Every staged plugin against the reference model: the fuzzer's seed corpus
// replayed, then thousands of sessions decoded from random bytes. Each session
// mixes block lengths from 0 to 4096, edge values in controls and inputs, and
// ports that share storage; after every call both arenas must hold the same
// bits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <thread>

#include "tests/fp_register.hpp"
#include "tests/fuzz/reference.hpp"
#include "tests/fuzz/scenario.hpp"
#include "tests/host.hpp"

namespace {

constexpr int random_sessions = 3000;

std::vector<uint8_t> read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Reference : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    // The build with the software fused multiply-add stages only the plugins
    // that use it.
    if (access(host::library_path(GetParam()).c_str(), F_OK) != 0) {
      GTEST_SKIP() << GetParam() << " is not staged in " << host::bundle_path(GetParam());
    }
    if (const std::string missing = host::avx512_missing(); !missing.empty()) {
      GTEST_SKIP() << missing;
    }
    const std::optional<reference::Plugin> which = reference::plugin_named(cv_plugin());
    ASSERT_TRUE(which) << "no model for " << cv_plugin();
    model = *which;
    lib = std::make_unique<host::Library>(GetParam());
  }

  // The CV plugin whose model and seeds an audio-port form shares.
  std::string cv_plugin() const {
    const std::string& name = GetParam();
    const std::string suffix = "-audio";
    return name.ends_with(suffix) ? name.substr(0, name.size() - suffix.size()) : name;
  }

  std::string compare(const std::vector<uint8_t>& bytes,
                      std::optional<uint64_t> host_mode = {}) const {
    return scenario::compare(lib->plugin(), model, scenario::decode(model, bytes), host_mode);
  }

  std::vector<std::filesystem::path> seeds() const {
    const std::filesystem::path dir = std::filesystem::path(ZUL_TEST_CORPUS_DIR) / cv_plugin();
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
  }

  reference::Plugin model{};
  std::unique_ptr<host::Library> lib;
};

TEST_P(Reference, RunsUnderThePluginsFloatingPointMode) {
  EXPECT_TRUE(fp_register::plugin_mode_in_force());
}

TEST_P(Reference, SeedCorpusMatches) {
  const std::vector<std::filesystem::path> all = seeds();
  ASSERT_FALSE(all.empty()) << "no seeds in the corpus of " << cv_plugin();
  for (const auto& seed : all) {
    const std::string difference = compare(read_file(seed));
    ASSERT_TRUE(difference.empty()) << seed << ": " << difference;
  }
}

// Whatever mode the host's thread is in, run computes in the plugins' own and
// hands the thread back its register as it was: the seeds and random sessions
// give the model's bits, on a thread started after the library was loaded.
TEST_P(Reference, SessionsMatchInEveryHostMode) {
  for (const fp_register::HostMode& host_mode : fp_register::host_modes) {
    SCOPED_TRACE(host_mode.name);
    std::vector<std::vector<uint8_t>> sessions;
    for (const auto& seed : seeds()) sessions.push_back(read_file(seed));
    std::mt19937 rng(20261209u);
    std::uniform_int_distribution<int> length(4, 320), byte(0, 255);
    for (int k = 0; k < 1000; ++k) {
      sessions.emplace_back(static_cast<size_t>(length(rng)));
      for (uint8_t& b : sessions.back()) b = static_cast<uint8_t>(byte(rng));
    }
    std::thread host([&] {
      // What the processor keeps of the mode: some have no traps to enable.
      fp_register::write(host_mode.value);
      const uint64_t kept = fp_register::read();
      fp_register::write(fp_register::plugin_mode);
      for (size_t k = 0; k < sessions.size(); ++k) {
        const std::string difference = compare(sessions[k], kept);
        ASSERT_TRUE(difference.empty()) << "session " << k << ": " << difference;
      }
    });
    host.join();
  }
}

TEST_P(Reference, RandomSessionsMatch) {
  std::mt19937 rng(20240601u + static_cast<unsigned>(GetParam().size()));
  std::uniform_int_distribution<int> length(4, 320), byte(0, 255);
  for (int k = 0; k < random_sessions; ++k) {
    std::vector<uint8_t> bytes(static_cast<size_t>(length(rng)));
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(rng));
    const std::string difference = compare(bytes);
    ASSERT_TRUE(difference.empty()) << "session " << k << ": " << difference;
  }
}

// The model itself, on results known without it, so that a fault in the
// model cannot hide behind a plugin that agrees with it. A loaded plugin
// library puts the test thread under the plugins' floating-point mode.
class ReferenceModel : public testing::Test {
 protected:
  host::Library lib{host::plugin_names().front()};
};

// The model alone, on buffers of the test's own.
struct Bench {
  explicit Bench(reference::Plugin p, double rate = 48000.0)
      : model(*reference::instantiate(p, rate)) {}
  void connect(uint32_t port, float* data) { reference::connect_port(model, port, data); }
  void connect(uint32_t port, float& value) { connect(port, &value); }
  void run(uint32_t n) { reference::run(model, n); }
  reference::Model model;
};

constexpr uint32_t pos_zero = 0x00000000, neg_zero = 0x80000000;
const float nan = host::from_bits(0x7fc00000);
const float inf = host::from_bits(0x7f800000);

TEST_F(ReferenceModel, SwitchReading) {
  ASSERT_TRUE(fp_register::plugin_mode_in_force());
  const float no_reading[] = {nan, 2147483648.0f, -2147483904.0f, inf, -inf};
  for (float v : no_reading) EXPECT_FALSE(reference::switch_reading(v)) << v;
  EXPECT_EQ(reference::switch_reading(0.99f), 0);
  EXPECT_EQ(reference::switch_reading(1.0f), 1);
  EXPECT_EQ(reference::switch_reading(1.5f), 1);
  EXPECT_EQ(reference::switch_reading(2.0f), 2);
  EXPECT_EQ(reference::switch_reading(-0.5f), 0);
  EXPECT_EQ(reference::switch_reading(-1.0f), -1);
  EXPECT_EQ(reference::switch_reading(host::from_bits(0x80000001)), 0);
  EXPECT_EQ(reference::switch_reading(-2147483648.0f), INT32_MIN);
  EXPECT_EQ(reference::switch_reading(2147483520.0f), 2147483520);
}

TEST_F(ReferenceModel, RoundsFourWays) {
  struct Case {
    uint32_t x, round, ceil, floor, fraction;
  };
  const Case cases[] = {
      {0x40200000, 0x40400000, 0x40400000, 0x40000000, 0x3f000000},  // 2.5: 3 3 2 0.5
      {0xc0200000, 0xc0000000, 0xc0000000, 0xc0400000, 0xbf000000},  // -2.5: -2 -2 -3 -0.5
      {0xbf000000, pos_zero, neg_zero, 0xbf800000, 0xbf000000},      // -0.5: +0 -0 -1 -0.5
      {0xc0300000, 0xc0400000, 0xc0000000, 0xc0400000, 0xbf400000},  // -2.75
      {0x40400000, 0x40400000, 0x40400000, 0x40400000, pos_zero},    // 3
      {0x3effffff, pos_zero, 0x3f800000, pos_zero, 0x3effffff},      // 0.49999997
      {0x4b000001, 0x4b000001, 0x4b000001, 0x4b000001, pos_zero},    // 2^23 + 1
      {0x00000001, pos_zero, pos_zero, pos_zero, pos_zero},          // denormals read as zero
      {0x80000001, pos_zero, neg_zero, neg_zero, neg_zero},
      {0x4f32d05e, 0x4f32d05e, 0x4f32d05e, 0x4f32d05e, pos_zero},  // 3e9
      {0xcf000000, 0xcf000000, 0xcf000000, 0xcf000000, pos_zero},  // -2^31
      {0xff800000, 0xff800000, 0xff800000, 0xff800000, pos_zero},  // -inf
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.x);
    Bench bench(reference::Plugin::round);
    float in = host::from_bits(c.x), on = 1.7f;
    float out[4];
    bench.connect(0, in);
    for (uint32_t p = 0; p < 4; ++p) bench.connect(1 + p, out[p]);
    bench.connect(5, on);
    bench.run(1);
    EXPECT_EQ(host::bits(out, 4), (std::vector<uint32_t>{c.round, c.ceil, c.floor, c.fraction}));
  }
  // A NaN, signalling or quiet, comes out quiet on all four outputs with its
  // sign and payload: exact bits, not just any NaN.
  Bench bench(reference::Plugin::round);
  float in = nan, on = 1.0f;
  float out[4];
  bench.connect(0, in);
  for (uint32_t p = 0; p < 4; ++p) bench.connect(1 + p, out[p]);
  bench.connect(5, on);
  for (uint32_t x : {0x7fc00000u, 0xff800001u, 0x7fa12345u, 0xffd54321u}) {
    in = host::from_bits(x);
    bench.run(1);
    EXPECT_EQ(host::bits(out, 4), std::vector<uint32_t>(4, x | 0x00400000u));
    EXPECT_TRUE(bench.model.computed_nans.empty());
  }
  on = 2.0f;
  bench.run(1);
  EXPECT_EQ(host::bits(out, 4), std::vector<uint32_t>(4, pos_zero));
}

TEST_F(ReferenceModel, ModulatesWithinZeroToTen) {
  struct Case {
    float x, depth, offset, out;
  };
  const Case cases[] = {
      {5.0f, 100.0f, 0.0f, 5.0f},     {4.0f, 50.0f, 20.0f, 4.0f},    {2.0f, 100.0f, 50.0f, 7.0f},
      {12.0f, 100.0f, 0.0f, 10.0f},   {-3.0f, 100.0f, 0.0f, 0.0f},   {3.0f, 100.0f, 80.0f, 10.0f},
      {10.0f, 100.0f, -100.0f, 0.0f}, {7.0f, -100.0f, 100.0f, 3.0f}, {123.0f, 0.0f, 30.0f, 3.0f},
      {1.0f, 33.0f, 0.0f, 0.33f},     {nan, 50.0f, 10.0f, 10.0f},    {-0.0f, 100.0f, 0.0f, 0.0f},
      {inf, -100.0f, 0.0f, 0.0f},
  };
  for (const Case& c : cases) {
    Bench bench(reference::Plugin::parameter_modulation);
    float in = c.x, out = nan, offset = c.offset, depth = c.depth, on = 1.0f;
    bench.connect(0, in);
    bench.connect(1, out);
    bench.connect(2, offset);
    bench.connect(3, depth);
    bench.connect(4, on);
    bench.run(1);
    EXPECT_EQ(host::bits(out), host::bits(c.out)) << c.x << " " << c.depth << " " << c.offset;
  }
}

TEST_F(ReferenceModel, GlidesWithTheSingleConstant) {
  Bench bench(reference::Plugin::slew);
  std::vector<float> in(480, 1.0f), out(480);
  float rise = 10.0f, fall = 10.0f, on = 1.0f;
  bench.connect(0, in.data());
  bench.connect(1, out.data());
  bench.connect(2, rise);
  bench.connect(3, fall);
  bench.connect(4, on);
  bench.run(480);
  EXPECT_EQ(host::bits(out[0]), 0x3B088888u);
  EXPECT_FLOAT_EQ(out[1], 0.004162326f);
  EXPECT_FLOAT_EQ(out[479], 0.63250375f);

  Bench short_time(reference::Plugin::slew);
  rise = fall = 0.01f;
  short_time.connect(0, in.data());
  short_time.connect(1, out.data());
  short_time.connect(2, rise);
  short_time.connect(3, fall);
  short_time.connect(4, on);
  short_time.run(3);
  // A step that would pass the input lands on it.
  EXPECT_EQ(std::vector<float>(out.begin(), out.begin() + 3), std::vector<float>(3, 1.0f));
  // An infinite sample would make the state infinite: it is ignored like a NaN.
  in[0] = inf;
  short_time.run(1);
  EXPECT_EQ(out[0], 1.0f);
  on = 1.5f;  // not exactly 1.0: a copy
  short_time.run(1);
  EXPECT_EQ(host::bits(out[0]), host::bits(inf));

  for (double rate :
       {0.0, -48000.0, 1.0e-39, 1.0e39, static_cast<double>(inf), static_cast<double>(nan)}) {
    EXPECT_FALSE(reference::instantiate(reference::Plugin::slew, rate)) << rate;
  }
  for (double rate : {static_cast<double>(FLT_MIN), static_cast<double>(FLT_MAX), 1.0}) {
    EXPECT_TRUE(reference::instantiate(reference::Plugin::slew, rate)) << rate;
  }
}

TEST_F(ReferenceModel, SmoothsTheControlAtEverySample) {
  Bench bench(reference::Plugin::control);
  EXPECT_DOUBLE_EQ(bench.model.feedback_coefficient, 0.9305357051378595);
  EXPECT_DOUBLE_EQ(bench.model.input_coefficient, 0.06946429486214045);
  std::vector<float> out(8);
  float control = 1.0f, smoothing = 0.0f;
  bench.connect(0, out.data());
  bench.connect(1, control);
  bench.connect(2, smoothing);
  bench.run(8);
  EXPECT_EQ(out, std::vector<float>(8, 1.0f));
  EXPECT_NEAR(bench.model.filter_state, 0.4378343, 5e-8);  // 1 - a^8
  smoothing = 1.0f;
  bench.run(2);
  EXPECT_NEAR(out[0], 0.4768848, 5e-8);  // 1 - a^9
  EXPECT_NEAR(out[1], 0.5132226, 5e-8);  // 1 - a^10: the control is the input at every sample

  Bench fresh(reference::Plugin::control);
  fresh.connect(0, out.data());
  fresh.connect(1, control);
  fresh.connect(2, smoothing);
  fresh.run(2);
  EXPECT_EQ(out[0], static_cast<float>(0.06946429486214045));
  EXPECT_NEAR(out[1], 0.1341033, 5e-8);  // 1 - a^2
  control = inf;                         // an infinite step leaves the filter where it was
  const double before = fresh.model.filter_state;
  fresh.run(1);
  EXPECT_EQ(fresh.model.filter_state, before);

  for (double rate : {0.0, -0.0, -1.0, static_cast<double>(inf), static_cast<double>(nan)}) {
    EXPECT_FALSE(reference::instantiate(reference::Plugin::control, rate)) << rate;
  }
  const double denormal = std::numeric_limits<double>::denorm_min();
  EXPECT_TRUE(reference::instantiate(reference::Plugin::control, denormal));
}

TEST_F(ReferenceModel, GatesWithHysteresis) {
  Bench bench(reference::Plugin::gate);
  float level = 0.0f, in = -4.0f, out = nan, open = 3.0f, close = 1.0f, on = 1.0f;
  bench.connect(0, level);
  bench.connect(1, in);
  bench.connect(2, out);
  bench.connect(3, open);
  bench.connect(4, close);
  bench.connect(5, on);
  const std::pair<float, uint32_t> steps[] = {
      {2.0f, pos_zero},                     // fresh: closed inside the band
      {4.0f, 0xc0800000},                   // opens
      {2.0f, 0xc0800000},                   // holds open
      {0.5f, pos_zero},                     // closes
      {2.0f, pos_zero},                     // holds closed
      {3.0f, 0xc0800000},                   // the open threshold opens
      {1.0f, pos_zero},                     // the close threshold closes
      {4.0f, 0xc0800000}, {nan, pos_zero},  // a NaN level closes
      {2.0f, pos_zero},
  };
  for (const auto& [x, expected] : steps) {
    level = x;
    bench.run(1);
    EXPECT_EQ(host::bits(out), expected) << x;
  }
}

TEST_F(ReferenceModel, SplitsByRangeAndHolds) {
  Bench bench(reference::Plugin::range);
  float x = 0.0f, in_range = nan, out_of_range = nan, low = 0.0f, high = 5.0f, reset = 0.0f;
  bench.connect(0, x);
  bench.connect(1, in_range);
  bench.connect(2, out_of_range);
  bench.connect(3, low);
  bench.connect(4, high);
  bench.connect(5, reset);
  const std::tuple<float, float, float, float> steps[] = {
      {2.0f, 0.0f, 2.0f, 0.0f}, {7.0f, 0.0f, 2.0f, 7.0f}, {3.0f, 0.0f, 3.0f, 7.0f},
      {3.0f, 1.0f, 3.0f, 0.0f}, {9.0f, 0.0f, 3.0f, 9.0f}, {5.0f, 0.0f, 5.0f, 9.0f},
  };
  for (const auto& [value, r, expected_in, expected_out] : steps) {
    x = value;
    reset = r;
    bench.run(1);
    EXPECT_EQ(in_range, expected_in) << value;
    EXPECT_EQ(out_of_range, expected_out) << value;
  }
}

TEST_F(ReferenceModel, RectifiesAndRoutesExactBits) {
  Bench abs(reference::Plugin::abs);
  std::vector<float> in = {-2.5f, -0.0f, host::from_bits(0xffd54321), host::from_bits(0x80000001)};
  std::vector<float> out(4);
  float on = 1.99f;
  abs.connect(0, in.data());
  abs.connect(1, out.data());
  abs.connect(2, on);
  abs.run(4);
  EXPECT_EQ(host::bits(out), (std::vector<uint32_t>{0x40200000, 0, 0x7fd54321, 0x00000001}));
  on = 2.0f;
  abs.run(4);
  EXPECT_EQ(host::bits(out), host::bits(in));

  Bench switch1(reference::Plugin::switch1);
  std::vector<float> a = host::untouched(4), b = host::untouched(4);
  float selector = 1.9f;
  switch1.connect(0, in.data());
  switch1.connect(1, a.data());
  switch1.connect(2, b.data());
  switch1.connect(3, selector);
  switch1.run(4);
  EXPECT_EQ(host::bits(a), std::vector<uint32_t>(4, pos_zero));
  EXPECT_EQ(host::bits(b), host::bits(in));
  selector = 2.0f;
  a = host::untouched(4);
  switch1.run(4);
  EXPECT_EQ(host::bits(a), host::bits(host::untouched(4)));

  Bench switch2(reference::Plugin::switch2);
  std::vector<float> other = {1.0f, 2.0f, 3.0f, 4.0f}, output = host::untouched(4);
  selector = -0.5f;
  switch2.connect(0, in.data());
  switch2.connect(1, other.data());
  switch2.connect(2, output.data());
  switch2.connect(3, selector);
  switch2.run(4);
  EXPECT_EQ(host::bits(output), host::bits(in));
  selector = 1.0f;
  switch2.run(4);
  EXPECT_EQ(output, other);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Plugins, Reference, testing::ValuesIn(host::plugin_names()),
                         host::PluginTestName());
// The audio-port forms give their CV plugins' bits: the same model and seeds,
// and random sessions of their own.
INSTANTIATE_TEST_SUITE_P(AudioForms, Reference, testing::ValuesIn(host::audio_form_names()),
                         host::PluginTestName());
