// render_faults: preloaded into zul-render by the render tests to make it
// fail where a real run fails only rarely.
//   ZUL_FAULT_INSTANTIATE=1   every instantiate returns null
//   ZUL_FAULT_INSTANTIATE=rate  every one at a rate other than 48000 Hz
//   ZUL_FAULT=KIND ZUL_FAULT_AT=N
//     on the Nth block written to a WAV file: alloc throws std::bad_alloc,
//     write reports a short write (a full disk), sigint, sigterm, sighup
//     and sigpipe raise that signal and go on.
//   ZUL_FAULT=sparse
//     a write of zeros only, 64 KiB or more, skips over them instead: the
//     file gets a hole that reads as zeros, so that a file of gigabytes
//     takes no room on the disk.
//   ZUL_FAULT_TMPFILE=unsupported
//     open() with O_TMPFILE fails as on a file system without it.
#include <dlfcn.h>
#include <fcntl.h>
#include <lilv/lilv.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

bool is(const char* variable, const char* value) {
  const char* set = std::getenv(variable);
  return set != nullptr && std::strcmp(set, value) == 0;
}

}  // namespace

extern "C" LilvInstance* lilv_plugin_instantiate(const LilvPlugin* plugin, double rate,
                                                 const LV2_Feature* const* features) {
  if (is("ZUL_FAULT_INSTANTIATE", "1") ||
      (is("ZUL_FAULT_INSTANTIATE", "rate") && rate != 48000.0)) {
    return nullptr;
  }
  using Real = LilvInstance* (*)(const LilvPlugin*, double, const LV2_Feature* const*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "lilv_plugin_instantiate"));
  return real(plugin, rate, features);
}

extern "C" sf_count_t sf_writef_float(SNDFILE* file, const float* samples, sf_count_t frames) {
  static long calls = 0;
  const char* at = std::getenv("ZUL_FAULT_AT");
  if (at != nullptr && ++calls == std::atol(at)) {
    if (is("ZUL_FAULT", "alloc")) {
      throw std::bad_alloc();
    }
    if (is("ZUL_FAULT", "write")) {
      return 0;
    }
    for (const auto& [name, number] : {std::pair{"sigint", SIGINT},
                                       {"sigterm", SIGTERM},
                                       {"sighup", SIGHUP},
                                       {"sigpipe", SIGPIPE}}) {
      if (is("ZUL_FAULT", name)) {
        std::raise(number);
      }
    }
  }
  using Real = sf_count_t (*)(SNDFILE*, const float*, sf_count_t);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "sf_writef_float"));
  return real(file, samples, frames);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  if (size >= 65536 && is("ZUL_FAULT", "sparse") &&
      std::all_of(bytes, bytes + size, [](char c) { return c == 0; })) {
    // Seeking alone does not lengthen the file: ftruncate does, with a hole.
    const off_t end = lseek(fd, static_cast<off_t>(size), SEEK_CUR);
    struct stat status {};
    if (end < 0 || fstat(fd, &status) != 0 || (status.st_size < end && ftruncate(fd, end) != 0)) {
      return -1;
    }
    return static_cast<ssize_t>(size);
  }
  using Real = ssize_t (*)(int, const void*, size_t);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "write"));
  return real(fd, data, size);
}

namespace {

using Open = int (*)(const char*, int, ...);

int open_with(const char* name, const char* path, int flags, va_list args) {
  const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE
                          ? static_cast<mode_t>(va_arg(args, unsigned))
                          : 0;
  if ((flags & O_TMPFILE) == O_TMPFILE && is("ZUL_FAULT_TMPFILE", "unsupported")) {
    errno = EOPNOTSUPP;
    return -1;
  }
  const auto real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, name));
  return real(path, flags, mode);
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = open_with("open", path, flags, args);
  va_end(args);
  return fd;
}

extern "C" int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = open_with("open64", path, flags, args);
  va_end(args);
  return fd;
}
