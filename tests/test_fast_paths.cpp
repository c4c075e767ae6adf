// Every plugin's run against its sample-by-sample steps, bit for bit, with
// its ports placed in one arena: each port apart (where run takes its fast
// path), and every pair of ports that includes an output on one buffer or
// overlapping at an offset, an output covering element 0 of each control, all
// outputs on one buffer and all streams on one buffer. The steps
// are written here as a model per plugin; streams carry random values mixed
// with the values whose bits are hardest to keep. The same cases run against
// the build with the software fused multiply-add, whose plugins take their
// loops for processors without AVX.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "plugins/zul-cv-round/rounding.hpp"
#include "shell/fma.hpp"
#include "shell/plugin.hpp"
#include "tests/host.hpp"
#include "tests/port_table.hpp"

namespace {

constexpr double sample_rate = 48000.0;
const float nan = host::from_bits(0x7fc00000);
const float inf = host::from_bits(0x7f800000);

// The ports of one call: port p's sample i is at(p, i) in the arena.
struct Ports {
  float* arena;
  const std::vector<size_t>& offsets;
  float& operator()(uint32_t port, uint32_t i) const { return arena[offsets[port] + i]; }
};

int32_t reading(float value) {
  return zul::switch_reading(value);
}

bool finite(float value) {
  return (host::bits(value) & 0x7f800000u) != 0x7f800000u;
}

bool finite(double value) {
  return (std::bit_cast<uint64_t>(value) & 0x7ff0000000000000u) != 0x7ff0000000000000u;
}

// One plugin's steps, sample by sample and within a sample in the order the
// plugin reads and writes, with the state it carries from call to call.
class Model {
 public:
  virtual ~Model() = default;
  virtual void run(const Ports& at, uint32_t n) = 0;
};

class Switch1 : public Model {
  void run(const Ports& at, uint32_t n) override {
    const int32_t s = reading(at(3, 0));
    if (s != 0 && s != 1) return;
    const uint32_t chosen = s == 0 ? 1 : 2, silenced = s == 0 ? 2 : 1;
    for (uint32_t i = 0; i < n; ++i) {
      const float x = at(0, i);
      at(chosen, i) = x;
      at(silenced, i) = 0.0f;
    }
  }
};

class Switch2 : public Model {
  void run(const Ports& at, uint32_t n) override {
    const int32_t s = reading(at(3, 0));
    if (s != 0 && s != 1) return;
    for (uint32_t i = 0; i < n; ++i) at(2, i) = at(s == 0 ? 0 : 1, i);
  }
};

class Abs : public Model {
  void run(const Ports& at, uint32_t n) override {
    for (uint32_t i = 0; i < n; ++i) {
      const bool on = reading(at(2, 0)) == 1;
      const float x = at(0, i);
      at(1, i) = on ? host::from_bits(host::bits(x) & 0x7fffffffu) : x;
    }
  }
};

class Round : public Model {
  static float fraction(float x) {
    if (x > -2147483648.0f && x < 2147483648.0f) {
      return x - static_cast<float>(static_cast<int32_t>(x));
    }
    return x != x ? rounding::quiet(x) : 0.0f;
  }
  void run(const Ports& at, uint32_t n) override {
    for (uint32_t i = 0; i < n; ++i) {
      if (reading(at(5, 0)) != 1) {
        for (uint32_t p = 1; p <= 4; ++p) at(p, i) = 0.0f;
        continue;
      }
      const float x = at(0, i);
      const float results[] = {static_cast<float>(rounding::floor(static_cast<double>(x) + 0.5)),
                               rounding::ceiling(x), rounding::floor(x), fraction(x)};
      for (uint32_t p = 1; p <= 4; ++p) at(p, i) = results[p - 1];
    }
  }
};

class ParameterModulation : public Model {
  void run(const Ports& at, uint32_t n) override {
    const float depth = at(3, 0), offset = at(2, 0);
    if (n == 0) return;
    const double gain = static_cast<double>(depth) * 0.01;
    const double bias = static_cast<double>(offset) * 0.1;
    for (uint32_t i = 0; i < n; ++i) {
      if (reading(at(4, 0)) != 1) {
        at(1, i) = 0.0f;
        continue;
      }
      float v = static_cast<float>(zul::fma_software(static_cast<double>(at(0, i)), gain, bias));
      v = v < 10.0f ? v : 10.0f;
      at(1, i) = v > 0.0f ? v : 0.0f;
    }
  }
};

// A step that would make the glided value infinite or NaN leaves it.
// A step lost to rounding is kept aside until the sum of such steps moves the
// value.
class Slew : public Model {
  const float rate_ = static_cast<float>(sample_rate);
  float current_ = 0.0f;
  float dropped_ = 0.0f;
  void glide(float x, float t) {
    const float q = ((x - current_) * 999.99994f) / (t * rate_);
    const float next = current_ + q;
    if (!finite(next)) return;
    if (next != current_) {
      current_ = next;
      dropped_ = 0.0f;
      return;
    }
    dropped_ = dropped_ + q;
    const float gathered = current_ + dropped_;
    if (finite(gathered) && gathered != current_) {
      current_ = gathered;
      dropped_ = 0.0f;
    }
  }
  void run(const Ports& at, uint32_t n) override {
    for (uint32_t i = 0; i < n; ++i) {
      const float e = at(4, 0);
      const float x = at(0, i);
      if (e != 1.0f) {
        at(1, i) = x;
        continue;
      }
      const float r = at(2, 0), f = at(3, 0);
      if (r != 0.0f && current_ < x) {
        glide(x, r);
      } else if (f != 0.0f && current_ > x) {
        glide(x, f);
      }
      at(1, i) = current_;
    }
  }
};

class Gate : public Model {
  bool open_ = false;
  void run(const Ports& at, uint32_t n) override {
    for (uint32_t i = 0; i < n; ++i) {
      if (reading(at(5, 0)) != 1) {
        at(2, i) = at(1, i);
        continue;
      }
      const float x = at(0, 0), a = at(3, 0), b = at(4, 0);
      if (x < a) {
        if (x <= b) open_ = false;
      } else {
        open_ = x > b;
      }
      at(2, i) = open_ ? at(1, i) : 0.0f;
    }
  }
};

class Range : public Model {
  float last_in_ = 0.0f, last_out_ = 0.0f;
  void run(const Ports& at, uint32_t n) override {
    for (uint32_t i = 0; i < n; ++i) {
      if (reading(at(5, 0)) == 1) last_in_ = last_out_ = 0.0f;
      const float low = at(3, 0);
      const float x = at(0, 0);
      if (x >= low && !(x > at(4, 0))) {
        last_in_ = x;
        at(1, i) = x;
        at(2, i) = last_out_;
      } else {
        last_out_ = x;
        at(1, i) = last_in_;
        at(2, i) = x;
      }
    }
  }
};

// The filter takes the control value at every sample; a step that would
// leave its state infinite or NaN is dropped. The output carries the control
// value until smoothing reads 1, then the filter's value, kept while
// smoothing reads anything else.
class Control : public Model {
  const double pole_ = std::exp(-3455.7519189487725 / sample_rate);
  const double weight_ = 1.0 - pole_;
  double state_ = 0.0;
  void run(const Ports& at, uint32_t n) override {
    const float value = at(1, 0);
    if (n == 0) return;
    float y = value;
    for (uint32_t i = 0; i < n; ++i) {
      const double next = zul::fma_software(weight_, static_cast<double>(value), pole_ * state_);
      if (finite(next)) state_ = next;
      if (reading(at(2, 0)) == 1) y = static_cast<float>(state_);
      at(0, i) = y;
    }
  }
};

// What each plugin is driven with: its model, for each control (or stream
// read at element 0 only) the values its element 0 takes, and values that its
// streams carry often.
struct Plugin {
  std::function<std::unique_ptr<Model>()> model;
  std::map<uint32_t, std::vector<float>> firsts;
  std::vector<float> streams = {};
};

template <class M>
std::function<std::unique_ptr<Model>()> make() {
  return [] { return std::make_unique<M>(); };
}

const std::map<std::string, Plugin>& plugins() {
  static const std::map<std::string, Plugin> table = {
      {"zul-cv-switch1", {make<Switch1>(), {{3, {0.0f, 1.0f, 1.5f, 2.0f, -1.0f, nan}}}}},
      {"zul-cv-switch2", {make<Switch2>(), {{3, {0.0f, 1.0f, 0.5f, 2.0f, nan}}}}},
      {"zul-cv-abs", {make<Abs>(), {{2, {1.0f, 0.0f, 1.5f, 2.0f}}}}},
      {"zul-cv-round", {make<Round>(), {{5, {1.0f, 0.0f, 1.7f}}}}},
      // With depth 101 and offset -93 or -86 these inputs give another single
      // where the product is rounded before the sum (the plugin's own tests
      // hold the bits): the vector loop must fuse as the scalar one does.
      {"zul-cv-parameter-modulation",
       {make<ParameterModulation>(),
        {{2, {0.0f, -93.0f, -86.0f, 20.0f, 100.0f}},
         {3, {100.0f, 101.0f, -101.0f, -33.0f, 0.0f}},
         {4, {1.0f, 1.0f, 0.0f, 1.5f}}},
        {host::from_bits(0x4152b1b7), host::from_bits(0x41479ac5), host::from_bits(0xc152b1b7)}}},
      {"zul-cv-slew",
       {make<Slew>(),
        {{2, {10.0f, 0.0f, 0.01f, 1.0f}},
         {3, {10.0f, 0.0f, 0.01f, 3.0f}},
         {4, {1.0f, 0.0f, 1.5f, nan}}}}},
      {"zul-cv-gate",
       {make<Gate>(),
        {{0, {5.0f, 2.0f, 0.5f, 3.0f, 1.0f, nan}},
         {3, {3.0f, 2.0f}},
         {4, {1.0f, 2.0f, nan}},
         {5, {1.0f, 0.0f}}}}},
      {"zul-cv-range",
       {make<Range>(),
        {{0, {2.5f, 7.0f, -1.0f, 0.0f, 5.0f, nan}},
         {3, {0.0f, 5.0f}},
         {4, {5.0f, 0.0f, nan}},
         {5, {0.0f, 1.0f}}}}},
      {"zul-cv-control",
       {make<Control>(),
        {{1, {1.0f, -1.0f, 0.3f, 7.5f, inf, nan}}, {2, {1.0f, 0.0f, 1.5f, 2.0f}}}}},
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

class FastPaths : public testing::TestWithParam<std::string> {};

TEST_P(FastPaths, EveryLayoutGivesTheSampleBySampleResult) {
  const std::string name = GetParam();
  if (!std::filesystem::exists(host::library_path(name))) {
    GTEST_SKIP() << name << " is not staged in " << host::bundle_path(name);
  }
  const ports::Plugin* table = ports::find(name.c_str());
  ASSERT_NE(table, nullptr);
  ASSERT_TRUE(plugins().contains(name)) << "no model for " << name;
  const Plugin& plugin = plugins().at(name);
  host::Library lib(name);
  Values values(20240611, plugin.streams);
  for (uint32_t n : {1u, 2u, 3u, 5u, 8u, 9u, 16u, 17u, 33u, 64u, 255u}) {
    for (const Layout& layout : layouts(*table, n)) {
      SCOPED_TRACE(testing::Message() << name << ", " << layout.name << ", n " << n);
      host::Instance instance(lib, sample_rate);
      std::unique_ptr<Model> model = plugin.model();
      const size_t size = margin + table->ports.size() * (n + 32) + margin;
      // Many calls where run takes its fast path, so that it meets every
      // mix of control values.
      const int calls = layout.name == "apart" ? 30 : 3;
      for (int call = 0; call < calls; ++call) {
        std::vector<float> arena(size);
        for (float& v : arena) v = values.next();
        for (const auto& [port, firsts] : plugin.firsts) {
          arena[layout.offsets[port]] = values.choose(firsts);
        }
        std::vector<float> expected = arena;
        model->run(Ports{expected.data(), layout.offsets}, n);
        for (const ports::Port& p : table->ports) {
          instance.connect(p.index, arena.data() + layout.offsets[p.index]);
        }
        instance.run(n);
        for (size_t i = 0; i < size; ++i) {
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
