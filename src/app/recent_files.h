#pragma once

#include <QString>
#include <QStringList>

// The research window's list of recently loaded models, newest first, kept
// in the user's settings under "recentFiles". At most kMaxRecentFiles paths;
// a path appears once.
class RecentFiles {
 public:
  static constexpr int kMaxRecentFiles = 8;

  // Reads the list from the settings.
  RecentFiles();

  const QStringList& paths() const { return paths_; }
  // Puts `path` first (moving it up when it is already listed), drops the
  // oldest beyond the limit and writes the settings.
  void add(const QString& path);
  // Drops the paths whose files no longer exist, writes the settings and
  // returns the dropped ones.
  QStringList dropMissing();
  void clear();

 private:
  void save() const;
  QStringList paths_;
};
