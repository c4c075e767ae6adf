// Every plugin's run against the reference model, bit for bit, with its
// ports placed in one arena: each port apart and in place (where run takes its
// block loop), and every pair of ports that includes an output on one buffer
// or overlapping at an offset, an output covering element 0 of each control,
// all outputs on one buffer and all streams on one buffer. Streams carry
// random values mixed with the values whose bits are hardest to keep. The
// same cases run against the build with the baseline variant forced (the
// software fused multiply-add, no AVX), so both variants are compared on a
// machine that has AVX2.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "shell/variant.hpp"
#include "tests/fuzz/reference.hpp"
#include "tests/host.hpp"
#include "tests/port_table.hpp"

namespace {

constexpr double sample_rate = 48000.0;
const float nan = host::from_bits(0x7fc00000);
const float inf = host::from_bits(0x7f800000);

// What each plugin is driven with: for each control (or stream read at
// element 0 only) the values its element 0 takes, and values that its
// streams carry often.
struct Plugin {
  std::map<uint32_t, std::vector<float>> firsts;
  std::vector<float> streams = {};
};

const std::map<std::string, Plugin>& plugins() {
  static const std::map<std::string, Plugin> table = {
      {"zul-cv-switch1", {{{3, {0.0f, 1.0f, 1.5f, 2.0f, -1.0f, nan}}}}},
      {"zul-cv-switch2", {{{3, {0.0f, 1.0f, 0.5f, 2.0f, nan}}}}},
      {"zul-cv-abs", {{{2, {1.0f, 0.0f, 1.5f, 2.0f}}}}},
      {"zul-cv-round", {{{5, {1.0f, 0.0f, 1.7f}}}}},
      // With depth 101 and offset -93 or -86 these inputs give another single
      // where the product is rounded before the sum (the plugin's own tests
      // hold the bits): the vector loop must fuse as the scalar one does.
      {"zul-cv-parameter-modulation",
       {{{2, {0.0f, -93.0f, -86.0f, 20.0f, 100.0f}},
         {3, {100.0f, 101.0f, -101.0f, -33.0f, 0.0f}},
         {4, {1.0f, 1.0f, 0.0f, 1.5f}}},
        {host::from_bits(0x4152b1b7), host::from_bits(0x41479ac5), host::from_bits(0xc152b1b7)}}},
      {"zul-cv-slew",
       {{{2, {10.0f, 0.0f, 0.01f, 1.0f}},
         {3, {10.0f, 0.0f, 0.01f, 3.0f}},
         {4, {1.0f, 0.0f, 1.5f, nan}}},
        {0.0f, -0.0f}}},
      {"zul-cv-gate",
       {{{0, {5.0f, 2.0f, 0.5f, 3.0f, 1.0f, nan}},
         {3, {3.0f, 2.0f}},
         {4, {1.0f, 2.0f, nan}},
         {5, {1.0f, 0.0f}}}}},
      {"zul-cv-range",
       {{{0, {2.5f, 7.0f, -1.0f, 0.0f, 5.0f, nan}},
         {3, {0.0f, 5.0f}},
         {4, {5.0f, 0.0f, nan}},
         {5, {0.0f, 1.0f}}}}},
      {"zul-cv-control",
       {{{1, {1.0f, -1.0f, 0.3f, 7.5f, inf, nan}}, {2, {1.0f, 0.0f, 1.5f, 2.0f}}}}},
  };
  return table;
}

// Where each port's buffer starts, and what the case is called.
struct Layout {
  std::string name;
  std::vector<size_t> offsets;
};

constexpr size_t margin = 16;  // room below the first port for negative offsets

// Each port in its own region of n + 32 floats, with a gap between regions.
std::vector<size_t> apart(const ports::Plugin& p, uint32_t n) {
  std::vector<size_t> offsets;
  for (size_t k = 0; k < p.ports.size(); ++k) offsets.push_back(margin + k * (n + 32));
  return offsets;
}

std::vector<Layout> layouts(const ports::Plugin& p, uint32_t n) {
  std::vector<Layout> cases = {{"apart", apart(p, n)}};
  const auto symbol = [&](size_t k) { return std::string(p.ports[k].symbol); };
  const auto stream = [&](size_t k) { return p.ports[k].kind == ports::cv; };
  const auto output = [&](size_t k) { return p.ports[k].direction == ports::out; };
  for (size_t a = 0; a < p.ports.size(); ++a) {
    for (size_t b = 0; b < p.ports.size(); ++b) {
      if (a == b) continue;
      // Two streams of which at least one is written: b at a's start moved by d.
      if (stream(a) && stream(b) && (output(a) || output(b)) && a < b) {
        for (long d : {0L, 1L, -1L, 2L, -3L, 8L, -9L}) {
          Layout l{symbol(b) + " at " + symbol(a) + std::to_string(d), apart(p, n)};
          l.offsets[b] = static_cast<size_t>(static_cast<long>(l.offsets[a]) + d);
          cases.push_back(l);
        }
      }
      // A control's storage at sample k of an output: inside it, or just
      // before or after it, where nothing overlaps.
      if (!stream(b) && output(a)) {
        for (long k : {0L, 1L, static_cast<long>(n / 2), static_cast<long>(n) - 1,
                       static_cast<long>(n), -1L}) {
          Layout l{symbol(b) + " at " + symbol(a) + "[" + std::to_string(k) + "]", apart(p, n)};
          l.offsets[b] = static_cast<size_t>(static_cast<long>(l.offsets[a]) + k);
          cases.push_back(l);
        }
      }
    }
  }
  // As lv2bench connects them: every output on the first output's buffer.
  Layout outputs{"all outputs on one buffer", apart(p, n)};
  size_t first = p.ports.size(), count = 0;
  for (size_t k = 0; k < p.ports.size(); ++k) {
    if (!output(k)) continue;
    if (count++ == 0) first = k;
    outputs.offsets[k] = outputs.offsets[first];
  }
  if (count > 1) cases.push_back(outputs);
  Layout all{"all streams on one buffer", apart(p, n)};
  for (size_t k = 0; k < p.ports.size(); ++k) {
    if (stream(k)) all.offsets[k] = margin;
  }
  cases.push_back(all);
  return cases;
}

// Mostly ordinary CV values, with halves, whole numbers past 2^23, the
// tricky bit patterns and arbitrary bits in between.
class Values {
 public:
  Values(uint32_t seed, const std::vector<float>& often) : rng_(seed), often_(often) {}
  float next() {
    if (!often_.empty() && pick_(rng_) < 2) return choose(often_);
    switch (pick_(rng_)) {
      case 0:
      case 1:
      case 2:
        return ordinary_(rng_);
      case 3:
        return static_cast<float>(halves_(rng_)) + 0.5f;
      case 4:
        return static_cast<float>(large_(rng_));
      case 5:
        return tricky_[tricky_index_(rng_)];
      default:
        return host::from_bits(bits_(rng_));
    }
  }
  template <class T>
  const T& choose(const std::vector<T>& from) {
    return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng_)];
  }

 private:
  std::mt19937 rng_;
  const std::vector<float>& often_;
  std::uniform_int_distribution<int> pick_{0, 6};
  std::uniform_real_distribution<float> ordinary_{-12.0f, 12.0f};
  std::uniform_int_distribution<int> halves_{-20, 20};
  std::uniform_int_distribution<long long> large_{-(1LL << 33), 1LL << 33};
  std::vector<float> tricky_ = host::tricky_values();
  std::uniform_int_distribution<size_t> tricky_index_{0, tricky_.size() - 1};
  std::uniform_int_distribution<uint32_t> bits_;
};

