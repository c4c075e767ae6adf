// The library's entry point and the lifecycle operations all plugins share.
#include <cstdlib>

#include "shell/plugin.hpp"

namespace zul {

void activate(LV2_Handle /*instance*/) {}

void deactivate(LV2_Handle /*instance*/) {}

void cleanup(LV2_Handle instance) {
  std::free(instance);
}

const void* extension_data(const char* /*uri*/) {
  return nullptr;
}

}  // namespace zul

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &zul::descriptor : nullptr;
}
