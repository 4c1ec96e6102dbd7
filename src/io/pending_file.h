// TPendingFile: an output while it is written — a temporary file beside the
// requested name that takes that name only once complete, and is removed on
// every other path (and when a signal ends the process, see
// signal_cleanup.h), so no half-written file ever carries the name.
//
// The name is only ever replaced, never written through: a regular file or
// a link standing there is replaced by the new file (the link itself, not
// what it points to), and anything else standing there (a folder, a
// device, a FIFO, a socket) is refused, never renamed over.
#pragma once

#include <stdexcept>
#include <string>

#include "io/private_directory.h"

namespace lumora {

// A file that cannot be written; the text says why, and the caller names
// the file.
class TWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TPendingFile {
 public:
  // Creates the temporary file (a new, empty one of its own, its name
  // within the file system's limit however long the requested one is);
  // raises TWriteError when the folder cannot take it or the name is
  // taken by anything but a regular file or a link.
  explicit TPendingFile(const std::string& path);

  const std::string& TemporaryPath() const { return fTemporary.Path(); }
  // Gives the finished file the requested name.
  void Commit();

 private:
  std::string fPath;
  TOwnedFile fTemporary;
};

}  // namespace lumora
