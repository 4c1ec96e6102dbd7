// The music player on Qt Multimedia. The media player is made when music is
// first opened; a machine without an audio device plays on silently.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAudioDevice>

#include <optional>

#include "show/show_host.h"

class QAudioOutput;
class QMediaPlayer;

namespace lumora {

// The machine's audio outputs by the names the system gives them.
std::vector<std::string> AudioOutputNames();

class TQtMusicPlayer : public TMusicPlayer {
 public:
  // The music goes to the output of that name (or id); none: the
  // system's default. Raises std::runtime_error naming the outputs there
  // are when the machine has none of that name.
  explicit TQtMusicPlayer(const std::string& output = {});
  ~TQtMusicPlayer() override;
  TQtMusicPlayer(const TQtMusicPlayer&) = delete;
  TQtMusicPlayer& operator=(const TQtMusicPlayer&) = delete;

  // Called (from the event loop) when the music cannot be played.
  std::function<void()> OnFailed;

  // Raises EMusicFile for anything but a sound file in one of the formats
  // of music_file.h (a FIFO, a play list, a manifest).
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
  std::optional<QAudioDevice> fDevice;
  std::unique_ptr<QAudioOutput> fOutput;
  std::unique_ptr<QMediaPlayer> fPlayer;
};

}  // namespace lumora
