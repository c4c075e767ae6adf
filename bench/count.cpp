// zul-count PLUGIN BLOCKS [REGIME]: runs BLOCKS blocks of 256 frames through
// one staged plugin with separate buffers, set up as zul-bench sets them up,
// in one of the plugin's regimes where one is named (after settling into it). Made to run
// under callgrind with collection toggled on the plugin's run, so that the
// count is the plugin's alone.
#include <valgrind/callgrind.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "bench/rig.hpp"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: zul-count PLUGIN BLOCKS [REGIME]\n";
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
  if (argc == 4) {
    const rig::Regime* regime = rig::find_regime(name, argv[3]);
    if (regime == nullptr) {
      std::cerr << "zul-count: " << name << " has no regime " << argv[3] << "\n";
      return 2;
    }
    r.enter(*regime);
  }
  // Only the blocks below count: what settling into the regime took is
  // dropped (a no-op outside callgrind).
  CALLGRIND_ZERO_STATS;
  for (long b = 0; b < blocks; ++b) r.run(256);
  return 0;
}
