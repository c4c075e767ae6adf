#include "tools/render/plugin.hpp"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/resize-port/resize-port.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "tools/render/failure.hpp"

namespace render {
namespace {

// A node made here and freed at the end of the statement's scope.
struct Node {
  LilvNode* node;
  Node(LilvWorld* world, const char* uri) : node(lilv_new_uri(world, uri)) {}
  explicit Node(LilvNode* owned) : node(owned) {}
  ~Node() { lilv_node_free(node); }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
};

std::string uri_of(const std::string& name) {
  if (name.find(':') != std::string::npos) {
    return name;
  }
  const std::string prefix = "zul-cv-";
  return std::string(ZUL_RENDER_URI_BASE) + "/" + (name.starts_with(prefix) ? "" : prefix) + name;
}

}  // namespace

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

std::string default_lv2_path() {
  std::string path = ZUL_RENDER_STAGE_DIR;
  if (const char* home = std::getenv("HOME")) {
    path += std::string(":") + home + "/.lv2";
  }
  return path + ":/usr/local/lib/lv2:/usr/lib/lv2";
}

Plugin::Plugin(const std::string& name)
    : world_(lilv_world_new(), lilv_world_free), uri_(uri_of(name)) {
  LilvWorld* world = world_.get();
  const char* env = std::getenv("LV2_PATH");
  const std::string search = env != nullptr ? env : default_lv2_path();
  if (env == nullptr) {
    Node path(lilv_new_string(world, search.c_str()));
    lilv_world_set_option(world, LILV_OPTION_LV2_PATH, path.node);
  }
  lilv_world_load_all(world);
  Node uri(world, uri_.c_str());
  plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri.node);
  if (plugin_ == nullptr) {
    throw Failure("no plugin " + uri_ + " in the LV2 path " + search);
  }
  Node plugin_name(lilv_plugin_get_name(plugin_));
  name_ = plugin_name.node != nullptr ? lilv_node_as_string(plugin_name.node) : uri_;
  for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin_); ++i) {
    ports_.push_back(read_port(i));
  }
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

  if (info.kind == PortKind::atom) {
    Node size(lilv_port_get(plugin_, port, Node(world_.get(), LV2_RESIZE_PORT__minimumSize).node));
    const int wanted = size.node != nullptr ? lilv_node_as_int(size.node) : 0;
    info.atom_capacity = wanted > 8192 ? static_cast<uint32_t>(wanted) : 8192u;
  }
  return info;
}

const PortInfo& Plugin::port(const std::string& symbol) const {
  std::string symbols;
  for (const PortInfo& info : ports_) {
    if (info.symbol == symbol) {
      return info;
    }
    symbols += (symbols.empty() ? "" : ", ") + info.symbol;
  }
  throw Failure(name_ + " has no port '" + symbol + "' (its ports: " + symbols + ")");
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
