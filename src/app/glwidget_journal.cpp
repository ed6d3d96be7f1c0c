// The window's plane journal: kept while planes change, cleared when they
// are exported or replaced on purpose, offered back after an abnormal end.

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <functional>

#include "app/glwidget.h"
#include "app/model_sequence.h"
#include "app/study_mode.h"
#include "engine/sorvex.h"
#include "export/plane_journal.h"
#include "model/model_loader.h"

namespace {

// How often the planes are compared with the journal.
constexpr int kJournalIntervalMs = 250;

void mix(size_t& h, const void* data, size_t size) {
  const unsigned char* c = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) h = (h ^ c[i]) * 1099511628211ull;
}

void mix(size_t& h, const Vec3& v) { mix(h, &v, sizeof v); }

}  // namespace

void GLWidget::startJournal() {
  const QString folder = defaultJournalFolder();
  if (folder.isEmpty()) return;
  journal_ = std::make_unique<PlaneJournal>(folder);
  journalState_ = journalFingerprint();
  journalTimer_ = new QTimer(this);
  journalTimer_->setInterval(kJournalIntervalMs);
  connect(journalTimer_, &QTimer::timeout, this, &GLWidget::keepJournal);
  journalTimer_->start();
}

size_t GLWidget::journalFingerprint() const {
  size_t h = 1469598103934665603ull;
  const QByteArray model = engine_->modelPathString().toUtf8();
  mix(h, model.constData(), size_t(model.size()));
  const int n = engine_->planes.size();
  mix(h, &n, sizeof n);
  for (const SectionPlane& p : engine_->planes) {
    mix(h, p.normal);
    mix(h, p.r1);
    mix(h, p.r2);
    mix(h, &p.d, sizeof p.d);
    mix(h, p.point);
    for (const Vec3& handle : p.handles) mix(h, handle);
    mix(h, &p.extent, sizeof p.extent);
    mix(h, &p.segmentIndex, sizeof p.segmentIndex);
  }
  return h;
}

void GLWidget::keepJournal() {
  if (!journal_ || loadActive()) return;
  // During a run its thread owns the planes: look only when they are free.
  const bool guarded = selectionRunActive();
  if (guarded && !engine_->stateMutex.tryLock(0)) return;
  const size_t state = journalFingerprint();
  PlaneJournalRecord record;
  const bool changed = state != journalState_;
  if (changed && !engine_->planes.isEmpty()) {
    record.modelPath = engine_->modelPathString();
    record.planes = engine_->planes;
  }
  if (guarded) engine_->stateMutex.unlock();
  if (!changed) return;
  if (record.planes.isEmpty()) {
    journal_->clear();
    journalState_ = state;
    return;
  }
  record.label = modelPathEdit ? modelPathEdit->text() : record.modelPath;
  record.segmentationPath = loadedSegmentation_;
  record.seed = seedSpin ? seedSpin->value() : 0;
  record.sequenceIndex = sequencePaths.isEmpty() ? -1 : sequenceIndex;
  // A journal that cannot be written (a full disk, a path with a line break)
  // is tried again at the next change, not at every tick.
  journalState_ = state;
  if (!journal_->write(record)) qDebug("Cannot write the plane journal %s", qPrintable(journal_->path()));
}

void GLWidget::clearJournal() {
  if (!journal_) return;
  journal_->clear();
  journalState_ = journalFingerprint();
}

bool GLWidget::offerPlaneRestore() {
  if (!journal_ || loadActive() || !askQuestion) return false;
  const QStringList orphans = PlaneJournal::orphaned(QFileInfo(journal_->path()).absolutePath());
  // The most recent abnormal end first; older ones wait for a later start.
  for (int i = orphans.size() - 1; i >= 0; --i) {
    const QString file = orphans[i];
    PlaneJournalRecord record;
    QString error;
    if (!PlaneJournal::read(file, record, error) || record.planes.isEmpty()) {
      qDebug("Plane journal %s not restored: %s", qPrintable(file), qPrintable(error.isEmpty() ? "no planes" : error));
      QFile::remove(file);
      continue;
    }
    const int n = record.planes.size();
    const QString question = tr("Korvane ended unexpectedly with %1 %2 on %3. Restore them?")
                                 .arg(n)
                                 .arg(n == 1 ? tr("plane") : tr("planes"))
                                 .arg(record.label.isEmpty() ? record.modelPath : record.label);
    if (!askQuestion(this, question)) {
      QFile::remove(file);
      return false;
    }
    if (record.sequenceIndex >= 0 && seedSpin) {
      seedSpin->setValue(record.seed);
      sequencePaths.clear();
      sequenceLabels.clear();
      buildModelSequence(record.seed, studyMode, sequencePaths, sequenceLabels);
      // The study never wraps: a journal kept on its last model restores the
      // position after it.
      if (!sequencePaths.isEmpty())
        sequenceIndex = studyMode ? qMin(record.sequenceIndex, sequencePaths.size())
                                  : record.sequenceIndex % sequencePaths.size();
      keptPlanes_.clear();
      lockSeed();
      showSequenceStatus();
    }
    const PlaneJournalRecord kept = record;
    return startModelLoad(record.modelPath, record.label.isEmpty() ? record.modelPath : record.label,
                          record.segmentationPath, nullptr, [this, kept, file](bool loaded, bool cancelled) {
                            if (!loaded) {
                              if (!cancelled && showMessage) showMessage(this, loadFailureMessage(kept.modelPath));
                              return;
                            }
                            modelPathEdit->setText(kept.label.isEmpty() ? kept.modelPath : kept.label);
                            // The sequence model on screen is the one before the next position.
                            const int n = sequencePaths.size();
                            if (kept.sequenceIndex >= 0 && n > 0) {
                              const int shown = studyMode ? kept.sequenceIndex - 1 : (kept.sequenceIndex + n - 1) % n;
                              if (shown >= 0 && shown < n && sequencePaths[shown] == kept.modelPath)
                                sequenceShown_ = shown;
                              showSequenceStatus();
                            }
                            loadedSegmentation_ = kept.segmentationPath;
                            for (const SectionPlane& saved : kept.planes) {
                              SectionPlane plane(saved.head());
                              plane.segmentIndex = saved.segmentIndex;
                              engine_->updateSection(plane);
                              engine_->addPlane(plane);
                            }
                            QFile::remove(file);
                            keepJournal();
                          });
  }
  return false;
}
