#include "tools/render/temp_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "tools/render/failure.hpp"

namespace render {
namespace {

std::string directory_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// Hidden, and named after its file, so that a stray one is recognised.
std::string hidden_name(const std::string& path, const std::string& suffix) {
  const auto slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  return dir + "." + base + "." + suffix;
}

std::string random_suffix() {
  static std::mt19937 generator{std::random_device{}()};
  static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(6, 'x');
  for (char& c : suffix) {
    c = letters[generator() % (sizeof letters - 1)];
  }
  return suffix;
}

// The kernel or the file system has no unnamed files, or /proc is not there
// to give one a name.
bool unnamed_files_unsupported(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

void sync_directory(const std::string& path) {
  const int dir = open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

}  // namespace

TempFile::TempFile(const OutputTarget& target) : target_(target) {
  const bool proc = access("/proc/self/fd", X_OK) == 0;
  fd_ = proc ? open(directory_of(target_.path).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666) : -1;
  if (fd_ >= 0) {
    return;
  }
  if (proc && !unnamed_files_unsupported(errno)) {
    fail(errno);
  }
  std::string pattern = hidden_name(target_.path, "XXXXXX");
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkostemp(name.data(), O_CLOEXEC);
  if (fd_ < 0) {
    fail(errno);
  }
  temp_path_ = name.data();
  // mkstemp makes it 0600; the finished file gets what a new file would.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
}

TempFile::~TempFile() {
  if (fd_ >= 0) {
    close(fd_);
  }
  if (!committed_ && !temp_path_.empty()) {
    unlink(temp_path_.c_str());
  }
}

void TempFile::fail(int error) const {
  throw Failure("cannot write " + target_.given + ": " + std::strerror(error));
}

void TempFile::write_all(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd_, data, size);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      fail(written < 0 ? errno : ENOSPC);
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void TempFile::sync() {
  if (fsync(fd_) != 0) {
    fail(errno);
  }
}

// An unnamed file gets a name by linkat through /proc, which cannot replace
// a file: a new name is linked at once, an existing one replaced by rename
// from a hidden name.
void TempFile::link_into_place() {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return;
  }
  if (errno != EEXIST) {
    fail(errno);
  }
  for (int attempt = 0;; ++attempt) {
    temp_path_ = hidden_name(target_.path, random_suffix());
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp_path_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      break;
    }
    if (errno != EEXIST || attempt == 100) {
      const int error = errno;
      temp_path_.clear();
      fail(error);
    }
  }
  if (std::rename(temp_path_.c_str(), target_.path.c_str()) != 0) {
    fail(errno);  // the destructor removes the hidden name
  }
}

void TempFile::commit() {
  if (temp_path_.empty()) {
    link_into_place();
  } else if (std::rename(temp_path_.c_str(), target_.path.c_str()) != 0) {
    fail(errno);
  }
  committed_ = true;
  sync_directory(target_.path);
}

}  // namespace render
