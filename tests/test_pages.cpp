// Holds each plugin's page, plugins/<name>/README.md, against its staged
// Turtle as lilv reads it: the port table lists every port with its index,
// symbol, name, direction and kind, range, default and unit, the numbers
// compared as numbers; the presets table every factory preset; the URI line
// names the plugin; the plot it links exists. The page opens with the music
// and keeps every exact rule in its last sections. The main README links
// every page.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/host.hpp"

namespace {

constexpr const char* lv2 = "http://lv2plug.in/ns/lv2core#";
constexpr const char* units = "http://lv2plug.in/ns/extensions/units#";

// How a page writes each unit of the units extension that a port may have.
const std::map<std::string, std::string> unit_text = {{"ms", "ms"}, {"pc", "%"}};

// The columns a port table must have, found by their headings.
const std::vector<std::string> columns = {"Index",   "Symbol",  "Name", "Port",   "Minimum",
                                          "Default", "Maximum", "Unit", "Meaning"};

// The sections of a page, in order: the music first (what the plugin is for
// and typical patches, above the first section), the exact rules last.
// "## Presets" comes after the ports where the plugin has presets.
const std::vector<std::string> sections = {"## Plot", "## Ports", "## Exact behaviour", "## State"};

// Words of the exact rules that the opening leaves to "## Exact behaviour".
const std::vector<std::string> exact_words = {"NaN",       "bit for bit",   "denormal", "buffer",
                                              "truncated", "negative zero", "payload"};

// Each page's exact rules, a phrase each, that must all stay in its "##
// Exact behaviour" section (compared with line ends as spaces).
const std::map<std::string, std::vector<std::string>> exact_rules = {
    {"zul-cv-switch1",
     {"truncated toward zero", "bit for bit (negative zero and NaN included)", "positive zero",
      "writes nothing in that block", "both outputs on one buffer end as zeros"}},
    {"zul-cv-switch2",
     {"truncated toward zero", "bit for bit (negative zero and NaN included)", "not read at all",
      "writes nothing in that block", "becomes a copy of the chosen input"}},
    {"zul-cv-abs",
     {"sign bit cleared", "a NaN keeps its payload", "negative denormal", "truncated toward zero",
      "passes through bit for bit", "rectified in place", "`lv2:enabled`"}},
    {"zul-cv-round",
     {"halves going up", "0.49999997 gives 0", "-0.5 rounds to +0 but has the ceiling -0",
      "A NaN input gives NaN on all four outputs", "2147483648", "A denormal input counts as zero",
      "carry positive zero", "truncated toward zero", "one reading of the input"}},
    {"zul-cv-parameter-modulation",
     {"double precision with one rounding", "0.33000001", "A NaN input gives 10",
      "never negative zero", "once, at the start of every block", "carries positive zero",
      "truncated toward zero", "processed in place"}},
    {"zul-cv-slew",
     {"999.99994", "0.0020833332", "0.63250375", "6670 samples", "7265", "1.2e-38",
      "A time of 0 holds the output", "lands on the input",
      "a negative time steps away from the input", "A NaN or infinite input sample",
      "on only at exactly 1", "glided in place", "within single precision's range",
      "`lv2:enabled`"}},
    {"zul-cv-gate",
     {"positive zero", "A NaN level closes the gate", "only the first sample is read",
      "truncated toward zero", "read again at every sample",
      "covers the level's first sample or a threshold", "gated in place", "`lv2:enabled`"}},
    {"zul-cv-range",
     {"both inclusive", "a NaN low bound, counts as out of range",
      "a NaN high bound limits nothing", "Only the first sample of the input's buffer is read",
      "copied bit for bit", "truncated toward zero", "a block of no samples does not reset",
      "the buffer ends with the out-of-range values"}},
    {"zul-cv-control",
     {"double precision", "0.0694643", "the control value bit for bit",
      "The filter keeps running while smoothing is off", "read once, at the start of every block",
      "truncated toward zero", "An infinite or NaN control leaves the filter where",
      "not a positive finite number gives no instance"}},
};

class World {
 public:
  World() : world_(lilv_world_new()) {
    LilvNode* path = lilv_new_string(world_, ZUL_TEST_STAGE_DIR);
    lilv_world_set_option(world_, LILV_OPTION_LV2_PATH, path);
    lilv_node_free(path);
    lilv_world_load_all(world_);
    for (const char* name : {"InputPort", "OutputPort", "CVPort", "ControlPort", "AudioPort"}) {
      nodes_[name] = lilv_new_uri(world_, (std::string(lv2) + name).c_str());
    }
    nodes_["unit"] = lilv_new_uri(world_, (std::string(units) + "unit").c_str());
    nodes_["symbol"] = lilv_new_uri(world_, (std::string(units) + "symbol").c_str());
    nodes_["symbol_"] = lilv_new_uri(world_, (std::string(lv2) + "symbol").c_str());
    nodes_["port"] = lilv_new_uri(world_, (std::string(lv2) + "port").c_str());
    nodes_["Preset"] = lilv_new_uri(world_, "http://lv2plug.in/ns/ext/presets#Preset");
    nodes_["value"] = lilv_new_uri(world_, "http://lv2plug.in/ns/ext/presets#value");
    nodes_["label"] = lilv_new_uri(world_, "http://www.w3.org/2000/01/rdf-schema#label");
  }
  ~World() {
    for (auto& [name, node] : nodes_) lilv_node_free(node);
    lilv_world_free(world_);
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  const LilvPlugin* plugin(const std::string& uri_string) const {
    LilvNode* uri_node = lilv_new_uri(world_, uri_string.c_str());
    const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri_node);
    lilv_node_free(uri_node);
    return p;
  }
  const LilvNode* node(const std::string& name) const { return nodes_.at(name); }
  LilvWorld* get() const { return world_; }

