#include "tools/render/plugin.hpp"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/resize-port/resize-port.h>
#include <lv2/units/units.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "tools/render/failure.hpp"
#include "tools/render/nearest.hpp"
#include "tools/render/node.hpp"

namespace render {
namespace {

// The symbols of the common units of LV2's units ontology; another unit shows
// its own units:symbol, else the last part of its URI.
std::string unit_symbol(LilvWorld* world, const LilvNode* unit) {
  static const std::map<std::string, std::string> known = {
      {"bar", "bars"},     {"beat", "beats"}, {"bpm", "BPM"}, {"cent", "ct"},
      {"cm", "cm"},        {"coef", ""},      {"db", "dB"},   {"degree", "°"},
      {"frame", "frames"}, {"hz", "Hz"},      {"inch", "in"}, {"khz", "kHz"},
      {"km", "km"},        {"m", "m"},        {"mhz", "MHz"}, {"midiNote", "note"},
      {"mile", "mi"},      {"min", "min"},    {"mm", "mm"},   {"ms", "ms"},
      {"oct", "oct"},      {"pc", "%"},       {"s", "s"},     {"semitone12TET", "semi"}};
  if (!lilv_node_is_uri(unit)) {
    Node symbol(lilv_world_get(world, unit, Node(world, LV2_UNITS__symbol).node, nullptr));
    return symbol.node != nullptr ? lilv_node_as_string(symbol.node) : "";
  }
  const std::string uri = lilv_node_as_uri(unit);
  const std::string prefix = LV2_UNITS_PREFIX;
  if (uri.starts_with(prefix)) {
    const auto found = known.find(uri.substr(prefix.size()));
    if (found != known.end()) {
      return found->second;
    }
  }
  Node symbol(lilv_world_get(world, unit, Node(world, LV2_UNITS__symbol).node, nullptr));
  if (symbol.node != nullptr) {
    return lilv_node_as_string(symbol.node);
  }
  return uri.substr(uri.find_last_of("#/") + 1);
}

// The bundles of each directory on `path`, a bundle name seen before left
// out: with the package installed, the staged copy of each plugin is the one
// loaded, and lilv has no duplicate to warn about.
void load_first_copies(LilvWorld* world, const std::string& path) {
  std::set<std::string> seen;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) {
      end = path.size();
    }
    const std::filesystem::path dir = path.substr(start, end - start);
    start = end + 1;
    std::error_code error;
    std::vector<std::filesystem::path> bundles;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
      if (std::filesystem::exists(entry.path() / "manifest.ttl", error)) {
        bundles.push_back(entry.path());
      }
    }
    std::sort(bundles.begin(), bundles.end());
    for (const std::filesystem::path& bundle : bundles) {
      if (seen.insert(bundle.filename().string()).second) {
        Node uri(lilv_new_file_uri(world, nullptr, (bundle.string() + "/").c_str()));
        lilv_world_load_bundle(world, uri.node);
      }
    }
  }
}

const std::string our_prefix = std::string(ZUL_RENDER_URI_BASE) + "/zul-cv-";

std::string uri_of(const std::string& name) {
  if (name.find(':') != std::string::npos) {
    return name;
  }
  return our_prefix + (name.starts_with("zul-cv-") ? name.substr(7) : name);
}

// What a misspelt plugin is held against: our short names for a short name,
// every URI for a URI.
std::vector<std::string> plugin_names(LilvWorld* world, bool uris) {
  std::vector<std::string> names;
  const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
  LILV_FOREACH(plugins, i, plugins) {
    const std::string uri = lilv_node_as_uri(lilv_plugin_get_uri(lilv_plugins_get(plugins, i)));
    if (uris) {
      names.push_back(uri);
    } else if (is_ours(uri)) {
      names.push_back(uri.substr(our_prefix.size()));
    }
  }
  return names;
}

}  // namespace

bool is_ours(const std::string& uri) {
  return uri.starts_with(our_prefix);
}

std::string load_world(LilvWorld* world) {
  const char* env = std::getenv("LV2_PATH");
  if (env != nullptr && *env == '\0') {
    throw Failure("LV2_PATH is set but empty: no directory to find plugins in (unset it for " +
                  default_lv2_path() + ")");
  }
  if (env == nullptr) {
    load_first_copies(world, default_lv2_path());
    return default_lv2_path();
  }
  lilv_world_load_all(world);
  return env;
}

const char* kind_name(PortKind kind) {
  switch (kind) {
    case PortKind::control:
      return "control";
    case PortKind::audio:
      return "audio";
    case PortKind::cv:
      return "CV";
    case PortKind::atom:
      return "atom";
    case PortKind::other:
      break;
  }
  return "other";
}

// The build's staged bundles come first for the zul-render of the build tree
// only, which CMake's files for it stand beside: an installed copy does not
// look into a build directory. "" for an installed copy.
std::string staged_bundles() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  const auto dir = self.parent_path();
  if (error || !std::filesystem::is_directory(dir / "CMakeFiles/zul-render.dir", error)) return {};
  return (dir / ZUL_RENDER_STAGE_FROM_PROGRAM).lexically_normal().string();
}

