#include "service/web_assets.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace lumora::service {
namespace {

TEST(WebAssets, ThePageIsCarriedInTheProgram) {
  const auto index = FindWebFile("", "/");
  ASSERT_TRUE(index);
  EXPECT_EQ(index->Type, "text/html; charset=utf-8");
  EXPECT_NE(std::string(index->Bytes.begin(), index->Bytes.end()).find("<html"), std::string::npos);
  EXPECT_FALSE(FindWebFile("", "/no-such.js"));
  EXPECT_NE(ApiDocumentBase().find("\"openapi\""), std::string_view::npos);
}

// Only plain names below the folder: nothing out of it, hidden or special.
TEST(WebAssets, AnInstalledFolderServesOnlyItsOwnPlainFiles) {
  const std::filesystem::path root = std::filesystem::temp_directory_path() / ("lumora-web-" + std::to_string(getpid()));
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root / "web" / "js");
  std::ofstream(root / "web" / "index.html") << "<html>";
  std::ofstream(root / "web" / "js" / "app.js") << "go()";
  std::ofstream(root / "web" / ".secret") << "key";
  std::ofstream(root / "outside.txt") << "private";
  std::filesystem::create_symlink(root / "outside.txt", root / "web" / "link.txt");
  std::filesystem::create_directory_symlink(root, root / "web" / "up");
  mkfifo((root / "web" / "pipe.js").c_str(), 0600);
  const std::string web = (root / "web").string();
  struct TCase {
    const char* Path;
    bool Served;
  };
  const TCase cases[] = {{"/", true},          {"/js/app.js", true},       {"/../outside.txt", false},
                         {"/js/../index.html", false}, {"/.secret", false}, {"/link.txt", false},
                         {"/up/outside.txt", false},  {"/pipe.js", false},   {"//index.html", false},
                         {"/index.html%00", false},   {"index.html", false},  {"/js/", false}};
  for (const TCase& c : cases) EXPECT_EQ(FindWebFile(web, c.Path).has_value(), c.Served) << c.Path;
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace lumora::service
