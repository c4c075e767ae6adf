// Reads the staged bundles through lilv, as a host discovers them, and checks
// each plugin's ports against the port table and its description against what
// hosts and linters look for. lv2_validate does not notice a duplicate index,
// an integer default or a missing maintainer; these checks do.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <algorithm>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tests/host.hpp"
#include "tests/port_table.hpp"

namespace ports {
// A failing case names its plugin rather than the bytes of its row.
void PrintTo(const Plugin& plugin, std::ostream* os) {
  *os << plugin.name;
}
}  // namespace ports

namespace {

constexpr const char* lv2 = "http://lv2plug.in/ns/lv2core#";
constexpr const char* units = "http://lv2plug.in/ns/extensions/units#";
constexpr const char* pprops = "http://lv2plug.in/ns/ext/port-props#";
constexpr const char* pg = "http://lv2plug.in/ns/ext/port-groups#";
constexpr const char* pset = "http://lv2plug.in/ns/ext/presets#";
constexpr const char* doap = "http://usefulinc.com/ns/doap#";
constexpr const char* foaf = "http://xmlns.com/foaf/0.1/";
constexpr const char* rdf_type = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
constexpr const char* rdfs_comment = "http://www.w3.org/2000/01/rdf-schema#comment";
constexpr const char* rdfs_label = "http://www.w3.org/2000/01/rdf-schema#label";
constexpr const char* rdfs = "http://www.w3.org/2000/01/rdf-schema#";

// The LV2 core as Debian installs it: the plugin classes are defined there.
// The bundle alone, not all of /usr/lib/lv2, which may hold an installed
// copy of the plugins.
constexpr const char* lv2_core_bundle = "/usr/lib/lv2/core.lv2/";

// Who the bundles must name as maintainer. The address and the home page are
// on the publisher's domain, the one in the plugin URIs.
constexpr const char* maintainer_name = "zul-cv developers";
constexpr const char* project_name = "zul-cv";

std::string domain() {
  const std::string base = ZUL_TEST_URI_BASE;  // http://DOMAIN/plugins/...
  const size_t start = base.find("://") + 3;
  return base.substr(start, base.find('/', start) - start);
}

class World {
 public:
  // The bundles of `lv2_path`, and `bundle` before them when given.
  explicit World(const std::string& lv2_path = ZUL_TEST_STAGE_DIR, const char* bundle = nullptr)
      : world_(lilv_world_new()) {
    if (bundle != nullptr) {
      LilvNode* uri = lilv_new_file_uri(world_, nullptr, bundle);
      lilv_world_load_bundle(world_, uri);
      lilv_node_free(uri);
    }
    LilvNode* path = lilv_new_string(world_, lv2_path.c_str());
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

// A node that lilv hands over, freed with the wrapper.
using Node = std::unique_ptr<LilvNode, void (*)(LilvNode*)>;
Node own(LilvNode* node) {
  return Node(node, lilv_node_free);
}

// All values of one predicate, freed with the wrapper.
class Values {
 public:
  explicit Values(LilvNodes* nodes) : nodes_(nodes) {}
  ~Values() { lilv_nodes_free(nodes_); }
  Values(const Values&) = delete;
  Values& operator=(const Values&) = delete;

  size_t size() const { return nodes_ ? lilv_nodes_size(nodes_) : 0; }
  const LilvNodes* get() const { return nodes_; }
  const LilvNode* first() const { return nodes_ ? lilv_nodes_get_first(nodes_) : nullptr; }

 private:
  LilvNodes* nodes_;
};

size_t count_values(const LilvPlugin* plugin, const LilvPort* port, const LilvNode* predicate) {
  return Values(lilv_port_get_value(plugin, port, predicate)).size();
}

size_t count_values_of_plugin(const LilvPlugin* plugin, const LilvNode* predicate) {
  return Values(lilv_plugin_get_value(plugin, predicate)).size();
}

std::string as_string(const LilvNode* node) {
  return node ? lilv_node_as_string(node) : "(none)";
}

// A range value must be there, be written as the float that the port holds
// (1.0, not the integer 1), and equal the table's.
void expect_float(const LilvNode* node, float expected, const char* what, const char* symbol) {
  ASSERT_NE(node, nullptr) << symbol << ": no " << what;
  EXPECT_TRUE(lilv_node_is_float(node))
      << symbol << ": " << what << " is not a float literal: " << lilv_node_as_string(node);
  EXPECT_EQ(lilv_node_as_float(node), expected) << symbol << ": " << what;
}

// The URI of a unit of the table: LV2's, or the project's volt.
std::string unit_uri(const char* unit) {
  return std::string(unit) == ports::volt ? ZUL_TEST_VOLT_URI : std::string(units) + unit;
}

bool is_cv_hint(ports::Hint hint) {
  return hint == ports::Hint::continuous || hint == ports::Hint::discrete;
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
    // Exactly one of the three port classes: the table's.
    const char* classes[] = {"CVPort", "ControlPort", "AudioPort"};
    const char* expected_class = classes[static_cast<int>(expected.kind)];
    for (const char* c : classes) {
      EXPECT_EQ(lilv_port_is_a(plugin, port, w.uri(lv2, c)), c == expected_class) << s << ": " << c;
    }
    const bool is_cv = expected.kind != ports::control;  // CV, on a CV or an audio port

    // Every port, output or input, CV or control, states its range in floats.
    EXPECT_LE(expected.minimum, expected.default_value) << s << ": the table's default";
    EXPECT_LE(expected.default_value, expected.maximum) << s << ": the table's default";
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    expect_float(def, expected.default_value, "default", s);
    expect_float(min, expected.minimum, "minimum", s);
    expect_float(max, expected.maximum, "maximum", s);
    for (const char* bound : {"default", "minimum", "maximum"}) {
      EXPECT_EQ(count_values(plugin, port, w.uri(lv2, bound)), 1u) << s << ": " << bound;
    }

    EXPECT_EQ(count_values(plugin, port, w.uri(lv2, "name")), 1u) << s;
    EXPECT_EQ(count_values(plugin, port, w.uri("", rdfs_comment)), 1u) << s << ": no comment";

    const bool toggled = expected.hint == ports::Hint::toggled;
    const bool enumeration = expected.hint == ports::Hint::enumeration;
    EXPECT_EQ(lilv_port_has_property(plugin, port, w.uri(lv2, "toggled")), toggled) << s;
    EXPECT_EQ(lilv_port_has_property(plugin, port, w.uri(lv2, "enumeration")), enumeration) << s;
    if (enumeration) {
      EXPECT_TRUE(lilv_port_has_property(plugin, port, w.uri(lv2, "integer"))) << s;
      // One labelled scale point for every whole number of the range, each
      // value a float, and the range ending at the first and the last one.
      LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
      std::set<float> values;
      LILV_FOREACH(scale_points, it, points) {
        const LilvNode* value = lilv_scale_point_get_value(lilv_scale_points_get(points, it));
        EXPECT_TRUE(lilv_node_is_float(value))
            << s << ": scale point " << lilv_node_as_string(value) << " is not a float literal";
        values.insert(lilv_node_as_float(value));
      }
      lilv_scale_points_free(points);
      std::set<float> wanted;
      for (float v = expected.minimum; v <= expected.maximum; v += 1.0f) wanted.insert(v);
      EXPECT_EQ(values, wanted) << s;
      ASSERT_FALSE(values.empty()) << s;
      ASSERT_NE(min, nullptr);
      ASSERT_NE(max, nullptr);
      EXPECT_EQ(lilv_node_as_float(min), *values.begin()) << s << ": minimum is not the lowest";
      EXPECT_EQ(lilv_node_as_float(max), *values.rbegin()) << s << ": maximum is not the highest";
    }
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);

    // A port that carries CV says whether it is a smooth signal or steps:
    // exactly one of the two, the one in the table. Control ports say neither.
    EXPECT_EQ(is_cv_hint(expected.hint), is_cv) << s << ": the table's hint";
    const bool continuous = lilv_port_has_property(plugin, port, w.uri(pprops, "continuousCV"));
    const bool discrete = lilv_port_has_property(plugin, port, w.uri(pprops, "discreteCV"));
    EXPECT_EQ(continuous, expected.hint == ports::Hint::continuous) << s << ": continuousCV";
    EXPECT_EQ(discrete, expected.hint == ports::Hint::discrete) << s << ": discreteCV";

    // The unit of the table, or none at all.
    Values unit(lilv_port_get_value(plugin, port, w.uri(units, "unit")));
    if (expected.unit != nullptr) {
      ASSERT_EQ(unit.size(), 1u) << s << ": no unit or more than one";
      ASSERT_TRUE(lilv_node_is_uri(unit.first())) << s;
      EXPECT_EQ(std::string(lilv_node_as_uri(unit.first())), unit_uri(expected.unit)) << s;
    } else {
      EXPECT_EQ(unit.size(), 0u) << s << ": has a unit: " << as_string(unit.first());
    }

    // The group of the table, a pg:Group of this plugin with the table's
    // symbol and a label for the host to show, or none at all.
    Values group(lilv_port_get_value(plugin, port, w.uri(pg, "group")));
    ASSERT_EQ(group.size(), expected.group != nullptr ? 1u : 0u)
        << s << ": groups " << as_string(group.first());
    if (expected.group != nullptr) {
      EXPECT_EQ(as_string(group.first()), host::plugin_uri(row.name) + "#" + expected.group) << s;
      const auto get = [&](const LilvNode* predicate) {
        return own(lilv_world_get(w.get(), group.first(), predicate, nullptr));
      };
      EXPECT_TRUE(lilv_world_ask(w.get(), group.first(), w.uri("", rdf_type), w.uri(pg, "Group")))
          << s << ": " << as_string(group.first()) << " is not a pg:Group";
      EXPECT_EQ(as_string(get(w.uri(lv2, "symbol")).get()), expected.group) << s;
      const Node label = get(w.uri("", rdfs_label));
      ASSERT_NE(label, nullptr) << s << ": the group has no label";
      EXPECT_FALSE(std::string(lilv_node_as_string(label.get())).empty()) << s;
    }
  }
}

// A group holds a pair of ports (or more): never a port alone.
TEST_P(PortTable, GroupsHoldPairs) {
  std::map<std::string, int> members;
  for (const ports::Port& port : GetParam().ports) {
    if (port.group != nullptr) ++members[port.group];
  }
  for (const auto& [group, count] : members) EXPECT_GE(count, 2) << group;
}

// The plugins with factory presets; the others have nothing worth one: the
// switches have only their selector, abs and round only their enable.
bool has_presets(std::string name) {
  if (name.ends_with("-audio")) name.resize(name.size() - 6);
  return name == "zul-cv-slew" || name == "zul-cv-parameter-modulation" || name == "zul-cv-gate" ||
         name == "zul-cv-range" || name == "zul-cv-control";
}

// A plugin's factory presets as lilv finds them, label by label, each with
// its settings ("symbol=value ..."); every check of one preset fails here.
std::map<std::string, std::string> presets_of(World& w, const ports::Plugin& row) {
  std::map<std::string, std::string> found;
  const LilvPlugin* plugin = w.plugin(host::plugin_uri(row.name));
  EXPECT_NE(plugin, nullptr) << row.name;
  if (plugin == nullptr) return found;
  Values presets(lilv_plugin_get_related(plugin, w.uri(pset, "Preset")));
  LILV_FOREACH(nodes, it, presets.get()) {
    const LilvNode* preset = lilv_nodes_get(presets.get(), it);
    const std::string what = as_string(preset);
    // Its own file in the bundle's presets/, which the manifest names.
    Values files(lilv_world_find_nodes(w.get(), preset, w.uri(rdfs, "seeAlso"), nullptr));
    EXPECT_EQ(files.size(), 1u) << what;
    const std::string file = as_string(files.first());
    const std::string presets_dir = std::string(row.name) + ".lv2/presets/";
    EXPECT_NE(file.find(presets_dir), std::string::npos) << what << " is in " << file;
    EXPECT_GE(lilv_world_load_resource(w.get(), preset), 0) << what;

    Values applies(lilv_world_find_nodes(w.get(), preset, w.uri(lv2, "appliesTo"), nullptr));
    EXPECT_EQ(applies.size(), 1u) << what;
    EXPECT_EQ(as_string(applies.first()), host::plugin_uri(row.name)) << what;
    Values label(lilv_world_find_nodes(w.get(), preset, w.uri(rdfs, "label"), nullptr));
    Values comment(lilv_world_find_nodes(w.get(), preset, w.uri(rdfs, "comment"), nullptr));
    EXPECT_EQ(label.size(), 1u) << what << ": a label, one";
    EXPECT_EQ(comment.size(), 1u) << what << ": a comment, one";
    EXPECT_FALSE(as_string(comment.first()).empty()) << what;

    // Values for control inputs of the plugin, each once, within its range.
    std::map<std::string, float> values;
    Values port_nodes(lilv_world_find_nodes(w.get(), preset, w.uri(lv2, "port"), nullptr));
    LILV_FOREACH(nodes, p, port_nodes.get()) {
      const LilvNode* port = lilv_nodes_get(port_nodes.get(), p);
      const Node symbol = own(lilv_world_get(w.get(), port, w.uri(lv2, "symbol"), nullptr));
      const Node value = own(lilv_world_get(w.get(), port, w.uri(pset, "value"), nullptr));
      if (symbol == nullptr || value == nullptr) {
        ADD_FAILURE() << what << ": a port without a symbol or a value";
        continue;
      }
      const std::string s = as_string(symbol.get());
      const auto match = [&s](const ports::Port& q) { return s == q.symbol; };
      const auto expected = std::find_if(row.ports.begin(), row.ports.end(), match);
      EXPECT_TRUE(expected != row.ports.end() && expected->kind == ports::control &&
                  expected->direction == ports::in)
          << what << ": " << s << " is no control input";
      EXPECT_TRUE(lilv_node_is_float(value.get())) << what << ": " << s;
      const float v = lilv_node_as_float(value.get());
      if (expected != row.ports.end()) {
        EXPECT_TRUE(v >= expected->minimum && v <= expected->maximum) << what << ": " << s;
      }
      EXPECT_TRUE(values.emplace(s, v).second) << what << ": " << s << " twice";
    }
    EXPECT_FALSE(values.empty()) << what << " sets no port";
    std::string settings;
    for (const auto& [symbol, value] : values)
      settings += symbol + "=" + std::to_string(value) + " ";
    EXPECT_TRUE(found.emplace(as_string(label.first()), settings).second)
        << what << ": a second preset labelled " << as_string(label.first());
  }
  return found;
}

// A few presets, named, described and each in a file of its own, where the
// plugin has any worth having; none elsewhere.
TEST_P(PortTable, FactoryPresets) {
  const ports::Plugin& row = GetParam();
  const std::map<std::string, std::string> presets = presets_of(world(), row);
  if (has_presets(row.name)) {
    EXPECT_GE(presets.size(), 2u) << row.name;
  } else {
    EXPECT_TRUE(presets.empty()) << row.name << " has presets";
  }
}

// Each audio-port form has its CV plugin's presets, applying to its own URI.
TEST(PortTable, AudioFormsHaveThePresetsOfTheirPlugins) {
  for (size_t k = 0; k < ports::table().size(); ++k) {
    EXPECT_EQ(presets_of(world(), ports::audio_table()[k]), presets_of(world(), ports::table()[k]))
        << ports::table()[k].name;
  }
}

// Every bundle defines the volt its ports carry, as a host looks it up from a
// port: a units:Unit with the symbol, label and format that it shows. Each
// plugin is read from its own bundle alone, so that no other defines it.
TEST_P(PortTable, EachBundleDefinesTheVolt) {
  const ports::Plugin& row = GetParam();
  const auto in_volts = [](const ports::Port& p) {
    return p.unit != nullptr && std::string(p.unit) == ports::volt;
  };
  const auto port_in_volts = std::find_if(row.ports.begin(), row.ports.end(), in_volts);
  ASSERT_NE(port_in_volts, row.ports.end()) << row.name << " has no port in volts";

  std::unique_ptr<LilvWorld, void (*)(LilvWorld*)> lone(lilv_world_new(), lilv_world_free);
  const auto node = [&lone](const std::string& uri) {
    return own(lilv_new_uri(lone.get(), uri.c_str()));
  };
  const std::string bundle = std::string("file://") + ZUL_TEST_STAGE_DIR + "/" + row.name + ".lv2/";
  lilv_world_load_bundle(lone.get(), node(bundle).get());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(lone.get()),
                                                     node(host::plugin_uri(row.name)).get());
  ASSERT_NE(plugin, nullptr) << bundle;
  const LilvPort* port = lilv_plugin_get_port_by_index(plugin, port_in_volts->index);
  ASSERT_NE(port, nullptr);
  const Node unit = own(lilv_port_get(plugin, port, node(std::string(units) + "unit").get()));
  ASSERT_NE(unit, nullptr) << port_in_volts->symbol << " has no unit";
  EXPECT_EQ(as_string(unit.get()), std::string(ZUL_TEST_VOLT_URI));

