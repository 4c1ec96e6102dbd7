// The music player on Qt Multimedia. The media player is made when music is
// first opened; a machine without an audio device plays on silently.
#pragma once

#include <functional>
#include <memory>

#include "show/show_host.h"

class QAudioOutput;
class QMediaPlayer;

namespace lumora {

class TQtMusicPlayer : public TMusicPlayer {
 public:
  TQtMusicPlayer();
  ~TQtMusicPlayer() override;
  TQtMusicPlayer(const TQtMusicPlayer&) = delete;
  TQtMusicPlayer& operator=(const TQtMusicPlayer&) = delete;

  // Called (from the event loop) when the music cannot be played.
  std::function<void()> OnFailed;

  // Raises an error for anything but a regular file that can be read.
  void Open(const std::string& fileName) override;
  void Play() override;
  void Pause() override;
  void Close() override;
  std::int64_t Position() override;
  // An unknown length counts as endless, so that music still loading is
  // not started again.
  std::int64_t Length() override;
  void Rewind() override;
  void SetVolume(double volume) override;
  void SetMuted(bool muted) override;
  void SetRate(double rate) override;
  void Seek(std::int64_t milliseconds) override;

 private:
  double fVolume = 1;
  bool fMuted = false;
  std::unique_ptr<QAudioOutput> fOutput;
  std::unique_ptr<QMediaPlayer> fPlayer;
};

}  // namespace lumora
