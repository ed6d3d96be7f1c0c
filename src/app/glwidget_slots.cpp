// The actions behind the control panel's buttons and fields: read the widget,
// call the engine, refresh the plane list and the views.
//
// NOTE: the plane-selection run writes the plane list, the feature lists and
// the algorithm parameters on the engine's thread. While it is active, actions
// that would change the model or the plane list are refused with a message,
// and parameter changes are kept in the widgets and handed to the engine when
// the engine thread has finished (ApplyPendingParameters, on the thread's
// finished signal: the run's own end signal comes before its thread ends),
// so nothing races the run and nothing the user set is lost. The
// "Binning Algorithm" button stops an active run; a load runs on a worker
// and its button cancels it meanwhile.
#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

#include "app/glwidget.h"
#include "app/undo_history.h"
#include "app/study_mode.h"
#include "engine/sorvex.h"
#include "export/contour_export.h"
#include "export/export_paths.h"
#include "export/matrix_export.h"
#include "export/obj_export.h"
#include "model/model_loader.h"
#include "export/svg_export.h"
#include "model/assimp_reader.h"
#include "model/unit_ball.h"
#include "model/render_mesh.h"
#include "view/side_glwidget.h"

namespace {

// How long a refresh waits for the run to release the engine state.
constexpr int kStateLockTimeoutMs = 50;

QString planeListText(int index, float area) {
  return QStringLiteral("Plane") + QString::number(index) + QStringLiteral(" (Area: ") +
         QString::number(double(area), 'g', 6) + QStringLiteral(")");
}

}  // namespace

bool GLWidget::selectionRunActive() const { return engine_ && engine_->isRunning(); }

bool GLWidget::refuseDuringRun() {
  if (!selectionRunActive()) return false;
  qDebug("Action refused: a plane-selection run is in progress");
  if (showMessage) showMessage(this, tr("A plane-selection run is in progress. Wait until it has finished."));
  return true;
}

// Requests are queued and merged into one paint per view: a burst of field
// changes (resetting ten weights, say) costs one frame, not ten.
void GLWidget::redraw(bool withSideView) {
  update();
  if (withSideView && sideView_) sideView_->update();
}

// ---- model input ----

void GLWidget::LoadInputMesh() {
  // While a load is active its button cancels it.
  if (loadActive()) {
    loader_->cancel();
    return;
  }
  if (refuseDuringRun()) return;
  if (!chooseModelFile) return;
  const QString path = chooseModelFile(this, tr("Load Model"), QStringLiteral("../objs"),
                                       tr("Model Files (*.off *.obj %1)").arg(assimpModelPatterns()));
  if (path.isEmpty()) return;  // cancelled
  loadModelFile(path);
}

bool GLWidget::loadModelFile(const QString& path) {
  if (path.isEmpty() || refuseDuringRun()) return false;
  if (loadActive()) {
    if (showMessage) showMessage(this, tr("A model is being loaded. Wait until it has finished."));
    return false;
  }
  return startModelLoad(path, path, QString(), loadButton, [this, path](bool loaded, bool cancelled) {
    if (cancelled) return;
    if (loaded) {
      modelPathEdit->setText(path);
      warnIfOutsideUnitBall();
      showActionStatus(tr("Loaded %1").arg(path));
      if (modelLoaded) modelLoaded(path);
    } else if (showMessage) {
      // Name the file that failed; the field keeps the model that stays loaded.
      showMessage(this, loadFailureMessage(path));
    }
  });
}

QString GLWidget::loadFailureMessage(const QString& path) const {
  QString text = QStringLiteral("Unable to load input ") + QDir::cleanPath(QFileInfo(path).absoluteFilePath()) +
                 QStringLiteral(".");
  const QString reason = loader_ ? loader_->failure() : QString();
  text += QLatin1Char('\n') + (reason.isEmpty() ? tr("The file could not be read as a mesh.") : reason);
  return text;
}

bool GLWidget::loadActive() const { return loader_ && loader_->isActive(); }

