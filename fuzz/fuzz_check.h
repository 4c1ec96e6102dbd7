// A property a fuzz target holds for every input: the run stops at once,
// as a finding, where it does not.
#pragma once

#include <cstdlib>

namespace lumora::fuzz {

inline void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace lumora::fuzz
