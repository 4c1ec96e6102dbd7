// A folder of its own under the system's temporary directory, removed with
// everything in it when the test ends.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace lumora::sync::test {

class TTempFolder {
 public:
  explicit TTempFolder(const std::string& tag)
      : fPath(std::filesystem::temp_directory_path() / ("lumora_" + tag + "_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(fPath);
  }
  ~TTempFolder() {
    std::error_code error;
    std::filesystem::remove_all(fPath, error);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  std::string Path(const std::string& name) const { return (fPath / name).string(); }

 private:
  std::filesystem::path fPath;
};

}  // namespace lumora::sync::test
