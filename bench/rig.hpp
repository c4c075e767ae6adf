// A plugin as a host drives it, for measuring: its staged library opened with
// dlopen, one activated instance at 48 kHz, and every port connected to a
// host-owned buffer, laid out as one of the buffer-sharing cases a host may
// choose. Controls sit at their defaults and CV inputs carry a moving signal.
#pragma once

#include <lv2/core/lv2.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/port_table.hpp"

namespace rig {

inline constexpr uint32_t max_frames = 4096;
inline constexpr double sample_rate = 48000.0;

// The names of the staged plugins, in the order the build adds them.
std::vector<std::string> plugin_names();

// Which ports share a buffer: port i uses the buffer of port owner[i], which
// is i itself where the port has its own.
struct Sharing {
  std::string label;  // "separate", "input = output", "outputs shared"...
  std::vector<uint32_t> owner;
};

// Separate buffers first, then each CV input on one buffer with each CV
// output, then all outputs on one buffer where there are several.
std::vector<Sharing> sharings(const ports::Plugin& plugin);

// The moving signal on CV inputs: a sine of amplitude 5 and period 512.
float signal(uint32_t port, uint32_t frame);

struct FreeBuffer {
  void operator()(float* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<float[], FreeBuffer>;
// max_frames floats, aligned as a host's buffers usually are, set to zero.
Buffer make_buffer();

class Library {
 public:
  explicit Library(const std::string& name);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  const LV2_Descriptor& plugin() const { return *plugin_; }

 private:
  void* handle_ = nullptr;
  const LV2_Descriptor* plugin_ = nullptr;
};

class Rig {
 public:
  Rig(const Library& library, const ports::Plugin& plugin, const Sharing& sharing);
  ~Rig();
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;
  void run(uint32_t n) { d_.run(h_, n); }

 private:
  const LV2_Descriptor& d_;
  LV2_Handle h_;
  std::vector<Buffer> buffers_;
};

}  // namespace rig
