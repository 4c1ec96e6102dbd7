// The user's private directory: where the player keeps what it shares only
// with itself (the single-instance lock and socket, music extracted from
// movies), so that no other user of the machine can take a name first or
// plant a file there. And files this process made, removed when it is done
// with them.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>

namespace lumora {

// The names the single-instance lock and socket have in the private
// directory; nothing else is ever made under them.
inline constexpr const char* kInstanceLockName = "instance.lock";
inline constexpr const char* kInstanceSocketName = "instance";

// "lumora" inside $XDG_RUNTIME_DIR when that is the user's own runtime
// directory (absolute, a directory and not a link, owned by the user and
// closed to everyone else), else "lumora-<uid>" in TempDirectory(). Ends
// in '/'. Nothing is made or checked on disk.
std::string PrivateDirectoryPath();
// PrivateDirectoryPath() made with mode 0700 when missing, and checked: a
// directory, not a link, owned by the user, closed to group and others (a
// directory of the user's own that is open to others is closed first).
// Raises TLoadError naming the directory when it cannot be had, and when
// the temporary directory is not an absolute path.
std::string MakePrivateDirectory();

// A file or folder this process made: removed when the object goes or is
// reset, unless it was released. It is held open while owned and its
// device and inode noted, and only the entry that still has them is ever
// removed, never another put under its name since. While owned it is also
// removed when a signal ends the process (see signal_cleanup.h). A
// default-constructed object owns nothing.
class TOwnedFile {
 public:
  TOwnedFile() = default;
  // Takes the entry this process has just made at path; owns nothing when
  // it is gone already.
  explicit TOwnedFile(std::string path);
  ~TOwnedFile() { Reset(); }
  TOwnedFile(TOwnedFile&& other) noexcept;
  TOwnedFile& operator=(TOwnedFile&& other) noexcept;
  TOwnedFile(const TOwnedFile&) = delete;
  TOwnedFile& operator=(const TOwnedFile&) = delete;

  const std::string& Path() const { return fPath; }
  bool Owns() const { return !fPath.empty(); }
  // Removes the entry now.
  void Reset();
  // Forgets the entry without removing it (it has been renamed, say).
  void Release();

 private:
  std::string fPath;
  int fHeld = -1;
  dev_t fDevice = 0;
  ino_t fInode = 0;
  int fSlot = -1;
};

class TStreamReader;

// Creates the file (never through a link, never over a file already there)
// with mode 0600 and writes the next `length` bytes of the stream into it, a
// chunk at a time, so that no more than a chunk is held in memory. Answers
// the file, owned; raises TLoadError naming the path and the cause, leaving
// nothing behind, when the file exists or cannot be made or written, or
// the stream ends first.
TOwnedFile WriteNewFile(const std::string& path, TStreamReader& stream, std::uint64_t length);

// A file written for this process alone: in a folder of its own, made
// fresh inside the private directory, so that no other process (another
// player, another export) shares its name and no name of the private
// directory (the instance's lock and socket) is ever taken. Both go when
// the object goes; the file first.
class TPrivateFile {
 public:
  TPrivateFile() = default;
  TPrivateFile(TOwnedFile folder, TOwnedFile file) : fFolder(std::move(folder)), fFile(std::move(file)) {}
  TPrivateFile(TPrivateFile&& other) noexcept = default;
  // What this one held goes first, file before folder.
  TPrivateFile& operator=(TPrivateFile&& other) noexcept {
    Reset();
    fFolder = std::move(other.fFolder);
    fFile = std::move(other.fFile);
    return *this;
  }

  const std::string& Path() const { return fFile.Path(); }
  bool Owns() const { return fFile.Owns(); }
  void Reset() {
    fFile.Reset();
    fFolder.Reset();
  }

 private:
  // Declared first, so removed last.
  TOwnedFile fFolder;
  TOwnedFile fFile;
};

// The stream's next `length` bytes as a new file named after `name` (cut
// to a length the file system takes, its extension kept) in a fresh folder
// of the private directory. Raises TLoadError with the cause when the
// private directory cannot be had or the file cannot be written; nothing
// is left behind then.
TPrivateFile WritePrivateFile(const std::string& name, TStreamReader& stream, std::uint64_t length);

}  // namespace lumora