std::string default_lv2_path() {
  const std::string stage = staged_bundles();
  std::string path = stage.empty() ? "" : stage + ":";
  if (const char* home = std::getenv("HOME")) {
    path += std::string(home) + "/.lv2:";
  }
  return path + "/usr/local/lib/lv2:/usr/lib/lv2";
}

Plugin::Plugin(const std::string& name)
    : world_(lilv_world_new(), lilv_world_free), uri_(uri_of(name)) {
  LilvWorld* world = world_.get();
  const std::string search = load_world(world);
  Node uri(world, uri_.c_str());
  plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri.node);
  if (plugin_ == nullptr) {
    const bool by_uri = name.find(':') != std::string::npos;
    throw Failure(
        "no plugin " + uri_ + " in the LV2 path " + search +
        did_you_mean(by_uri ? name : uri_.substr(our_prefix.size()), plugin_names(world, by_uri)));
  }
  Node plugin_name(lilv_plugin_get_name(plugin_));
  name_ = plugin_name.node != nullptr ? lilv_node_as_string(plugin_name.node) : uri_;
  for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin_); ++i) {
    ports_.push_back(read_port(i));
  }
  presets_ = read_presets(world, plugin_);
}

PortInfo Plugin::read_port(uint32_t index) const {
  const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, index);
  auto is_a = [&](const char* uri) {
    return lilv_port_is_a(plugin_, port, Node(world_.get(), uri).node);
  };
  PortInfo info;
  info.index = index;
  info.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin_, port));
  Node name(lilv_port_get_name(plugin_, port));
  info.name = name.node != nullptr ? lilv_node_as_string(name.node) : info.symbol;
  info.is_input = is_a(LV2_CORE__InputPort);
  if (is_a(LV2_CORE__ControlPort)) {
    info.kind = PortKind::control;
  } else if (is_a(LV2_CORE__AudioPort)) {
    info.kind = PortKind::audio;
  } else if (is_a(LV2_CORE__CVPort)) {
    info.kind = PortKind::cv;
  } else if (is_a(LV2_ATOM__AtomPort)) {
    info.kind = PortKind::atom;
  }
  info.optional =
      lilv_port_has_property(plugin_, port, Node(world_.get(), LV2_CORE__connectionOptional).node);

  LilvNode* def = nullptr;
  LilvNode* min = nullptr;
  LilvNode* max = nullptr;
  lilv_port_get_range(plugin_, port, &def, &min, &max);
  Node owned_def(def), owned_min(min), owned_max(max);
  info.has_range = min != nullptr && max != nullptr;
  if (min != nullptr) {
    info.minimum = lilv_node_as_float(min);
  }
  if (max != nullptr) {
    info.maximum = lilv_node_as_float(max);
  }
  info.default_value = def != nullptr ? lilv_node_as_float(def) : info.minimum;

  auto has = [&](const char* property) {
    return lilv_port_has_property(plugin_, port, Node(world_.get(), property).node);
  };
  info.toggled = has(LV2_CORE__toggled);
  info.integer = has(LV2_CORE__integer);
  info.enumeration = has(LV2_CORE__enumeration);
  Node unit(lilv_port_get(plugin_, port, Node(world_.get(), LV2_UNITS__unit).node));
  if (unit.node != nullptr) {
    info.unit = unit_symbol(world_.get(), unit.node);
  }
  LilvScalePoints* points = lilv_port_get_scale_points(plugin_, port);
  LILV_FOREACH(scale_points, i, points) {
    const LilvScalePoint* point = lilv_scale_points_get(points, i);
    info.scale_points.emplace_back(lilv_node_as_float(lilv_scale_point_get_value(point)),
                                   lilv_node_as_string(lilv_scale_point_get_label(point)));
  }
  lilv_scale_points_free(points);
  std::sort(info.scale_points.begin(), info.scale_points.end());

  if (info.kind == PortKind::atom) {
    Node size(lilv_port_get(plugin_, port, Node(world_.get(), LV2_RESIZE_PORT__minimumSize).node));
    const int wanted = size.node != nullptr ? lilv_node_as_int(size.node) : 0;
    info.atom_capacity = wanted > 8192 ? static_cast<uint32_t>(wanted) : 8192u;
  }
  return info;
}

const PortInfo& Plugin::port(const std::string& symbol) const {
  std::string list;
  std::vector<std::string> symbols;
  for (const PortInfo& info : ports_) {
    if (info.symbol == symbol) {
      return info;
    }
    list += (list.empty() ? "" : ", ") + info.symbol;
    symbols.push_back(info.symbol);
  }
  throw Failure(name_ + " has no port '" + symbol + "' (its ports: " + list + ")" +
                did_you_mean(symbol, symbols));
}

std::vector<std::string> Plugin::required_features() const {
  LilvNodes* nodes = lilv_plugin_get_required_features(plugin_);
  std::vector<std::string> uris;
  LILV_FOREACH(nodes, i, nodes) {
    uris.emplace_back(lilv_node_as_uri(lilv_nodes_get(nodes, i)));
  }
  lilv_nodes_free(nodes);
  // lilv's order follows where its nodes sit in memory: sorted, the first
  // missing feature reported is the same under any allocator.
  std::sort(uris.begin(), uris.end());
  return uris;
}

}  // namespace render
