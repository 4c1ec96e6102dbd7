#include "io/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace lumora {

namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 100;
// What a file name may hold on the file systems we write to.
constexpr std::size_t kNameMax = 255;
constexpr std::size_t kRandomLetters = 6;
constexpr std::string_view kSuffix = ".part";

// ".name.x7f3k2.part" beside the requested name: hidden, and never a name a
// caller would pick. A long name is cut so that the whole stays within
// NAME_MAX.
fs::path temporaryName(const fs::path& path, std::mt19937& random) {
  constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  const std::size_t room = kNameMax - 2 - kRandomLetters - kSuffix.size();
  std::string name = "." + path.filename().string().substr(0, room) + ".";
  for (std::size_t i = 0; i < kRandomLetters; ++i) name += kLetters[random() % 36];
  name += kSuffix;
  return path.parent_path() / name;
}

std::string systemError() { return std::strerror(errno); }

// What stands at the name, when that is something no file may replace.
std::string refusal(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return {};
  if (S_ISDIR(st.st_mode)) return "it is a folder";
  if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return {};
  return "it is not a regular file";
}

void refuseWhatStands(const std::string& path) {
  const std::string why = refusal(path);
  if (!why.empty()) throw TWriteError("cannot write the file (" + why + ")");
}

// Where no file stood, none is replaced that came meanwhile; the flag is
// refused by some file systems, which then take the plain rename.
int renameIntoPlace(const std::string& from, const std::string& to) {
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return std::rename(from.c_str(), to.c_str());
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno == EINVAL || errno == ENOSYS) return std::rename(from.c_str(), to.c_str());
  return -1;
}

}  // namespace

TPendingFile::TPendingFile(const std::string& path) : fPath(path) {
  if (fs::path(path).filename().string().size() > kNameMax) {
    throw TWriteError("cannot write the file (" + std::string(std::strerror(ENAMETOOLONG)) + ")");
  }
  refuseWhatStands(path);
  std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string candidate = temporaryName(path, random).string();
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fTemporary = TOwnedFile(candidate);
      ::close(fd);
      return;
    }
    if (errno != EEXIST) throw TWriteError("cannot write the file (" + systemError() + ")");
  }
  throw TWriteError("cannot write the file (no free temporary name beside it)");
}

// A device or FIFO put at the name while the file was written is refused
// all the same.
void TPendingFile::Commit() {
  for (int attempt = 0;; ++attempt) {
    refuseWhatStands(fPath);
    if (renameIntoPlace(fTemporary.Path(), fPath) == 0) break;
    if (errno != EEXIST || attempt > 0) {
      throw TWriteError("cannot give the finished file its name (" + systemError() + ")");
    }
  }
  fTemporary.Release();
}

}  // namespace lumora
