#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/render/features.hpp"
#include "tools/render/plugin.hpp"

namespace render {
namespace {

// What Renderer refuses, read without instantiating: a required feature that
// zul-render lacks, or a port it cannot connect that the plugin needs.
bool can_render(LilvWorld* world, const LilvPlugin* plugin) {
  LilvNodes* features = lilv_plugin_get_required_features(plugin);
  bool ok = true;
  LILV_FOREACH(nodes, i, features) {
    ok = ok && Features::accepts(lilv_node_as_uri(lilv_nodes_get(features, i)));
  }
  lilv_nodes_free(features);
  std::vector<LilvNode*> kinds;
  for (const char* uri :
       {LV2_CORE__ControlPort, LV2_CORE__AudioPort, LV2_CORE__CVPort, LV2_ATOM__AtomPort}) {
    kinds.push_back(lilv_new_uri(world, uri));
  }
  LilvNode* optional = lilv_new_uri(world, LV2_CORE__connectionOptional);
  for (uint32_t p = 0; ok && p < lilv_plugin_get_num_ports(plugin); ++p) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
    ok = lilv_port_has_property(plugin, port, optional) ||
         std::any_of(kinds.begin(), kinds.end(),
                     [&](const LilvNode* kind) { return lilv_port_is_a(plugin, port, kind); });
  }
  lilv_node_free(optional);
  for (LilvNode* kind : kinds) {
    lilv_node_free(kind);
  }
  return ok;
}

}  // namespace

std::string plugin_list() {
  std::unique_ptr<LilvWorld, decltype(&lilv_world_free)> world(lilv_world_new(), lilv_world_free);
  load_world(world.get());
  std::vector<std::pair<std::string, std::string>> found;  // URI, name
  const LilvPlugins* plugins = lilv_world_get_all_plugins(world.get());
  LILV_FOREACH(plugins, i, plugins) {
    const LilvPlugin* plugin = lilv_plugins_get(plugins, i);
    if (!can_render(world.get(), plugin)) {
      continue;
    }
    LilvNode* name = lilv_plugin_get_name(plugin);
    const std::string uri = lilv_node_as_uri(lilv_plugin_get_uri(plugin));
    found.emplace_back(uri, name != nullptr ? lilv_node_as_string(name) : "");
    lilv_node_free(name);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return std::pair(!is_ours(a.first), a.first) < std::pair(!is_ours(b.first), b.first);
  });
  std::size_t width = 0;
  for (const auto& [uri, name] : found) {
    width = std::max(width, uri.size());
  }
  std::string text;
  for (const auto& [uri, name] : found) {
    text += uri + std::string(width - uri.size() + 2, ' ') + name + "\n";
  }
  return text;
}

}  // namespace render
