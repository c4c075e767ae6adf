// libFuzzer target: one staged plugin library, named by ZUL_FUZZ_PLUGIN
// (zul-cv-slew), against the reference model. Every input decodes to a host
// session; any bit that differs after any call aborts with the session.
// ZUL_FUZZ_STAGE_DIR points it at another staging (lv2-software-fma), and
// ZUL_FUZZ_DESCRIBE prints each session, e.g. to read a seed.
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/fuzz/reference.hpp"
#include "tests/fuzz/scenario.hpp"

namespace {

const LV2_Descriptor* plugin = nullptr;
reference::Plugin model{};

[[noreturn]] void give_up(const std::string& why) {
  std::fprintf(stderr, "differential: %s\n", why.c_str());
  std::exit(2);
}

// Loads the library once, in the thread that runs the inputs, so that its
// floating-point mode is the one both sides run under.
void load() {
  const char* name = std::getenv("ZUL_FUZZ_PLUGIN");
  if (name == nullptr) give_up("set ZUL_FUZZ_PLUGIN to a plugin name, e.g. zul-cv-slew");
  const std::optional<reference::Plugin> which = reference::plugin_named(name);
  if (!which) give_up(std::string("no model for ") + name);
  model = *which;
  const char* stage = std::getenv("ZUL_FUZZ_STAGE_DIR");
  const std::string path = std::string(stage != nullptr ? stage : ZUL_FUZZ_STAGE_DIR) + "/" + name +
                           ".lv2/" + name + ".so";
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) give_up("dlopen " + path + ": " + dlerror());
  using Entry = const LV2_Descriptor* (*)(uint32_t);
  const auto entry = reinterpret_cast<Entry>(dlsym(library, "lv2_descriptor"));
  if (entry == nullptr || (plugin = entry(0)) == nullptr) give_up(path + ": no descriptor");
}

}  // namespace

// Loading before the first input lets libFuzzer count the library's own
// coverage along with this program's.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  load();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const scenario::Session session = scenario::decode(model, {data, size});
  if (std::getenv("ZUL_FUZZ_DESCRIBE") != nullptr) {
    std::fprintf(stderr, "%s\n",
                 scenario::describe(model, session, session.actions.size()).c_str());
  }
  const std::string difference = scenario::compare(*plugin, model, session);
  if (!difference.empty()) {
    std::fprintf(stderr, "differential: %s\n", difference.c_str());
    std::abort();
  }
  return 0;
}
