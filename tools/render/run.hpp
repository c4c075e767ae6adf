// Instantiates the plugin and runs it block by block over the whole render.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/render/plugin.hpp"

namespace render {

struct ScheduledChange {
  uint64_t frame;  // the start of the block it is applied at
  uint32_t port;
  float value;
};

struct Plan {
  uint32_t rate = 48000;
  uint32_t block = 128;
  uint64_t frames = 0;
  std::vector<float> controls;             // per port: control inputs' start values
  std::vector<std::vector<float>> inputs;  // per port: the signal of an audio or CV input
  std::vector<ScheduledChange> changes;    // in the order they apply
};

// Per port, what it carried frame by frame: signals sample by sample, control
// values held over each block. Empty for atom ports and unconnected ones.
using Recording = std::vector<std::vector<float>>;

bool is_recorded(const PortInfo& port);

Recording run_plugin(const Plugin& plugin, const Plan& plan);

}  // namespace render