// Names the samples of the ports that an arena index belongs to.
std::string where(const ports::Plugin& p, const std::vector<size_t>& offsets, uint32_t n,
                  size_t index) {
  std::ostringstream text;
  text << "arena[" << index << "]";
  for (size_t k = 0; k < p.ports.size(); ++k) {
    const size_t length = p.ports[k].kind == ports::cv ? n : 1;
    if (index >= offsets[k] && index < offsets[k] + length) {
      text << " = " << p.ports[k].symbol << "[" << index - offsets[k] << "]";
    }
  }
  return text.str();
}

// The variant the staged libraries take here: the baseline where the tests
// force it (ZUL_TEST_STAGE_DIR names the forced build), or what this
// processor runs. Empty where that is the baseline again on x86-64: the
// forced stage already runs it.
std::string variant_here() {
  if (std::getenv("ZUL_TEST_AVX512") != nullptr) return "avx512 (every plugin)";
  if (std::getenv("ZUL_TEST_STAGE_DIR") != nullptr) return "baseline (forced)";
#if defined(__x86_64__)
  return zul::processor_variant() != zul::Variant::baseline ? "avx2" : "";
#else
  return "baseline";
#endif
}

class FastPaths : public testing::TestWithParam<std::string> {};

TEST_P(FastPaths, EveryLayoutGivesTheSampleBySampleResult) {
  const std::string name = GetParam();
  if (!std::filesystem::exists(host::library_path(name))) {
    GTEST_SKIP() << name << " is not staged in " << host::bundle_path(name);
  }
  if (const std::string missing = host::avx512_missing(); !missing.empty()) GTEST_SKIP() << missing;
  const std::string variant = variant_here();
  if (variant.empty()) {
    GTEST_SKIP() << "the avx2 variant: this processor lacks AVX2 or FMA, so the build as staged "
                    "runs the baseline, which the software_fma. tests run";
  }
  RecordProperty("variant", variant);
  const ports::Plugin* table = ports::find(name.c_str());
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(plugins().contains(name)) << "no driving values for " << name;
  const std::optional<reference::Plugin> which = reference::plugin_named(name);
  ASSERT_TRUE(which.has_value());
  const Plugin& plugin = plugins().at(name);
  host::Library lib(name);
  Values values(20240611, plugin.streams);
  for (uint32_t n : {1u, 2u, 3u, 5u, 8u, 9u, 16u, 17u, 33u, 64u, 255u}) {
    for (const Layout& layout : layouts(*table, n)) {
      SCOPED_TRACE(testing::Message()
                   << name << ", " << variant << ", " << layout.name << ", n " << n);
      host::Instance instance(lib, sample_rate);
      std::optional<reference::Model> model = reference::instantiate(*which, sample_rate);
      ASSERT_TRUE(model.has_value());
      const size_t size = margin + table->ports.size() * (n + 32) + margin;
      // Many calls where run takes its block loop, so that it meets every
      // mix of control values.
      const int calls = layout.name == "apart" ? 30 : 3;
      for (int call = 0; call < calls; ++call) {
        std::vector<float> arena(size);
        for (float& v : arena) v = values.next();
        for (const auto& [port, firsts] : plugin.firsts) {
          arena[layout.offsets[port]] = values.choose(firsts);
        }
        std::vector<float> expected = arena;
        for (const ports::Port& p : table->ports) {
          reference::connect_port(*model, p.index, expected.data() + layout.offsets[p.index]);
          instance.connect(p.index, arena.data() + layout.offsets[p.index]);
        }
        reference::run(*model, n);
        instance.run(n);
        std::vector<bool> computed(size);
        for (const float* at : model->computed_nans) {
          computed[static_cast<size_t>(at - expected.data())] = true;
        }
        for (size_t i = 0; i < size; ++i) {
          if (computed[i] && std::isnan(arena[i]) && std::isnan(expected[i])) continue;
          ASSERT_EQ(host::bits(arena[i]), host::bits(expected[i]))
              << "call " << call << ", " << where(*table, layout.offsets, n, i);
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Plugins, FastPaths, testing::ValuesIn(host::plugin_names()),
                         host::PluginTestName());

}  // namespace
