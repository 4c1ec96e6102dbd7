#include "io/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "io/stream.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = TempDirectory() + "lumora-replace-XXXXXX";
    fFolder = ::mkdtemp(pattern.data());
  }
  void TearDown() override {
    fs::permissions(fFolder, fs::perms::owner_all);
    fs::remove_all(fFolder);
  }
  std::size_t FilesInFolder() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(fFolder), fs::directory_iterator())); }

  fs::path fFolder;
};

// A new file, a replaced one keeping its mode, and nothing left beside it.
TEST_F(AtomicFile, ReplacesWholeAndKeepsTheMode) {
  const fs::path file = fFolder / "schedule.json";
  ReplaceFile(file, "first");
  EXPECT_EQ(ReadAll(file), "first");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ReplaceFile(file, std::string(100000, 'x'));
  EXPECT_EQ(ReadAll(file), std::string(100000, 'x'));
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(FilesInFolder(), 1u);
}

// A folder that cannot take the file leaves the old file as it was and
// names the path.
TEST_F(AtomicFile, AFailureLeavesTheOldFile) {
  const fs::path file = fFolder / "schedule.json";
  ReplaceFile(file, "old");
  if (::geteuid() != 0) {
    fs::permissions(fFolder, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(ReplaceFile(file, "new"), TLoadError);
    fs::permissions(fFolder, fs::perms::owner_all);
    EXPECT_EQ(ReadAll(file), "old");
  }
  try {
    ReplaceFile((fFolder / "missing" / "x.json").string(), "new");
    FAIL() << "wrote into a missing folder";
  } catch (const TLoadError& error) {
    EXPECT_NE(std::string(error.what()).find("missing/x.json"), std::string::npos) << error.what();
  }
  fs::create_directory(fFolder / "folder.json");
  EXPECT_THROW(ReplaceFile((fFolder / "folder.json").string(), "new"), TLoadError);
  EXPECT_EQ(ReadAll(file), "old");
  EXPECT_EQ(FilesInFolder(), 2u);
}

}  // namespace
}  // namespace lumora
