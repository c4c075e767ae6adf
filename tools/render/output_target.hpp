// Where one output of a render goes. A symbolic link is followed to the file
// it names, which is what gets replaced; anything but a regular file (a
// device, a FIFO, a socket, a directory) is refused before the render, and so
// are two outputs of one render that name the same file.
#pragma once

#include <string>
#include <vector>

namespace render {

struct OutputTarget {
  std::string given;  // as the command line named it, for messages
  std::string path;   // the file written: links followed
  std::string what;   // "the plot", "the WAV file of input"
  std::string key;    // its directory's canonical path and its name
};

// Throws a Failure naming `given` when it cannot be replaced.
OutputTarget resolve_output(const std::string& given, const std::string& what);

// Throws a Failure when two targets are one file, by name or by inode.
void refuse_shared_files(const std::vector<const OutputTarget*>& targets);

}  // namespace render
