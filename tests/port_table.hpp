// The port layout every plugin must describe in its Turtle. A new plugin adds
// its rows here; the lilv test and the shell tests both read this table.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace ports {

enum class Direction { input, output };
enum class Kind { cv, control };
enum class Hint { none, toggled, enumeration };

struct Port {
  uint32_t index;
  const char* symbol;
  Direction direction;
  Kind kind;
  float default_value;
  float minimum;
  float maximum;
  Hint hint = Hint::none;
  const char* unit = nullptr;  // units: URI fragment, e.g. "ms"
};

struct Plugin {
  const char* name;
  std::vector<Port> ports;
};

constexpr Direction in = Direction::input;
constexpr Direction out = Direction::output;
constexpr Kind cv = Kind::cv;
constexpr Kind control = Kind::control;

inline const std::vector<Plugin>& table() {
  static const std::vector<Plugin> plugins = {
      {"zul-cv-switch1",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f},
           {1, "output_a", out, cv, 0.0f, -10.0f, 10.0f},
           {2, "output_b", out, cv, 0.0f, -10.0f, 10.0f},
           {3, "selector", in, control, 0.0f, 0.0f, 1.0f, Hint::enumeration},
       }},
      {"zul-cv-slew",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f},
           {1, "output", out, cv, 0.0f, -10.0f, 10.0f},
           {2, "rise_time", in, control, 10.0f, 0.0f, 10000.0f, Hint::none, "ms"},
           {3, "fall_time", in, control, 10.0f, 0.0f, 10000.0f, Hint::none, "ms"},
           {4, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-gate",
       {
           {0, "level", in, cv, 0.0f, -10.0f, 10.0f},
           {1, "input", in, cv, 0.0f, -10.0f, 10.0f},
           {2, "output", out, cv, 0.0f, -10.0f, 10.0f},
           {3, "open_threshold", in, control, 3.0f, -10.0f, 10.0f},
           {4, "close_threshold", in, control, 1.0f, -10.0f, 10.0f},
           {5, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-range",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f},
           {1, "in_range_output", out, cv, 0.0f, -10.0f, 10.0f},
           {2, "out_of_range_output", out, cv, 0.0f, -10.0f, 10.0f},
           {3, "range_low", in, control, 0.0f, -10.0f, 10.0f},
           {4, "range_high", in, control, 5.0f, -10.0f, 10.0f},
           {5, "reset", in, control, 0.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-round",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f},
           {1, "output_round", out, cv, 0.0f, -10.0f, 10.0f},
           {2, "output_ceil", out, cv, 0.0f, -10.0f, 10.0f},
           {3, "output_floor", out, cv, 0.0f, -10.0f, 10.0f},
           {4, "output_fraction", out, cv, 0.0f, -1.0f, 1.0f},
           {5, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-parameter-modulation",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f},
           {1, "output", out, cv, 0.0f, 0.0f, 10.0f},
           {2, "offset", in, control, 0.0f, -100.0f, 100.0f},
           {3, "depth", in, control, 100.0f, -200.0f, 200.0f, Hint::none, "pc"},
           {4, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-control",
       {
           {0, "output", out, cv, 0.0f, -10.0f, 10.0f},
           {1, "control", in, control, 0.0f, -10.0f, 10.0f},
           {2, "smoothing", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-switch2",
       {
           {0, "input_a", in, cv, 0.0f, -10.0f, 10.0f},
           {1, "input_b", in, cv, 0.0f, -10.0f, 10.0f},
           {2, "output", out, cv, 0.0f, -10.0f, 10.0f},
           {3, "selector", in, control, 0.0f, 0.0f, 1.0f, Hint::enumeration},
       }},
      {"zul-cv-abs",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f},
           {1, "output", out, cv, 0.0f, -10.0f, 10.0f},
           {2, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
  };
  return plugins;
}

inline const Plugin* find(const char* name) {
  for (const Plugin& p : table()) {
    if (std::string_view(p.name) == name) {
      return &p;
    }
  }
  return nullptr;
}

}  // namespace ports
