#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tools/render/failure.hpp"
#include "tools/render/plugin.hpp"

namespace render {
namespace {

constexpr std::size_t columns = 9;
using Row = std::array<std::string, columns>;

std::string number(float value) {
  return show(static_cast<double>(value));
}

std::string properties(const PortInfo& port) {
  std::string text;
  auto add = [&](const std::string& word) { text += (text.empty() ? "" : ", ") + word; };
  if (port.toggled) {
    add("toggled");
  }
  if (port.integer) {
    add("integer");
  }
  if (port.enumeration) {
    add("enumeration");
  }
  if (!port.scale_points.empty()) {
    std::string points;
    for (const auto& [value, label] : port.scale_points) {
      points += (points.empty() ? "" : ", ") + number(value) + " = " + label;
    }
    text += (text.empty() ? "" : ": ") + points;
  }
  return text;
}

Row row(const PortInfo& port) {
  const bool control_input = port.kind == PortKind::control && port.is_input;
  return {std::to_string(port.index),
          port.symbol,
          kind_name(port.kind),
          port.is_input ? "input" : "output",
          control_input ? number(port.default_value) : "",
          port.has_range ? number(port.minimum) + " to " + number(port.maximum) : "",
          port.unit,
          "\"" + port.name + "\"",
          properties(port)};
}

// Display width: a UTF-8 character (the degree sign) counts once.
std::size_t width(const std::string& text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The labels that --preset takes, in a column, and their URIs.
std::string preset_list(const std::vector<Preset>& presets) {
  if (presets.empty()) {
    return "\npresets: none\n";
  }
  std::size_t label_width = 0;
  for (const Preset& preset : presets) {
    label_width = std::max(label_width, width(preset.label));
  }
  std::string text = "\npresets:\n";
  for (const Preset& preset : presets) {
    text += "  " + preset.label + std::string(label_width - width(preset.label), ' ') + "  " +
            preset.uri + "\n";
  }
  return text;
}

}  // namespace

std::string port_list(const Plugin& plugin) {
  std::vector<Row> rows = {
      {"#", "symbol", "kind", "direction", "default", "range", "unit", "name", "properties"}};
  for (const PortInfo& port : plugin.ports()) {
    rows.push_back(row(port));
  }
  std::array<std::size_t, columns> widths{};
  for (const Row& r : rows) {
    for (std::size_t c = 0; c < columns; ++c) {
      widths[c] = std::max(widths[c], width(r[c]));
    }
  }
  std::string text = plugin.uri() + "\n" + plugin.name() + "\n";
  for (const Row& r : rows) {
    std::string line;
    for (std::size_t c = 0; c < columns; ++c) {
      // The index is right-aligned, the rest left-aligned.
      const std::string pad(widths[c] - width(r[c]), ' ');
      line += (c == 0 ? pad + r[c] : r[c] + pad) + (c + 1 < columns ? "  " : "");
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text + preset_list(plugin.presets());
}

}  // namespace render
