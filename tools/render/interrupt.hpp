// SIGINT, SIGTERM, SIGHUP and SIGPIPE during a render: the handler only notes the signal; the
// render stops at the next block, removes what it had begun, and exits.
#pragma once

#include <stdexcept>

namespace render {

struct Interrupted : std::runtime_error {
  explicit Interrupted(int number);
  int signal;
};

void catch_interrupts();
// Throws Interrupted once a signal came.
void stop_if_interrupted();

}  // namespace render
