#include "app/control_password.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "io/stream.h"
#include "service/password.h"

namespace lumora {

namespace {

constexpr const char* kHashFile = "control-password.hash";
constexpr const char* kNewPasswordFile = "control-password";
constexpr std::uint64_t kMaxHashFile = 4096;
constexpr std::size_t kShortestPassword = 8;

// Written whole to a new file readable by its owner alone, then moved in
// place, so that no one else can read it even for a moment.
void writePrivately(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  const std::string temporary = path.string() + ".new";
  ::unlink(temporary.c_str());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) throw std::runtime_error(path.string() + ": cannot be written");
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    throw std::runtime_error(path.string() + ": cannot be written");
  }
}

std::string storedHash(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return {};
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path.string(), kMaxHashFile);
  std::string hash(bytes.begin(), bytes.end());
  hash = hash.substr(0, hash.find_first_of("\r\n"));
  if (!service::IsPasswordHash(hash)) throw std::runtime_error(path.string() + ": holds no password hash");
  return hash;
}

}  // namespace

TControlPassword FindControlPassword(const TPasswordSource& source) {
  if (!source.PasswordFile.empty()) return {service::HashPassword(service::ReadPasswordFile(source.PasswordFile)), {}};
  const std::filesystem::path folder = source.Folder;
  if (std::string hash = storedHash(folder / kHashFile); !hash.empty()) return {hash, {}};
  const std::string password = service::NewPassword();
  const std::filesystem::path clear = folder / kNewPasswordFile;
  writePrivately(clear, password + "\n");
  const std::string hash = service::HashPassword(password);
  writePrivately(folder / kHashFile, hash + "\n");
  return {hash, clear.string()};
}

std::string StoreControlPassword(const std::string& password, const std::string& folder) {
  if (password.size() < kShortestPassword) {
    throw std::runtime_error("a control password needs at least " + std::to_string(kShortestPassword) + " characters");
  }
  const std::filesystem::path path = std::filesystem::path(folder) / kHashFile;
  writePrivately(path, service::HashPassword(password) + "\n");
  // A password made on a first run is no longer the one.
  std::filesystem::remove(std::filesystem::path(folder) / kNewPasswordFile);
  return path.string();
}

}  // namespace lumora
