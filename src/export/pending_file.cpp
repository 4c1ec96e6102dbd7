#include "export/pending_file_p.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "export/video_export.h"

namespace lumora {

namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 100;

// ".name.x7f3k2.part" beside the requested name: hidden, and never a name a
// caller would pick.
fs::path temporaryName(const fs::path& path, std::mt19937& random) {
  constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = ".";
  name += path.filename().string();
  name += '.';
  for (int i = 0; i < 6; ++i) name += kDigits[random() % 36];
  name += ".part";
  return path.parent_path() / name;
}

// Creates the file only if no file has that name ("x"), so that a name
// another export holds is never shared.
bool createExclusively(const fs::path& path) {
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

}  // namespace

TPendingFile::TPendingFile(const std::string& path) : fPath(path) {
  std::error_code error;
  if (fs::is_directory(path, error)) throw EVideoExport("cannot write the file (it is a folder)");
  std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const fs::path candidate = temporaryName(path, random);
    errno = 0;
    if (createExclusively(candidate)) {
      fTemporaryPath = candidate.string();
      return;
    }
    if (errno != EEXIST) {
      throw EVideoExport("cannot write the file (" + std::generic_category().message(errno) + ")");
    }
  }
  throw EVideoExport("cannot write the file (no free temporary name beside it)");
}

TPendingFile::~TPendingFile() {
  if (fCommitted) return;
  std::error_code ignored;
  fs::remove(fTemporaryPath, ignored);
}

void TPendingFile::Commit() {
  std::error_code error;
  fs::rename(fTemporaryPath, fPath, error);
  if (error) throw EVideoExport("cannot give the finished file its name (" + error.message() + ")");
  fCommitted = true;
}

}  // namespace lumora
