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
  // The text of every message box, in order, in the design's words, and
  // what each said of the file and the fault.
  std::vector<std::string> Messages;
  std::vector<std::string> Details;
  // What was said of music left out, and of frames drawn in part, in order.
  std::vector<std::string> MusicNotes;
  std::vector<std::string> FrameNotes;
  // Called when the frame range or position changes; moved when the
  // position did.
  std::function<void(bool moved)> OnFramesChanged;

  TPoint Room() const override { return fRoom; }
  void ShowMessage(const std::string&, const std::string& text, const std::string& detail) override {
    Messages.push_back(text);
    Details.push_back(detail);
  }
  void MovieFitted() override {}
  void FrameResized() override {}
  void ShowCleared() override {}
  void FramesChanged(bool moved) override {
    if (OnFramesChanged) OnFramesChanged(moved);
  }
  void PlaybackChanged() override {}
  void MusicLeftOut(const std::string& detail) override { MusicNotes.push_back(detail); }
  void FrameLeftOut(const std::string& detail) override { FrameNotes.push_back(detail); }

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

// Opens the file as TShowEngine::Open does, for a tool: raises
// std::runtime_error naming the file and the fault, in English, when
// nothing can be shown or, when messagesFail, the engine said anything
// while it opened (details: what its messages said of the file, in order).
void OpenForTool(TShowEngine& engine, const std::string& path, const std::vector<std::string>& details,
                 bool messagesFail = true);

// What plays, for a status line: the file, its place in the play list
// (entry i/n), the frame and the time the entry has left, as in
// "demo.lst: demo-waves.tol (entry 2/3)  frame 17 of 719  21.1 s left".
std::string PlayingStatus(const TShowEngine& engine, const std::string& file);

class THeadlessShow {
 public:
  // room is what a grid movie is fitted into, as a window of that size.
  THeadlessShow(std::int32_t roomWidth, std::int32_t roomHeight, const std::string& executablePath = "")
      : Host(roomWidth, roomHeight), Engine(Host, Music, executablePath) {}
  ~THeadlessShow() { Engine.Shutdown(); }
  THeadlessShow(const THeadlessShow&) = delete;
  THeadlessShow& operator=(const THeadlessShow&) = delete;

  // Opens the file by its kind as the player does (see TShowEngine::Open)
  // and raises std::runtime_error naming the file and the fault, in
  // English, when the player would say anything of it.
  void Open(const std::string& path);
  // From now on every move of the frame position draws that frame, as the
  // player's window does: ticks then play the show as the player plays it.
  void DrawOnEveryMove();

  THeadlessHost Host;
  TSilentMusic Music;
  TShowEngine Engine;
};

}  // namespace lumora