  const auto value = [&](const std::string& predicate) {
    return as_string(
        own(lilv_world_get(lone.get(), unit.get(), node(predicate).get(), nullptr)).get());
  };
  EXPECT_EQ(value(rdf_type), std::string(units) + "Unit");
  EXPECT_EQ(value(std::string(units) + "symbol"), "V");
  EXPECT_EQ(value(rdfs_label), "volt");
  EXPECT_EQ(value(std::string(units) + "render"), "%f V");
}

// The enable is the port a host may map its own bypass button to where
// switching it off passes the input through exactly; where off silences the
// outputs (rounding, parameter modulation) it is no bypass.
TEST_P(PortTable, BypassIsTheEnableWhereOffPassesTheInput) {
  const ports::Plugin& row = GetParam();
  const std::set<std::string> bypassed = {"zul-cv-abs",        "zul-cv-slew",
                                          "zul-cv-gate",       "zul-cv-abs-audio",
                                          "zul-cv-slew-audio", "zul-cv-gate-audio"};
  World w;
  const LilvPlugin* plugin = w.plugin(host::plugin_uri(row.name));
  ASSERT_NE(plugin, nullptr) << row.name << " not found in " << ZUL_TEST_STAGE_DIR;
  const LilvPort* port =
      lilv_plugin_get_port_by_designation(plugin, w.uri(lv2, "InputPort"), w.uri(lv2, "enabled"));
  if (bypassed.contains(row.name)) {
    ASSERT_NE(port, nullptr) << row.name << ": no port designated lv2:enabled";
    EXPECT_EQ(as_string(lilv_port_get_symbol(plugin, port)), std::string("enable"));
    EXPECT_TRUE(lilv_port_has_property(plugin, port, w.uri(lv2, "toggled")));
  } else {
    EXPECT_EQ(port, nullptr) << row.name << ": designates "
                             << as_string(lilv_port_get_symbol(plugin, port));
  }
}

