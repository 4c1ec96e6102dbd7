// What the player remembers between starts, in the user's settings
// (QSettings): the language, speed, volume and mute, fullscreen and fit, the
// open dialog's folder and the files opened last.
#pragma once

#include <QString>
#include <QStringList>

namespace lumora {

// The most files the recent list keeps.
inline constexpr int kMaxRecentFiles = 10;

struct TRemembered {
  bool English = false;
  int Speed = 3;
  double Volume = 1;
  bool Muted = false;
  bool FullScreen = false;
  bool Fit = true;
  QString Folder;
  QStringList Recent;
};

TRemembered LoadRemembered();
void SaveRemembered(const TRemembered& remembered);

// The list with path first, once, at most kMaxRecentFiles long, and without
// the files that are gone.
QStringList WithRecent(const QStringList& recent, const QString& path);

}  // namespace lumora
