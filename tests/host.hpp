// A minimal LV2 host for tests: loads a staged bundle's library with dlopen
// and drives its descriptor exactly as a host does.
#pragma once

#include <lv2/core/lv2.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace host {

// Path of the staged library of a plugin, e.g. build/lv2/zul-cv-switch1.lv2/zul-cv-switch1.so.
std::string library_path(const std::string& name);
std::string bundle_path(const std::string& name);
std::string plugin_uri(const std::string& name);
std::vector<std::string> plugin_names();
// Each plugin's audio-port form: <name>-audio.
std::vector<std::string> audio_form_names();

// Where the tests run the AVX-512 staging (ZUL_TEST_AVX512) on a processor
// without AVX-512: why they skip, to say it. Empty where they can run.
std::string avx512_missing();

// A plugin name as a GoogleTest parameter name: zul-cv-slew -> zul_cv_slew.
std::string test_name(std::string name);
struct PluginTestName {
  template <class Info>
  std::string operator()(const Info& info) const {
    return test_name(info.param);
  }
};

// A dlopen'ed plugin library; closed again when it goes out of scope.
class Library {
 public:
  explicit Library(const std::string& name);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  const LV2_Descriptor* descriptor(uint32_t index) const;
  const LV2_Descriptor& plugin() const { return *plugin_; }
  void* symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
  const LV2_Descriptor* plugin_ = nullptr;
};

// One plugin instance, activated on creation and deactivated and cleaned up
// on destruction.
class Instance {
 public:
  explicit Instance(const Library& library, double sample_rate = 48000.0);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  void connect(uint32_t port, void* data) { d_.connect_port(h_, port, data); }
  void connect(uint32_t port, float& value) { connect(port, static_cast<void*>(&value)); }
  // Runs one block; a test fails if the plugin touched the allocator in it.
  void run(uint32_t n);
  void activate() { d_.activate(h_); }
  void deactivate() { d_.deactivate(h_); }
  LV2_Handle handle() const { return h_; }

 private:
  const LV2_Descriptor& d_;
  LV2_Handle h_;
};

inline uint32_t bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}
inline float from_bits(uint32_t b) {
  float f;
  std::memcpy(&f, &b, sizeof f);
  return f;
}
std::vector<uint32_t> bits(const float* data, size_t n);
inline std::vector<uint32_t> bits(const std::vector<float>& v) {
  return bits(v.data(), v.size());
}

// Values whose bits a pass-through must keep: signed zeros, infinities, NaN
// payloads (quiet and signalling, both signs), denormals and ordinary values.
std::vector<float> tricky_values();

// Stands for "not written": a quiet NaN with a payload no plugin makes.
inline constexpr uint32_t untouched_bits = 0x7fa5a5a5;
// A page the process may neither read nor write: a buffer connected here
// crashes the test at the first access, which proves it is never touched.
class Forbidden {
 public:
  Forbidden();
  ~Forbidden();
  Forbidden(const Forbidden&) = delete;
  Forbidden& operator=(const Forbidden&) = delete;
  float* data() const { return static_cast<float*>(page_); }

 private:
  void* page_;
  size_t size_;
};

inline std::vector<float> untouched(size_t n) {
  return std::vector<float>(n, from_bits(untouched_bits));
}

}  // namespace host
