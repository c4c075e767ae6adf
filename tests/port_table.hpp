// The port layout every plugin must describe in its Turtle. A new plugin adds
// its rows here; the lilv test and the shell tests both read this table.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace ports {

enum class Direction { input, output };
// audio: a stream on an audio port, in a plugin's audio-port form.
enum class Kind { cv, control, audio };
// The port's lv2:portProperty: a control port is toggled, an enumeration or
// neither; a CV port says whether it carries a smooth signal or steps.
enum class Hint { none, toggled, enumeration, continuous, discrete };

struct Port {
  uint32_t index;
  const char* symbol;
  Direction direction;
  Kind kind;
  float default_value;
  float minimum;
  float maximum;
  Hint hint = Hint::none;
  const char* unit = nullptr;   // units: URI fragment, e.g. "ms", or volt
  const char* group = nullptr;  // the lv2:symbol of its pg:group, the URI's fragment
};

struct Plugin {
  const char* name;
  std::vector<Port> ports;
};

constexpr Direction in = Direction::input;
constexpr Direction out = Direction::output;
constexpr Kind cv = Kind::cv;
constexpr Kind control = Kind::control;
// The project's own unit, which LV2's units lack: not a units: fragment.
constexpr const char* volt = "volt";

inline const std::vector<Plugin>& table() {
  static const std::vector<Plugin> plugins = {
      {"zul-cv-switch1",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {1, "output_a", out, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt, "outputs"},
           {2, "output_b", out, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt, "outputs"},
           {3, "selector", in, control, 0.0f, 0.0f, 1.0f, Hint::enumeration},
       }},
      {"zul-cv-slew",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {1, "output", out, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {2, "rise_time", in, control, 10.0f, 0.0f, 10000.0f, Hint::none, "ms", "times"},
           {3, "fall_time", in, control, 10.0f, 0.0f, 10000.0f, Hint::none, "ms", "times"},
           {4, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-gate",
       {
           {0, "level", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {1, "input", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {2, "output", out, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {3, "open_threshold", in, control, 3.0f, -10.0f, 10.0f, Hint::none, volt, "thresholds"},
           {4, "close_threshold", in, control, 1.0f, -10.0f, 10.0f, Hint::none, volt, "thresholds"},
           {5, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-range",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {1, "in_range_output", out, cv, 0.0f, -10.0f, 10.0f, Hint::discrete, volt, "outputs"},
           {2, "out_of_range_output", out, cv, 0.0f, -10.0f, 10.0f, Hint::discrete, volt,
            "outputs"},
           {3, "range_low", in, control, 0.0f, -10.0f, 10.0f, Hint::none, volt, "bounds"},
           {4, "range_high", in, control, 5.0f, -10.0f, 10.0f, Hint::none, volt, "bounds"},
           {5, "reset", in, control, 0.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-round",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {1, "output_round", out, cv, 0.0f, -10.0f, 10.0f, Hint::discrete, volt},
           {2, "output_ceil", out, cv, 0.0f, -10.0f, 10.0f, Hint::discrete, volt},
           {3, "output_floor", out, cv, 0.0f, -10.0f, 10.0f, Hint::discrete, volt},
           {4, "output_fraction", out, cv, 0.0f, -1.0f, 1.0f, Hint::continuous, volt},
           {5, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-parameter-modulation",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {1, "output", out, cv, 0.0f, 0.0f, 10.0f, Hint::continuous, volt},
           {2, "offset", in, control, 0.0f, -100.0f, 100.0f, Hint::none, "pc"},
           {3, "depth", in, control, 100.0f, -200.0f, 200.0f, Hint::none, "pc"},
           {4, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-control",
       {
           {0, "output", out, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {1, "control", in, control, 0.0f, -10.0f, 10.0f, Hint::none, volt},
           {2, "smoothing", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
      {"zul-cv-switch2",
       {
           {0, "input_a", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt, "inputs"},
           {1, "input_b", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt, "inputs"},
           {2, "output", out, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {3, "selector", in, control, 0.0f, 0.0f, 1.0f, Hint::enumeration},
       }},
      {"zul-cv-abs",
       {
           {0, "input", in, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {1, "output", out, cv, 0.0f, -10.0f, 10.0f, Hint::continuous, volt},
           {2, "enable", in, control, 1.0f, 0.0f, 1.0f, Hint::toggled},
       }},
  };
  return plugins;
}

// The CV ports that a plugin reads at their first sample only, once a block:
// in the audio-port form they are control ports, which a host can automate.
inline bool read_once(std::string_view plugin, std::string_view symbol) {
  return (plugin == "zul-cv-gate" && symbol == "level") ||
         (plugin == "zul-cv-range" && symbol == "input");
}

// Each plugin's audio-port form, <name>-audio: its CV streams on audio
// ports, each CV port read once a control port with no CV property, no
// control port in a group, and everything else as in the CV plugin.
inline const std::vector<Plugin>& audio_table() {
  static const std::deque<std::string> names = [] {
    std::deque<std::string> n;
    for (const Plugin& p : table()) n.push_back(std::string(p.name) + "-audio");
    return n;
  }();
  static const std::vector<Plugin> plugins = [] {
    std::vector<Plugin> forms;
    for (size_t k = 0; k < table().size(); ++k) {
      Plugin form = table()[k];
      form.name = names[k].c_str();
      for (Port& port : form.ports) {
        if (port.kind == Kind::cv) {
          const bool once = read_once(table()[k].name, port.symbol);
          port.kind = once ? Kind::control : Kind::audio;
          if (once) port.hint = Hint::none;
        }
        // GStreamer takes grouped control ports for an audio pad's channels.
        if (port.kind == Kind::control) port.group = nullptr;
      }
      forms.push_back(form);
    }
    return forms;
  }();
  return plugins;
}

// The rows of a CV plugin or of an audio-port form, by name.
inline const Plugin* find(const char* name) {
  for (const auto* plugins : {&table(), &audio_table()}) {
    for (const Plugin& p : *plugins) {
      if (std::string_view(p.name) == name) {
        return &p;
      }
    }
  }
  return nullptr;
}

}  // namespace ports
