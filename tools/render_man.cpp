// zul-render-man VERSION: writes zul-render.1 to stdout from the table that
// --help shows, run at build time.
#include <cstdio>

#include "tools/render/help.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: zul-render-man VERSION\n", stderr);
    return 2;
  }
  const std::string page =
      render::man_page(render::help_sections("~/.lv2:/usr/local/lib/lv2:/usr/lib/lv2"), argv[1]);
  return std::fputs(page.c_str(), stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
}
