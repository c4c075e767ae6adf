#include "tools/render/notes.hpp"

#include <cstdio>

namespace render {
namespace {

bool quiet_ = false;

void print(const char* kind, const std::string& text) {
  if (!quiet_) {
    std::fprintf(stderr, "zul-render: %s%s\n", kind, text.c_str());
  }
}

}  // namespace

void set_quiet(bool quiet) {
  quiet_ = quiet;
}

void note(const std::string& text) {
  print("note: ", text);
}

void warn(const std::string& text) {
  print("warning: ", text);
}

void say(const std::string& text) {
  print("", text);
}

}  // namespace render
