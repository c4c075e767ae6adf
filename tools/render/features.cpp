#include "tools/render/features.hpp"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/parameters/parameters.h>

#include <cstdarg>
#include <cstdio>

namespace render {
namespace {

LV2_URID map_uri(LV2_URID_Map_Handle handle, const char* uri) {
  return static_cast<Features*>(handle)->map(uri);
}

const char* unmap_urid(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
  return static_cast<const Features*>(handle)->unmap(urid);
}

int log_vprintf(LV2_Log_Handle /*handle*/, LV2_URID /*type*/, const char* format, va_list args) {
  return std::vfprintf(stderr, format, args);
}

int log_printf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = log_vprintf(handle, type, format, args);
  va_end(args);
  return written;
}

}  // namespace

Features::Features(uint32_t rate, uint32_t block)
    : rate_(static_cast<float>(rate)), max_block_(static_cast<int32_t>(block)) {
  map_ = {this, map_uri};
  unmap_ = {this, unmap_urid};
  log_ = {this, log_printf, log_vprintf};

  const LV2_URID int_type = map(LV2_ATOM__Int);
  const LV2_URID float_type = map(LV2_ATOM__Float);
  options_[0] = {LV2_OPTIONS_INSTANCE, 0,          map(LV2_PARAMETERS__sampleRate),
                 sizeof(float),        float_type, &rate_};
  options_[1] = {LV2_OPTIONS_INSTANCE, 0,        map(LV2_BUF_SIZE__minBlockLength),
                 sizeof(int32_t),      int_type, &min_block_};
  options_[2] = {LV2_OPTIONS_INSTANCE, 0,        map(LV2_BUF_SIZE__maxBlockLength),
                 sizeof(int32_t),      int_type, &max_block_};
  options_[3] = {LV2_OPTIONS_INSTANCE, 0,        map(LV2_BUF_SIZE__nominalBlockLength),
                 sizeof(int32_t),      int_type, &max_block_};
  // options_[4] stays zero: the end of the list.

  features_[0] = {LV2_URID__map, &map_};
  features_[1] = {LV2_URID__unmap, &unmap_};
  features_[2] = {LV2_OPTIONS__options, options_.data()};
  features_[3] = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
  features_[4] = {LV2_LOG__log, &log_};
  for (std::size_t i = 0; i < features_.size(); ++i) {
    list_[i] = &features_[i];
  }
}

bool Features::accepts(const std::string& uri) {
  for (const char* known :
       {LV2_URID__map, LV2_URID__unmap, LV2_OPTIONS__options, LV2_BUF_SIZE__boundedBlockLength,
        LV2_LOG__log, LV2_CORE__hardRTCapable, LV2_CORE__inPlaceBroken, LV2_CORE__isLive}) {
    if (uri == known) {
      return true;
    }
  }
  return false;
}

LV2_URID Features::map(const char* uri) {
  const auto [entry, added] = ids_.try_emplace(uri, static_cast<LV2_URID>(uris_.size() + 1));
  if (added) {
    uris_.emplace_back(uri);
  }
  return entry->second;
}

const char* Features::unmap(LV2_URID urid) const {
  return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
}

}  // namespace render
