#include "app/recent_files.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const char kKey[] = "recentFiles";

}  // namespace

RecentFiles::RecentFiles() {
  const QSettings settings;
  for (const QString& path : settings.value(QLatin1String(kKey)).toStringList())
    if (!path.isEmpty() && !paths_.contains(path) && paths_.size() < kMaxRecentFiles) paths_ << path;
}

void RecentFiles::add(const QString& path) {
  if (path.isEmpty()) return;
  paths_.removeAll(path);
  paths_.prepend(path);
  while (paths_.size() > kMaxRecentFiles) paths_.removeLast();
  save();
}

QStringList RecentFiles::dropMissing() {
  QStringList dropped;
  for (const QString& path : paths_)
    if (!QFileInfo(path).isFile()) dropped << path;
  for (const QString& path : dropped) paths_.removeAll(path);
  if (!dropped.isEmpty()) save();
  return dropped;
}

void RecentFiles::clear() {
  paths_.clear();
  save();
}

void RecentFiles::save() const {
  QSettings settings;
  settings.setValue(QLatin1String(kKey), paths_);
}
