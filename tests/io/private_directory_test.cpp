#include "io/private_directory.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "io/signal_cleanup.h"
#include "io/stream.h"
#include "support/load_error.h"
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

// A new file takes its bytes a chunk at a time; what is already there, a
// link, or a stream that ends early, leaves no file of ours and says why.
TEST_F(PrivateDirectory, NewFilesAreWrittenInChunksAndOwned) {
  std::vector<std::uint8_t> data(std::size_t{3} << 20);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
  const std::string path = (fDir / "song.mp3").string();
  const auto write = [&](std::span<const std::uint8_t> bytes, std::uint64_t length) {
    TMemoryInput input(bytes);
    TStreamReader reader(input, "movie");
    return WriteNewFile(path, reader, length);
  };
  {
    TLeadRecorder source(data);
    TStreamReader reader(source, "movie");
    source.Reader = &reader;
    const TOwnedFile file = WriteNewFile(path, reader, data.size());
    ASSERT_EQ(file.Path(), path);
    EXPECT_EQ(ReadFileBytes(path), data);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_LE(source.Lead, std::uint64_t{128} << 10) << "never read far ahead";
    EXPECT_EQ(test::LoadErrorOf([&] { write(data, data.size()); }), path + ": cannot write the file (File exists)")
        << "an existing file is not ours";
  }
  EXPECT_FALSE(fs::exists(path)) << "the owner removes it";
  EXPECT_EQ(test::LoadErrorOf([&] { write(std::span(data).first(1000), 2000); }),
            path + ": cannot write the file (the data ends 1000 bytes early)");
  EXPECT_FALSE(fs::exists(path)) << "a section cut short leaves nothing";
  fs::create_symlink(fDir / "target", path);
  EXPECT_NE(test::LoadErrorOf([&] { write(data, 10); }), "");
  EXPECT_FALSE(fs::exists(fDir / "target")) << "a link is never followed";
}

// Only the entry made is ever removed: a file put under its name since, by
// whoever, stays.
TEST_F(PrivateDirectory, AnOwnerRemovesOnlyWhatItMade) {
  const std::string path = (fDir / "made").string();
  WriteFileBytes(path, std::vector<std::uint8_t>{1});
  TOwnedFile made(path);
  fs::remove(path);
  WriteFileBytes(path, std::vector<std::uint8_t>{2});
  made.Reset();
  EXPECT_EQ(ReadFileBytes(path), std::vector<std::uint8_t>{2});
  TOwnedFile gone((fDir / "never made").string());
  EXPECT_FALSE(gone.Owns());
  fs::create_directory(fDir / "folder");
  TOwnedFile folder((fDir / "folder").string());
  TOwnedFile moved(std::move(folder));
  EXPECT_FALSE(folder.Owns());
  moved.Reset();
  EXPECT_FALSE(fs::exists(fDir / "folder")) << "a folder made is removed as well";
}

