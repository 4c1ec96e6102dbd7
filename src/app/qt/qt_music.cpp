#include "app/qt/qt_music.h"

#include <QAudioOutput>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <limits>

#include "export/music_file.h"

namespace lumora {

std::vector<std::string> AudioOutputNames() {
  std::vector<std::string> names;
  for (const QAudioDevice& device : QMediaDevices::audioOutputs()) names.push_back(device.description().toStdString());
  return names;
}

TQtMusicPlayer::TQtMusicPlayer(const std::string& output) {
  if (output.empty()) return;
  for (const QAudioDevice& device : QMediaDevices::audioOutputs()) {
    if (device.description().toStdString() == output || device.id().toStdString() == output) fDevice = device;
  }
  if (fDevice) return;
  std::string names;
  for (const std::string& name : AudioOutputNames()) names += (names.empty() ? "\"" : ", \"") + name + "\"";
  throw std::runtime_error("there is no audio output \"" + output + "\" (the machine has " +
                           (names.empty() ? std::string("none") : names) + ")");
}

TQtMusicPlayer::~TQtMusicPlayer() {
  if (fPlayer) fPlayer->stop();
}

void TQtMusicPlayer::Open(const std::string& fileName) {
  const QString path = QString::fromStdString(fileName);
  // The media framework would wait for ever on a FIFO, and would follow a
  // play list or manifest wherever it points, fetching from the network:
  // only a sound file, as the export reads it, is handed over.
  CheckMusicFile(fileName);
  static bool saidOff = false;
  if (QMediaDevices::audioOutputs().isEmpty() && !saidOff) {
    std::fputs("lumora: no audio output: the music is off, the show plays on\n", stderr);
    saidOff = true;
  }
  if (!fPlayer) {
    fOutput = fDevice ? std::make_unique<QAudioOutput>(*fDevice) : std::make_unique<QAudioOutput>();
    fPlayer = std::make_unique<QMediaPlayer>();
    fPlayer->setAudioOutput(fOutput.get());
    fOutput->setVolume(static_cast<float>(fVolume));
    fOutput->setMuted(fMuted);
    // Reported later, from the event loop, so that the logic is never
    // re-entered from inside one of its own calls.
    QObject::connect(fPlayer.get(), &QMediaPlayer::errorOccurred, fPlayer.get(), [this] {
      QTimer::singleShot(0, fPlayer.get(), [this] {
        if (OnFailed) OnFailed();
      });
    });
  }
  fPlayer->setSource(QUrl::fromLocalFile(path));
}

void TQtMusicPlayer::Play() {
  if (fPlayer) fPlayer->play();
}

void TQtMusicPlayer::Pause() {
  if (fPlayer) fPlayer->pause();
}

void TQtMusicPlayer::Close() {
  if (!fPlayer) return;
  fPlayer->stop();
  fPlayer->setSource(QUrl());
}

std::int64_t TQtMusicPlayer::Position() { return fPlayer ? fPlayer->position() : 0; }

std::int64_t TQtMusicPlayer::Length() {
  const std::int64_t length = fPlayer ? fPlayer->duration() : 0;
  return length > 0 ? length : std::numeric_limits<std::int64_t>::max();
}

void TQtMusicPlayer::Rewind() {
  if (fPlayer) fPlayer->setPosition(0);
}

void TQtMusicPlayer::SetVolume(double volume) {
  fVolume = volume;
  if (fOutput) fOutput->setVolume(static_cast<float>(volume));
}

void TQtMusicPlayer::SetMuted(bool muted) {
  fMuted = muted;
  if (fOutput) fOutput->setMuted(muted);
}

void TQtMusicPlayer::SetRate(double rate) {
  if (fPlayer) fPlayer->setPlaybackRate(rate);
}

void TQtMusicPlayer::Seek(std::int64_t milliseconds) {
  if (fPlayer) fPlayer->setPosition(milliseconds);
}

}  // namespace lumora
