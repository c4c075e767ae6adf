// A plain model of the nine plugins, for the tests only: each run() follows
// the plugin's steps one by one, sample by sample, reading and writing the
// same host buffers in the same order, so that buffers shared between ports
// behave as they do in the plugin. It shares no code with the plugins or the
// shell; speed and real-time rules do not apply to it.
//
// Its floating-point arithmetic runs under whatever mode the calling thread
// is in: the comparison runs it in the thread that loaded a plugin library,
// under the plugins' flush-to-zero mode.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace reference {

enum class Plugin : uint8_t {
  switch1,
  switch2,
  abs,
  round,
  parameter_modulation,
  slew,
  gate,
  range,
  control,
};

inline constexpr std::array<Plugin, 9> all_plugins = {
    Plugin::switch1, Plugin::switch2, Plugin::abs,   Plugin::round,   Plugin::parameter_modulation,
    Plugin::slew,    Plugin::gate,    Plugin::range, Plugin::control,
};

enum class Direction : uint8_t { input, output };
// A stream is read or written at indexes 0 to n-1; a value only at element 0.
enum class Kind : uint8_t { stream, value };

struct Port {
  const char* name;
  Direction direction;
  Kind kind;
};

// The plugin's library name (zul-cv-slew) and its ports in index order.
std::string_view name_of(Plugin plugin);
std::span<const Port> ports_of(Plugin plugin);
std::optional<Plugin> plugin_named(std::string_view name);

inline constexpr size_t max_ports = 6;

// One instance: a pointer per port, by port index, and every plugin's state
// fields (each plugin uses its own).
struct Model {
  Plugin plugin = Plugin::switch1;
  std::array<float*, max_ports> port{};

  float sample_rate = 0.0f;  // slew
  float current_value = 0.0f;
  float dropped_step = 0.0f;
  bool gate_open = false;      // gate
  float last_in_range = 0.0f;  // range
  float last_out_of_range = 0.0f;
  double input_coefficient = 0.0;  // control
  double feedback_coefficient = 0.0;
  double filter_state = 0.0;

  // Where the last run() wrote a NaN that it computed (rather than moved):
  // only such a NaN may differ from the plugin's in its payload.
  std::vector<const float*> computed_nans;
};

// Empty where the plugin refuses the sample rate.
std::optional<Model> instantiate(Plugin plugin, double sample_rate);
// Indexes the plugin does not have are ignored.
void connect_port(Model& model, uint32_t port, float* data);
void run(Model& model, uint32_t n);

// The switch reading of a control: truncation toward zero to a signed 32-bit
// integer; empty for a NaN or a value outside [-2^31, 2^31), which reads as
// no whole number at all.
std::optional<int32_t> switch_reading(float value);

}  // namespace reference
