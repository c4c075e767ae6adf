// What the command line asks for, read without knowing the plugin yet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace render {

// What a render may ask for; --help states them.
constexpr uint32_t max_rate = 10000000;  // Hz
constexpr uint32_t max_block = 1048576;  // frames
constexpr double max_duration = 3600.0;  // seconds

struct ControlValue {
  std::string symbol;
  float value;
  std::string text;  // as typed, for messages
};

struct Change {
  double time;  // seconds from the start
  ControlValue control;
};

struct InputSpec {
  std::string symbol;
  std::string source;  // a number, a generator with its parameters, or a file
};

struct Settings {
  std::string plugin;
  uint32_t rate = 48000;
  uint32_t block = 128;
  double duration = 1.0;
  std::vector<ControlValue> sets;
  // A preset's label, a prefix of it, or its URI; it applies after the
  // first `sets_before_preset` of `sets` and before the rest.
  std::string preset;
  std::size_t sets_before_preset = 0;
  std::vector<Change> changes;
  std::vector<InputSpec> inputs;
  std::string out_dir;
  std::string plot;
  bool help = false;
  bool version = false;
  bool list_plugins = false;
  bool list_ports = false;
  bool quiet = false;
};

Settings parse_command_line(int argc, char** argv);

// `text` without the spaces and tabs at its ends.
std::string trim(const std::string& text);

// A whole string as a number; `what` names it in the error.
double parse_number(const std::string& text, const std::string& what);

}  // namespace render