bool GLWidget::startModelLoad(const QString& path, const QString& label, const QString& segmentationPath,
                              QPushButton* button, std::function<void(bool, bool)> done) {
  if (!loader_->start(path, label, segmentationPath, humanCutsCheck->isChecked())) return false;
  // The sequence model on screen keeps its planes for a later visit, as they
  // are now: the load replaces them.
  leavingPosition_ = sequenceShown_;
  leaving_ = sequenceShown_ >= 0 ? keepPlanesOnScreen() : nullptr;
  loadDone_ = std::move(done);
  progressBar->setTextVisible(true);
  progressBar->setRange(0, 1000);
  progressBar->setValue(0);
  loadCancelButton_ = button;
  if (button) {
    loadButtonText_ = button->text();
    button->setText(tr("Cancel Loading"));
  }
  // Wired at the first load. NOTE: Qt::UniqueConnection does not apply to
  // lambdas, so a connect per load would run the clean-up once per earlier load.
  if (loaderWired_) return true;
  loaderWired_ = true;
  connect(loader_, &ModelLoader::progress, this, [this](int thousandths, const QString& stage) {
    progressBar->setFormat(stage + QStringLiteral(" %p%"));
    progressBar->setValue(thousandths);
  });
  connect(loader_, &ModelLoader::finished, this, [this](bool loaded, bool cancelled) {
    if (loadCancelButton_) loadCancelButton_->setText(loadButtonText_);
    loadCancelButton_ = nullptr;
    resetProgress();
    std::function<void(bool, bool)> done = std::move(loadDone_);
    loadDone_ = nullptr;
    // A model loaded on purpose replaces the planes the journal kept.
    if (loaded) {
      if (leavingPosition_ >= 0 && leaving_) keptPlanes_[leavingPosition_] = leaving_;
      sequenceShown_ = -1;  // a sequence load names its position in `done`
      // Edits of the model that was left cannot be undone on this one.
      history_->clear();
      openStep_.reset();
      updateUndoActions();
      loadedSegmentation_.clear();
      clearJournal();
      showModelWarnings();
    }
    leaving_.reset();
    leavingPosition_ = -1;
    if (done) done(loaded, cancelled);
    if (cancelled) return;
    // The plane list, the view's framing and the bins follow the model
    // now installed (or the one that stayed); a plane made current by
    // `done` stays current.
    const int current = engine_->currentPlane;
    {
      const QSignalBlocker blocker(planeList);
      planeList->clear();
      UpdatePlaneList();
    }
    engine_->currentPlane = engine_->planes.isEmpty() ? Sorvex::kNoPlane : current;
    showCurrentPlaneInList();
    initView();
    if (sideView_) sideView_->invalidateBinDisplayList();
    redraw(true);
  });
  return true;
}

void GLWidget::resetProgress() {
  progressBar->setFormat(QStringLiteral("%p%"));
  progressBar->reset();
}

void GLWidget::scheduleFrameRefresh() {
  if (!frameRefresh_->isActive()) frameRefresh_->start();
}

// LoadInputMeshFromSequence: model_sequence.cpp.

void GLWidget::warnIfOutsideUnitBall() {
  const QString warning = unitBallWarning(farthestVertexDistance(*engine_->renderMesh));
  if (warning.isEmpty()) return;
  qDebug("%s", qPrintable(warning));
  if (studyMode || unitBallBoxShown_ || !showMessage) return;
  unitBallBoxShown_ = true;
  showMessage(this, warning);
}

// ---- plane list ----

void GLWidget::AddNewPlane() {
  if (refuseDuringRun()) return;
  EditState before = captureEditState(*engine_, tr("Add plane"), false);
  if (!engine_->addNewPlane()) return;
  history_->push(std::move(before));
  updateUndoActions();
  showActionStatus(tr("Plane%1 added").arg(engine_->planes.size() - 1));
  UpdatePlaneList();
  planeList->setCurrentRow(planeList->count() - 1);
  redraw(true);
}

void GLWidget::SelectPlane() {
  const int row = planeList->currentRow();
  const bool guarded = selectionRunActive();
  if (guarded && !engine_->stateMutex.tryLock(kStateLockTimeoutMs)) return;
  // A row without a plane behind it selects nothing; row -1 means "no
  // current plane".
  const bool exists = row < engine_->planes.size();
  if (exists) engine_->selectPlane(row);
  if (guarded) engine_->stateMutex.unlock();
  if (exists) redraw(true);
}

void GLWidget::EraseCurrentPlane() {
  if (refuseDuringRun()) return;
  const int row = planeList->currentRow();
  if (row < 0 || row >= engine_->planes.size()) return;  // no such plane
  recordEdit(tr("Erase plane"));
  engine_->erasePlane(row);
  showActionStatus(tr("Plane%1 erased (Ctrl+Z brings it back)").arg(row));
  UpdatePlaneList();
  engine_->selectPlane(planeList->currentRow());
  redraw();
}

