// A file written under a temporary name beside where it belongs and moved
// into place only when the whole render succeeded, so a failed or stopped
// render leaves the earlier file as it was.
#pragma once

#include <string>

namespace render {

class TempFile {
 public:
  // Fails now if `path` cannot be replaced: its directory is missing or not
  // writable, or a directory stands at `path`.
  explicit TempFile(const std::string& path);
  ~TempFile();  // removes the temporary unless committed
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  const std::string& temp_path() const { return temp_path_; }
  // The open descriptor of the temporary; whoever takes it closes it.
  int take_fd();
  void commit();

 private:
  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace render
