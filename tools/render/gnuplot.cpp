#include "tools/render/gnuplot.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "tools/render/failure.hpp"
#include "tools/render/interrupt.hpp"

namespace render {
namespace {

// gnuplot reads its script from a socket, which a gnuplot that stopped early
// cannot make us die by SIGPIPE, and writes the PNG into a pipe that this
// process drains into the temporary: both at once, so that neither waits on
// the other.
class Gnuplot {
 public:
  Gnuplot() {
    int script[2], png[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, script) != 0) {
      fail();
    }
    script_ = script[0];
    if (pipe2(png, O_CLOEXEC) != 0) {
      close(script[1]);
      fail();
    }
    png_ = png[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, script[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, png[1], STDOUT_FILENO);
    char name[] = "gnuplot";
    char* argv[] = {name, nullptr};
    const int error = posix_spawnp(&pid_, name, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(script[1]);
    close(png[1]);
    if (error != 0) {
      pid_ = 0;
      errno = error;
      fail();
    }
  }
  ~Gnuplot() {
    close_script();
    if (png_ >= 0) {
      close(png_);
    }
    if (pid_ > 0) {  // stopped midway: it is of no more use
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Gnuplot(const Gnuplot&) = delete;
  Gnuplot& operator=(const Gnuplot&) = delete;

  // Sends `script` and copies everything gnuplot writes into `png`; returns
  // gnuplot's exit status as waitpid gives it.
  int run(const std::string& script, TempFile& png) {
    std::size_t sent = 0;
    char buffer[65536];
    while (png_ >= 0) {
      pollfd fds[2] = {{png_, POLLIN, 0}, {script_, POLLOUT, 0}};
      if (poll(fds, script_ >= 0 ? 2 : 1, -1) < 0) {
        if (errno != EINTR) {
          fail();
        }
        stop_if_interrupted();
        continue;
      }
      if (script_ >= 0 && fds[1].revents != 0) {
        const ssize_t n =
            send(script_, script.data() + sent, script.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
          sent += static_cast<std::size_t>(n);
        }
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || sent == script.size()) {
          close_script();  // all sent, or gnuplot stopped reading: its status tells
        }
      }
      if (fds[0].revents != 0) {
        const ssize_t n = read(png_, buffer, sizeof buffer);
        if (n < 0 && errno != EINTR) {
          fail();
        }
        if (n > 0) {
          png.write_all(buffer, static_cast<std::size_t>(n));
          written_ += static_cast<std::size_t>(n);
        } else if (n == 0) {
          close(png_);
          png_ = -1;
        }
      }
    }
    close_script();
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
    return status;
  }
  std::size_t written() const { return written_; }

 private:
  [[noreturn]] static void fail() {
    throw Failure("cannot run gnuplot: " + std::string(std::strerror(errno)));
  }
  void close_script() {
    if (script_ >= 0) {
      close(script_);
      script_ = -1;
    }
  }

  pid_t pid_ = 0;
  int script_ = -1;
  int png_ = -1;
  std::size_t written_ = 0;
};

}  // namespace

int run_gnuplot(const std::string& script, TempFile& png, std::size_t& written) {
  Gnuplot gnuplot;
  const int status = gnuplot.run(script, png);
  written = gnuplot.written();
  return status;
}

}  // namespace render
