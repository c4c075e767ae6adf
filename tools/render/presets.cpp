// The presets of a plugin, read through lilv from the files their bundles
// name, and the one a --preset stands for.
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>

#include <algorithm>
#include <cstdint>

#include "tools/render/failure.hpp"
#include "tools/render/nearest.hpp"
#include "tools/render/node.hpp"
#include "tools/render/plugin.hpp"

namespace render {
namespace {

constexpr const char* rdfs_label = "http://www.w3.org/2000/01/rdf-schema#label";

// The port values of the preset: "lv2:port [ lv2:symbol ...; pset:value ... ]".
void read_values(LilvWorld* world, const LilvNode* uri, Preset& preset) {
  Node port(world, LV2_CORE__port), symbol(world, LV2_CORE__symbol),
      value(world, LV2_PRESETS__value);
  LilvNodes* ports = lilv_world_find_nodes(world, uri, port.node, nullptr);
  LILV_FOREACH(nodes, i, ports) {
    const LilvNode* entry = lilv_nodes_get(ports, i);
    Node name(lilv_world_get(world, entry, symbol.node, nullptr));
    Node number(lilv_world_get(world, entry, value.node, nullptr));
    if (name.node == nullptr || number.node == nullptr ||
        !(lilv_node_is_float(number.node) || lilv_node_is_int(number.node))) {
      preset.problem = "a port of it has no lv2:symbol or no number for pset:value";
      continue;
    }
    preset.values.push_back({lilv_node_as_string(name.node), lilv_node_as_float(number.node),
                             lilv_node_as_string(number.node)});
  }
  lilv_nodes_free(ports);
}

// In port order, so that a message names the same port whatever order
// lilv lists a preset's values in; values for no port of the plugin last.
void sort_by_port(LilvWorld* world, const LilvPlugin* plugin, Preset& preset) {
  const auto index = [&](const ControlValue& value) {
    Node symbol(lilv_new_string(world, value.symbol.c_str()));
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol.node);
    return port != nullptr ? lilv_port_get_index(plugin, port) : UINT32_MAX;
  };
  std::stable_sort(
      preset.values.begin(), preset.values.end(),
      [&](const ControlValue& a, const ControlValue& b) { return index(a) < index(b); });
}

std::string quoted_labels(const std::vector<const Preset*>& presets) {
  std::string list;
  for (const Preset* preset : presets) {
    list += (list.empty() ? "'" : ", '") + preset->label + "'";
  }
  return list;
}

// The label whose start is fewest edits from `name`: a slip in a prefix
// finds the preset as well as one in a whole label.
std::string nearest_label(const std::string& name, const std::vector<Preset>& presets) {
  std::vector<std::string> starts;
  for (const Preset& preset : presets) {
    starts.push_back(preset.label.substr(0, name.size()));
  }
  const std::string found = nearest(name, starts);
  if (found.empty()) {
    return "";
  }
  const auto at = std::find(starts.begin(), starts.end(), found) - starts.begin();
  return "; did you mean '" + presets[static_cast<std::size_t>(at)].label + "'?";
}

}  // namespace

std::vector<Preset> read_presets(LilvWorld* world, const LilvPlugin* plugin) {
  std::vector<Preset> presets;
  Node preset_class(world, LV2_PRESETS__Preset), label(world, rdfs_label);
  LilvNodes* related = lilv_plugin_get_related(plugin, preset_class.node);
  LILV_FOREACH(nodes, i, related) {
    const LilvNode* uri = lilv_nodes_get(related, i);
    Preset preset;
    preset.uri = lilv_node_as_uri(uri);
    if (lilv_world_load_resource(world, uri) < 0) {
      preset.problem = "its file cannot be read";
    }
    Node name(lilv_world_get(world, uri, label.node, nullptr));
    preset.label = name.node != nullptr ? lilv_node_as_string(name.node) : preset.uri;
    read_values(world, uri, preset);
    sort_by_port(world, plugin, preset);
    presets.push_back(std::move(preset));
  }
  lilv_nodes_free(related);
  std::sort(presets.begin(), presets.end(),
            [](const Preset& a, const Preset& b) { return a.label < b.label; });
  return presets;
}

const Preset& find_preset(const Plugin& plugin, const std::string& name) {
  const std::vector<Preset>& presets = plugin.presets();
  if (presets.empty()) {
    throw Failure(plugin.name() + " has no presets");
  }
  std::vector<const Preset*> starting;
  std::vector<const Preset*> all;
  for (const Preset& preset : presets) {
    if (preset.uri == name || preset.label == name) {
      return preset;
    }
    if (preset.label.starts_with(name)) {
      starting.push_back(&preset);
    }
    all.push_back(&preset);
  }
  if (starting.size() == 1) {
    return *starting.front();
  }
  if (starting.size() > 1) {
    throw Failure(plugin.name() + " has " + std::to_string(starting.size()) +
                  " presets starting with '" + name + "': " + quoted_labels(starting));
  }
  throw Failure(plugin.name() + " has no preset '" + name +
                "' (its presets: " + quoted_labels(all) + ")" + nearest_label(name, presets));
}

}  // namespace render
