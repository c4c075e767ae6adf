// Loading a plugin library sets the loading thread's floating-point control
// register, and only that thread's. Each library is loaded once, in a fresh
// thread whose register starts from the usual default.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

#include "tests/fp_register.hpp"
#include "tests/host.hpp"

namespace {

using fp_register::default_mode;
using fp_register::plugin_mode;

class FpMode : public testing::TestWithParam<std::string> {};

TEST_P(FpMode, LoadingSetsTheLoadingThreadsRegister) {
  const std::string path = host::library_path(GetParam());
  ASSERT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "already loaded";
  const uint64_t main_before = fp_register::read();
  uint64_t before = 0, after = 0;
  float denormal_product = 1.0f;
  std::thread loader([&] {
    fp_register::write(default_mode);
    before = fp_register::read();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    after = fp_register::read();
    volatile float tiny = 1e-30f;
    denormal_product = tiny * 1e-10f;  // a denormal result, flushed to zero
    if (handle != nullptr) dlclose(handle);
  });
  loader.join();
  EXPECT_EQ(before, default_mode);
  EXPECT_EQ(after, plugin_mode) << std::hex << after;
  EXPECT_EQ(host::bits(denormal_product), 0u);
  EXPECT_EQ(fp_register::read(), main_before) << "another thread's register changed";
}

INSTANTIATE_TEST_SUITE_P(Plugins, FpMode, testing::ValuesIn(host::plugin_names()),
                         host::PluginTestName());

}  // namespace
