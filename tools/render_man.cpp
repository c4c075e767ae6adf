// zul-render-man VERSION: writes zul-render.1 to stdout from the table that
// --help shows, run at build time.
// zul-render-man --markdown: copies docs/zul-render.md from stdin to stdout
// with its reference rewritten from the same table.
#include <cstdio>
#include <exception>
#include <string>

#include "tools/render/help.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: zul-render-man VERSION | zul-render-man --markdown <PAGE\n", stderr);
    return 2;
  }
  const auto sections = render::help_sections("~/.lv2:/usr/local/lib/lv2:/usr/lib/lv2");
  std::string page;
  if (std::string(argv[1]) == "--markdown") {
    std::string doc;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) {
      doc.append(buffer, n);
    }
    try {
      page = render::with_reference(doc, render::markdown(sections));
    } catch (const std::exception& error) {
      std::fprintf(stderr, "zul-render-man: %s\n", error.what());
      return 1;
    }
  } else {
    page = render::man_page(sections, argv[1]);
  }
  return std::fputs(page.c_str(), stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
}
