// A show played without a display: a host of a fixed room that keeps the
// messages and music notes it is given, music that is extracted but not played, and the
// engine they drive. The tools, the benchmarks and the fuzz targets share
// them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "show/show_engine.h"

namespace lumora {

class THeadlessHost : public TShowHost {
 public:
  THeadlessHost(std::int32_t width, std::int32_t height) : fRoom{width, height} {}
  // The text of every message box, in order.
  std::vector<std::string> Messages;
  // What was said of music left out, in order.
  std::vector<std::string> MusicNotes;
  // Called when the frame range or position changes; moved when the
  // position did.
  std::function<void(bool moved)> OnFramesChanged;

  TPoint Room() const override { return fRoom; }
  void ShowMessage(const std::string&, const std::string& text, const std::string&) override {
    Messages.push_back(text);
  }
  void MovieFitted() override {}
  void FrameResized() override {}
  void ShowCleared() override {}
  void FramesChanged(bool moved) override {
    if (OnFramesChanged) OnFramesChanged(moved);
  }
  void PlaybackChanged() override {}
  void MusicLeftOut(const std::string& detail) override { MusicNotes.push_back(detail); }

 private:
  TPoint fRoom;
};

class TSilentMusic : public TMusicPlayer {
 public:
  void Open(const std::string&) override {}
  void Play() override {}
  void Pause() override {}
  void Close() override {}
  std::int64_t Position() override { return 0; }
  std::int64_t Length() override { return 1; }
  void Rewind() override {}
  void SetVolume(double) override {}
  void SetMuted(bool) override {}
};

class THeadlessShow {
 public:
  // room is what a grid movie is fitted into, as a window of that size.
  THeadlessShow(std::int32_t roomWidth, std::int32_t roomHeight, const std::string& executablePath = "")
      : Host(roomWidth, roomHeight), Engine(Host, Music, executablePath) {}
  ~THeadlessShow() { Engine.Shutdown(); }
  THeadlessShow(const THeadlessShow&) = delete;
  THeadlessShow& operator=(const THeadlessShow&) = delete;

  // Loads the file as the player's command line does (a movie or grid
  // movie, a play list by its first entry, anything else as an executable
  // carrying a movie) and raises std::runtime_error naming the file when
  // nothing playable came of it.
  void Open(const std::string& path);
  // From now on every move of the frame position draws that frame, as the
  // player's window does: ticks then play the show as the player plays it.
  void DrawOnEveryMove();

  THeadlessHost Host;
  TSilentMusic Music;
  TShowEngine Engine;
};

}  // namespace lumora
