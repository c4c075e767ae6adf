// Loading a plugin library sets the loading thread's floating-point control
// register, and only that thread's. Each library is loaded once, in a fresh
// thread whose register starts from the usual default.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

#include "tests/host.hpp"

namespace {

#if defined(__x86_64__)
#include <xmmintrin.h>
constexpr uint64_t default_mode = 0x1F80;  // all exceptions masked, no flush
constexpr uint64_t expected_mode = 0x9FC0;
uint64_t read_mode() {
  return _mm_getcsr();
}
void write_mode(uint64_t mode) {
  _mm_setcsr(static_cast<unsigned>(mode));
}
#elif defined(__aarch64__)
constexpr uint64_t default_mode = 0;
constexpr uint64_t expected_mode = 0x1000000;
uint64_t read_mode() {
  uint64_t mode;
  __asm__ volatile("mrs %0, fpcr" : "=r"(mode));
  return mode;
}
void write_mode(uint64_t mode) {
  __asm__ volatile("msr fpcr, %0" : : "r"(mode));
}
#endif

class FpMode : public testing::TestWithParam<std::string> {};

TEST_P(FpMode, LoadingSetsTheLoadingThreadsRegister) {
  const std::string path = host::library_path(GetParam());
  ASSERT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "already loaded";
  const uint64_t main_before = read_mode();
  uint64_t before = 0, after = 0;
  float denormal_product = 1.0f;
  std::thread loader([&] {
    write_mode(default_mode);
    before = read_mode();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    after = read_mode();
    volatile float tiny = 1e-30f;
    denormal_product = tiny * 1e-10f;  // a denormal result, flushed to zero
    if (handle != nullptr) dlclose(handle);
  });
  loader.join();
  EXPECT_EQ(before, default_mode);
  EXPECT_EQ(after, expected_mode) << std::hex << after;
  EXPECT_EQ(host::bits(denormal_product), 0u);
  EXPECT_EQ(read_mode(), main_before) << "another thread's register changed";
}

INSTANTIATE_TEST_SUITE_P(Plugins, FpMode, testing::ValuesIn(host::plugin_names()),
                         host::PluginTestName());

}  // namespace