void GLWidget::ClearAllPlanes() {
  if (refuseDuringRun()) return;
  if (!engine_->planes.isEmpty()) recordEdit(tr("Clear all planes"));
  engine_->clearPlanes();
  UpdatePlaneList();
  redraw();
}

void GLWidget::UpdatePlaneList() {
  if (!planeList || !engine_) return;
  ++planeListRefreshes_;

  // Take the areas in one go; during a run the engine's thread owns the
  // list, so wait briefly for it and skip this refresh if it stays busy
  // (the run's end refreshes the list anyway).
  QVector<float> areas;
  const bool guarded = selectionRunActive();
  if (guarded && !engine_->stateMutex.tryLock(kStateLockTimeoutMs)) return;
  areas.reserve(engine_->planes.size());
  for (const SectionPlane& plane : engine_->planes) areas.append(plane.area);
  if (guarded) engine_->stateMutex.unlock();

  const int n = areas.size();
  if (planeList->count() == n) {
    for (int i = 0; i < n; ++i) planeList->item(i)->setText(planeListText(i, areas[i]));
    return;
  }
  const int row = planeList->currentRow();
  planeList->clear();
  for (int i = 0; i < n; ++i) planeList->addItem(planeListText(i, areas[i]));
  planeList->setCurrentRow(row);
}

// ---- plane manipulation ----

void GLWidget::SetPlaneManipulation_Default() {
  engine_->pickState[0] = 0;
  redraw();
}

void GLWidget::SetPlaneManipulation_ThreeBall() {
  engine_->pickState[0] = 4;
  redraw();
}

// ---- section options ----

void GLWidget::applySectionOptions() {
  engine_->setUseSegmentation(useSegmentationCheck->isChecked());
  engine_->setHermiteInterp(hermiteInterpCheck->isChecked());
  engine_->setHermiteTanFactor(float(hermiteTanFactorSpin->value()));
  engine_->updateAllSections();
  pendingSectionOptions_ = false;
}

void GLWidget::SetUseSegmentations() {
  if (selectionRunActive()) {
    pendingSectionOptions_ = true;
    return;
  }
  engine_->setUseSegmentation(useSegmentationCheck->isChecked());
  engine_->updateAllSections();
  UpdatePlaneList();
  redraw();
}

void GLWidget::SetHermiteInterp() {
  if (selectionRunActive()) {
    pendingSectionOptions_ = true;
    return;
  }
  engine_->setHermiteInterp(hermiteInterpCheck->isChecked());
  engine_->updateAllSections();
  redraw();
}

void GLWidget::SetHermiteTanFactor() {
  if (selectionRunActive()) {
    pendingSectionOptions_ = true;
    return;
  }
  engine_->setHermiteTanFactor(float(hermiteTanFactorSpin->value()));
  engine_->updateAllSections();
  redraw();
}

// ---- algorithm ----

void GLWidget::applyAlgoParameters() {
  bool enabled[kFeatureTypeCount];
  float weights[kFeatureTypeCount];
  float radii[kFeatureTypeCount];
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    enabled[t] = featureCheck[t]->isChecked();
    weights[t] = float(featureWeightSpin[t]->value());
    radii[t] = float(featureRadiusSpin[t]->value());
  }
  engine_->setFeatureEnabled(enabled);
  engine_->setFeatureWeights(weights);
  engine_->setFeatureRadii(radii);
  engine_->setBinSelectThreshold(float(binSelectThresholdSpin->value()));
  engine_->setCurvatureSmooth(curvatureSmoothSpin->value());
  engine_->setCurvatureThreshold(curvatureThresholdSpin->value());
  pendingAlgoParameters_ = false;
}

void GLWidget::SetAlgoFeatureParameters() {
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    const bool on = featureCheck[t]->isChecked();
    featureWeightSpin[t]->setEnabled(on);
    featureRadiusSpin[t]->setEnabled(on);
  }
  if (selectionRunActive())
    pendingAlgoParameters_ = true;  // the run reads them; hand over when it ends
  else
    applyAlgoParameters();
  redraw();
}

