// What every plugin library must do the same way, whatever the plugin: the
// entry point, the shared lifecycle operations and out-of-range port indexes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shell/plugin.hpp"
#include "shell/variant.hpp"
#include "tests/allocations.hpp"
#include "tests/host.hpp"
#include "tests/port_table.hpp"

namespace {

class Shell : public testing::TestWithParam<std::string> {};

TEST_P(Shell, OnlyIndexZeroHasADescriptor) {
  host::Library lib(GetParam());
  const LV2_Descriptor* d = lib.descriptor(0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(std::string(d->URI), host::plugin_uri(GetParam()));
  EXPECT_TRUE(std::string(d->URI).ends_with("/plugins/zul-devel/" + GetParam())) << d->URI;
  for (uint32_t index : {1u, 2u, 0x80000000u, 0xffffffffu}) {
    EXPECT_EQ(lib.descriptor(index), nullptr) << index;
  }
  EXPECT_EQ(lib.descriptor(0), d) << "the descriptor is one static record";
}

TEST_P(Shell, EveryDescriptorSlotIsFilled) {
  host::Library lib(GetParam());
  const LV2_Descriptor& d = lib.plugin();
  EXPECT_NE(d.instantiate, nullptr);
  EXPECT_NE(d.connect_port, nullptr);
  EXPECT_NE(d.activate, nullptr);
  EXPECT_NE(d.run, nullptr);
  EXPECT_NE(d.deactivate, nullptr);
  EXPECT_NE(d.cleanup, nullptr);
  EXPECT_NE(d.extension_data, nullptr);
}

TEST_P(Shell, NoExtensionData) {
  host::Library lib(GetParam());
  for (const char* uri :
       {"http://lv2plug.in/ns/ext/state#interface", "http://lv2plug.in/ns/ext/worker#interface",
        "http://lv2plug.in/ns/ext/options#interface", LV2_CORE_URI, ""}) {
    EXPECT_EQ(lib.plugin().extension_data(uri), nullptr) << uri;
  }
}

// Connects every port of a fresh instance to its own buffer (controls at their
// defaults, CV inputs a ramp), optionally offers pointers at indexes the plugin
// does not have, runs one block and returns the outputs' bits.
std::vector<uint32_t> run_with_defaults(const std::string& name, bool stray_connects,
                                        std::vector<float>& decoy) {
  constexpr uint32_t n = 16;
  const ports::Plugin* table = ports::find(name.c_str());
  host::Library lib(name);
  host::Instance instance(lib);
  std::vector<std::vector<float>> buffers;
  for (const ports::Port& p : table->ports) {
    std::vector<float> buffer =
        p.direction == ports::out ? host::untouched(n) : std::vector<float>(n);
    for (uint32_t i = 0; i < n; ++i) {
      if (p.direction == ports::in) {
        buffer[i] =
            p.kind == ports::control ? p.default_value : 0.25f * static_cast<float>(i) - 1.0f;
      }
    }
    buffers.push_back(std::move(buffer));
  }
  for (const ports::Port& p : table->ports) instance.connect(p.index, buffers[p.index].data());
  if (stray_connects) {
    const auto count = static_cast<uint32_t>(table->ports.size());
    for (uint32_t index : {count, count + 1, count + 64, 0x80000000u, 0xffffffffu}) {
      instance.connect(index, decoy.data());
    }
  }
  instance.run(n);
  std::vector<uint32_t> outputs;
  for (const ports::Port& p : table->ports) {
    if (p.direction == ports::out) {
      const auto b = host::bits(buffers[p.index]);
      outputs.insert(outputs.end(), b.begin(), b.end());
    }
  }
  return outputs;
}

TEST_P(Shell, ConnectingAnIndexBeyondThePortsChangesNothing) {
  ASSERT_NE(ports::find(GetParam().c_str()), nullptr);
  std::vector<float> decoy = host::untouched(64);
  const auto expected = run_with_defaults(GetParam(), false, decoy);
  const auto got = run_with_defaults(GetParam(), true, decoy);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(host::bits(decoy), host::bits(host::untouched(64)));
}

TEST_P(Shell, ActivateAndDeactivateMayRepeat) {
  host::Library lib(GetParam());
  host::Instance instance(lib);
  instance.deactivate();
  instance.activate();
  instance.deactivate();
  instance.activate();
}

// With the allocator out of memory at any of its mallocs, instantiate
// reports failure with null and holds on to nothing it took before.
TEST_P(Shell, FailedAllocationGivesNoInstance) {
  if (!allocations::interposed()) GTEST_SKIP() << "no failing malloc in this build";
  host::Library lib(GetParam());
  const LV2_Descriptor& d = lib.plugin();
  const std::string bundle = host::bundle_path(GetParam());
  constexpr int most_mallocs = 16;
  int nth = 1;
  for (; nth <= most_mallocs; ++nth) {
    allocations::fail_malloc(nth);
    allocations::start_counting();
    LV2_Handle handle = d.instantiate(&d, 48000.0, bundle.c_str(), nullptr);
    const long held = allocations::blocks_held();
    allocations::stop_counting();
    if (allocations::malloc_failure_pending()) {  // fewer mallocs than nth: none failed
      allocations::fail_malloc(0);
      ASSERT_NE(handle, nullptr) << "instantiate failed with every malloc granted";
      d.cleanup(handle);
      break;
    }
    EXPECT_EQ(handle, nullptr) << "malloc " << nth << " failed";
    EXPECT_EQ(held, 0) << "malloc " << nth << " failed, and blocks are still held";
    if (handle != nullptr) d.cleanup(handle);
  }
  EXPECT_GT(nth, 1) << "instantiate never called malloc";
  EXPECT_LE(nth, most_mallocs) << "instantiate still calls malloc after " << most_mallocs;
}

// cleanup frees every block that instantiate and the lifecycle took.
TEST_P(Shell, CleanupFreesEverything) {
  if (!allocations::interposed()) GTEST_SKIP() << "the allocator is not watched in this build";
  host::Library lib(GetParam());
  const LV2_Descriptor& d = lib.plugin();
  const std::string bundle = host::bundle_path(GetParam());
  allocations::start_counting();
  LV2_Handle handle = d.instantiate(&d, 48000.0, bundle.c_str(), nullptr);
  ASSERT_NE(handle, nullptr);
  d.activate(handle);
  d.deactivate(handle);
  d.cleanup(handle);
  const long held = allocations::blocks_held();
  allocations::stop_counting();
  EXPECT_EQ(held, 0);
}

INSTANTIATE_TEST_SUITE_P(Plugins, Shell, testing::ValuesIn(host::plugin_names()),
                         host::PluginTestName());

// The zero-allocation check in host::Instance::run is only as good as the
// interposed allocator: it must see a plugin library's calls.
TEST(Allocations, InterposedAllocatorSeesLibraryCalls) {
  if (!allocations::interposed()) GTEST_SKIP() << "the allocator is not watched in this build";
  host::Library lib(host::plugin_names().front());
  const LV2_Descriptor& d = lib.plugin();
  allocations::start_counting();
  LV2_Handle handle = d.instantiate(&d, 48000.0, "", nullptr);
  d.cleanup(handle);
  EXPECT_EQ(allocations::stop_counting(), 2) << "one malloc in instantiate, one free in cleanup";
}

// The words of the first line of /proc/cpuinfo that starts with field;
// empty if there is none. Unused on AArch64, which has one variant.
[[maybe_unused]] std::vector<std::string> cpuinfo_words(const std::string& field) {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::vector<std::string> words;
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind(field, 0) != 0) continue;
    std::istringstream list(line.substr(line.find(':') + 1));
    for (std::string word; list >> word;) words.push_back(word);
    break;
  }
  return words;
}

