#include "tools/render/run.hpp"

#include <lv2/atom/atom.h>

#include <algorithm>

#include "tools/render/failure.hpp"
#include "tools/render/interrupt.hpp"

namespace render {
namespace {

void check_features(const Plugin& plugin) {
  for (const std::string& uri : plugin.required_features()) {
    if (!Features::accepts(uri)) {
      throw Failure(plugin.name() + " requires the LV2 feature " + uri +
                    ", which zul-render does not provide");
    }
  }
}

void check_port_kinds(const Plugin& plugin) {
  for (const PortInfo& port : plugin.ports()) {
    if (port.kind == PortKind::other && !port.optional) {
      throw Failure(plugin.name() + ": port " + port.symbol +
                    " is of a kind zul-render cannot connect (control, audio, CV and atom only)");
    }
  }
}

// The rate is blamed only when the plugin takes a common one instead.
LilvInstance* instantiate(const Plugin& plugin, uint32_t rate, const Features& features) {
  LilvInstance* instance = lilv_plugin_instantiate(plugin.lilv(), rate, features.list());
  if (instance != nullptr) {
    return instance;
  }
  constexpr uint32_t common_rate = 48000;
  if (rate != common_rate) {
    const Features at_common(common_rate, 128);
    if (LilvInstance* probe =
            lilv_plugin_instantiate(plugin.lilv(), common_rate, at_common.list())) {
      lilv_instance_free(probe);
      throw Failure(plugin.name() + " cannot be instantiated at " + std::to_string(rate) +
                    " Hz (--rate); it can at " + std::to_string(common_rate) + " Hz");
    }
  }
  throw Failure("the plugin's instantiate failed: " + plugin.uri());
}

}  // namespace

bool is_recorded(const PortInfo& port) {
  return port.kind == PortKind::control || port.kind == PortKind::audio ||
         port.kind == PortKind::cv;
}

Renderer::Renderer(const Plugin& plugin, Plan& plan)
    : plugin_(plugin), plan_(plan), features_(plan.rate, plan.block) {
  check_features(plugin);
  check_port_kinds(plugin);
  const auto& ports = plugin.ports();
  controls_ = plan.controls;
  signals_.resize(ports.size());
  held_.resize(plan.block);
  atoms_.reserve(ports.size());
  instance_ = instantiate(plugin, plan.rate, features_);
  for (const PortInfo& port : ports) {
    void* data = nullptr;
    if (port.kind == PortKind::control) {
      data = &controls_[port.index];
    } else if (port.kind == PortKind::audio || port.kind == PortKind::cv) {
      signals_[port.index].assign(plan.block, 0.0f);
      data = signals_[port.index].data();
    } else if (port.kind == PortKind::atom) {
      atoms_.push_back({std::vector<uint64_t>(port.atom_capacity / 8 + 2), port.is_input});
      data = atoms_.back().words.data();
    }
    lilv_instance_connect_port(instance_, port.index, data);
  }
}

Renderer::~Renderer() {
  lilv_instance_free(instance_);
}

// Before each block: an input holds an empty sequence, an output offers its
// whole capacity as a chunk.
void Renderer::reset_atoms() {
  const LV2_URID sequence = features_.map(LV2_ATOM__Sequence);
  const LV2_URID chunk = features_.map(LV2_ATOM__Chunk);
  for (AtomBuffer& buffer : atoms_) {
    auto* atom = reinterpret_cast<LV2_Atom*>(buffer.words.data());
    if (buffer.is_input) {
      auto* body = reinterpret_cast<LV2_Atom_Sequence_Body*>(atom + 1);
      *atom = {sizeof(LV2_Atom_Sequence_Body), sequence};
      *body = {0, 0};
    } else {
      *atom = {static_cast<uint32_t>(buffer.words.size() * sizeof(uint64_t) - sizeof(LV2_Atom)),
               chunk};
    }
  }
}

// Inputs as the block sees them, before run(); outputs as run() left them.
void Renderer::record(bool inputs, uint32_t n, const std::vector<Recorder*>& recorders) {
  for (const PortInfo& port : plugin_.ports()) {
    if (port.is_input != inputs || !is_recorded(port)) {
      continue;
    }
    const float* samples = signals_[port.index].data();
    if (port.kind == PortKind::control) {
      std::fill_n(held_.begin(), n, controls_[port.index]);
      samples = held_.data();
    }
    for (Recorder* recorder : recorders) {
      recorder->take(port, samples, n);
    }
  }
}

void Renderer::run(const std::vector<Recorder*>& recorders) {
  lilv_instance_activate(instance_);
  auto change = plan_.changes.begin();
  for (uint64_t start = 0; start < plan_.frames; start += plan_.block) {
    stop_if_interrupted();
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(plan_.block, plan_.frames - start));
    for (; change != plan_.changes.end() && change->frame <= start; ++change) {
      controls_[change->port] = change->value;
    }
    for (const PortInfo& port : plugin_.ports()) {
      if (plan_.inputs[port.index]) {
        plan_.inputs[port.index]->fill(signals_[port.index].data(), n);
      }
    }
    reset_atoms();
    record(true, n, recorders);
    lilv_instance_run(instance_, n);
    record(false, n, recorders);
  }
  lilv_instance_deactivate(instance_);
}

}  // namespace render
