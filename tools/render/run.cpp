#include "tools/render/run.hpp"

#include <lv2/atom/atom.h>

#include <algorithm>
#include <memory>

#include "tools/render/failure.hpp"
#include "tools/render/features.hpp"

namespace render {
namespace {

using Instance = std::unique_ptr<LilvInstance, decltype(&lilv_instance_free)>;

// An atom port's buffer, 8-byte aligned as atoms are.
struct AtomBuffer {
  std::vector<uint64_t> words;
  bool is_input;
  LV2_Atom* atom() { return reinterpret_cast<LV2_Atom*>(words.data()); }
};

// Before each block: an input holds an empty sequence, an output offers its
// whole capacity as a chunk.
void reset(AtomBuffer& buffer, LV2_URID sequence, LV2_URID chunk) {
  LV2_Atom* atom = buffer.atom();
  if (buffer.is_input) {
    auto* body = reinterpret_cast<LV2_Atom_Sequence_Body*>(atom + 1);
    *atom = {sizeof(LV2_Atom_Sequence_Body), sequence};
    *body = {0, 0};
  } else {
    *atom = {static_cast<uint32_t>(buffer.words.size() * sizeof(uint64_t) - sizeof(LV2_Atom)),
             chunk};
  }
}

void check_features(const Plugin& plugin) {
  for (const std::string& uri : plugin.required_features()) {
    if (!Features::accepts(uri)) {
      throw Failure(plugin.name() + " requires the LV2 feature " + uri +
                    ", which zul-render does not provide");
    }
  }
}

// Inputs as the block sees them, before run(); outputs as run() left them.
void record(const std::vector<PortInfo>& ports, bool inputs, const std::vector<float>& controls,
            const std::vector<std::vector<float>>& signals, uint32_t n, Recording& recording) {
  for (const PortInfo& port : ports) {
    auto& track = recording[port.index];
    if (port.is_input != inputs) {
      continue;
    }
    if (port.kind == PortKind::control) {
      track.insert(track.end(), n, controls[port.index]);
    } else if (port.kind == PortKind::audio || port.kind == PortKind::cv) {
      const auto& signal = signals[port.index];
      track.insert(track.end(), signal.begin(), signal.begin() + n);
    }
  }
}

}  // namespace

bool is_recorded(const PortInfo& port) {
  return port.kind == PortKind::control || port.kind == PortKind::audio ||
         port.kind == PortKind::cv;
}

Recording run_plugin(const Plugin& plugin, const Plan& plan) {
  check_features(plugin);
  const auto& ports = plugin.ports();
  for (const PortInfo& port : ports) {
    if (port.kind == PortKind::other && !port.optional) {
      throw Failure(plugin.name() + ": port " + port.symbol +
                    " is of a kind zul-render cannot connect (control, audio, CV and atom only)");
    }
  }
  Features features(plan.rate, plan.block);
  Instance instance(lilv_plugin_instantiate(plugin.lilv(), plan.rate, features.list()),
                    lilv_instance_free);
  if (!instance) {
    throw Failure("cannot instantiate " + plugin.uri() + " at " + std::to_string(plan.rate) +
                  " Hz");
  }

  std::vector<float> controls = plan.controls;
  std::vector<std::vector<float>> signals(ports.size());
  std::vector<AtomBuffer> atoms;
  Recording recording(ports.size());
  for (const PortInfo& port : ports) {
    void* data = nullptr;
    if (port.kind == PortKind::control) {
      data = &controls[port.index];
    } else if (port.kind == PortKind::audio || port.kind == PortKind::cv) {
      signals[port.index].assign(plan.block, 0.0f);
      data = signals[port.index].data();
    } else if (port.kind == PortKind::atom) {
      atoms.push_back({std::vector<uint64_t>(port.atom_capacity / 8 + 2), port.is_input});
      data = atoms.back().words.data();  // the vector's storage stays where it is
    }
    if (is_recorded(port)) {
      recording[port.index].reserve(plan.frames);
    }
    lilv_instance_connect_port(instance.get(), port.index, data);
  }
  const LV2_URID sequence = features.map(LV2_ATOM__Sequence);
  const LV2_URID chunk = features.map(LV2_ATOM__Chunk);

  lilv_instance_activate(instance.get());
  auto change = plan.changes.begin();
  for (uint64_t start = 0; start < plan.frames; start += plan.block) {
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(plan.block, plan.frames - start));
    for (; change != plan.changes.end() && change->frame <= start; ++change) {
      controls[change->port] = change->value;
    }
    for (const PortInfo& port : ports) {
      if (!plan.inputs[port.index].empty()) {
        const auto from = plan.inputs[port.index].begin() + static_cast<std::ptrdiff_t>(start);
        std::copy(from, from + n, signals[port.index].begin());
      }
    }
    for (AtomBuffer& buffer : atoms) {
      reset(buffer, sequence, chunk);
    }
    record(ports, true, controls, signals, n, recording);
    lilv_instance_run(instance.get(), n);
    record(ports, false, controls, signals, n, recording);
  }
  lilv_instance_deactivate(instance.get());
  return recording;
}

}  // namespace render
