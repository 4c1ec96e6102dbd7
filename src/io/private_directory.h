// The user's private directory: where the player keeps what it shares only
// with itself (the single-instance lock and socket, music extracted from
// movies), so that no other user of the machine can take a name first or
// plant a file there. And files this process made, removed when it is done
// with them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace lumora {

// "lumora" inside $XDG_RUNTIME_DIR when that is the user's own runtime
// directory (absolute, a directory and not a link, owned by the user and
// closed to everyone else), else "lumora-<uid>" in TempDirectory(). Ends
// in '/'. Nothing is made or checked on disk.
std::string PrivateDirectoryPath();
// PrivateDirectoryPath() made with mode 0700 when missing, and checked: a
// directory, not a link, owned by the user, closed to group and others (a
// directory of the user's own that is open to others is closed first).
// Raises TLoadError naming the directory when it cannot be had.
std::string MakePrivateDirectory();

// A file this process created: removed when the object goes or is reset,
// unless it was released. A default-constructed object owns no file.
class TOwnedFile {
 public:
  TOwnedFile() = default;
  explicit TOwnedFile(std::string path) : fPath(std::move(path)) {}
  ~TOwnedFile() { Reset(); }
  TOwnedFile(TOwnedFile&& other) noexcept : fPath(std::move(other.fPath)) { other.fPath.clear(); }
  TOwnedFile& operator=(TOwnedFile&& other) noexcept;
  TOwnedFile(const TOwnedFile&) = delete;
  TOwnedFile& operator=(const TOwnedFile&) = delete;

  const std::string& Path() const { return fPath; }
  bool Owns() const { return !fPath.empty(); }
  // Removes the file now.
  void Reset();

 private:
  std::string fPath;
};

class TStreamReader;

// Creates the file (never through a link, never over a file already there)
// with mode 0600 and writes the next `length` bytes of the stream into it, a
// chunk at a time, so that no more than a chunk is held in memory. Answers
// the file, owned; none, leaving nothing behind, when the file exists or
// cannot be made or written, or the stream ends first.
TOwnedFile WriteNewFile(const std::string& path, TStreamReader& stream, std::uint64_t length);

}  // namespace lumora
