// An output written where nothing can see it and put in place only when the
// whole render succeeded, so that a failed or stopped render leaves the
// earlier file as it was. Where the file system has them it is an unnamed
// file (O_TMPFILE) that no signal, not even SIGKILL, can leave behind: only
// the commit gives it a name. Elsewhere it is a hidden file beside its place,
// removed on any failure and on SIGINT, SIGTERM, SIGHUP and SIGPIPE.
#pragma once

#include <cstddef>
#include <string>

#include "tools/render/output_target.hpp"

namespace render {

class TempFile {
 public:
  // Fails now if the target's directory cannot take a new file.
  explicit TempFile(const OutputTarget& target);
  ~TempFile();  // closes, and removes a named temporary unless committed
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& shown() const { return target_.given; }
  // Open for reading and writing; stays owned by the TempFile.
  int fd() const { return fd_; }
  // Every byte written, or a Failure naming the file.
  void write_all(const char* data, std::size_t size);
  // Flushed to the disk: a full disk or an I/O error shows here at the latest.
  void sync();
  // Takes the target's name, replacing what was there.
  void commit();

 private:
  void link_into_place();
  [[noreturn]] void fail(int error) const;

  OutputTarget target_;
  std::string temp_path_;  // empty for an unnamed file
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace render
