// What the window keeps and says around the show: the recent files, the
// hint of an empty window, the screen asked for.
#include <gtest/gtest.h>

#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/qt/player_main.h"
#include "app/qt/player_settings.h"
#include "app/qt/player_window.h"
#include "app/qt/test_application.h"
#include "support/player_fakes.h"

namespace lumora {
namespace {

using test::application;
using test::tolBytes;

// What the call wrote to stderr.
template <class TCall>
std::string stderrOf(const TCall& call, const std::string& scratch) {
  std::fflush(stderr);
  const int saved = ::dup(2);
  FILE* file = std::fopen(scratch.c_str(), "w");
  ::dup2(::fileno(file), 2);
  call();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::fclose(file);
  std::ifstream in(scratch);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

QStringList recentOf(TPlayerWindow& window) {
  const std::unique_ptr<QMenu> menu = window.BuildMenu();
  QStringList paths;
  for (QAction* a : menu->actions().at(1)->menu()->actions()) paths.append(a->text());
  return paths;
}

// Files that failed to open were kept in the recent files.
TEST(PlayerStart, OnlyFilesThatOpenedAreRecent) {
  application();
  const test::TFreshSettings settings;
  test::TPlayerDir dir("qt_recent");
  const std::string grid = dir.Write("grid.tol", tolBytes(1, 2, 10, 10, 4));
  const std::string bad = dir.Write("bad.tol", {1, 2, 3});
  {
    TPlayerWindow window(dir.Executable());
    window.Start(bad);
    window.OpenHandedOver(dir.Path("missing.ctl"));
    window.OpenHandedOver(grid);
    window.OpenHandedOver(dir.Write("notes.txt", {'h', 'i'}));
    window.Form().OpenDropped(bad);
    EXPECT_EQ(recentOf(window), QStringList{QString::fromStdString(grid)});
  }
  TPlayerWindow again(dir.Executable());
  again.Start("");
  EXPECT_EQ(recentOf(again), QStringList{QString::fromStdString(grid)});
}

// A stored list of 100,000 entries used to be de-duplicated whole before
// the window appeared; only as many entries as are kept are looked at.
TEST(PlayerStart, ALongStoredRecentListIsReadOnlyAsFarAsItIsKept) {
  application();
  const test::TFreshSettings settings;
  test::TPlayerDir dir("qt_recent_long");
  QStringList stored;
  for (int i = 0; i < 100000; ++i) stored.append(QString::fromStdString(dir.Path("gone-" + std::to_string(i % 7))));
  const QString late = QString::fromStdString(dir.Write("late.tol", tolBytes(1, 1, 4, 4, 3)));
  const QString early = QString::fromStdString(dir.Write("early.tol", tolBytes(1, 1, 4, 4, 3)));
  stored[3] = early;
  stored[4] = early;
  stored[50000] = late;
  QSettings("Lumora Stage", "lumora").setValue("player/recent", stored);
  EXPECT_EQ(LoadRemembered().Recent, QStringList{early}) << "entries past the tenth are not read";
}

TEST(PlayerStart, AnEmptyWindowSaysHowToOpenAShow) {
  application();
  const test::TFreshSettings settings;
  test::TPlayerDir dir("qt_hint");
  TPlayerWindow window(dir.Executable());
  window.Start("");
  const QImage empty = window.grab().toImage();
  const auto lit = [](const QImage& image, int bottom) {
    int count = 0;
    for (int y = 0; y < bottom; ++y) {
      for (int x = 0; x < image.width(); ++x) count += (image.pixel(x, y) & 0xFFFFFF) != 0;
    }
    return count;
  };
  EXPECT_GT(lit(empty, empty.height() - kPanelHeight), 0) << "the hint is written";
  EXPECT_EQ(NoShowHint(true), "Open a show with Open or the right-click menu, or drop one here");
  EXPECT_NE(NoShowHint(false), NoShowHint(true));
}

// A screen that is not there was passed over without a word.
TEST(PlayerStart, AScreenThatIsNotThereIsReported) {
  application();
  test::TPlayerDir dir("qt_screen");
  QWidget window;
  const std::string said = stderrOf([&] { PlaceOnScreen(window, 1); }, dir.Path("stderr"));
  EXPECT_EQ(said, "lumora: there is no screen 1 (the screens are 0 to 0); playing on the first\n");
  EXPECT_EQ(stderrOf([&] { PlaceOnScreen(window, 0); }, dir.Path("stderr")), "");
}

}  // namespace
}  // namespace lumora

namespace lumora {
namespace {

// Export video… said nothing when it succeeded and warned of a cancel the
// user chose.
TEST(PlayerStart, ExportSaysWhereTheFileWentAndTakesACancelQuietly) {
  application();
  const test::TFreshSettings settings;
  test::TPlayerDir dir("qt_export");
  TPlayerWindow window(dir.Executable());
  window.Start(dir.Write("grid.tol", tolBytes(2, 2, 8, 8, 30)));
  window.ExportTo(QString::fromStdString(dir.Path("grid.mp4")));
  ASSERT_NE(window.ExportedBox(), nullptr);
  EXPECT_TRUE(window.ExportedBox()->text().endsWith(QString::fromStdString(dir.Path("grid.mp4"))))
      << window.ExportedBox()->text().toStdString();
  EXPECT_EQ(window.OpenMessageBox(), nullptr) << "no warning";
  EXPECT_TRUE(std::filesystem::exists(dir.Path("grid.mp4")));
  window.ExportedBox()->close();

  QTimer::singleShot(0, &window, [&window] {
    if (auto* progress = window.findChild<QProgressDialog*>()) progress->cancel();
  });
  window.ExportTo(QString::fromStdString(dir.Path("cancelled.mp4")));
  EXPECT_EQ(window.OpenMessageBox(), nullptr) << "a cancel the user chose is no warning";
  EXPECT_FALSE(std::filesystem::exists(dir.Path("cancelled.mp4")));
}

}  // namespace
}  // namespace lumora
