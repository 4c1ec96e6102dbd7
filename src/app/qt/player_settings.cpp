#include "app/qt/player_settings.h"

#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace lumora {

namespace {

constexpr const char* kOrganisation = "Lumora Stage";
constexpr const char* kProgram = "lumora";

// Files that went away since they were opened are dropped. No more entries
// are looked at than the list keeps, so that a list grown large elsewhere
// costs nothing.
QStringList existing(const QStringList& paths) {
  QStringList kept;
  for (qsizetype i = 0; i < std::min<qsizetype>(paths.size(), kMaxRecentFiles); ++i) {
    const QString& path = paths[i];
    if (QFileInfo(path).isFile() && !kept.contains(path)) kept.append(path);
  }
  return kept;
}

}  // namespace

TRemembered LoadRemembered() {
  const QSettings s(kOrganisation, kProgram);
  TRemembered r;
  r.English = s.value("player/english", r.English).toBool();
  r.Speed = s.value("player/speed", r.Speed).toInt();
  r.Volume = s.value("player/volume", r.Volume).toDouble();
  r.Muted = s.value("player/muted", r.Muted).toBool();
  r.FullScreen = s.value("player/fullscreen", r.FullScreen).toBool();
  r.Fit = s.value("player/fit", r.Fit).toBool();
  r.Folder = s.value("player/folder").toString();
  r.Recent = existing(s.value("player/recent").toStringList());
  return r;
}

void SaveRemembered(const TRemembered& r) {
  QSettings s(kOrganisation, kProgram);
  s.setValue("player/english", r.English);
  s.setValue("player/speed", r.Speed);
  s.setValue("player/volume", r.Volume);
  s.setValue("player/muted", r.Muted);
  s.setValue("player/fullscreen", r.FullScreen);
  s.setValue("player/fit", r.Fit);
  s.setValue("player/folder", r.Folder);
  s.setValue("player/recent", r.Recent);
}

QStringList WithRecent(const QStringList& recent, const QString& path) {
  QStringList list = recent;
  list.removeAll(path);
  list.prepend(path);
  return existing(list);
}

}  // namespace lumora
