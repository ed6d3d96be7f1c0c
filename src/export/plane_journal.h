#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "sections/section_plane.h"

// A crash-safe record of the planes on screen, so that a window that ends
// abnormally loses none of them. Each window process keeps one file,
// "planes-<pid>.journal" in the journal folder, rewritten atomically whenever
// its planes change and removed when they are exported, when a new model is
// loaded on purpose and when the window closes normally. A journal whose
// process no longer runs is therefore the record of an abnormal end.
//
// The file is text: a first line "korvane plane journal 1", then "model ",
// "label " and "segmentation " lines (the rest of the line is the text),
// "sequence <seed> <index>" (the study's sequence position, -1 for none),
// "planes <n>" and n lines "plane" followed by the plane's normal, r1, r2, d,
// point, three handles, extent and segment index, numbers in the C locale.
struct PlaneJournalRecord {
  QString modelPath;
  QString label;
  QString segmentationPath;
  int seed = 0;
  int sequenceIndex = -1;
  // The planes' heads and segment indices (sections are derived again).
  QList<SectionPlane> planes;
};

// At most this many planes are journalled and read back.
constexpr int kMaxJournalPlanes = 100000;

class PlaneJournal {
 public:
  // Journals into `folder` (created when missing) under this process's id.
  explicit PlaneJournal(const QString& folder);

  QString path() const { return path_; }

  // Replaces the journal with `record`. False (the previous journal kept)
  // when it cannot be written whole.
  bool write(const PlaneJournalRecord& record) const;
  // Removes the journal.
  void clear() const;

  // Journals in `folder` left by processes that no longer run, oldest first.
  static QStringList orphaned(const QString& folder);
  // Reads a journal. False, with a one-line reason in `error`, when the file
  // is not a readable journal or names no model.
  static bool read(const QString& path, PlaneJournalRecord& record, QString& error);

 private:
  QString path_;
};

// The folder of the journals: "journal" in the application's local data
// folder ($XDG_DATA_HOME/<application name>/journal on Linux).
QString defaultJournalFolder();
