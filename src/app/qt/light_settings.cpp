#include "app/qt/light_settings.h"

#include <QSettings>

namespace lumora {

namespace {

constexpr const char* kCidKey = "lights/sacn_cid";

// Receivers tell sources apart by their id, so one player keeps one id.
output::TComponentId storedComponentId() {
  QSettings settings("Lumora Stage", "lumora");
  const QString stored = settings.value(kCidKey).toString();
  if (const auto id = output::ParseComponentId(stored.toStdString())) return *id;
  const output::TComponentId id = output::NewComponentId();
  settings.setValue(kCidKey, QString::fromStdString(output::FormatComponentId(id)));
  return id;
}

}  // namespace

output::TLiveSettings StoredLightSettings(std::function<void(const std::string&)> report) {
  output::TLiveSettings settings;
  settings.Cid = storedComponentId();
  settings.Report = std::move(report);
  return settings;
}

}  // namespace lumora
