// The Windows test host, run under wine by the windows stage. Loads each
// staged plugin DLL with LoadLibrary and compares it with the reference
// model, as reference_tests does on Linux: every seed of the fuzzer's corpus
// and the same 3000 random sessions, first on the thread that loaded the DLL
// (under the mode the DLL set there), then again on a thread started after
// the load, with the register that thread starts with (Windows starts every
// thread at MXCSR 0x1F80, without flush-to-zero), and in the other modes a
// host's thread may be in (fp_register.hpp).
//
//   zul-cv-windows-host STAGE_DIR CORPUS_DIR [FORM...]
//   zul-cv-windows-host --poles STAGE_DIR
//
// One line per plugin form; the exit status is 1 if anything differed.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/fp_register.hpp"
#include "tests/fuzz/reference.hpp"
#include "tests/fuzz/scenario.hpp"
#include "tests/windows/dll.hpp"

namespace {

using windows_host::Dll;
namespace fs = std::filesystem;

constexpr int random_sessions = 3000;

struct Session {
  std::string label;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The CV plugin whose model and seeds an audio-port form shares.
std::string cv_plugin(const std::string& form) {
  const std::string suffix = "-audio";
  return form.ends_with(suffix) ? form.substr(0, form.size() - suffix.size()) : form;
}

// The seeds in name order, then the random sessions of reference_tests: the
// same generator, seeded by the length of the form's name.
std::vector<Session> sessions_of(const std::string& form, const fs::path& corpus) {
  std::vector<fs::path> seeds;
  for (const auto& entry : fs::directory_iterator(corpus / cv_plugin(form))) {
    seeds.push_back(entry.path());
  }
  std::sort(seeds.begin(), seeds.end());
  std::vector<Session> sessions;
  for (const fs::path& seed : seeds) {
    sessions.push_back({"seed " + seed.filename().string(), read_file(seed)});
  }
  std::mt19937 rng(20240601u + static_cast<unsigned>(form.size()));
  std::uniform_int_distribution<int> length(4, 320), byte(0, 255);
  for (int k = 0; k < random_sessions; ++k) {
    std::vector<uint8_t> bytes(static_cast<size_t>(length(rng)));
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(rng));
    sessions.push_back({"session " + std::to_string(k), std::move(bytes)});
  }
  return sessions;
}

// What differed first, with the session's label; empty if nothing did.
std::string compare_all(const LV2_Descriptor& plugin, reference::Plugin model,
                        const std::vector<Session>& sessions, std::optional<uint64_t> host_mode) {
  for (const Session& s : sessions) {
    const std::string difference =
        scenario::compare(plugin, model, scenario::decode(model, s.bytes), host_mode);
    if (!difference.empty()) return s.label + ": " + difference;
  }
  return {};
}

std::string mode_text(uint64_t mode) {
  char text[32];
  std::snprintf(text, sizeof text, "%#" PRIx64, mode);
  return text;
}

// One form on both threads; true if both matched.
bool check_form(const fs::path& stage, const fs::path& corpus, const std::string& form) {
  const std::optional<reference::Plugin> model = reference::plugin_named(cv_plugin(form));
  if (!model) {
    std::printf("%s: no model\n", form.c_str());
    return false;
  }
  const std::vector<Session> sessions = sessions_of(form, corpus);
  const Dll dll(windows_host::dll_path(stage, form));
  if (dll.plugin() == nullptr) {
    std::printf("%s: %s\n", form.c_str(), dll.error().c_str());
    return false;
  }
  const uint64_t loading_mode = fp_register::read();
  const std::string on_loading_thread = compare_all(*dll.plugin(), *model, sessions, {});
  uint64_t fresh_mode = 0;
  std::string on_new_thread;
  std::thread([&] {
    fresh_mode = fp_register::read();
    on_new_thread = compare_all(*dll.plugin(), *model, sessions, fresh_mode);
    for (const auto& [name, mode] : fp_register::host_modes) {
      if (!on_new_thread.empty() || mode == fresh_mode) continue;
      const std::string difference = compare_all(*dll.plugin(), *model, sessions, mode);
      if (!difference.empty()) on_new_thread = std::string(name) + ", " + difference;
    }
  }).join();

  const auto result = [](const std::string& difference) {
    return difference.empty() ? std::string("alike") : "DIFFERENT\n  " + difference;
  };
  std::printf(
      "%s: %zu sessions; loading thread (MXCSR %s): %s; new thread (MXCSR %s, then the "
      "other host modes): %s\n",
      form.c_str(), sessions.size(), mode_text(loading_mode).c_str(),
      result(on_loading_thread).c_str(), mode_text(fresh_mode).c_str(),
      result(on_new_thread).c_str());
  std::fflush(stdout);
  return on_loading_thread.empty() && on_new_thread.empty();
}

int usage() {
  std::fprintf(stderr,
               "usage: zul-cv-windows-host STAGE_DIR CORPUS_DIR [FORM...]\n"
               "       zul-cv-windows-host --poles STAGE_DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (!__builtin_cpu_supports("fma")) {
    std::fprintf(stderr, "zul-cv-windows-host: the model takes FMA, which this processor lacks\n");
    return 2;
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--poles") {
    if (args.size() != 2) return usage();
    return windows_host::check_poles(args[1]);
  }
  if (args.size() < 2) return usage();
  std::vector<std::string> forms(args.begin() + 2, args.end());
  if (forms.empty()) {
    for (reference::Plugin p : reference::all_plugins) forms.emplace_back(reference::name_of(p));
    for (reference::Plugin p : reference::all_plugins) {
      forms.push_back(std::string(reference::name_of(p)) + "-audio");
    }
  }
  int failed = 0;
  for (const std::string& form : forms) {
    if (!check_form(args[0], args[1], form)) ++failed;
  }
  std::printf("%zu forms, %d with differences, in %s\n", forms.size(), failed, args[0].c_str());
  return failed == 0 ? 0 : 1;
}
