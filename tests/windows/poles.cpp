// zul-cv-control's pole as the DLL computes it when instantiated, at every
// whole rate from 1 to 384000: the poles must fold into the digest of
// glibc's, which the Linux tests check rate by rate, whatever exp MinGW links.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "tests/pole_digest.hpp"
#include "tests/windows/dll.hpp"

namespace windows_host {

namespace {

// The instance record starts with the three port slots, then 1 - a, then
// the pole a.
constexpr size_t pole_offset = 3 * sizeof(void*) + sizeof(double);

}  // namespace

int check_poles(const std::filesystem::path& stage) {
  const Dll dll(dll_path(stage, "zul-cv-control"));
  if (dll.plugin() == nullptr) {
    std::fprintf(stderr, "%s\n", dll.error().c_str());
    return 1;
  }
  const LV2_Descriptor& plugin = *dll.plugin();
  const std::string bundle = (stage / "zul-cv-control.lv2").string() + "/";
  const LV2_Feature* const features[] = {nullptr};
  pole_digest::Digest digest;
  for (uint32_t rate = 1; rate <= pole_digest::top_rate; ++rate) {
    LV2_Handle handle = plugin.instantiate(&plugin, rate, bundle.c_str(), features);
    if (handle == nullptr) {
      std::printf("zul-cv-control refused the rate %" PRIu32 "\n", rate);
      return 1;
    }
    double pole = 0.0;
    std::memcpy(&pole, static_cast<const char*>(handle) + pole_offset, sizeof pole);
    plugin.cleanup(handle);
    digest.add(pole);
  }
  const bool same = digest.value == pole_digest::glibc_fused;
  std::printf("%s: the poles of rates 1 to %" PRIu32 " fold into %016" PRIx64 ", %s\n",
              stage.string().c_str(), pole_digest::top_rate, digest.value,
              same ? "as glibc's do" : "NOT as glibc's do");
  return same ? 0 : 1;
}

}  // namespace windows_host
