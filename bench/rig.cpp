#include "bench/rig.hpp"

#include <dlfcn.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace rig {

namespace {

// CV ports that the plugin reads only at element 0, set where it does its
// real work: the gate open and passing its input, the value inside the range.
struct FirstSample {
  const char* plugin;
  const char* symbol;
  float value;
};
constexpr FirstSample first_samples[] = {
    {"zul-cv-gate", "level", 5.0f},
    {"zul-cv-range", "input", 2.5f},
};

float first_sample(const ports::Plugin& plugin, const ports::Port& port, float otherwise) {
  for (const FirstSample& f : first_samples) {
    if (std::string_view(f.plugin) == plugin.name && std::string_view(f.symbol) == port.symbol) {
      return f.value;
    }
  }
  return otherwise;
}

}  // namespace

std::vector<std::string> plugin_names() {
  std::vector<std::string> names;
  std::stringstream list(ZUL_BENCH_PLUGINS);
  for (std::string name; std::getline(list, name, ',');) {
    names.push_back(name);
  }
  return names;
}

std::vector<Sharing> sharings(const ports::Plugin& plugin) {
  std::vector<uint32_t> own;
  std::vector<const ports::Port*> inputs, outputs;
  for (const ports::Port& p : plugin.ports) {
    own.push_back(p.index);
    if (p.kind != ports::cv) continue;
    (p.direction == ports::in ? inputs : outputs).push_back(&p);
  }
  std::vector<Sharing> cases = {{"separate", own}};
  for (const ports::Port* in : inputs) {
    for (const ports::Port* out : outputs) {
      Sharing s{std::string(in->symbol) + " = " + out->symbol, own};
      s.owner[out->index] = in->index;
      cases.push_back(s);
    }
  }
  if (outputs.size() > 1) {
    Sharing s{"outputs shared", own};
    for (const ports::Port* out : outputs) s.owner[out->index] = outputs.front()->index;
    cases.push_back(s);
  }
  return cases;
}

float signal(uint32_t port, uint32_t frame) {
  const double phase = 2.0 * std::numbers::pi * (frame / 512.0 + port / 8.0);
  return static_cast<float>(5.0 * std::sin(phase));
}

Buffer make_buffer() {
  constexpr size_t bytes = max_frames * sizeof(float);
  auto* p = static_cast<float*>(std::aligned_alloc(64, bytes));
  if (p == nullptr) throw std::bad_alloc();
  for (uint32_t i = 0; i < max_frames; ++i) p[i] = 0.0f;
  return Buffer(p);
}

Library::Library(const std::string& name) {
  const char* stage = std::getenv("ZUL_BENCH_STAGE_DIR");
  const std::string path = std::string(stage != nullptr ? stage : ZUL_BENCH_STAGE_DIR) + "/" +
                           name + ".lv2/" + name + ".so";
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) throw std::runtime_error("dlopen " + path + ": " + dlerror());
  using Entry = const LV2_Descriptor* (*)(uint32_t);
  auto entry = reinterpret_cast<Entry>(dlsym(handle_, "lv2_descriptor"));
  if (entry == nullptr || (plugin_ = entry(0)) == nullptr) {
    dlclose(handle_);
    throw std::runtime_error(path + ": no descriptor at index 0");
  }
}

Library::~Library() {
  dlclose(handle_);
}

Rig::Rig(const Library& library, const ports::Plugin& plugin, const Sharing& sharing)
    : d_(library.plugin()),
      h_(d_.instantiate(&d_, sample_rate, ZUL_BENCH_STAGE_DIR, nullptr)),
      plugin_(plugin) {
  if (h_ == nullptr) throw std::runtime_error(std::string(plugin.name) + ": no instance");
  for (const ports::Port& p : plugin.ports) {
    Buffer b = make_buffer();
    if (p.direction == ports::in && p.kind == ports::control) {
      b[0] = p.default_value;
    } else if (p.direction == ports::in) {
      for (uint32_t i = 0; i < max_frames; ++i) b[i] = signal(p.index, i);
      b[0] = first_sample(plugin, p, b[0]);
    }
    buffers_.push_back(std::move(b));
  }
  for (const ports::Port& p : plugin.ports) {
    d_.connect_port(h_, p.index, buffers_[sharing.owner[p.index]].get());
  }
  d_.activate(h_);
}

const Regime* find_regime(const std::string& plugin, const std::string& name) {
  for (const Regime& r : regimes) {
    if (plugin == r.plugin && name == r.name) return &r;
  }
  return nullptr;
}

void Rig::enter(const Regime& regime) {
  if (regime.port != nullptr) {
    const ports::Port* port = nullptr;
    for (const ports::Port& p : plugin_.ports) {
      if (std::string_view(p.symbol) == regime.port) port = &p;
    }
    if (port == nullptr) throw std::runtime_error(std::string("no port ") + regime.port);
    float* buffer = buffers_[port->index].get();
    for (uint32_t i = 0; i < max_frames; ++i) buffer[i] = regime.value;
    if (regime.other != regime.value) {
      flip_ = buffer;
      flip_values_[0] = regime.value;
      flip_values_[1] = regime.other;
    }
  }
  // A 10 ms glide arrives within 15 time constants (7200 frames), the
  // 550 Hz filter settles within about 500 samples.
  for (int block = 0; block < 300; ++block) run(256);
}

Rig::~Rig() {
  d_.deactivate(h_);
  d_.cleanup(h_);
}

}  // namespace rig
