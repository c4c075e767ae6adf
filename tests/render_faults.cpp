// render_faults: preloaded into zul-render by the render tests to make it
// fail where a real run fails only rarely.
//   ZUL_FAULT_INSTANTIATE=1   every instantiate returns null
//   ZUL_FAULT_INSTANTIATE=rate  every one at a rate other than 48000 Hz
//   ZUL_FAULT=KIND ZUL_FAULT_AT=N
//     on the Nth block written to a WAV file: alloc throws std::bad_alloc,
//     write reports a short write (a full disk), sigint and sigterm raise
//     that signal and go on.
#include <dlfcn.h>
#include <lilv/lilv.h>
#include <sndfile.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

bool is(const char* variable, const char* value) {
  const char* set = std::getenv(variable);
  return set != nullptr && std::strcmp(set, value) == 0;
}

}  // namespace

extern "C" LilvInstance* lilv_plugin_instantiate(const LilvPlugin* plugin, double rate,
                                                 const LV2_Feature* const* features) {
  if (is("ZUL_FAULT_INSTANTIATE", "1") ||
      (is("ZUL_FAULT_INSTANTIATE", "rate") && rate != 48000.0)) {
    return nullptr;
  }
  using Real = LilvInstance* (*)(const LilvPlugin*, double, const LV2_Feature* const*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "lilv_plugin_instantiate"));
  return real(plugin, rate, features);
}

extern "C" sf_count_t sf_writef_float(SNDFILE* file, const float* samples, sf_count_t frames) {
  static long calls = 0;
  const char* at = std::getenv("ZUL_FAULT_AT");
  if (at != nullptr && ++calls == std::atol(at)) {
    if (is("ZUL_FAULT", "alloc")) {
      throw std::bad_alloc();
    }
    if (is("ZUL_FAULT", "write")) {
      return 0;
    }
    if (is("ZUL_FAULT", "sigint")) {
      std::raise(SIGINT);
    }
    if (is("ZUL_FAULT", "sigterm")) {
      std::raise(SIGTERM);
    }
  }
  using Real = sf_count_t (*)(SNDFILE*, const float*, sf_count_t);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "sf_writef_float"));
  return real(file, samples, frames);
}
