// The message a step fails with, for tests that pin the exact text.
#pragma once

#include <string>

#include "io/stream.h"

namespace lumora::test {

// The message of the TError that step raises; empty when it raises none.
template <class TError, class TStep>
std::string ErrorOf(const TStep& step) {
  try {
    step();
  } catch (const TError& e) {
    return e.what();
  }
  return "";
}

template <class TStep>
std::string LoadErrorOf(const TStep& step) {
  return ErrorOf<TLoadError>(step);
}

}  // namespace lumora::test
