// Instantiates the plugin and runs it block by block over the whole render,
// handing each block of every port to the recorders as it goes.
#pragma once

#include <lilv/lilv.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "tools/render/features.hpp"
#include "tools/render/plugin.hpp"
#include "tools/render/signal.hpp"

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
  std::vector<float> controls;                  // per port: control inputs' start values
  std::vector<std::unique_ptr<Source>> inputs;  // per port: what an audio or CV input is fed
  std::vector<ScheduledChange> changes;         // in the order they apply
};

bool is_recorded(const PortInfo& port);

// Receives what a recorded port carried over one block: signals sample by
// sample, a control value repeated over the block's frames.
class Recorder {
 public:
  virtual ~Recorder() = default;
  virtual void take(const PortInfo& port, const float* samples, uint32_t n) = 0;
};

// A plugin instance with every port connected, made before anything is
// written so that a plugin that cannot run fails first.
class Renderer {
 public:
  Renderer(const Plugin& plugin, Plan& plan);
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Stops with an Interrupted between blocks once a signal came.
  void run(const std::vector<Recorder*>& recorders);

 private:
  struct AtomBuffer {
    std::vector<uint64_t> words;  // 8-byte aligned, as atoms are
    bool is_input;
  };
  void reset_atoms();
  void record(bool inputs, uint32_t n, const std::vector<Recorder*>& recorders);

  const Plugin& plugin_;
  Plan& plan_;
  Features features_;
  LilvInstance* instance_ = nullptr;
  std::vector<float> controls_;
  std::vector<std::vector<float>> signals_;
  std::vector<AtomBuffer> atoms_;
  std::vector<float> held_;  // a control value repeated over a block
};

}  // namespace render