 private:
  LilvWorld* world_;
  std::map<std::string, LilvNode*> nodes_;
};

const World& world() {
  static const World w;
  return w;
}

std::filesystem::path source_dir() {
  return ZUL_TEST_SOURCE_DIR;
}
std::filesystem::path page_path(const std::string& name) {
  return source_dir() / "plugins" / name / "README.md";
}

std::vector<std::string> read_lines(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

std::string trimmed(const std::string& s) {
  const size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

// The cells of a Markdown table row; "\|" stays inside a cell.
std::vector<std::string> cells(const std::string& row) {
  std::string line = trimmed(row);
  if (!line.empty() && line.front() == '|') line.erase(0, 1);
  if (!line.empty() && line.back() == '|' && (line.size() < 2 || line[line.size() - 2] != '\\')) {
    line.pop_back();
  }
  std::vector<std::string> result;
  std::string cell;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
      cell += '|';
      ++i;
    } else if (line[i] == '|') {
      result.push_back(trimmed(cell));
      cell.clear();
    } else {
      cell += line[i];
    }
  }
  result.push_back(trimmed(cell));
  return result;
}

// A cell as written in code: `input` -> input.
std::string unquoted(const std::string& cell) {
  if (cell.size() >= 2 && cell.front() == '`' && cell.back() == '`') {
    return cell.substr(1, cell.size() - 2);
  }
  return cell;
}

// A cell that is a number and nothing else, or false.
bool number(const std::string& cell, double& value) {
  if (cell.empty()) return false;
  char* end = nullptr;
  value = std::strtod(cell.c_str(), &end);
  return end == cell.c_str() + cell.size();
}

// One row of a page's port table, by column heading.
using Row = std::map<std::string, std::string>;

// The rows of the table under "## Ports"; a malformed table fails the test.
void read_port_table(const std::vector<std::string>& lines, std::vector<Row>& rows) {
  size_t i = 0;
  while (i < lines.size() && lines[i] != "## Ports") ++i;
  ASSERT_LT(i, lines.size()) << "no \"## Ports\" section";
  ++i;
  while (i < lines.size() && trimmed(lines[i]).empty()) ++i;
  ASSERT_LT(i + 1, lines.size()) << "no port table under \"## Ports\"";
  const std::vector<std::string> heading = cells(lines[i]);
  for (const std::string& column : columns) {
    EXPECT_EQ(std::count(heading.begin(), heading.end(), column), 1) << "column " << column;
  }
  const std::vector<std::string> rule = cells(lines[i + 1]);
  ASSERT_EQ(rule.size(), heading.size()) << lines[i + 1];
  for (const std::string& cell : rule) {
    ASSERT_TRUE(!cell.empty() && cell.find_first_not_of("-:") == std::string::npos)
        << "not a table rule: " << lines[i + 1];
  }
  for (i += 2; i < lines.size() && trimmed(lines[i]).rfind('|', 0) == 0; ++i) {
    const std::vector<std::string> row = cells(lines[i]);
    ASSERT_EQ(row.size(), heading.size()) << lines[i];
    Row r;
    for (size_t c = 0; c < row.size(); ++c) r[heading[c]] = row[c];
    rows.push_back(r);
  }
}

// The number a page gives must be the Turtle's, whatever literal either uses.
void expect_same_number(const std::string& cell, const LilvNode* node, const std::string& what) {
  ASSERT_NE(node, nullptr) << what << ": the Turtle gives none, the page gives " << cell;
  ASSERT_TRUE(lilv_node_is_float(node) || lilv_node_is_int(node)) << what;
  double value = 0.0;
  ASSERT_TRUE(number(cell, value)) << what << ": \"" << cell << "\" is not a number";
  EXPECT_EQ(static_cast<float>(value), lilv_node_as_float(node))
      << what << ": the page gives " << cell << ", the Turtle " << lilv_node_as_string(node);
}

// The page describes the CV plugin: in its audio-port form a stream's audio
// port is a CV port there, and so is a control port that is CV in the other.
std::string port_text(const LilvPlugin* plugin, const LilvPort* port, const LilvPort* cv_port) {
  const World& w = world();
  const bool cv = lilv_port_is_a(plugin, port, w.node("CVPort")) ||
                  lilv_port_is_a(plugin, port, w.node("AudioPort")) ||
                  (cv_port != port && lilv_port_is_a(plugin, port, w.node("ControlPort")) &&
                   lilv_port_is_a(plugin, cv_port, w.node("CVPort")));
  const std::string kind = cv                                                    ? "CV"
                           : lilv_port_is_a(plugin, port, w.node("ControlPort")) ? "control"
                                                                                 : "?";
  const std::string direction = lilv_port_is_a(plugin, port, w.node("InputPort"))    ? "input"
                                : lilv_port_is_a(plugin, port, w.node("OutputPort")) ? "output"
                                                                                     : "?";
  return kind + " " + direction;
}

// The unit as the page writes it, or "" for a port without one: the symbol
// that the Turtle gives it (the project's volt), else the page's text for a
// unit of LV2's.
std::string unit_of(const LilvPlugin* plugin, const LilvPort* port) {
  LilvNodes* values = lilv_port_get_value(plugin, port, world().node("unit"));
  if (values == nullptr) return "";
  const std::string uri = lilv_node_as_uri(lilv_nodes_get_first(values));
  LilvNode* symbol =
      lilv_world_get(world().get(), lilv_nodes_get_first(values), world().node("symbol"), nullptr);
  lilv_nodes_free(values);
  if (symbol != nullptr) {
    const std::string text = lilv_node_as_string(symbol);
    lilv_node_free(symbol);
    return text;
  }
  const std::string fragment =
      uri.rfind(units, 0) == 0 ? uri.substr(std::string(units).size()) : uri;
  const auto text = unit_text.find(fragment);
  return text != unit_text.end() ? text->second : "(no page text for unit " + uri + ")";
}

// The text of a section, its lines joined by spaces; "" for the opening, from
// the title to the first section.
std::string section(const std::string& name, const std::string& heading) {
  std::string text;
  bool inside = heading.empty();
  for (const std::string& line : read_lines(page_path(name))) {
    if (line.rfind("## ", 0) == 0) inside = line == heading;
    if (inside) text += line + " ";
  }
  return text;
}

// A value as a page writes it: 50, 0.001, -100.
std::string shown(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

// A form's factory presets as lilv finds them: label to "`symbol` value, ...",
// in the order of the ports.
std::map<std::string, std::string> presets(const std::string& name) {
  const World& w = world();
  std::map<std::string, std::string> found;
  const LilvPlugin* plugin = w.plugin(host::plugin_uri(name));
  if (plugin == nullptr) return found;
  LilvNodes* related = lilv_plugin_get_related(plugin, w.node("Preset"));
  LILV_FOREACH(nodes, it, related) {
    const LilvNode* preset = lilv_nodes_get(related, it);
    lilv_world_load_resource(w.get(), preset);
    LilvNode* label = lilv_world_get(w.get(), preset, w.node("label"), nullptr);
    std::map<uint32_t, std::string> settings;
    LilvNodes* port_nodes = lilv_world_find_nodes(w.get(), preset, w.node("port"), nullptr);
    LILV_FOREACH(nodes, p, port_nodes) {
      const LilvNode* port = lilv_nodes_get(port_nodes, p);
      LilvNode* symbol = lilv_world_get(w.get(), port, w.node("symbol_"), nullptr);
      LilvNode* value = lilv_world_get(w.get(), port, w.node("value"), nullptr);
      const LilvPort* by_symbol =
          symbol != nullptr ? lilv_plugin_get_port_by_symbol(plugin, symbol) : nullptr;
      if (by_symbol != nullptr && value != nullptr) {
        std::string& setting = settings[lilv_port_get_index(plugin, by_symbol)];
        setting.append("`").append(lilv_node_as_string(symbol)).append("` ");
        setting += shown(lilv_node_as_float(value));
      }
      lilv_node_free(symbol);
      lilv_node_free(value);
    }
    lilv_nodes_free(port_nodes);
    std::string text;
    for (const auto& [index, setting] : settings) text += (text.empty() ? "" : ", ") + setting;
    found[label != nullptr ? lilv_node_as_string(label) : "(no label)"] = text;
    lilv_node_free(label);
  }
  lilv_nodes_free(related);
  return found;
}

class Page : public testing::TestWithParam<std::string> {};

TEST_P(Page, HasTheSectionsInOrder) {
  const std::vector<std::string> lines = read_lines(page_path(GetParam()));
  ASSERT_FALSE(lines.empty()) << "no page at " << page_path(GetParam());
  EXPECT_EQ(lines[0].rfind("# " + GetParam(), 0), 0u) << "title: " << lines[0];
  std::vector<std::string> found;
  for (const std::string& line : lines) {
    if (line.rfind("## ", 0) == 0) found.push_back(line);
  }
  std::vector<std::string> expected = sections;
  if (!presets(GetParam()).empty()) {
    expected.insert(std::find(expected.begin(), expected.end(), "## Exact behaviour"),
                    "## Presets");
  }
  EXPECT_EQ(found, expected);
}

// The first screen is for a musician: what the plugin is for and two or
// three typical patches, with none of the exact rules' bits and buffers.
TEST_P(Page, OpensWithTheMusic) {
  const std::string opening = section(GetParam(), "");
  EXPECT_NE(opening.find("Typical patches:"), std::string::npos) << "no \"Typical patches:\"";
  size_t patches = 0;
  for (const std::string& line : read_lines(page_path(GetParam()))) {
    if (line.rfind("## ", 0) == 0) break;
    if (line.rfind("- **", 0) == 0) ++patches;
  }
  EXPECT_GE(patches, 2u) << "patches, each a line \"- **Name**: ...\"";
  for (const std::string& word : exact_words) {
    EXPECT_EQ(opening.find(word), std::string::npos)
        << "\"" << word << "\" before the first section";
  }
}

// Nothing exact was dropped when the rules moved down: each one is still in
// "## Exact behaviour".
TEST_P(Page, KeepsEveryExactRule) {
  const std::string exact = section(GetParam(), "## Exact behaviour");
  ASSERT_TRUE(exact_rules.contains(GetParam())) << "no exact rules listed for " << GetParam();
  for (const std::string& rule : exact_rules.at(GetParam())) {
    EXPECT_NE(exact.find(rule), std::string::npos) << "\"" << rule << "\" is gone";
  }
}

// The presets table lists every factory preset of the Turtle once, by its
// label, with its settings as "`symbol` value" pairs.
TEST_P(Page, PresetsTableMatchesTheTurtle) {
  std::map<std::string, std::string> listed;
  bool in_table = false;
  for (const std::string& line : read_lines(page_path(GetParam()))) {
    if (line.rfind("## ", 0) == 0) in_table = line == "## Presets";
    if (!in_table || line.rfind("| ", 0) != 0 || line.rfind("| Preset |", 0) == 0) continue;
    const std::vector<std::string> row = cells(line);
    ASSERT_EQ(row.size(), 2u) << line;
    EXPECT_TRUE(listed.emplace(row[0], row[1]).second) << row[0] << " listed twice";
  }
  for (const std::string& name : {GetParam(), GetParam() + "-audio"}) {
    EXPECT_EQ(listed, presets(name)) << name;
  }
}

// The page's port table against one form of its plugin: the CV plugin
// (form == page) or its audio-port form, which has the same ports.
void expect_port_table(const std::string& page, const std::string& name) {
  const LilvPlugin* plugin = world().plugin(host::plugin_uri(name));
  const LilvPlugin* cv_plugin = world().plugin(host::plugin_uri(page));
  ASSERT_NE(plugin, nullptr) << name << " not found in " << ZUL_TEST_STAGE_DIR;
  ASSERT_NE(cv_plugin, nullptr) << page << " not found in " << ZUL_TEST_STAGE_DIR;
  std::vector<Row> rows;
  ASSERT_NO_FATAL_FAILURE(read_port_table(read_lines(page_path(page)), rows));

  // Every row names a port of the plugin, once, in the order of the indexes.
  const uint32_t count = lilv_plugin_get_num_ports(plugin);
  EXPECT_EQ(rows.size(), count) << "the page lists " << rows.size() << " ports";
  std::set<double> seen;
  double previous = -1.0;
  for (const Row& row : rows) {
    double index = 0.0;
    ASSERT_TRUE(number(row.at("Index"), index)) << "index \"" << row.at("Index") << "\"";
    EXPECT_TRUE(seen.insert(index).second) << "index " << index << " listed twice";
    EXPECT_GT(index, previous) << "rows out of index order at " << index;
    previous = index;
    EXPECT_TRUE(index >= 0.0 && index < count && index == static_cast<uint32_t>(index))
        << "the plugin has no port " << row.at("Index");
  }

  for (uint32_t i = 0; i < count; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    ASSERT_NE(port, nullptr);
    const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
    const std::string what = name + " port " + std::to_string(i) + " (" + symbol + ")";
    const Row* row = nullptr;
    for (const Row& r : rows) {
      double index = 0.0;
      if (number(r.at("Index"), index) && index == i) row = &r;
    }
    if (row == nullptr) {
      ADD_FAILURE() << what << " is missing from the page";
      continue;
    }
    EXPECT_EQ(unquoted(row->at("Symbol")), symbol) << what;
    LilvNode* port_name = lilv_port_get_name(plugin, port);
    ASSERT_NE(port_name, nullptr) << what;
    EXPECT_EQ(row->at("Name"), lilv_node_as_string(port_name)) << what;
    lilv_node_free(port_name);
    const LilvPort* cv_port = lilv_plugin_get_port_by_index(cv_plugin, i);
    EXPECT_EQ(row->at("Port"), port_text(plugin, port, cv_port)) << what;

    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    expect_same_number(row->at("Minimum"), min, what + " minimum");
    expect_same_number(row->at("Default"), def, what + " default");
    expect_same_number(row->at("Maximum"), max, what + " maximum");
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);

    EXPECT_EQ(row->at("Unit"), unit_of(plugin, port)) << what << " unit";
    EXPECT_FALSE(row->at("Meaning").empty()) << what << " has no meaning";
  }
}

TEST_P(Page, PortTableMatchesTheTurtle) {
  for (const std::string& name : {GetParam(), GetParam() + "-audio"}) {
    SCOPED_TRACE(name);
    expect_port_table(GetParam(), name);
  }
}

// The URI line gives the plugin's URI, and the line after it its audio-port
// form's, with the domain the build was made for replaced by any: a build for
// another domain keeps its pages.
TEST_P(Page, UriLinesNameBothForms) {
  const std::string& name = GetParam();
  const std::string scheme = "http://";
  // What follows the domain, or "" for a URI that is not http.
  const auto path_of = [&scheme](const std::string& uri) {
    const size_t slash =
        uri.rfind(scheme, 0) == 0 ? uri.find('/', scheme.size()) : std::string::npos;
    return slash == std::string::npos ? std::string() : uri.substr(slash);
  };
  const std::pair<std::string, std::string> forms[] = {
      {"URI: `", name}, {"Audio-port form, for hosts without CV ports: `", name + "-audio"}};
  for (const auto& [prefix, form] : forms) {
    std::vector<std::string> uris;
    for (const std::string& line : read_lines(page_path(name))) {
      if (line.rfind(prefix, 0) == 0 && line.size() > prefix.size() && line.back() == '`') {
        uris.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
      }
    }
    ASSERT_EQ(uris.size(), 1u) << "one line \"" << prefix << "...`\"";
    const std::string staged = host::plugin_uri(form);
    ASSERT_FALSE(path_of(staged).empty()) << staged;
    EXPECT_EQ(path_of(uris[0]), path_of(staged)) << uris[0];
    EXPECT_NE(world().plugin(staged), nullptr) << staged;
  }
}

TEST_P(Page, LinksItsPlot) {
  const std::string& name = GetParam();
  const std::string target = "../../docs/" + name + ".png";
  bool linked = false;
  for (const std::string& line : read_lines(page_path(name))) {
    const size_t open = line.find("![");
    const size_t link = line.find("](" + target + ")");
    if (open == 0 && link != std::string::npos && link > 2) linked = true;
  }
  EXPECT_TRUE(linked) << "no line ![...](" << target << ")";
  const std::filesystem::path plot = page_path(name).parent_path() / target;
  std::ifstream file(plot, std::ios::binary);
  char signature[8] = {};
  file.read(signature, sizeof signature);
  EXPECT_EQ(std::string(signature, sizeof signature), std::string("\x89PNG\r\n\x1a\n", 8))
      << plot << " is not a PNG file";
}

TEST_P(Page, TheReadmeLinksIt) {
  const std::string& name = GetParam();
  const std::string link = "[`" + name + "`](plugins/" + name + "/README.md)";
  bool linked = false;
  for (const std::string& line : read_lines(source_dir() / "README.md")) {
    if (line.find(link) != std::string::npos) linked = true;
  }
  EXPECT_TRUE(linked) << "README.md has no " << link;
}

// The README's table says which plugins read a CV once per block; their
// pages say how long a change may wait at 48 kHz.
TEST(Readme, TableNamesTheReadsOncePerBlock) {
  for (const std::string name : {"zul-cv-gate", "zul-cv-range"}) {
    const std::string link = "[`" + name + "`](plugins/" + name + "/README.md)";
    std::string row;
    for (const std::string& line : read_lines(source_dir() / "README.md")) {
      if (line.rfind("| " + link, 0) == 0) row = line;
    }
    EXPECT_NE(row.find("read once per block"), std::string::npos) << name << ": " << row;
    std::string page;
    for (const std::string& line : read_lines(page_path(name))) page += line + " ";
    EXPECT_NE(page.find("(at 48 kHz: 1.3 ms at 64 frames, 5.3 ms at 256, 21.3 ms at 1024)"),
              std::string::npos)
        << name << "'s page does not say how long a change may wait";
  }
}

// A command works as root on a machine without sudo: the README says "as
// root, or with sudo" rather than showing one.
TEST(Readme, NoCommandStartsWithSudo) {
  bool code = false;
  for (const std::string& line : read_lines(source_dir() / "README.md")) {
    if (line.rfind("```", 0) == 0) code = !code;
    EXPECT_FALSE(code && line.rfind("sudo ", 0) == 0) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Plugins, Page, testing::ValuesIn(host::plugin_names()),
                         host::PluginTestName());

}  // namespace
