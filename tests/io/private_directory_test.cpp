#include "io/private_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "io/stream.h"
#include "support/scoped_env.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

// A temporary directory of the test's own, made the system's.
class PrivateDirectory : public ::testing::Test {
 protected:
  PrivateDirectory()
      : fDir(fs::temp_directory_path() / ("lumora_private_" + std::to_string(::getpid()))),
        fTmp("TMPDIR", fDir.c_str()),
        fRuntime("XDG_RUNTIME_DIR", nullptr) {
    fs::remove_all(fDir);
    fs::create_directories(fDir);
  }
  ~PrivateDirectory() override { fs::remove_all(fDir); }

  fs::path Own() const { return fDir / ("lumora-" + std::to_string(::getuid())); }
  static mode_t modeOf(const fs::path& path) {
    struct stat st{};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 0777;
  }

  fs::path fDir;
  test::TScopedEnv fTmp;
  test::TScopedEnv fRuntime;
};

// Whatever already stands at the name: made or closed when it is the
// user's own directory, refused when anyone else could have put it there.
TEST_F(PrivateDirectory, IsTheUsersOwnAndClosedOrRefused) {
  struct TCase {
    const char* Name;
    std::function<void(const fs::path&)> Plant;
    bool Usable;
  };
  const TCase cases[] = {
      {"nothing", [](const fs::path&) {}, true},
      {"an open directory of the user's", [](const fs::path& p) { fs::create_directory(p); ::chmod(p.c_str(), 0777); },
       true},
      {"a link to a directory", [this](const fs::path& p) { fs::create_directory(fDir / "elsewhere"); fs::create_directory_symlink(fDir / "elsewhere", p); },
       false},
      {"a file", [](const fs::path& p) { WriteFileBytes(p.string(), std::vector<std::uint8_t>{1}); }, false},
      {"another user's directory",
       [](const fs::path& p) {
         fs::create_directory(p);
         if (::getuid() != 0 || ::chown(p.c_str(), 65534, 65534) != 0) GTEST_SKIP() << "needs root to plant";
       },
       false},
  };
  for (const TCase& c : cases) {
    fs::remove_all(Own());
    fs::remove_all(fDir / "elsewhere");
    c.Plant(Own());
    if (IsSkipped()) return;
    if (c.Usable) {
      EXPECT_EQ(MakePrivateDirectory(), Own().string() + "/") << c.Name;
      EXPECT_EQ(modeOf(Own()), 0700u) << c.Name;
    } else {
      EXPECT_THROW(MakePrivateDirectory(), TLoadError) << c.Name;
    }
  }
}

TEST_F(PrivateDirectory, TheRuntimeDirectoryOnlyWhenItIsTheUsersAlone) {
  const fs::path runtime = fDir / "run";
  fs::create_directory(runtime);
  const test::TScopedEnv set("XDG_RUNTIME_DIR", runtime.c_str());
  ::chmod(runtime.c_str(), 0700);
  EXPECT_EQ(PrivateDirectoryPath(), runtime.string() + "/lumora/");
  ::chmod(runtime.c_str(), 0755);
  EXPECT_EQ(PrivateDirectoryPath(), Own().string() + "/") << "a runtime directory open to others is not used";
  const test::TScopedEnv relative("XDG_RUNTIME_DIR", "run");
  EXPECT_EQ(PrivateDirectoryPath(), Own().string() + "/");
}

// A source that notes the most its reader ever held read ahead.
class TLeadRecorder : public TInputStream {
 public:
  explicit TLeadRecorder(std::span<const std::uint8_t> data) : fInput(data) {}
  const TStreamReader* Reader = nullptr;
  std::uint64_t Lead = 0;
  std::size_t Read(std::span<std::uint8_t> buffer) override {
    Lead = std::max<std::uint64_t>(Lead, Reader->Buffered());
    return fInput.Read(buffer);
  }

 private:
  TMemoryInput fInput;
};

// A new file takes its bytes a chunk at a time; what is already there, or a
// stream that ends early, leaves no file of ours.
TEST_F(PrivateDirectory, NewFilesAreWrittenInChunksAndOwned) {
  std::vector<std::uint8_t> data(std::size_t{3} << 20);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
  const std::string path = (fDir / "song.mp3").string();
  {
    TLeadRecorder source(data);
    TStreamReader reader(source, "movie");
    source.Reader = &reader;
    const TOwnedFile file = WriteNewFile(path, reader, data.size());
    ASSERT_EQ(file.Path(), path);
    EXPECT_EQ(ReadFileBytes(path), data);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_LE(source.Lead, std::uint64_t{128} << 10) << "never read far ahead";
    TMemoryInput again(data);
    TStreamReader second(again, "movie");
    EXPECT_FALSE(WriteNewFile(path, second, data.size()).Owns()) << "an existing file is not ours";
  }
  EXPECT_FALSE(fs::exists(path)) << "the owner removes it";
  TMemoryInput shortInput(std::span<const std::uint8_t>(data).first(1000));
  TStreamReader shortReader(shortInput, "movie");
  EXPECT_FALSE(WriteNewFile(path, shortReader, 2000).Owns());
  EXPECT_FALSE(fs::exists(path)) << "a section cut short leaves nothing";
  fs::create_symlink(fDir / "target", path);
  TMemoryInput linked(data);
  TStreamReader linkedReader(linked, "movie");
  EXPECT_FALSE(WriteNewFile(path, linkedReader, 10).Owns());
  EXPECT_FALSE(fs::exists(fDir / "target")) << "a link is never followed";
}

// Pixels go straight into their place: the reader is never further ahead
// than a chunk or two, where it used to read the whole picture ahead.
TEST_F(PrivateDirectory, ValuesAreReadStraightIntoPlace) {
  std::vector<std::uint8_t> bytes(std::size_t{1} << 20);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  TLeadRecorder source(bytes);
  TStreamReader reader(source, "picture");
  source.Reader = &reader;
  std::vector<std::uint32_t> values(bytes.size() / 4);
  ASSERT_TRUE(ReadU32Values(reader, values));
  EXPECT_EQ(values[1], 0x07060504u);
  EXPECT_LE(source.Lead, std::uint64_t{128} << 10);
  EXPECT_FALSE(ReadU32Values(reader, std::span(values).first(1))) << "the data has ended";
}

TEST_F(PrivateDirectory, OnlyRegularFilesOpen) {
  const fs::path fifo = fDir / "fifo.ctl";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path file = fDir / "show.ctl";
  WriteFileBytes(file.string(), std::vector<std::uint8_t>{1, 2});
  for (const auto& [path, regular] : {std::pair{fifo, false}, {fDir, false}, {file, true}, {fDir / "none", false}}) {
    EXPECT_EQ(IsRegularFile(path.string()), regular) << path;
    if (!regular) {
      EXPECT_THROW(TFileInput input(path.string()), TLoadError) << path;
    }
  }
}

}  // namespace
}  // namespace lumora