[[maybe_unused]] bool has(const std::vector<std::string>& words, const std::string& word) {
  return std::find(words.begin(), words.end(), word) != words.end();
}

// The variant the kernel's view of this processor calls for: on x86-64 the
// AVX2 loops want the avx2 and fma flags (the kernel shows them only where it
// saves the AVX state), on 32-bit ARM the vfpv4 feature; AArch64 has one
// variant. Empty if unknown.
std::string variant_from_cpuinfo() {
#if defined(__aarch64__)
  return "baseline";
#elif defined(__arm__)
  const std::vector<std::string> features = cpuinfo_words("Features");
  if (features.empty()) return "";
  return has(features, "vfpv4") ? "vfpv4" : "baseline";
#else
  const std::vector<std::string> flags = cpuinfo_words("flags");
  if (flags.empty()) return "";
  if (!has(flags, "fma") || !has(flags, "avx2")) return "baseline";
  // valgrind runs the programs on a processor of its own without AVX-512.
  const bool avx512 = has(flags, "avx512f") && has(flags, "avx512vl") && has(flags, "avx512dq") &&
                      has(flags, "avx512bw") && std::getenv("ZUL_TEST_NO_AVX512") == nullptr;
  return avx512 ? "avx512" : "avx2";
#endif
}

// The variant the plugins' dispatch must take: ZUL_TEST_VARIANT names it where
// the tests run on a known processor (an emulated one without AVX2 or FMA,
// or AArch64, whose /proc/cpuinfo is the machine's); elsewhere the kernel's
// flags tell.
TEST(Variant, IsTheOneExpectedOnThisProcessor) {
  const zul::Variant v = zul::processor_variant();
  const std::string variant = v == zul::Variant::avx512  ? "avx512"
                              : v == zul::Variant::avx2  ? "avx2"
                              : v == zul::Variant::vfpv4 ? "vfpv4"
                                                         : "baseline";
  const char* named = std::getenv("ZUL_TEST_VARIANT");
  const std::string expected = named != nullptr ? named : variant_from_cpuinfo();
  if (expected.empty())
    GTEST_SKIP() << "no flags in /proc/cpuinfo; this processor takes " << variant;
  EXPECT_EQ(variant, expected);
}

// The switch reading truncates toward zero inside the int32 range and reads
// NaN and anything beyond the range as neither 0 nor 1.
TEST(SwitchReading, Table) {
  const struct {
    float value;
    int32_t reading;
  } cases[] = {
      {0.0f, 0},
      {-0.0f, 0},
      {0.99f, 0},
      {-0.5f, 0},
      {-0.99999994f, 0},
      {host::from_bits(0x00000001), 0},  // denormals truncate to 0
      {host::from_bits(0x80000001), 0},
      {1.0f, 1},
      {1.5f, 1},
      {1.9999999f, 1},
      {2.0f, 2},
      {-1.0f, -1},
      {-2147483648.0f, INT32_MIN},
      {2147483520.0f, 2147483520},  // largest float below 2^31
      {2147483648.0f, zul::no_reading},
      {-2147483904.0f, zul::no_reading},  // next float below -2^31
      {3.0e9f, zul::no_reading},
      {-3.0e9f, zul::no_reading},
      {host::from_bits(0x7f800000), zul::no_reading},
      {host::from_bits(0xff800000), zul::no_reading},
      {host::from_bits(0x7fc00000), zul::no_reading},
      {host::from_bits(0xffc00001), zul::no_reading},
      {host::from_bits(0x7f800001), zul::no_reading},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zul::switch_reading(c.value), c.reading) << std::hexfloat << c.value;
  }
  EXPECT_NE(zul::no_reading, 0);
  EXPECT_NE(zul::no_reading, 1);
}

}  // namespace
