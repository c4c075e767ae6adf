// A plugin DLL loaded with LoadLibrary and found through GetProcAddress, as
// a Windows LV2 host loads it; freed again when it goes out of scope.
#pragma once

#include <lv2/core/lv2.h>

#include <filesystem>
#include <string>

namespace windows_host {

// STAGE/<form>.lv2/<form>.dll
std::filesystem::path dll_path(const std::filesystem::path& stage, const std::string& form);

class Dll {
 public:
  explicit Dll(const std::filesystem::path& path);
  ~Dll();
  Dll(const Dll&) = delete;
  Dll& operator=(const Dll&) = delete;

  // Null where the DLL did not load or gave no descriptor; error() says why.
  const LV2_Descriptor* plugin() const { return plugin_; }
  const std::string& error() const { return error_; }

 private:
  void* module_ = nullptr;
  const LV2_Descriptor* plugin_ = nullptr;
  std::string error_;
};

// zul-cv-control's pole at every whole rate from 1 to 384000 against the
// digest of glibc's (tests/pole_digest.hpp); 0 when they agree.
int check_poles(const std::filesystem::path& stage);

}  // namespace windows_host
