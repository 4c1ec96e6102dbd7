// The message a reading step fails with, for tests that pin the exact text.
#pragma once

#include <string>

#include "io/stream.h"

namespace lumora::test {

// The message of the TLoadError that step raises; empty when it raises none.
template <class TStep>
std::string LoadErrorOf(const TStep& step) {
  try {
    step();
  } catch (const TLoadError& e) {
    return e.what();
  }
  return "";
}

}  // namespace lumora::test