// Each file goes into a fresh folder of its own: the same name twice is two
// files, no name of the private directory (the instance's lock and socket)
// is ever touched, and a name too long for the file system is cut.
TEST_F(PrivateDirectory, PrivateFilesLiveInFoldersOfTheirOwn) {
  const fs::path dir = MakePrivateDirectory();
  WriteFileBytes((dir / kInstanceLockName).string(), std::vector<std::uint8_t>{7});
  WriteFileBytes((dir / kInstanceSocketName).string(), std::vector<std::uint8_t>{8});
  const auto extract = [](const std::string& name, std::vector<std::uint8_t> bytes) {
    TMemoryInput input(bytes);
    TStreamReader reader(input, "movie");
    return WritePrivateFile(name, reader, bytes.size());
  };
  const std::string longName = std::string(300, 'n') + ".mp3";
  std::vector<std::string> folders;
  {
    const TPrivateFile a = extract("song.mp3", {1});
    const TPrivateFile b = extract("song.mp3", {2});
    const TPrivateFile lock = extract(kInstanceLockName, {3});
    const TPrivateFile socket = extract(kInstanceSocketName, {4});
    const TPrivateFile cut = extract(longName, {5});
    for (const TPrivateFile* f : {&a, &b, &lock, &socket, &cut}) {
      const fs::path folder = fs::path(f->Path()).parent_path();
      EXPECT_EQ(folder.parent_path(), dir.parent_path()) << f->Path();
      EXPECT_EQ(modeOf(folder), 0700u);
      folders.push_back(folder.string());
    }
    EXPECT_EQ(fs::path(a.Path()).filename(), "song.mp3");
    EXPECT_NE(a.Path(), b.Path());
    EXPECT_EQ(ReadFileBytes(a.Path()), std::vector<std::uint8_t>{1});
    EXPECT_EQ(ReadFileBytes(b.Path()), std::vector<std::uint8_t>{2});
    EXPECT_EQ(fs::path(cut.Path()).filename(), std::string(251, 'n') + ".mp3");
  }
  for (const std::string& folder : folders) EXPECT_FALSE(fs::exists(folder)) << "file and folder go";
  EXPECT_EQ(ReadFileBytes((dir / kInstanceLockName).string()), std::vector<std::uint8_t>{7});
  EXPECT_EQ(ReadFileBytes((dir / kInstanceSocketName).string()), std::vector<std::uint8_t>{8});
}

// Where the private directory cannot be had, nothing is written anywhere,
// and the cause is told: another user's folder or a link put at its name,
// a temporary directory that is missing, a file, relative or too long.
TEST_F(PrivateDirectory, NoPrivateFileWithoutThePrivateDirectory) {
  struct TCase {
    const char* Name;
    std::function<std::string(const fs::path& dir)> Prepare;  // the temporary directory to use
    const char* Cause;
  };
  const TCase cases[] = {
      {"a link planted at its name",
       [](const fs::path& dir) {
         fs::create_directories(dir / "planted");
         fs::create_directory_symlink(dir / "planted", dir / ("lumora-" + std::to_string(::getuid())));
         return dir.string();
       },
       "not a directory of the user's own"},
      {"missing", [](const fs::path& dir) { return (dir / "missing").string(); }, "No such file or directory"},
      {"a file",
       [](const fs::path& dir) {
         WriteFileBytes((dir / "file").string(), std::vector<std::uint8_t>{1});
         return (dir / "file").string();
       },
       "Not a directory"},
      {"relative", [](const fs::path&) { return std::string("tmp"); }, "the temporary directory is not an absolute path"},
      {"too long", [](const fs::path& dir) { return (dir / std::string(5000, 'x')).string(); }, "File name too long"},
  };
  for (const TCase& c : cases) {
    const fs::path dir = fDir / "case";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const test::TScopedEnv tmp("TMPDIR", c.Prepare(dir).c_str());
    std::vector<std::uint8_t> bytes{1, 2, 3};
    TMemoryInput input(bytes);
    TStreamReader reader(input, "movie");
    const std::string error = test::LoadErrorOf([&] { WritePrivateFile("song.mp3", reader, 3); });
    EXPECT_NE(error.find(c.Cause), std::string::npos) << c.Name << ": " << error;
    if (fs::exists(dir / "planted")) {
      EXPECT_TRUE(fs::is_empty(dir / "planted")) << c.Name;
    }
  }
}

// A signal that ends the process removes what its owners still hold, and
// the process ends as the signal ends it.
TEST_F(PrivateDirectory, ASignalRemovesWhatIsOwned) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const fs::path folder = fDir / "held";
    const fs::path file = folder / "part";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RemoveOnSignals({SIGINT, SIGTERM, SIGHUP});
      fs::create_directory(folder);
      TOwnedFile heldFolder(folder.string());
      WriteFileBytes(file.string(), std::vector<std::uint8_t>{1});
      TOwnedFile heldFile(file.string());
      WriteFileBytes((fDir / "kept").string(), std::vector<std::uint8_t>{1});
      TOwnedFile released((fDir / "kept").string());
      released.Release();
      ::raise(signal);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_FALSE(fs::exists(folder)) << signal;
    EXPECT_TRUE(fs::exists(fDir / "kept")) << signal;
  }
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
