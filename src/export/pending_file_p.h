// TPendingFile: an output while it is written — a temporary file beside the
// requested name that takes that name only once complete, and is removed on
// every other path, so no half-written file ever carries the name.
#pragma once

#include <string>

namespace lumora {

class TPendingFile {
 public:
  // Creates the temporary file (a new, empty one of its own); raises
  // EVideoExport when the folder cannot take it or the path is a folder.
  explicit TPendingFile(const std::string& path);
  ~TPendingFile();
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  const std::string& TemporaryPath() const { return fTemporaryPath; }
  // Renames the finished file over the requested name.
  void Commit();

 private:
  std::string fPath;
  std::string fTemporaryPath;
  bool fCommitted = false;
};

}  // namespace lumora
