#include "tests/host.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "shell/variant.hpp"
#include "tests/allocations.hpp"

namespace host {

// ZUL_TEST_STAGE_DIR in the environment points the tests at another staging
// of the same plugins (the build with the software fused multiply-add).
std::string bundle_path(const std::string& name) {
  const char* stage = std::getenv("ZUL_TEST_STAGE_DIR");
  return std::string(stage != nullptr ? stage : ZUL_TEST_STAGE_DIR) + "/" + name + ".lv2";
}

std::string avx512_missing() {
  if (std::getenv("ZUL_TEST_AVX512") == nullptr) return "";
  if (zul::processor_variant() == zul::Variant::avx512) return "";
  return "NOT TESTED HERE: the AVX-512 loops; this processor (or its operating system) lacks "
         "AVX-512 F, VL, DQ or BW, and neither qemu nor valgrind runs them";
}

std::string library_path(const std::string& name) {
  return bundle_path(name) + "/" + name + ".so";
}

std::string plugin_uri(const std::string& name) {
  return std::string(ZUL_TEST_URI_BASE) + "/" + name;
}

std::vector<std::string> plugin_names() {
  std::vector<std::string> names;
  std::stringstream list(ZUL_TEST_PLUGINS);
  for (std::string name; std::getline(list, name, ',');) {
    names.push_back(name);
  }
  return names;
}

std::vector<std::string> audio_form_names() {
  std::vector<std::string> names = plugin_names();
  for (std::string& name : names) name += "-audio";
  return names;
}

std::string test_name(std::string name) {
  for (char& c : name) c = c == '-' ? '_' : c;
  return name;
}

Library::Library(const std::string& name) {
  const std::string path = library_path(name);
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    throw std::runtime_error("dlopen " + path + ": " + dlerror());
  }
  using Entry = const LV2_Descriptor* (*)(uint32_t);
  auto entry = reinterpret_cast<Entry>(symbol("lv2_descriptor"));
  if (entry == nullptr || (plugin_ = entry(0)) == nullptr) {
    dlclose(handle_);
    throw std::runtime_error(path + ": no descriptor at index 0");
  }
}

Library::~Library() {
  dlclose(handle_);
}

const LV2_Descriptor* Library::descriptor(uint32_t index) const {
  using Entry = const LV2_Descriptor* (*)(uint32_t);
  return reinterpret_cast<Entry>(symbol("lv2_descriptor"))(index);
}

void* Library::symbol(const char* name) const {
  return dlsym(handle_, name);
}

Instance::Instance(const Library& library, double sample_rate)
    : d_(library.plugin()),
      h_(d_.instantiate(&d_, sample_rate, bundle_path("unused").c_str(), nullptr)) {
  if (h_ == nullptr) {
    throw std::runtime_error(std::string(d_.URI) + ": instantiate returned null");
  }
  d_.activate(h_);
}

void Instance::run(uint32_t n) {
  allocations::start_counting();
  d_.run(h_, n);
  const long calls = allocations::stop_counting();
  EXPECT_EQ(calls, 0) << d_.URI << ": run touched the allocator";
}

Instance::~Instance() {
  d_.deactivate(h_);
  d_.cleanup(h_);
}

Forbidden::Forbidden() : size_(static_cast<size_t>(sysconf(_SC_PAGESIZE))) {
  page_ = mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (page_ == MAP_FAILED) throw std::runtime_error("mmap failed");
}

Forbidden::~Forbidden() {
  munmap(page_, size_);
}

std::vector<uint32_t> bits(const float* data, size_t n) {
  std::vector<uint32_t> out(n);
  if (n != 0) {
    std::memcpy(out.data(), data, n * sizeof(float));  // an empty vector's data() may be null
  }
  return out;
}

std::vector<float> tricky_values() {
  const uint32_t patterns[] = {
      0x00000000, 0x80000000,                          // +0, -0
      0x7f800000, 0xff800000,                          // +inf, -inf
      0x7fc00000, 0xffc00000, 0x7fc12345, 0xffd54321,  // quiet NaNs with payloads
      0x7f800001, 0xffa00001,                          // signalling NaNs
      0x00000001, 0x80000001, 0x007fffff, 0x807fffff,  // denormals
      0x00800000, 0x3f800000, 0xbf800000, 0x40200000,  // smallest normal, 1, -1, 2.5
      0x7f7fffff, 0xff7fffff, 0x3effffff, 0xc0300000,  // largest, 0.49999997, -2.75
  };
  std::vector<float> values;
  for (uint32_t p : patterns) {
    values.push_back(from_bits(p));
  }
  return values;
}

}  // namespace host
