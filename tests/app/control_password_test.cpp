#include "app/control_password.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "io/stream.h"
#include "service/password.h"

namespace lumora {
namespace {

struct TFolder {
  std::filesystem::path Path = std::filesystem::temp_directory_path() / ("lumora-password-" + std::to_string(getpid()));
  TFolder() { std::filesystem::remove_all(Path); }
  ~TFolder() { std::filesystem::remove_all(Path); }
  std::string Read(const char* name) const {
    const auto bytes = ReadFileBytes((Path / name).string());
    std::string text(bytes.begin(), bytes.end());
    return text.substr(0, text.find('\n'));
  }
  unsigned Mode(const char* name) const {
    struct stat info {};
    stat((Path / name).c_str(), &info);
    return info.st_mode & 0777;
  }
};

TEST(ControlPassword, AFirstRunMakesOneThatOnlyItsUserCanRead) {
  TFolder folder;
  const TControlPassword made = FindControlPassword({"", folder.Path.string()});
  EXPECT_EQ(made.NewPasswordFile, (folder.Path / "control-password").string());
  const std::string password = folder.Read("control-password");
  EXPECT_EQ(password.size(), 16u);
  EXPECT_TRUE(service::PasswordMatches(made.Hash, password));
  EXPECT_EQ(folder.Mode("control-password"), 0600u);
  EXPECT_EQ(folder.Mode("control-password.hash"), 0600u);
  const TControlPassword again = FindControlPassword({"", folder.Path.string()});
  EXPECT_EQ(again.Hash, made.Hash) << "the stored hash is kept";
  EXPECT_TRUE(again.NewPasswordFile.empty());
}

TEST(ControlPassword, SetAndGivenPasswords) {
  TFolder folder;
  FindControlPassword({"", folder.Path.string()});
  StoreControlPassword("show-night-2026", folder.Path.string());
  EXPECT_FALSE(std::filesystem::exists(folder.Path / "control-password")) << "the made one is no longer it";
  EXPECT_TRUE(service::PasswordMatches(FindControlPassword({"", folder.Path.string()}).Hash, "show-night-2026"));
  EXPECT_THROW(StoreControlPassword("short", folder.Path.string()), std::runtime_error);

  std::ofstream(folder.Path / "given") << "from-a-script\nsecond line\n";
  const TControlPassword given = FindControlPassword({(folder.Path / "given").string(), folder.Path.string()});
  EXPECT_TRUE(service::PasswordMatches(given.Hash, "from-a-script"));

  std::ofstream(folder.Path / "control-password.hash") << "plain text\n";
  try {
    FindControlPassword({"", folder.Path.string()});
    FAIL() << "a broken hash file is refused";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()), (folder.Path / "control-password.hash").string() + ": holds no password hash");
  }
}

}  // namespace
}  // namespace lumora
