#include "io/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "io/stream.h"

namespace lumora {

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what, int error) {
  throw TLoadError(path + ": " + what + " (" + std::strerror(error) + ")");
}

bool writeAll(int handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(handle, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// The rename reaches the disk only once the folder's entry does.
void syncFolder(const std::string& folder) {
  const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) return;
  ::fsync(handle);
  ::close(handle);
}

}  // namespace

void ReplaceFile(const std::string& path, std::string_view bytes) {
  const std::filesystem::path target(path);
  const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
  std::string pattern = folder + "/." + target.filename().string() + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int handle = ::mkostemp(name.data(), O_CLOEXEC);
  if (handle < 0) fail(path, "cannot create a temporary file beside it", errno);
  const std::string temporary(name.data());
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
  const bool written = ::fchmod(handle, mode) == 0 && writeAll(handle, bytes) && ::fsync(handle) == 0;
  const int writeError = errno;
  const bool closed = ::close(handle) == 0;
  if (!written || !closed) {
    ::unlink(temporary.c_str());
    fail(path, "cannot write the new content", written ? errno : writeError);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int renameError = errno;
    ::unlink(temporary.c_str());
    fail(path, "cannot replace the file", renameError);
  }
  syncFolder(folder);
}

}  // namespace lumora
