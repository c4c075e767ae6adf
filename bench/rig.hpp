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

// How the plugins whose state usually sits still are fed, to time both what
// they do most and what they do when busy: "moving" keeps the state changing
// at every sample, "steady" and "arrived" hold what it has settled on. The
// named port is held at `value` in every frame, or, where `other` differs,
// flips between the two at every call; no port named keeps the rig's sine.
struct Regime {
  const char* plugin;
  const char* name;
  const char* port;
  float value;
  float other;
  double target;  // the most run may take at 256 frames, in multiples of the limit
};
inline constexpr Regime regimes[] = {
    {"zul-cv-slew", "moving", nullptr, 0.0f, 0.0f, 1.15},
    {"zul-cv-slew", "arrived", "input", 2.5f, 2.5f, 1.3},
    {"zul-cv-control", "moving", "control", 0.0f, 10.0f, 1.15},
    {"zul-cv-control", "steady", "control", 1.0f, 1.0f, 1.3},
};
const Regime* find_regime(const std::string& plugin, const std::string& name);

class Rig {
 public:
  Rig(const Library& library, const ports::Plugin& plugin, const Sharing& sharing);
  ~Rig();
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;
  void run(uint32_t n) {
    if (flip_ != nullptr) *flip_ = (++calls_ & 1) != 0 ? flip_values_[0] : flip_values_[1];
    d_.run(h_, n);
  }
  // Feeds the plugin as the regime says and runs it long enough (ten times
  // its slowest settling) that a steady regime has settled.
  void enter(const Regime& regime);

 private:
  const LV2_Descriptor& d_;
  LV2_Handle h_;
  const ports::Plugin& plugin_;
  std::vector<Buffer> buffers_;
  float* flip_ = nullptr;
  float flip_values_[2] = {};
  uint32_t calls_ = 0;
};

}  // namespace rig