// What a host shows about a plugin besides its ports, and what a linter asks
// for. Each plugin is read in a world of its own, together with the LV2 core
// (its classes), so that no other bundle's statements stand in for its own.
TEST_P(PortTable, DescribesThePluginAndItsProject) {
  const ports::Plugin& row = GetParam();
  World w(ZUL_TEST_STAGE_DIR, lv2_core_bundle);
  const LilvPlugin* plugin = w.plugin(host::plugin_uri(row.name));
  ASSERT_NE(plugin, nullptr) << row.name << " not found in " << ZUL_TEST_STAGE_DIR;

  // A class of its own, one that the LV2 core defines, not just lv2:Plugin.
  const LilvPluginClass* plugin_class = lilv_plugin_get_class(plugin);
  ASSERT_NE(plugin_class, nullptr);
  EXPECT_NE(as_string(lilv_plugin_class_get_uri(plugin_class)), std::string(lv2) + "Plugin");

  Node name = own(lilv_plugin_get_name(plugin));
  EXPECT_NE(name, nullptr) << row.name << ": no doap:name";
  EXPECT_EQ(count_values_of_plugin(plugin, w.uri(doap, "name")), 1u);
  EXPECT_EQ(count_values_of_plugin(plugin, w.uri("", rdfs_comment)), 1u);

  // A short line: what a plugin list has room for.
  Values shortdesc(lilv_plugin_get_value(plugin, w.uri(doap, "shortdesc")));
  ASSERT_EQ(shortdesc.size(), 1u) << row.name << ": no doap:shortdesc or more than one";
  ASSERT_TRUE(lilv_node_is_string(shortdesc.first()));
  const std::string line = lilv_node_as_string(shortdesc.first());
  EXPECT_FALSE(line.empty());
  EXPECT_LE(line.size(), 64u) << line;
  EXPECT_EQ(line.find('\n'), std::string::npos) << line;

  Values license(lilv_plugin_get_value(plugin, w.uri(doap, "license")));
  ASSERT_EQ(license.size(), 1u) << row.name << ": no doap:license or more than one";
  EXPECT_TRUE(lilv_node_is_uri(license.first())) << as_string(license.first());

  // A non-zero minor version (even for a release, odd between releases: the
  // versions test holds it to the changelog), and a micro version.
  Values minor(lilv_plugin_get_value(plugin, w.uri(lv2, "minorVersion")));
  Values micro(lilv_plugin_get_value(plugin, w.uri(lv2, "microVersion")));
  ASSERT_EQ(minor.size(), 1u) << row.name << ": no lv2:minorVersion or more than one";
  ASSERT_EQ(micro.size(), 1u) << row.name << ": no lv2:microVersion or more than one";
  ASSERT_TRUE(lilv_node_is_int(minor.first())) << as_string(minor.first());
  ASSERT_TRUE(lilv_node_is_int(micro.first())) << as_string(micro.first());
  EXPECT_GT(lilv_node_as_int(minor.first()), 0);
  EXPECT_GE(lilv_node_as_int(micro.first()), 0);

  // One project, named.
  EXPECT_EQ(count_values_of_plugin(plugin, w.uri(lv2, "project")), 1u);
  Node project = own(lilv_plugin_get_project(plugin));
  ASSERT_NE(project, nullptr) << row.name << ": no lv2:project";
  EXPECT_TRUE(lilv_world_ask(w.get(), project.get(), w.uri("", rdf_type), w.uri(doap, "Project")));
  Node project_label = own(lilv_world_get(w.get(), project.get(), w.uri(doap, "name"), nullptr));
  EXPECT_EQ(as_string(project_label.get()), project_name);

  // The maintainer, as a host finds it: lilv looks at the plugin, then at its
  // project. It is a person with a name, a mailbox and a home page.
  Node author = own(lilv_plugin_get_author_name(plugin));
  Node email = own(lilv_plugin_get_author_email(plugin));
  Node homepage = own(lilv_plugin_get_author_homepage(plugin));
  ASSERT_NE(author, nullptr) << row.name << ": no maintainer's name";
  ASSERT_NE(email, nullptr) << row.name << ": no maintainer's mailbox";
  ASSERT_NE(homepage, nullptr) << row.name << ": no maintainer's home page";
  EXPECT_TRUE(lilv_node_is_string(author.get()));
  EXPECT_EQ(as_string(author.get()), maintainer_name);
  EXPECT_TRUE(lilv_node_is_uri(email.get()));
  EXPECT_EQ(as_string(email.get()), "mailto:dev@" + domain());
  EXPECT_TRUE(lilv_node_is_uri(homepage.get()));
  EXPECT_EQ(as_string(homepage.get()), "http://" + domain() + "/");

  Values own_maintainer(lilv_plugin_get_value(plugin, w.uri(doap, "maintainer")));
  Values project_maintainer(
      lilv_world_find_nodes(w.get(), project.get(), w.uri(doap, "maintainer"), nullptr));
  const LilvNode* maintainer =
      own_maintainer.size() ? own_maintainer.first() : project_maintainer.first();
  ASSERT_NE(maintainer, nullptr);
  EXPECT_TRUE(lilv_world_ask(w.get(), maintainer, w.uri("", rdf_type), w.uri(foaf, "Person")))
      << as_string(maintainer) << " is not a foaf:Person";
}

