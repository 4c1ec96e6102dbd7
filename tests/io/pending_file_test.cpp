// TPendingFile: an output takes its name only when finished, replacing a
// file or a link there (never writing through it) and refusing anything
// else; its temporary name fits the file system however long its own is.
#include "io/pending_file.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "io/stream.h"
#include "support/load_error.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

class PendingFile : public ::testing::Test {
 protected:
  PendingFile() : fDir(fs::temp_directory_path() / ("lumora_pending_" + std::to_string(::getpid()))) {
    fs::remove_all(fDir);
    fs::create_directories(fDir);
  }
  ~PendingFile() override { fs::remove_all(fDir); }

  std::string path(const std::string& name) const { return (fDir / name).string(); }
  // What is in the folder besides the names given.
  std::vector<std::string> others(std::vector<std::string> known) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(fDir)) {
      const std::string name = entry.path().filename().string();
      if (std::find(known.begin(), known.end(), name) == known.end()) found.push_back(name);
    }
    return found;
  }

  fs::path fDir;
};

std::string writeAndCommit(const std::string& target, const std::vector<std::uint8_t>& bytes) {
  return test::ErrorOf<TWriteError>([&] {
    TPendingFile file(target);
    WriteFileBytes(file.TemporaryPath(), bytes);
    file.Commit();
  });
}

// What stands at the name decides: nothing, a file or a link make way for
// the new file (what the link points to stays as it was); a folder, a
// FIFO, a socket or a device is refused and stays, and nothing is left
// beside it.
TEST_F(PendingFile, OnlyFilesAndLinksAreReplaced) {
  struct TCase {
    const char* Name;
    std::function<void(const std::string& at)> Plant;
    std::string Refusal;  // empty: the new file takes the name
  };
  const std::string elsewhere = path("elsewhere");
  const TCase cases[] = {
      {"nothing", [](const std::string&) {}, ""},
      {"a file", [](const std::string& at) { WriteFileBytes(at, std::vector<std::uint8_t>{9}); }, ""},
      {"a link", [&](const std::string& at) { fs::create_symlink(elsewhere, at); }, ""},
      {"a dangling link", [&](const std::string& at) { fs::create_symlink(path("nowhere"), at); }, ""},
      {"a folder", [](const std::string& at) { fs::create_directory(at); }, "cannot write the file (it is a folder)"},
      {"a FIFO", [](const std::string& at) { ::mkfifo(at.c_str(), 0600); },
       "cannot write the file (it is not a regular file)"},
      {"a socket",
       [](const std::string& at) {
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         at.copy(address.sun_path, sizeof address.sun_path - 1);
         ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
         ::close(fd);
       },
       "cannot write the file (it is not a regular file)"},
      {"a device",
       [](const std::string& at) {
         if (::mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) GTEST_SKIP() << "needs root to make a device";
       },
       "cannot write the file (it is not a regular file)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFileBytes(elsewhere, std::vector<std::uint8_t>{5});
    const std::string target = path("out.mp4");
    c.Plant(target);
    if (IsSkipped()) return;
    const bool wasLink = fs::is_symlink(target);
    EXPECT_EQ(writeAndCommit(target, {1, 2}), c.Refusal);
    EXPECT_EQ(ReadFileBytes(elsewhere), std::vector<std::uint8_t>{5}) << "a link is not written through";
    if (c.Refusal.empty()) {
      EXPECT_FALSE(fs::is_symlink(target)) << "the link itself is replaced";
      EXPECT_EQ(ReadFileBytes(target), (std::vector<std::uint8_t>{1, 2}));
    } else {
      EXPECT_FALSE(fs::is_regular_file(target) && !wasLink) << "what stood there stays";
    }
    EXPECT_EQ(others({"out.mp4", "elsewhere"}), std::vector<std::string>{});
    fs::remove_all(target);
  }
}

// Something put at the name while the file was written is refused all the
// same, and stays.
TEST_F(PendingFile, WhatComesMeanwhileIsNotReplacedEither) {
  const std::string target = path("show.fseq");
  TPendingFile file(target);
  ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
  EXPECT_THROW(file.Commit(), TWriteError);
  struct stat st {};
  ASSERT_EQ(::lstat(target.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// Names up to the file system's limit work, the temporary one being cut
// to fit; a longer name fails cleanly.
TEST_F(PendingFile, LongNamesFit) {
  for (const std::size_t length : {std::size_t{242}, std::size_t{250}, std::size_t{255}}) {
    const std::string name = std::string(length - 4, 'x') + ".gif";
    EXPECT_EQ(writeAndCommit(path(name), {3}), "") << length;
    EXPECT_EQ(ReadFileBytes(path(name)), std::vector<std::uint8_t>{3}) << length;
    fs::remove(path(name));
  }
  EXPECT_EQ(writeAndCommit(path(std::string(256, 'y')), {3}), "cannot write the file (File name too long)");
  EXPECT_EQ(others({}), std::vector<std::string>{});
}

}  // namespace
}  // namespace lumora
