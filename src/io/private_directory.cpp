#include "io/private_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/signal_cleanup.h"
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

[[noreturn]] void fail(const std::string& path, const std::string& why) {
  throw TLoadError(path + ": cannot write the file (" + why + ")");
}

// The name cut to what a file system takes (NAME_MAX bytes); a short
// extension survives the cut.
std::string fittingName(const std::string& name) {
  constexpr std::size_t kNameMax = 255;
  constexpr std::size_t kLongestExtension = 16;
  if (name.size() <= kNameMax) return name;
  const std::size_t dot = name.rfind('.');
  const std::size_t extension = dot == std::string::npos ? 0 : name.size() - dot;
  if (extension == 0 || extension > kLongestExtension) return name.substr(0, kNameMax);
  return name.substr(0, kNameMax - extension) + name.substr(dot);
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
  // A relative one would be another folder in every working directory.
  if (bare.front() != '/') refuse(bare, "the temporary directory is not an absolute path");
  if (::mkdir(bare.c_str(), S_IRWXU) != 0 && errno != EEXIST) refuse(bare, std::strerror(errno));
  if (!ownDirectory(bare, true)) refuse(bare, "not a directory of the user's own");
  // mkdir's mode passes through the umask, and an older directory may have
  // been opened up; the user's own directory may be closed again.
  if (!ownDirectory(bare, false) && ::chmod(bare.c_str(), S_IRWXU) != 0) refuse(bare, std::strerror(errno));
  if (!ownDirectory(bare, false)) refuse(bare, "open to other users");
  return dir;
}

// The entry held open keeps its inode from being given to another entry
// while it is owned, so that its number names it alone.
TOwnedFile::TOwnedFile(std::string path) {
  struct stat st{};
  const int fd = path.empty() ? -1 : ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return;
  }
  fPath = std::move(path);
  fHeld = fd;
  fDevice = st.st_dev;
  fInode = st.st_ino;
  fSlot = NoteForRemoval(fPath.c_str(), fDevice, fInode);
}

TOwnedFile::TOwnedFile(TOwnedFile&& other) noexcept { *this = std::move(other); }

TOwnedFile& TOwnedFile::operator=(TOwnedFile&& other) noexcept {
  if (this != &other) {
    Reset();
    fPath = std::move(other.fPath);
    fHeld = other.fHeld;
    fDevice = other.fDevice;
    fInode = other.fInode;
    fSlot = other.fSlot;
    other.fPath.clear();
    other.fHeld = -1;
    other.fSlot = -1;
  }
  return *this;
}

void TOwnedFile::Reset() {
  if (fPath.empty()) return;
  struct stat st{};
  if (::lstat(fPath.c_str(), &st) == 0 && st.st_dev == fDevice && st.st_ino == fInode) {
    if (S_ISDIR(st.st_mode)) {
      ::rmdir(fPath.c_str());
    } else {
      ::unlink(fPath.c_str());
    }
  }
  Release();
}

void TOwnedFile::Release() {
  ForgetRemoval(fSlot);
  if (fHeld >= 0) ::close(fHeld);
  fHeld = -1;
  fSlot = -1;
  fPath.clear();
}

TOwnedFile WriteNewFile(const std::string& path, TStreamReader& stream, std::uint64_t length) {
  TDescriptor out{::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR)};
  if (out.Fd < 0) fail(path, std::strerror(errno));
  TOwnedFile file(path);
  std::vector<std::uint8_t> chunk(std::size_t{64} << 10);
  for (std::uint64_t left = length; left > 0;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    const std::size_t got = stream.ReadSome(std::span(chunk).first(want));
    if (got == 0) fail(path, "the data ends " + std::to_string(left) + " bytes early");
    if (!writeAll(out.Fd, chunk.data(), got)) fail(path, std::strerror(errno));
    left -= got;
  }
  const int fd = out.Fd;
  out.Fd = -1;
  if (::close(fd) != 0) fail(path, std::strerror(errno));
  return file;
}

TPrivateFile WritePrivateFile(const std::string& name, TStreamReader& stream, std::uint64_t length) {
  std::string folder = MakePrivateDirectory() + "music-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) fail(folder, std::strerror(errno));
  TOwnedFile ownedFolder(folder);
  TOwnedFile file = WriteNewFile(folder + "/" + fittingName(name), stream, length);
  return {std::move(ownedFolder), std::move(file)};
}

}  // namespace lumora
