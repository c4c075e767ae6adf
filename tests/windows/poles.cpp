// zul-cv-control's pole as the DLL computes it when instantiated, for every
// whole rate a host may ask for: the windows stage compares the list with
// the one glibc's exp gives (glibc_poles.cpp).
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "tests/windows/dll.hpp"

namespace windows_host {

namespace {

// The instance record starts with the three port slots, then 1 - a, then
// the pole a.
constexpr size_t pole_offset = 3 * sizeof(void*) + sizeof(double);
constexpr uint32_t highest_rate = 384000;

}  // namespace

int write_poles(const std::filesystem::path& stage, const std::filesystem::path& out) {
  const Dll dll(dll_path(stage, "zul-cv-control"));
  if (dll.plugin() == nullptr) {
    std::fprintf(stderr, "%s\n", dll.error().c_str());
    return 1;
  }
  const LV2_Descriptor& plugin = *dll.plugin();
  std::FILE* file = std::fopen(out.string().c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", out.string().c_str());
    return 1;
  }
  const std::string bundle = (stage / "zul-cv-control.lv2").string() + "/";
  const LV2_Feature* const features[] = {nullptr};
  int status = 0;
  for (uint32_t rate = 1; rate <= highest_rate && status == 0; ++rate) {
    LV2_Handle handle = plugin.instantiate(&plugin, rate, bundle.c_str(), features);
    if (handle == nullptr) {
      std::fprintf(stderr, "zul-cv-control refused the rate %" PRIu32 "\n", rate);
      status = 1;
      break;
    }
    uint64_t bits = 0;
    std::memcpy(&bits, static_cast<const char*>(handle) + pole_offset, sizeof bits);
    plugin.cleanup(handle);
    std::fprintf(file, "%016" PRIx64 "\n", bits);
  }
  if (std::fclose(file) != 0) status = 1;
  return status;
}

}  // namespace windows_host