INSTANTIATE_TEST_SUITE_P(Plugins, PortTable, testing::ValuesIn(ports::table()),
                         [](const auto& param) { return host::test_name(param.param.name); });
INSTANTIATE_TEST_SUITE_P(AudioForms, PortTable, testing::ValuesIn(ports::audio_table()),
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
  for (const auto* plugins : {&ports::table(), &ports::audio_table()}) {
    for (const ports::Plugin& row : *plugins) tabled.insert(host::plugin_uri(row.name));
  }
  EXPECT_EQ(staged, tabled);
}

// A host groups plugins by project: all of them name the same node.
TEST(PortTable, EveryPluginNamesTheSameProject) {
  std::set<std::string> projects;
  std::vector<ports::Plugin> rows = ports::table();
  rows.insert(rows.end(), ports::audio_table().begin(), ports::audio_table().end());
  for (const ports::Plugin& row : rows) {
    const LilvPlugin* plugin = world().plugin(host::plugin_uri(row.name));
    ASSERT_NE(plugin, nullptr) << row.name;
    Node project = own(lilv_plugin_get_project(plugin));
    ASSERT_NE(project, nullptr) << row.name << ": no lv2:project";
    EXPECT_TRUE(lilv_node_is_uri(project.get())) << row.name << ": the project has no URI";
    projects.insert(as_string(project.get()));
  }
  EXPECT_EQ(projects.size(), 1u);
}

// A host lists each audio-port form beside its CV plugin, by name.
TEST(PortTable, AudioFormsAreNamedBesideTheirPlugins) {
  for (const ports::Plugin& row : ports::table()) {
    const LilvPlugin* cv = world().plugin(host::plugin_uri(row.name));
    const LilvPlugin* audio = world().plugin(host::plugin_uri(std::string(row.name) + "-audio"));
    ASSERT_NE(cv, nullptr) << row.name;
    ASSERT_NE(audio, nullptr) << row.name << "-audio";
    Node cv_name = own(lilv_plugin_get_name(cv));
    Node audio_name = own(lilv_plugin_get_name(audio));
    EXPECT_EQ(as_string(audio_name.get()), as_string(cv_name.get()) + " (audio)");
  }
}

}  // namespace
