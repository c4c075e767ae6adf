#include "tools/render/interrupt.hpp"

#include <csignal>
#include <string>

namespace render {
namespace {

volatile std::sig_atomic_t caught = 0;

// Async-signal-safe: one store, nothing else.
void note(int signal) {
  caught = signal;
}

}  // namespace

Interrupted::Interrupted(int number)
    : std::runtime_error(std::string("stopped by ") + (number == SIGINT ? "SIGINT" : "SIGTERM") +
                         "; nothing was written"),
      signal(number) {}

void catch_interrupts() {
  for (const int number : {SIGINT, SIGTERM}) {
    struct sigaction old {};
    sigaction(number, nullptr, &old);
    if (old.sa_handler == SIG_IGN) {
      continue;  // ignored on purpose, as for a job in the background or under nohup
    }
    struct sigaction action {};
    action.sa_handler = note;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
  }
}

void stop_if_interrupted() {
  if (caught != 0) {
    throw Interrupted(caught);
  }
}

}  // namespace render
