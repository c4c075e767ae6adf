// The plugin as lilv reads it from the LV2 path: its URI, name and ports.
#pragma once

#include <lilv/lilv.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/render/cli.hpp"

namespace render {

enum class PortKind { control, audio, cv, atom, other };

struct PortInfo {
  uint32_t index = 0;
  std::string symbol;
  std::string name;
  PortKind kind = PortKind::other;
  bool is_input = false;
  bool optional = false;  // lv2:connectionOptional
  bool has_range = false;
  float minimum = 0.0f;
  float maximum = 0.0f;
  float default_value = 0.0f;  // lv2:default, else the minimum, else 0
  uint32_t atom_capacity = 0;  // bytes, for atom ports
  std::string unit;            // its symbol ("ms", "%"), empty without units:unit
  bool toggled = false;        // lv2:toggled: 0 is off, anything else on
  bool integer = false;        // lv2:integer
  bool enumeration = false;    // lv2:enumeration: only the scale points
  std::vector<std::pair<float, std::string>> scale_points;  // by value
};

// A preset of the plugin (pset:Preset): the port values it sets, in the
// form --set takes them, the text as written in its Turtle.
struct Preset {
  std::string uri;
  std::string label;  // rdfs:label, else the URI
  std::vector<ControlValue> values;
  std::string problem;  // why its values cannot be used, or empty
};

const char* kind_name(PortKind kind);

// The LV2 path searched when LV2_PATH is unset: run from the build tree, the
// staged bundles first.
std::string default_lv2_path();

// Loads the bundles of LV2_PATH or, when it is unset, of the default path
// (the first copy of each bundle name); returns the path searched. An empty
// LV2_PATH is a Failure: it would find nothing.
std::string load_world(LilvWorld* world);
// The URI is one of this project's plugins.
bool is_ours(const std::string& uri);

// Loads every bundle on the LV2 path and finds one plugin in it.
class Plugin {
 public:
  // `name` is a URI, or a short name of ours: "slew" or "zul-cv-slew".
  explicit Plugin(const std::string& name);
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  const std::string& uri() const { return uri_; }
  const std::string& name() const { return name_; }
  const std::vector<PortInfo>& ports() const { return ports_; }
  // Throws a Failure naming the plugin's symbols when there is no such port.
  const PortInfo& port(const std::string& symbol) const;
  std::vector<std::string> required_features() const;
  // By label.
  const std::vector<Preset>& presets() const { return presets_; }

  const LilvPlugin* lilv() const { return plugin_; }

 private:
  PortInfo read_port(uint32_t index) const;

  std::unique_ptr<LilvWorld, decltype(&lilv_world_free)> world_;
  const LilvPlugin* plugin_ = nullptr;
  std::string uri_;
  std::string name_;
  std::vector<PortInfo> ports_;
  std::vector<Preset> presets_;
};

// The presets of `plugin` on the LV2 path, each read from its file, by label.
std::vector<Preset> read_presets(LilvWorld* world, const LilvPlugin* plugin);

// The preset `name` stands for: its URI, its label or a prefix of one label.
// Throws a Failure listing the presets when it stands for none or for several.
const Preset& find_preset(const Plugin& plugin, const std::string& name);

// What --list prints: every plugin on the LV2 path that zul-render can run,
// ours first, one a line: URI and name.
std::string plugin_list();

// What --ports prints: the URI, the name, and a table of the ports in
// aligned columns with their ranges, units and properties; then the presets.
std::string port_list(const Plugin& plugin);

}  // namespace render
