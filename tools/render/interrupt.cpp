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

const char* name_of(int number) {
  switch (number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    case SIGPIPE:
      return "SIGPIPE";
  }
  return "a signal";
}

}  // namespace

Interrupted::Interrupted(int number)
    : std::runtime_error(std::string("stopped by ") + name_of(number) + "; nothing was written"),
      signal(number) {}

void catch_interrupts() {
  // A closed terminal (SIGHUP) or a reader gone (SIGPIPE) ends a render as
  // Ctrl-C does: a pipe written to then fails with EPIPE instead.
  for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
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
