// Reads the staged bundles through lilv, as a host discovers them, and checks
// each plugin's ports against the port table. lv2_validate does not notice a
// duplicate index or a non-numeric default; these checks do.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <cmath>
#include <set>
#include <string>

#include "tests/host.hpp"
#include "tests/port_table.hpp"

namespace {

constexpr const char* lv2 = "http://lv2plug.in/ns/lv2core#";
constexpr const char* units = "http://lv2plug.in/ns/extensions/units#";
constexpr const char* rdfs_comment = "http://www.w3.org/2000/01/rdf-schema#comment";

class World {
 public:
  World() : world_(lilv_world_new()) {
    LilvNode* path = lilv_new_string(world_, ZUL_TEST_STAGE_DIR);
    lilv_world_set_option(world_, LILV_OPTION_LV2_PATH, path);
    lilv_node_free(path);
    lilv_world_load_all(world_);
  }
  ~World() {
    for (LilvNode* n : nodes_) lilv_node_free(n);
    lilv_world_free(world_);
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // A URI node that lives as long as the world.
  const LilvNode* uri(const std::string& base, const char* name) {
    nodes_.push_back(lilv_new_uri(world_, (base + name).c_str()));
    return nodes_.back();
  }
  const LilvPlugin* plugin(const std::string& uri_string) {
    LilvNode* uri_node = lilv_new_uri(world_, uri_string.c_str());
    const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri_node);
    lilv_node_free(uri_node);
    return p;
  }
  LilvWorld* get() { return world_; }

 private:
  LilvWorld* world_;
  std::vector<LilvNode*> nodes_;
};

World& world() {
  static World w;
  return w;
}

size_t count_values(const LilvPlugin* plugin, const LilvPort* port, const LilvNode* predicate) {
  LilvNodes* values = lilv_port_get_value(plugin, port, predicate);
  const size_t count = values ? lilv_nodes_size(values) : 0;
  lilv_nodes_free(values);
  return count;
}

size_t count_values_of_plugin(const LilvPlugin* plugin, const LilvNode* predicate) {
  LilvNodes* values = lilv_plugin_get_value(plugin, predicate);
  const size_t count = values ? lilv_nodes_size(values) : 0;
  lilv_nodes_free(values);
  return count;
}

// A range value must be there, be a number, and equal the table's.
void expect_number(const LilvNode* node, float expected, const char* what, const char* symbol) {
  ASSERT_NE(node, nullptr) << symbol << ": no " << what;
  ASSERT_TRUE(lilv_node_is_float(node) || lilv_node_is_int(node))
      << symbol << ": " << what << " is not a number: " << lilv_node_as_string(node);
  EXPECT_EQ(lilv_node_as_float(node), expected) << symbol << ": " << what;
}

class PortTable : public testing::TestWithParam<ports::Plugin> {};

TEST_P(PortTable, PortsMatchTheTable) {
  const ports::Plugin& row = GetParam();
  World& w = world();
  const LilvPlugin* plugin = w.plugin(host::plugin_uri(row.name));
  ASSERT_NE(plugin, nullptr) << row.name << " not found in " << ZUL_TEST_STAGE_DIR;
  EXPECT_TRUE(lilv_plugin_verify(plugin));

  // Each lv2:port statement is one port: a duplicate index would hide one.
  LilvNodes* port_nodes =
      lilv_world_find_nodes(w.get(), lilv_plugin_get_uri(plugin), w.uri(lv2, "port"), nullptr);
  EXPECT_EQ(lilv_nodes_size(port_nodes), row.ports.size());
  lilv_nodes_free(port_nodes);
  ASSERT_EQ(lilv_plugin_get_num_ports(plugin), row.ports.size());

  LilvNode* name = lilv_plugin_get_name(plugin);
  EXPECT_NE(name, nullptr) << row.name << ": no doap:name";
  lilv_node_free(name);
  EXPECT_EQ(count_values_of_plugin(plugin, w.uri("", rdfs_comment)), 1u);

  std::set<std::string> symbols;
  for (const ports::Port& expected : row.ports) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, expected.index);
    ASSERT_NE(port, nullptr) << row.name << ": no port " << expected.index;
    const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
    const char* s = expected.symbol;
    EXPECT_EQ(symbol, expected.symbol);
    EXPECT_TRUE(symbols.insert(symbol).second) << "duplicate symbol " << symbol;
    EXPECT_EQ(count_values(plugin, port, w.uri(lv2, "index")), 1u) << s;

