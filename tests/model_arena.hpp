// A test's arena: the plugin's ports, and the reference model's over a copy
// of it, each port at an offset into it. The model's arithmetic runs under the
// calling thread's floating-point mode, so the plugin's library must be
// loaded in that thread first.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "tests/fuzz/reference.hpp"
#include "tests/host.hpp"

namespace model_arena {

// A fresh model of the plugin with this name (zul-cv-slew).
inline reference::Model instantiate(std::string_view name, double rate = 48000.0) {
  return reference::instantiate(reference::plugin_named(name).value(), rate).value();
}

// The plugin's port k at arena[offsets[k]]; ports past the list keep their
// buffers.
inline void connect(host::Instance& instance, std::vector<float>& arena,
                    std::initializer_list<size_t> offsets) {
  uint32_t port = 0;
  for (size_t at : offsets) instance.connect(port++, arena.data() + at);
}

// The model's port k at arena[offsets[k]] (ports past the list keep their
// buffers), then one run of n samples.
inline void run(reference::Model& model, std::vector<float>& arena,
                std::initializer_list<size_t> offsets, uint32_t n) {
  uint32_t port = 0;
  for (size_t at : offsets) reference::connect_port(model, port++, arena.data() + at);
  reference::run(model, n);
}

// A NaN the model computed may differ from the plugin's in payload only: where
// both wrote a NaN there, the plugin's bits are taken into the expected arena,
// which then compares bit for bit.
inline void accept_computed_nans(const reference::Model& model, std::vector<float>& expected,
                                 const std::vector<float>& arena) {
  for (const float* at : model.computed_nans) {
    const auto i = static_cast<size_t>(at - expected.data());
    if (std::isnan(expected[i]) && std::isnan(arena[i])) expected[i] = arena[i];
  }
}

}  // namespace model_arena
