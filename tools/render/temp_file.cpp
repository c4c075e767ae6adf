#include "tools/render/temp_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/render/failure.hpp"

namespace render {

TempFile::TempFile(const std::string& path) : path_(path) {
  struct stat status {};
  if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    throw Failure("cannot write " + path + ": " + std::strerror(EISDIR));
  }
  const auto slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  // Hidden, and named after its file, so that a stray one is recognised.
  std::string pattern = dir + "." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) {
    throw Failure("cannot write " + path + ": " + std::strerror(errno));
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
  if (!committed_) {
    unlink(temp_path_.c_str());
  }
}

int TempFile::take_fd() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void TempFile::commit() {
  if (std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    throw Failure("cannot write " + path_ + ": " + std::strerror(errno));
  }
  committed_ = true;
}

}  // namespace render
