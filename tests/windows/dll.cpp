// LoadLibrary, GetProcAddress and FreeLibrary for the Windows test host.
#include "tests/windows/dll.hpp"

#include <windows.h>

namespace windows_host {

std::filesystem::path dll_path(const std::filesystem::path& stage, const std::string& form) {
  return stage / (form + ".lv2") / (form + ".dll");
}

Dll::Dll(const std::filesystem::path& path) {
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) {
    error_ = "LoadLibrary " + path.string() + ": error " + std::to_string(GetLastError());
    return;
  }
  module_ = module;
  using Entry = const LV2_Descriptor* (*)(uint32_t);
  // GetProcAddress returns every export as FARPROC, a function of no arguments.
  const auto entry = reinterpret_cast<Entry>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "lv2_descriptor")));
  if (entry == nullptr || (plugin_ = entry(0)) == nullptr) {
    error_ = path.string() + ": no lv2_descriptor, or no plugin at index 0";
  }
}

Dll::~Dll() {
  if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

}  // namespace windows_host
