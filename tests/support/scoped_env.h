// An environment variable set, or unset, for the lifetime of a test object.
#pragma once

#include <cstdlib>
#include <string>

namespace lumora::test {

// An environment variable set or unset for a test's lifetime.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : fName(name) {
    const char* old = std::getenv(name);
    fHad = old != nullptr;
    fOld = fHad ? old : "";
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~TScopedEnv() {
    if (fHad) {
      ::setenv(fName, fOld.c_str(), 1);
    } else {
      ::unsetenv(fName);
    }
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* fName;
  std::string fOld;
  bool fHad = false;
};

}  // namespace lumora::test
