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
