// Music as the player and the export take it: a regular file whose content
// (never its name) is one of a few audio file formats, read through FFmpeg
// without any URL, protocol, play list, manifest or second file it might
// name, and within a time limit. The player checks music this way before
// its media framework sees it; the export reads it this way.
#pragma once

#include <stdexcept>
#include <string>

namespace lumora {

// Music refused or unreadable; the text names the file and the cause.
class EMusicFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The formats taken, as FFmpeg names their readers: "wav, w64, aiff, mp3,
// flac, ogg, aac, mov, matroska, asf".
std::string MusicFormats();

// Opens the file as the export does and finds a sound in it; raises
// EMusicFile when it is not a regular file, is text (a play list, a
// manifest), is none of the formats, holds no sound or takes too long.
void CheckMusicFile(const std::string& path);

}  // namespace lumora
