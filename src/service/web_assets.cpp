#include "service/web_assets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace lumora::service {

extern const std::pair<std::string_view, std::span<const unsigned char>> kWebAssets[];
extern const std::size_t kWebAssetsCount;
extern const std::pair<std::string_view, std::span<const unsigned char>> kServiceAssets[];
extern const std::size_t kServiceAssetsCount;

namespace {

constexpr std::int64_t kMaxWebFile = std::int64_t{4} << 20;
constexpr std::size_t kMaxUrlPath = 256;

// Letters, digits, '-', '_' and '.', in parts separated by '/', none
// starting with '.'.
bool isPlainPath(std::string_view path) {
  if (path.size() > kMaxUrlPath || !path.starts_with('/')) return false;
  bool partStart = true;
  for (const char c : path.substr(1)) {
    if (c == '/') {
      if (partStart) return false;
      partStart = true;
      continue;
    }
    const bool plain = std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == '.';
    if (!plain || (partStart && c == '.')) return false;
    partStart = false;
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> builtIn(std::string_view path) {
  const auto* end = kWebAssets + kWebAssetsCount;
  const auto* found = std::find_if(kWebAssets, end, [&](const auto& asset) { return asset.first == path; });
  if (found == end) return std::nullopt;
  return std::vector<std::uint8_t>(found->second.begin(), found->second.end());
}

// Opened without following a link at the last step, and checked to lie in
// the folder once every link before it is resolved.
std::optional<std::vector<std::uint8_t>> fromFolder(const std::string& folder, std::string_view path) {
  std::error_code error;
  const std::filesystem::path root = std::filesystem::canonical(folder, error);
  if (error) return std::nullopt;
  const std::filesystem::path wanted = std::filesystem::weakly_canonical(root / std::string(path.substr(1)), error);
  if (error || !wanted.string().starts_with(root.string() + "/")) return std::nullopt;
  const int fd = ::open(wanted.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::vector<std::uint8_t>> bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxWebFile) {
    bytes.emplace(static_cast<std::size_t>(info.st_size));
    if (::read(fd, bytes->data(), bytes->size()) != static_cast<ssize_t>(bytes->size())) bytes.reset();
  }
  ::close(fd);
  return bytes;
}

}  // namespace

std::string ContentTypeOf(std::string_view path) {
  const std::string_view extension = path.substr(std::min(path.rfind('.'), path.size()));
  if (extension == ".html") return "text/html; charset=utf-8";
  if (extension == ".js") return "text/javascript; charset=utf-8";
  if (extension == ".css") return "text/css; charset=utf-8";
  if (extension == ".svg") return "image/svg+xml";
  if (extension == ".png") return "image/png";
  if (extension == ".json") return "application/json";
  if (extension == ".webmanifest") return "application/manifest+json";
  return "application/octet-stream";
}

std::optional<TWebFile> FindWebFile(const std::string& folder, std::string_view urlPath) {
  const std::string path = urlPath == "/" ? "/index.html" : std::string(urlPath);
  if (!isPlainPath(path)) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> bytes = folder.empty() ? builtIn(path) : fromFolder(folder, path);
  if (!bytes) return std::nullopt;
  return TWebFile{ContentTypeOf(path), std::move(*bytes)};
}

std::string_view ApiDocumentBase() {
  const auto* end = kServiceAssets + kServiceAssetsCount;
  const auto* found =
      std::find_if(kServiceAssets, end, [](const auto& asset) { return asset.first == "/openapi.json"; });
  if (found == end) return "{}";
  return {reinterpret_cast<const char*>(found->second.data()), found->second.size()};
}

}  // namespace lumora::service
