// The one QApplication of the Qt tests: made by the first test that needs
// it and destroyed at the end of the run, before the exit handlers.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSettings>

#include <unistd.h>

#include <memory>
#include <string>

namespace lumora::test {

class TApplicationEnvironment : public ::testing::Environment {
 public:
  QApplication& Get() {
    if (!fApp) fApp = std::make_unique<QApplication>(fArgc, fArgv);
    return *fApp;
  }
  void TearDown() override { fApp.reset(); }

 private:
  int fArgc = 1;
  char fName[9] = "qt_tests";
  char* fArgv[2] = {fName, nullptr};
  std::unique_ptr<QApplication> fApp;
};

// Settings of the test's own in an empty folder, so that nothing one test
// remembers reaches another, nor the user's own.
class TFreshSettings {
 public:
  TFreshSettings() {
    fDir = QDir::tempPath() + "/lumora_settings_" + QString::number(::getpid()) + "_" + QString::number(++fCount);
    QDir(fDir).removeRecursively();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, fDir);
  }
  ~TFreshSettings() { QDir(fDir).removeRecursively(); }
  TFreshSettings(const TFreshSettings&) = delete;
  TFreshSettings& operator=(const TFreshSettings&) = delete;

 private:
  static inline int fCount = 0;
  QString fDir;
};

inline QApplication& application() {
  static auto* const environment =
      static_cast<TApplicationEnvironment*>(::testing::AddGlobalTestEnvironment(new TApplicationEnvironment));
  return environment->Get();
}

}  // namespace lumora::test
