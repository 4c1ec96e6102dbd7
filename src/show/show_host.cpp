#include "show/show_host.h"

#include <cstdio>

namespace lumora {

void TShowHost::MusicLeftOut(const std::string& detail) { std::fprintf(stderr, "%s\n", detail.c_str()); }

void TShowHost::FrameLeftOut(const std::string& detail) { std::fprintf(stderr, "%s\n", detail.c_str()); }

}  // namespace lumora
