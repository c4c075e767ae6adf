// The host features a plugin may be given: URID mapping, options with the
// rate and block lengths, bounded block length, and a log to stderr.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

namespace render {

class Features {
 public:
  Features(uint32_t rate, uint32_t block);
  Features(const Features&) = delete;
  Features& operator=(const Features&) = delete;

  // The null-terminated list for instantiate().
  const LV2_Feature* const* list() const { return list_.data(); }
  // True for what this host gives, and for the plugin's own properties
  // (lv2:hardRTCapable...) that some plugins list as required.
  static bool accepts(const std::string& uri);

  LV2_URID map(const char* uri);
  const char* unmap(LV2_URID urid) const;

 private:
  std::unordered_map<std::string, LV2_URID> ids_;
  std::deque<std::string> uris_;  // URID n is uris_[n - 1]; a deque keeps c_str() valid

  LV2_URID_Map map_{};
  LV2_URID_Unmap unmap_{};
  LV2_Log_Log log_{};
  float rate_;
  int32_t min_block_ = 1;
  int32_t max_block_;
  std::array<LV2_Options_Option, 5> options_{};
  std::array<LV2_Feature, 5> features_{};
  std::array<const LV2_Feature*, 6> list_{};
};

}  // namespace render
