#include "tools/render/plan.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

#include "tools/render/failure.hpp"
#include "tools/render/notes.hpp"
#include "tools/render/signal.hpp"

namespace render {
namespace {

// "a CV output", "an audio input"...
std::string describe(const PortInfo& port) {
  const std::string kind = kind_name(port.kind);
  return (port.kind == PortKind::audio || port.kind == PortKind::atom ? "an " : "a ") + kind +
         (port.is_input ? " input" : " output");
}

bool is_signal(const PortInfo& port) {
  return port.kind == PortKind::audio || port.kind == PortKind::cv;
}

// The control input a value is meant for, with the value inside its range.
const PortInfo& control_input(const Plugin& plugin, const ControlValue& control) {
  const PortInfo& port = plugin.port(control.symbol);
  if (port.kind != PortKind::control || !port.is_input) {
    throw Failure(port.symbol + " is " + describe(port) + ", not a control input" +
                  (is_signal(port) && port.is_input ? ": feed it with --input" : ""));
  }
  const float v = control.value;
  if (port.has_range && !(port.minimum <= v && v <= port.maximum)) {
    throw Failure(port.symbol + "=" + control.text + " is outside the range of " + port.symbol +
                  ", " + show(static_cast<double>(port.minimum)) + " to " +
                  show(static_cast<double>(port.maximum)));
  }
  const bool listed = std::any_of(port.scale_points.begin(), port.scale_points.end(),
                                  [&](const auto& point) { return point.first == v; });
  if (port.enumeration && !port.scale_points.empty() && !listed) {
    std::string values;
    for (const auto& [value, label] : port.scale_points) {
      values += (values.empty() ? "" : ", ") + show(static_cast<double>(value)) + " = " + label;
    }
    throw Failure(port.symbol + "=" + control.text + " is not one of the values of " + port.symbol +
                  ": " + values);
  }
  if ((port.integer || port.enumeration) && std::floor(v) != v) {
    throw Failure(port.symbol + "=" + control.text + ": " + port.symbol +
                  " takes whole numbers only (lv2:integer)");
  }
  return port;
}

// CV may go beyond the range its port declares, so a constant outside it is
// fed as given, with a word.
void warn_if_outside(const PortInfo& port, const InputSpec& input) {
  const std::optional<double> value = constant_value(input.source);
  if (port.has_range && value &&
      !(static_cast<double>(port.minimum) <= *value &&
        *value <= static_cast<double>(port.maximum))) {
    warn(port.symbol + "=" + input.source + " is outside the range of " + port.symbol + ", " +
         show(static_cast<double>(port.minimum)) + " to " +
         show(static_cast<double>(port.maximum)) + "; it is fed as given");
  }
}

const PortInfo& signal_input(const Plugin& plugin, const InputSpec& input) {
  const PortInfo& port = plugin.port(input.symbol);
  if (!is_signal(port) || !port.is_input) {
    throw Failure(port.symbol + " is " + describe(port) + ", not an audio or CV input" +
                  (port.kind == PortKind::control && port.is_input ? ": set it with --set" : ""));
  }
  return port;
}

// A preset's values pass the checks of --set; a message names the preset.
template <typename Set>
void apply_preset(const Preset& preset, Set set) {
  try {
    if (!preset.problem.empty()) {
      throw Failure(preset.problem);
    }
    std::for_each(preset.values.begin(), preset.values.end(), set);
  } catch (const Failure& failure) {
    throw Failure("preset '" + preset.label + "': " + failure.what());
  }
}

}  // namespace

Plan make_plan(const Plugin& plugin, const Settings& settings) {
  Plan plan;
  plan.rate = settings.rate;
  plan.block = settings.block;
  plan.frames = static_cast<uint64_t>(std::llround(settings.duration * settings.rate));
  if (plan.frames == 0) {
    throw UsageError("--duration " + show(settings.duration) + " is shorter than one frame");
  }
  const auto& ports = plugin.ports();
  plan.controls.assign(ports.size(), 0.0f);
  plan.inputs.resize(ports.size());
  for (const PortInfo& port : ports) {
    if (port.kind == PortKind::control && port.is_input) {
      plan.controls[port.index] = port.default_value;
    } else if (is_signal(port) && port.is_input) {
      plan.inputs[port.index] = open_input("0", port.symbol, plan.rate, plan.frames);
    }
  }
  // --set and --preset apply in command-line order: the later wins.
  auto set = [&](const ControlValue& control) {
    plan.controls[control_input(plugin, control).index] = control.value;
  };
  const auto at_preset =
      settings.sets.begin() + static_cast<std::ptrdiff_t>(settings.sets_before_preset);
  std::for_each(settings.sets.begin(), at_preset, set);
  if (!settings.preset.empty()) {
    apply_preset(find_preset(plugin, settings.preset), set);
  }
  std::for_each(at_preset, settings.sets.end(), set);
  for (const InputSpec& input : settings.inputs) {
    const PortInfo& port = signal_input(plugin, input);
    plan.inputs[port.index] = open_input(input.source, port.symbol, plan.rate, plan.frames);
    warn_if_outside(port, input);
  }
  // A change waits for the next block start; changes that meet at one block
  // apply in command-line order.
  for (const Change& change : settings.changes) {
    const PortInfo& port = control_input(plugin, change.control);
    const uint64_t frame = first_frame_at(change.time, plan.rate);
    const uint64_t block_start = (frame + plan.block - 1) / plan.block * plan.block;
    if (frame >= plan.frames || block_start >= plan.frames) {
      const uint64_t last_start = (plan.frames - 1) / plan.block * plan.block;
      throw Failure("--at " + show(change.time) +
                    ": no block starts at or after it (the last starts at " +
                    show(static_cast<double>(last_start) / plan.rate) + " s)");
    }
    plan.changes.push_back({block_start, port.index, change.control.value});
  }
  std::stable_sort(
      plan.changes.begin(), plan.changes.end(),
      [](const ScheduledChange& a, const ScheduledChange& b) { return a.frame < b.frame; });
  return plan;
}

}  // namespace render
