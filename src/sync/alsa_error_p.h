// What went wrong in an ALSA call, in words, for the sequencer and the PCM
// wrappers alike.
#pragma once

#include <alsa/asoundlib.h>

#include <string>

namespace lumora::sync {

inline std::string AlsaError(const std::string& what, int code) { return what + ": " + snd_strerror(code); }

}  // namespace lumora::sync
