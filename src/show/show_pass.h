// TShowPass: a show played frame by frame as the player plays it (the same
// engine, ticks, wrap and play-list order), each frame lasting the player's
// tick, for those who write a show out: video export and light sequences.
// Every pass loads the show afresh, so that lamps and swinging lights start
// from the same step each time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "show/headless_show.h"

namespace lumora {

// The frames an entry of a play list shows in one pass, when its frame bar
// runs to barMax: the first entry all of them, a later one from its frame 1
// on (the wrap passes its frame 0), an entry of one frame that frame.
std::int64_t FramesInPass(std::int64_t barMax, bool firstEntry);

struct TShowPassOptions {
  // The player's own executable, beside which play lists are looked up.
  std::string ExecutablePath;
  // The room a grid movie is fitted into, as a window of that size.
  std::int32_t RoomWidth = 1920;
  std::int32_t RoomHeight = 1080;
  // Frames first to last of a single movie, each drawn once; none: the
  // movie as it plays.
  std::optional<std::int32_t> First;
  std::int32_t Last = 0;
  // Passes over the show: the first shows frame 0, later ones start where
  // the player's wrap starts them.
  std::int32_t Loops = 1;
  // Whether the music is written out for those who play or encode it: once,
  // for the whole life of the pass.
  bool ExtractMusic = false;
  // Threads that draw each frame; kAllCores: every core.
  std::int32_t DrawThreads = kAllCores;
};

class TShowPass {
 public:
  // Loads the show once to count its frames; raises std::runtime_error
  // naming the file when it, or an entry of a play list, cannot be played,
  // or a frame range lies outside the movie's frames.
  TShowPass(std::string path, TShowPassOptions options);

  // The frames of one pass.
  std::int64_t FrameCount() const { return fCount; }
  // Starts a pass: the show loaded afresh.
  void Rewind();
  // Plays the next frame of the pass; the engine's frame bitmap holds it.
  void NextFrame();
  // The engine of the pass, holding the frame played last; its tick
  // interval is how long that frame stays on screen.
  TShowEngine& Engine() { return fShow->Engine; }

  // The music the player plays with the show: the movie's, or for a play
  // list the one every entry names. Its name, and the file written when
  // ExtractMusic asked for it (empty for none).
  const std::string& MusicName() const { return fMusicName; }
  const std::string& MusicPath() const { return fMusicFile.Path(); }
  // Why music the show names was left out; empty when it was not.
  const std::vector<std::string>& MusicNotes() const { return fMusicNotes; }

 private:
  void countFrames();
  std::unique_ptr<THeadlessShow> openShow(const std::string& path, bool extractMusic = false) const;

  std::string fPath;
  TShowPassOptions fOptions;
  std::int64_t fCount = 0;
  std::string fMusicName;
  TPrivateFile fMusicFile;
  std::vector<std::string> fMusicNotes;
  std::unique_ptr<THeadlessShow> fShow;
  std::int64_t fDone = 0;
};

}  // namespace lumora
