// zul-count PLUGIN BLOCKS: runs BLOCKS blocks of 256 frames through one staged
// plugin with separate buffers, set up as zul-bench sets them up. Made to run
// under callgrind with collection toggled on the plugin's run, so that the
// count is the plugin's alone.
#include <cstdlib>
#include <iostream>
#include <string>

#include "bench/rig.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: zul-count PLUGIN BLOCKS\n";
    return 2;
  }
  const std::string name = argv[1];
  const long blocks = std::strtol(argv[2], nullptr, 10);
  const ports::Plugin* table = ports::find(name.c_str());
  if (table == nullptr || blocks <= 0) {
    std::cerr << "zul-count: unknown plugin " << name << " or bad block count\n";
    return 2;
  }
  rig::Library library(name);
  rig::Rig r(library, *table, rig::sharings(*table).front());
  for (long b = 0; b < blocks; ++b) r.run(256);
  return 0;
}