void GLWidget::DoBinningAlgorithm() {
  // While a run is active the button stops it.
  if (selectionRunActive()) {
    engine_->requestStop();
    return;
  }
  if (loadActive()) {
    qDebug("Run refused: a model is being loaded");
    if (showMessage) showMessage(this, tr("A model is being loaded. Wait until it has finished."));
    return;
  }
  // Changes made during the previous run whose end has not been delivered yet.
  if (pendingAlgoParameters_) applyAlgoParameters();
  if (pendingSectionOptions_) applySectionOptions();
  progressBar->setTextVisible(true);
  progressBar->setFormat(QStringLiteral("%p%"));
  progressBar->setRange(0, 1000);
  progressBar->setValue(0);
  engine_->setKeepPlanesOnRun(!clearPlanesOnRunCheck->isChecked());
  runPlanesBefore_ = clearPlanesOnRunCheck->isChecked() ? 0 : engine_->planes.size();
  if (statusBar) statusBar->showMessage(tr("Plane-selection run started; press \"Stop Binning Algorithm\" to stop it."));
  engine_->setCoverAllSegments(coverAllSegmentsCheck->isChecked());
  engine_->setTargetPlaneCount(planeCountSpin->value());
  // The run adds planes (and may clear the earlier ones): undo brings back
  // those from before it.
  recordEdit(tr("Binning run"));
  engine_->startRun(QThread::InheritPriority);
  binningButton->setText(tr("Stop Binning Algorithm"));
}

void GLWidget::UpdateUI() {
  // A finished run leaves new votes: the side view rebuilds its bins.
  if (sideView_) sideView_->invalidateBinDisplayList();
  showModelWarnings();
  UpdatePlaneList();
  // A stopped run is not a finished one, whatever the bar reached.
  const int n = engine_->planes.size();
  const int added = qMax(0, n - runPlanesBefore_);
  if (engine_->runStopRule == QLatin1String("stopped")) {
    progressBar->setFormat(tr("Stopped"));
    if (statusBar) statusBar->showMessage(tr("Run stopped: %1 new planes, %2 in the list.").arg(added).arg(n));
  } else if (statusBar) {
    statusBar->showMessage(tr("Run finished (%1): %2 new planes, %3 in the list.")
                               .arg(engine_->runStopRule)
                               .arg(added)
                               .arg(n));
  }
  redraw(true);
}

void GLWidget::ApplyPendingParameters() {
  // The thread emits finished as it ends, a moment before it counts as no
  // longer running. A run started since keeps the changes pending until it
  // too has finished (or until the next start, which applies them first).
  if (engine_ && !engine_->wait(50)) return;
  if (selectionRunActive()) return;
  binningButton->setText(tr("Binning Algorithm"));
  if (pendingAlgoParameters_) applyAlgoParameters();
  if (pendingSectionOptions_) {
    applySectionOptions();
    UpdatePlaneList();
    redraw();
  }
}

// ---- options read elsewhere ----

void GLWidget::ToggleUseHumanPlaneCuts() { redraw(); }

void GLWidget::ToggleDrawBinSpace() {
  // The side view drops its compiled bins first, so the next paint shows the
  // bins as they are now.
  if (sideView_) sideView_->setBinSpaceShown(drawBinSpaceCheck->isChecked());
}

// ---- exports and study analysis ----

void GLWidget::ExportOBJ() {
  // The export re-triangulates the slabs: not while the run owns the planes.
  if (refuseDuringRun() || refuseExportWithoutModel()) return;
  const ExportResult result = exportObj(*engine_, modelPathEdit->text(), exportFolderEdit->text());
  if (result.ok) {
    clearJournal();
    exportedState_ = journalFingerprint();
  }
  if (showMessage) showMessage(this, result.message);
}

void GLWidget::ExportContours() {
  if (refuseDuringRun() || refuseExportWithoutModel()) return;
  const ExportResult result = exportContours(*engine_, modelPathEdit->text(), exportFolderEdit->text());
  if (result.ok) {
    clearJournal();
    exportedState_ = journalFingerprint();
  }
  if (showMessage) showMessage(this, result.message);
}

void GLWidget::ExportSVG() {
  if (refuseDuringRun() || refuseExportWithoutModel()) return;
  const ExportResult result = exportSvg(*engine_, modelPathEdit->text(), exportFolderEdit->text());
  if (result.ok) {
    clearJournal();
    exportedState_ = journalFingerprint();
  }
  if (showMessage) showMessage(this, result.message);
}

void GLWidget::ComputeMatrixA() {
  if (!engine_ || refuseDuringRun()) return;
  // Beside the other exports of the model, in the export folder.
  const ExportPaths paths = exportPaths(modelPathEdit->text(), exportFolderEdit->text());
  makeExportDirectory(paths);
  const QString path = paths.dir + QLatin1Char('/') + QLatin1String(kMatrixFileName);
  bool ok = false;
  {
    // Rebuilding the features and votes takes seconds on a large model.
    const BusyScope busy(this, tr("Exporting the matrix (rebuilding features and votes)..."));
    ok = exportMatrix(*engine_, path);
  }
  if (statusBar) statusBar->showMessage(exportMessage(path, ok));
  if (showMessage) showMessage(this, exportMessage(path, ok));
}