    const bool input = expected.direction == ports::in;
    EXPECT_TRUE(lilv_port_is_a(plugin, port, w.uri(lv2, input ? "InputPort" : "OutputPort"))) << s;
    EXPECT_FALSE(lilv_port_is_a(plugin, port, w.uri(lv2, input ? "OutputPort" : "InputPort"))) << s;
    const bool is_cv = expected.kind == ports::cv;
    EXPECT_TRUE(lilv_port_is_a(plugin, port, w.uri(lv2, is_cv ? "CVPort" : "ControlPort"))) << s;
    EXPECT_FALSE(lilv_port_is_a(plugin, port, w.uri(lv2, is_cv ? "ControlPort" : "CVPort"))) << s;

    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    expect_number(def, expected.default_value, "default", s);
    expect_number(min, expected.minimum, "minimum", s);
    expect_number(max, expected.maximum, "maximum", s);
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);

    EXPECT_EQ(count_values(plugin, port, w.uri(lv2, "name")), 1u) << s;
    EXPECT_EQ(count_values(plugin, port, w.uri("", rdfs_comment)), 1u) << s << ": no comment";

    const bool toggled = expected.hint == ports::Hint::toggled;
    const bool enumeration = expected.hint == ports::Hint::enumeration;
    EXPECT_EQ(lilv_port_has_property(plugin, port, w.uri(lv2, "toggled")), toggled) << s;
    EXPECT_EQ(lilv_port_has_property(plugin, port, w.uri(lv2, "enumeration")), enumeration) << s;
    if (enumeration) {
      EXPECT_TRUE(lilv_port_has_property(plugin, port, w.uri(lv2, "integer"))) << s;
      // One labelled scale point for every whole number of the range.
      LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
      std::set<float> values;
      LILV_FOREACH(scale_points, it, points) {
        values.insert(
            lilv_node_as_float(lilv_scale_point_get_value(lilv_scale_points_get(points, it))));
      }
      lilv_scale_points_free(points);
      std::set<float> wanted;
      for (float v = expected.minimum; v <= expected.maximum; v += 1.0f) wanted.insert(v);
      EXPECT_EQ(values, wanted) << s;
    }
    if (expected.unit != nullptr) {
      LilvNodes* unit = lilv_port_get_value(plugin, port, w.uri(units, "unit"));
      ASSERT_NE(unit, nullptr) << s << ": no unit";
      EXPECT_EQ(std::string(lilv_node_as_uri(lilv_nodes_get_first(unit))),
                std::string(units) + expected.unit);
      lilv_nodes_free(unit);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Plugins, PortTable, testing::ValuesIn(ports::table()),
                         [](const auto& param) { return host::test_name(param.param.name); });

// Every staged bundle has rows, and every row has a staged bundle.
TEST(PortTable, CoversEveryStagedPlugin) {
  std::set<std::string> staged, tabled;
  const LilvPlugins* all = lilv_world_get_all_plugins(world().get());
  LILV_FOREACH(plugins, it, all) {
    const std::string uri = lilv_node_as_uri(lilv_plugin_get_uri(lilv_plugins_get(all, it)));
    if (uri.rfind(ZUL_TEST_URI_BASE, 0) == 0) staged.insert(uri);
  }
  for (const std::string& name : host::plugin_names()) {
    EXPECT_NE(ports::find(name.c_str()), nullptr) << name << " has no rows in the port table";
  }
  for (const ports::Plugin& row : ports::table()) tabled.insert(host::plugin_uri(row.name));
  EXPECT_EQ(staged, tabled);
}

}  // namespace
