// A private scratch directory for the targets that go through files as the
// player does. It is also the temporary directory, so music a movie carries
// lands there and is swept away after each input.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace lumora::fuzz {

class TScratchDirectory {
 public:
  TScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumora-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch directory");
    fPath = pattern;
    setenv("TMPDIR", fPath.c_str(), 1);
  }
  ~TScratchDirectory() {
    std::error_code error;
    std::filesystem::remove_all(fPath, error);
  }

  std::string File(const std::string& name) const { return (fPath / name).string(); }

  // Removes every file but the kept ones.
  template <typename... TNames>
  void SweepExcept(const TNames&... kept) const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(fPath, error)) {
      const std::string name = entry.path().filename().string();
      if (((name == kept) || ...)) continue;
      std::filesystem::remove_all(entry.path(), error);
    }
  }

 private:
  std::filesystem::path fPath;
};

}  // namespace lumora::fuzz