GLWidget::BusyScope::BusyScope(GLWidget* view, const QString& what) : view_(view) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  minimum_ = view_->progressBar->minimum();
  maximum_ = view_->progressBar->maximum();
  view_->progressBar->setRange(0, 0);  // a bar without an end: busy
  if (view_->statusBar) view_->statusBar->showMessage(what);
  emit view_->busyChanged(true, what);
  // Let the cursor, the bar and the message show before the work blocks.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

GLWidget::BusyScope::~BusyScope() {
  view_->resetProgress();
  view_->progressBar->setRange(minimum_, maximum_);
  QApplication::restoreOverrideCursor();
  emit view_->busyChanged(false, QString());
}

void GLWidget::DoAnalysisOnUserData() {
  if (!engine_ || refuseDuringRun()) return;
  EditState before = captureEditState(*engine_, tr("Analysis of user cuts"), false);
  if (!engine_->analyzeUserCuts()) return;
  if (planesDiffer(*engine_, before)) {
    history_->push(std::move(before));
    updateUndoActions();
  }
  // The analysis voted afresh and may have added planes.
  if (sideView_) sideView_->invalidateBinDisplayList();
  UpdatePlaneList();
  redraw(true);
}

// ---- mesh utilities ----

// The engine refuses these during a run with a debug line only; the user is
// told here. After an edit the mesh, the sections and their areas have
// changed, so the list and the views follow.

void GLWidget::MeshDecimate() {
  if (!engine_ || refuseDuringRun()) return;
  EditState undoState = captureEditState(*engine_, tr("Mesh decimation"), true);
  const MeshCounts before = meshCounts();
  bool ok = false;
  {
    const BusyScope busy(this, tr("Decimating the mesh..."));
    ok = engine_->decimateMesh();
  }
  if (!ok) {
    if (statusBar) statusBar->showMessage(tr("Nothing was decimated: no model with faces is loaded."));
    return;
  }
  history_->push(std::move(undoState));
  updateUndoActions();
  const MeshCounts after = meshCounts();
  showActionStatus(tr("Decimated: %1 of %2 vertices left in use, %3 faces (were %4); Ctrl+Z takes it back.")
                       .arg(after.usedVertices)
                       .arg(before.usedVertices)
                       .arg(after.faces)
                       .arg(before.faces));
  UpdatePlaneList();
  redraw(true);
}

void GLWidget::MeshNoisify() {
  if (!engine_ || refuseDuringRun()) return;
  EditState undoState = captureEditState(*engine_, tr("Mesh noise"), true);
  if (!engine_->noisifyMesh()) {
    if (statusBar) statusBar->showMessage(tr("No noise added: no model with faces is loaded."));
    return;
  }
  history_->push(std::move(undoState));
  updateUndoActions();
  showActionStatus(tr("Noise added to the %1 vertices of the mesh; Ctrl+Z takes it back.").arg(meshCounts().usedVertices));
  UpdatePlaneList();
  redraw(true);
}

GLWidget::MeshCounts GLWidget::meshCounts() const {
  MeshCounts counts;
  if (!engine_ || !engine_->renderMesh) return counts;
  const RenderMesh& mesh = *engine_->renderMesh;
  const int n = mesh.vertices().size();
  QVector<bool> used(n, false);
  for (const RenderFace& face : mesh.faces())
    for (int v : face)
      if (v >= 0 && v < n) used[v] = true;
  counts.usedVertices = int(std::count(used.begin(), used.end(), true));
  counts.faces = mesh.faces().size();
  return counts;
}

void GLWidget::CutsSegmentify() {
  if (!engine_ || refuseDuringRun()) return;
  EditState before = captureEditState(*engine_, tr("Cuts segmentify"), false);
  if (!engine_->segmentCuts()) return;
  history_->push(std::move(before));
  updateUndoActions();
  // The split switches the segmentation on; the check box shows it without
  // recomputing the sections a second time.
  {
    const QSignalBlocker blocker(useSegmentationCheck);
    useSegmentationCheck->setChecked(engine_->useSegmentation);
  }
  // The split leaves no current plane: rebuild the list without restoring the
  // old row, which would make that plane current again.
  planeList->clear();
  UpdatePlaneList();
  redraw(true);
}
