// Every plugin, eight instances at once: each on its own thread, with its own
// sample rate, inputs and controls over many blocks, must give exactly the bits
// it gives when it runs alone. The instances share only the loaded library, so
// mutable state kept outside an instance shows here, and as a data race in the
// thread sanitizer's build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <latch>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/host.hpp"
#include "tests/port_table.hpp"

namespace {

constexpr int instance_count = 8;
constexpr int block_count = 1000;
constexpr uint32_t longest_block = 128;
constexpr double sample_rates[instance_count] = {
    48000.0, 44100.0, 96000.0, 22050.0, 192000.0, 8000.0, 48000.0, 1000.0,
};

// A control's value for one block: its default in feed 0, drawn from its
// range in the others (whole numbers for selectors and toggles).
float control_value(const ports::Port& port, int feed, std::mt19937& rng) {
  if (feed == 0) {
    return port.default_value;
  }
  if (port.hint == ports::Hint::none) {
    return std::uniform_real_distribution<float>(port.minimum, port.maximum)(rng);
  }
  std::uniform_int_distribution<int> whole(static_cast<int>(port.minimum),
                                           static_cast<int>(port.maximum));
  return static_cast<float>(whole(rng));
}

// Runs one instance through block_count blocks of random lengths (0 included)
// with every port connected: CV inputs random over their range, controls
// drawn anew for each block. Returns the bits of every output sample written.
std::vector<uint32_t> run_feed(const host::Library& lib, const ports::Plugin& plugin, int feed) {
  std::mt19937 rng(static_cast<uint32_t>(1000 + feed));
  host::Instance instance(lib, sample_rates[feed]);
  std::vector<std::vector<float>> buffers;
  for (const ports::Port& p : plugin.ports) {
    buffers.emplace_back(p.kind == ports::control ? 1 : longest_block);
  }
  for (const ports::Port& p : plugin.ports) instance.connect(p.index, buffers[p.index].data());

  std::vector<uint32_t> written;
  std::uniform_int_distribution<uint32_t> length(0, longest_block);
  for (int block = 0; block < block_count; ++block) {
    const uint32_t n = length(rng);
    for (const ports::Port& p : plugin.ports) {
      std::vector<float>& buffer = buffers[p.index];
      if (p.direction == ports::out) {
        std::fill(buffer.begin(), buffer.end(), host::from_bits(host::untouched_bits));
      } else if (p.kind == ports::control) {
        buffer[0] = control_value(p, feed, rng);
      } else {
        std::uniform_real_distribution<float> cv(p.minimum, p.maximum);
        for (float& x : buffer) x = cv(rng);
      }
    }
    instance.run(n);
    for (const ports::Port& p : plugin.ports) {
      if (p.direction == ports::out) {
        const std::vector<uint32_t> b = host::bits(buffers[p.index].data(), n);
        written.insert(written.end(), b.begin(), b.end());
      }
    }
  }
  return written;
}

// Where two results part, for a readable failure.
std::string difference(const std::vector<uint32_t>& got, const std::vector<uint32_t>& alone) {
  if (got.size() != alone.size()) {
    return std::to_string(got.size()) + " samples written, alone " + std::to_string(alone.size());
  }
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] != alone[i]) {
      return "sample " + std::to_string(i) + " differs";
    }
  }
  return "";
}

class Threads : public testing::TestWithParam<std::string> {};

TEST_P(Threads, EightInstancesAtOnceGiveWhatEachGivesAlone) {
  const ports::Plugin* plugin = ports::find(GetParam().c_str());
  ASSERT_NE(plugin, nullptr) << GetParam() << " has no rows in the port table";
  const host::Library lib(GetParam());

  std::vector<std::vector<uint32_t>> alone;
  for (int feed = 0; feed < instance_count; ++feed) {
    alone.push_back(run_feed(lib, *plugin, feed));
  }
  const std::set<std::vector<uint32_t>> distinct(alone.begin(), alone.end());
  ASSERT_EQ(distinct.size(), alone.size()) << "two feeds gave the same output";

  // Every thread takes this thread's floating-point mode (the one loading the
  // library set) and starts its instance when all eight are ready.
  std::fenv_t mode;
  ASSERT_EQ(std::fegetenv(&mode), 0);
  std::vector<std::vector<uint32_t>> together(instance_count);
  std::latch start(instance_count);
  std::vector<std::thread> threads;
  for (int feed = 0; feed < instance_count; ++feed) {
    threads.emplace_back([&, feed] {
      std::fesetenv(&mode);
      start.arrive_and_wait();
      together[static_cast<size_t>(feed)] = run_feed(lib, *plugin, feed);
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t feed = 0; feed < alone.size(); ++feed) {
    EXPECT_EQ(difference(together[feed], alone[feed]), "") << "instance " << feed;
  }
}

INSTANTIATE_TEST_SUITE_P(Plugins, Threads, testing::ValuesIn(host::plugin_names()),
                         host::PluginTestName());

}  // namespace
