#include "io/private_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "io/stream.h"

namespace lumora {

namespace {

constexpr mode_t kOthersBits = S_IRWXG | S_IRWXO;

// A directory (not a link) of the user's own; open to others only when
// allowed.
bool ownDirectory(const std::string& path, bool openToOthersAllowed) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
  return openToOthersAllowed || (st.st_mode & kOthersBits) == 0;
}

std::string withSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// A descriptor closed when it goes.
struct TDescriptor {
  int Fd = -1;
  ~TDescriptor() {
    if (Fd >= 0) ::close(Fd);
  }
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void refuse(const std::string& dir, const std::string& why) {
  throw TLoadError(dir + ": cannot use it as the private directory (" + why + ")");
}

}  // namespace

std::string PrivateDirectoryPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && ownDirectory(runtime, false)) return withSlash(runtime) + "lumora/";
  return TempDirectory() + "lumora-" + std::to_string(::getuid()) + "/";
}

std::string MakePrivateDirectory() {
  const std::string dir = PrivateDirectoryPath();
  const std::string bare = dir.substr(0, dir.size() - 1);
  if (::mkdir(bare.c_str(), S_IRWXU) != 0 && errno != EEXIST) refuse(bare, std::strerror(errno));
  if (!ownDirectory(bare, true)) refuse(bare, "not a directory of the user's own");
  // mkdir's mode passes through the umask, and an older directory may have
  // been opened up; the user's own directory may be closed again.
  if (!ownDirectory(bare, false) && ::chmod(bare.c_str(), S_IRWXU) != 0) refuse(bare, std::strerror(errno));
  if (!ownDirectory(bare, false)) refuse(bare, "open to other users");
  return dir;
}

TOwnedFile WriteNewFile(const std::string& path, TStreamReader& stream, std::uint64_t length) {
  TDescriptor out{::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR)};
  if (out.Fd < 0) return {};
  TOwnedFile file(path);
  std::vector<std::uint8_t> chunk(std::size_t{64} << 10);
  for (std::uint64_t left = length; left > 0;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    const std::size_t got = stream.ReadSome(std::span(chunk).first(want));
    if (got == 0 || !writeAll(out.Fd, chunk.data(), got)) return {};
    left -= got;
  }
  const int fd = out.Fd;
  out.Fd = -1;
  if (::close(fd) != 0) return {};
  return file;
}

TOwnedFile& TOwnedFile::operator=(TOwnedFile&& other) noexcept {
  if (this != &other) {
    Reset();
    fPath = std::move(other.fPath);
    other.fPath.clear();
  }
  return *this;
}

void TOwnedFile::Reset() {
  if (fPath.empty()) return;
  ::unlink(fPath.c_str());
  fPath.clear();
}

}  // namespace lumora
