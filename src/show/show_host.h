// What a show engine needs of whoever drives it (the player window, a
// headless player, a tool) and what it tells them, and the music player it
// plays through. Nothing here knows a window toolkit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "render/geometry.h"

namespace lumora {

// A horizontal bar's range and position, as the frame bar and the speed bar
// show them.
struct TScrollBarState {
  std::int32_t Min = 0;
  std::int32_t Max = 100;
  std::int32_t Position = 0;
  friend bool operator==(const TScrollBarState&, const TScrollBarState&) = default;
};

// The state with Max at least Min and Position between them.
inline TScrollBarState Clamped(TScrollBarState state) {
  state.Max = std::max(state.Max, state.Min);
  state.Position = std::clamp(state.Position, state.Min, state.Max);
  return state;
}

class TShowHost {
 public:
  virtual ~TShowHost() = default;
  // The room a grid movie is fitted into: the window's size.
  virtual TPoint Room() const = 0;
  // A message box with the warning icon: the caption and text in the
  // design's words, and the file with what was wrong in it.
  virtual void ShowMessage(const std::string& caption, const std::string& text, const std::string& detail) = 0;
  // A vector movie is fitted and about to draw its first frame.
  virtual void MovieFitted() = 0;
  // The frame bitmap changed its size: the frame is centred anew.
  virtual void FrameResized() = 0;
  // What was shown is gone: the window is blank until the next frame.
  virtual void ShowCleared() = 0;
  // The frame range or position changed; moved when the position did.
  virtual void FramesChanged(bool moved) = 0;
  // Playback started or stopped, or its interval changed.
  virtual void PlaybackChanged() = 0;
  // The show has played as often as it was asked to and stopped.
  virtual void ShowFinished() {}
  // Music the show plays on without: the detail names the movie or file
  // and the cause. Written to stderr unless the host says it otherwise.
  virtual void MusicLeftOut(const std::string& detail);
  // A frame drawn in part, as its shapes asked for more memory than the
  // show may take; said once a show. Written to stderr unless the host says
  // it otherwise.
  virtual void FrameLeftOut(const std::string& detail);
};

// What a show needs of the music player. Open and Play raise an error when
// they fail; positions are compared with the length only.
class TMusicPlayer {
 public:
  virtual ~TMusicPlayer() = default;
  virtual void Open(const std::string& fileName) = 0;
  virtual void Play() = 0;
  virtual void Pause() = 0;
  virtual void Close() = 0;
  virtual std::int64_t Position() = 0;
  virtual std::int64_t Length() = 0;
  virtual void Rewind() = 0;
  // Loudness 0 … 1 and silence, kept for music opened later too.
  virtual void SetVolume(double volume) = 0;
  virtual void SetMuted(bool muted) = 0;
  // For a follower keeping its music with a leader's: the playback rate
  // (1 is as recorded) and a jump to a position in milliseconds. A player
  // that cannot do either leaves the music as it plays.
  virtual void SetRate(double /*rate*/) {}
  virtual void Seek(std::int64_t /*milliseconds*/) {}
};

}  // namespace lumora
