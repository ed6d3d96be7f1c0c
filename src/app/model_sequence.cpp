#include "app/model_sequence.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <cstdlib>

#include "app/glwidget.h"
#include "app/study_mode.h"
#include "app/undo_history.h"
#include "engine/sorvex.h"
#include "model/model_loader.h"
#include "view/side_glwidget.h"

const SequenceModel kSequenceModels[kSequenceModelCount] = {
    {"../objs/2.off", "Human"},     {"../objs/21.off", "Cup 1"},    {"../objs/22.off", "Cup 2"},
    {"../objs/24.off", "Cup 3"},    {"../objs/25.off", "Cup 4"},    {"../objs/30.off", "Cup 5"},
    {"../objs/62.off", "Plane 1"},  {"../objs/63.off", "Plane 2"},  {"../objs/64.off", "Plane 3"},
    {"../objs/65.off", "Plane 4"},  {"../objs/66.off", "Plane 5"},  {"../objs/105.off", "Chair"},
    {"../objs/141.off", "Table 1"}, {"../objs/142.off", "Table 2"}, {"../objs/143.off", "Table 3"},
    {"../objs/144.off", "Table 4"}, {"../objs/145.off", "Table 5"}, {"../objs/342.off", "Bearing"},
    {"../objs/385.off", "Donkey"},
};

void buildModelSequence(int seed, bool shuffle, QList<QString>& paths, QList<QString>& labels) {
  QList<QString> workPaths;
  QList<QString> workLabels;
  for (const SequenceModel& model : kSequenceModels) {
    workPaths.append(QString::fromLatin1(model.path));
    workLabels.append(QString::fromLatin1(model.label));
  }
  // The platform generator treats seed 0 as seed 1, so 0 (the field's start
  // value) would repeat participant 1's order: it keeps the table order.
  const bool shuffled = shuffle && seed != 0;
  if (shuffled) std::srand(unsigned(seed));
  while (!workPaths.isEmpty()) {
    const int k = shuffled ? std::rand() % workPaths.size() : 0;
    paths.append(workPaths.takeAt(k));
    labels.append(workLabels.takeAt(k));
  }
}

// The order is fixed at the first press and kept for the whole run, and the
// seed field locks then. A model with planes not yet exported is only left
// once the user agrees. The study build ends after the last model ("Study
// complete"); the research build starts the sequence again.
void GLWidget::LoadInputMeshFromSequence() {
  // While a load is active its button cancels it.
  if (loadActive()) {
    loader_->cancel();
    return;
  }
  if (refuseDuringRun()) return;
  if (studyMode && studyComplete_) return;
  if (!confirmLeavingModel()) return;
  if (sequencePaths.isEmpty()) {
    buildModelSequence(seedSpin->value(), studyMode, sequencePaths, sequenceLabels);
    lockSeed();
  }
  if (sequencePaths.isEmpty() || sequenceLabels.size() != sequencePaths.size()) return;
  if (studyMode && sequenceIndex >= sequencePaths.size()) {
    finishStudy();
    return;
  }
  if (sequenceIndex < 0 || sequenceIndex >= sequencePaths.size()) sequenceIndex = 0;
  loadSequenceModel(sequenceIndex, loadFromSequenceButton);
}

// Going back changes nothing of the order, the seed or the labels: it loads
// an earlier entry of the same sequence, and "Load From Sequence" then goes
// on from there, through the models already visited, with their planes.
void GLWidget::LoadPreviousModelFromSequence() {
  if (loadActive()) {
    loader_->cancel();
    return;
  }
  if (refuseDuringRun()) return;
  if (studyComplete_ || sequenceShown_ < 1 || sequenceShown_ >= sequencePaths.size() ||
      sequenceLabels.size() != sequencePaths.size()) {
    showActionStatus(tr("No model before this one"));
    return;
  }
  if (!confirmLeavingModel()) return;
  loadSequenceModel(sequenceShown_ - 1, previousModelButton);
}

struct GLWidget::KeptPlanes {
  EditState planes;
  bool exported = false;
};

void GLWidget::loadSequenceModel(int position, QPushButton* button) {
  if (position < 0 || position >= sequencePaths.size() || position >= sequenceLabels.size()) return;
  const QString path = sequencePaths[position];
  const QString label = sequenceLabels[position];
  QString segmentation;
  if (position < sequenceSegmentationPaths.size()) segmentation = sequenceSegmentationPaths[position];
  const bool forward = button != previousModelButton;
  startModelLoad(path, label, segmentation, button,
                 [this, path, label, segmentation, position, forward](bool loaded, bool cancelled) {
                   // A cancelled load keeps the sequence where it was.
                   if (cancelled) return;
                   resetFeatureWeights();
                   // The field names the model on screen, and the exports name their files
                   // after it: a model that failed to load must not take over the name of the
                   // one that stays loaded.
                   if (loaded) {
                     modelPathEdit->setText(label);
                     loadedSegmentation_ = segmentation;
                     sequenceShown_ = position;
                     restoreKeptPlanes(position);
                     warnIfOutsideUnitBall();
                   } else if (showMessage) {
                     showMessage(this, loadFailureMessage(path));
                   }
                   // A model that fails going forward is passed over; going back stays put.
                   if (loaded || forward)
                     sequenceIndex = studyMode ? position + 1 : (position + 1) % sequencePaths.size();
                   showSequenceStatus();
                 });
}

void GLWidget::restoreKeptPlanes(int position) {
  const auto kept = keptPlanes_.find(position);
  if (kept == keptPlanes_.end() || !kept->second) return;
  // The section options stay those of the panel; planes cut under others
  // are cut again.
  const bool useSegmentation = engine_->useSegmentation;
  restoreEditState(*engine_, kept->second->planes);
  engine_->useSegmentation = useSegmentation;
  if (kept->second->planes.useSegmentation != useSegmentation) engine_->updateAllSections();
  // Exported planes that were not changed since ask nothing when left again,
  // and the journal stays clear for them as after their export.
  if (kept->second->exported) {
    exportedState_ = journalFingerprint();
    journalState_ = exportedState_;
  }
}

std::shared_ptr<const GLWidget::KeptPlanes> GLWidget::keepPlanesOnScreen() const {
  auto kept = std::make_shared<KeptPlanes>();
  kept->planes = captureEditState(*engine_, QString(), false);
  kept->exported = !hasUnexportedPlanes();
  return kept;
}
