// The one QApplication of the Qt tests: made by the first test that needs
// it and destroyed at the end of the run, before the exit handlers.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

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

inline QApplication& application() {
  static auto* const environment =
      static_cast<TApplicationEnvironment*>(::testing::AddGlobalTestEnvironment(new TApplicationEnvironment));
  return environment->Get();
}

}  // namespace lumora::test
