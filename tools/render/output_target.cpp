#include "tools/render/output_target.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "tools/render/failure.hpp"

namespace render {
namespace {

constexpr int max_links = 40;  // as the kernel's own limit on a path

std::string directory_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* kind_of(mode_t mode) {
  if (S_ISFIFO(mode)) {
    return "a FIFO";
  }
  if (S_ISCHR(mode)) {
    return "a character device";
  }
  if (S_ISBLK(mode)) {
    return "a block device";
  }
  if (S_ISSOCK(mode)) {
    return "a socket";
  }
  return "not a regular file";
}

[[noreturn]] void cannot_write(const std::string& given, const std::string& why) {
  throw Failure("cannot write " + given + ": " + why);
}

// The file at the end of the chain of links from `path`, which may not exist yet.
std::string follow_links(const std::string& given) {
  std::string path = given;
  for (int hop = 0; hop <= max_links; ++hop) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
      if (errno == ENOENT) {
        return path;  // a new file, or a link to one
      }
      cannot_write(given, std::strerror(errno));
    }
    if (!S_ISLNK(status.st_mode)) {
      return path;
    }
    std::string target(PATH_MAX, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0) {
      cannot_write(given, std::strerror(errno));
    }
    target.resize(static_cast<std::size_t>(length));
    path = target.starts_with('/') ? target : directory_of(path) + "/" + target;
  }
  cannot_write(given, std::strerror(ELOOP));
}

}  // namespace

OutputTarget resolve_output(const std::string& given, const std::string& what) {
  OutputTarget target{given, follow_links(given), what, ""};
  struct stat status {};
  if (stat(target.path.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) {
      cannot_write(given, std::strerror(EISDIR));
    }
    if (!S_ISREG(status.st_mode)) {
      cannot_write(given, std::string(kind_of(status.st_mode)) + ", not a regular file");
    }
  }
  char* dir = realpath(directory_of(target.path).c_str(), nullptr);
  if (dir == nullptr) {
    cannot_write(given, std::strerror(errno));
  }
  target.key = std::string(dir) + "/" + name_of(target.path);
  std::free(dir);
  return target;
}

void refuse_shared_files(const std::vector<const OutputTarget*>& targets) {
  for (std::size_t i = 0; i < targets.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const OutputTarget& a = *targets[j];
      const OutputTarget& b = *targets[i];
      struct stat sa {
      }, sb{};
      const bool same_inode = stat(a.path.c_str(), &sa) == 0 && stat(b.path.c_str(), &sb) == 0 &&
                              sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
      if (a.key == b.key || same_inode) {
        throw Failure(a.what + " (" + a.given + ") and " + b.what + " (" + b.given +
                      ") are the same file; a render writes each file once");
      }
    }
  }
}

}  // namespace render
