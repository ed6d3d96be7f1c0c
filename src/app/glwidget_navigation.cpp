// The main view's navigation (wheel zoom, pan, fit, reset and preset views),
// its undo history of plane and mesh edits, and the cursor over the glyph.
#include <QAction>
#include <QCheckBox>
#include <QDebug>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>

#include "app/glwidget.h"
#include "app/undo_history.h"
#include "engine/sorvex.h"
#include "view/picking.h"
#include "view/plane_manipulation.h"
#include "view/side_glwidget.h"

namespace {

// One wheel notch (120 eighths of a degree) brings the eye this much closer.
constexpr double kZoomPerNotch = 0.85;
// How long an action's message stays before the guidance line returns.
constexpr int kActionStatusMs = 4000;

}  // namespace

// ---- navigation ----

void GLWidget::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) {
    event->ignore();
    return;
  }
  // Forward (away from the user) comes closer.
  camera_.zoom(std::pow(kZoomPerNotch, double(delta) / 120.0));
  event->accept();
  redraw();
}

void GLWidget::fitView() {
  camera_.fit(engine_->modelCentre(), engine_->modelRadius());
  showActionStatus(tr("View fitted to the model"));
  redraw();
}

void GLWidget::resetView() {
  initView();
  showActionStatus(tr("View reset"));
  redraw();
}

void GLWidget::presetView(ViewPreset preset, bool opposite) {
  Vec3 direction, up(0, 1, 0);
  QString name;
  switch (preset) {
    case ViewPreset::Front:
      direction = Vec3(0, 0, 1);
      name = opposite ? tr("Back view") : tr("Front view");
      break;
    case ViewPreset::Right:
      direction = Vec3(1, 0, 0);
      name = opposite ? tr("Left view") : tr("Right view");
      break;
    case ViewPreset::Top:
      direction = Vec3(0, 1, 0);
      up = Vec3(0, 0, -1);
      name = opposite ? tr("Bottom view") : tr("Top view");
      break;
  }
  if (opposite) {
    direction = direction * -1.0f;
    if (preset == ViewPreset::Top) up = Vec3(0, 0, 1);
  }
  camera_.lookFrom(direction, up, engine_->modelCentre(), engine_->modelRadius());
  showActionStatus(name);
  redraw();
}

void GLWidget::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers held = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  const bool ctrlOnly = held == Qt::ControlModifier;
  switch (event->key()) {
    case Qt::Key_F:
      if (held) break;
      fitView();
      return;
    case Qt::Key_Home:
      if (held) break;
      resetView();
      return;
    case Qt::Key_1:
    case Qt::Key_3:
    case Qt::Key_7: {
      if (held && !ctrlOnly) break;
      const ViewPreset preset = event->key() == Qt::Key_1   ? ViewPreset::Front
                                : event->key() == Qt::Key_3 ? ViewPreset::Right
                                                            : ViewPreset::Top;
      presetView(preset, ctrlOnly);
      return;
    }
    case Qt::Key_PageUp:
      // One model per press: a held key does not run back through the sequence.
      if (held || event->isAutoRepeat()) break;
      if (!loadActive()) LoadPreviousModelFromSequence();
      event->accept();
      return;
    case Qt::Key_X:
    case Qt::Key_Y:
    case Qt::Key_Z:
      // The release aligns; a press with Ctrl (undo) or a repeat does not.
      if (!event->isAutoRepeat()) alignKey_ = held ? 0 : event->key();
      event->accept();
      return;
    default:
      break;
  }
  QGLWidget::keyPressEvent(event);
}

// ---- the status line ----

void GLWidget::showActionStatus(const QString& text) {
  if (!statusBar) return;
  if (!statusRestore_) {
    statusRestore_ = new QTimer(this);
    statusRestore_->setSingleShot(true);
    connect(statusRestore_, &QTimer::timeout, this, [this] { statusBar->showMessage(guidance_); });
  }
  // The guidance is what the line said before the first of a run of action
  // messages.
  if (!statusRestore_->isActive()) guidance_ = statusBar->currentMessage();
  statusBar->showMessage(text);
  statusRestore_->start(kActionStatusMs);
}

// ---- undo ----

void GLWidget::recordEdit(const QString& label, bool withMesh) {
  openStep_.reset();
  history_->push(captureEditState(*engine_, label, withMesh));
  updateUndoActions();
}

void GLWidget::beginEditStep(const QString& label) {
  openStep_.reset(new EditState(captureEditState(*engine_, label, false)));
}

void GLWidget::finishEditStep() {
  if (!openStep_) return;
  std::unique_ptr<EditState> step = std::move(openStep_);
  if (!planesDiffer(*engine_, *step)) return;  // a press without a change
  history_->push(std::move(*step));
  updateUndoActions();
}

bool GLWidget::undoEdit() { return stepHistory(false); }

bool GLWidget::redoEdit() { return stepHistory(true); }

bool GLWidget::stepHistory(bool forward) {
  if (refuseDuringRun() || loadActive()) return false;
  finishEditStep();
  if (!(forward ? history_->canRedo() : history_->canUndo())) {
    showActionStatus(forward ? tr("Nothing to redo") : tr("Nothing to undo"));
    return false;
  }
  const QString label = forward ? history_->redoLabel() : history_->undoLabel();
  const quint64 before = engine_->renderMesh ? engine_->renderMesh->revision() : 0;
  if (forward)
    history_->redo(*engine_);
  else
    history_->undo(*engine_);
  const quint64 after = engine_->renderMesh ? engine_->renderMesh->revision() : 0;
  showRestoredState(before != after);
  showActionStatus((forward ? tr("Redone: %1") : tr("Undone: %1")).arg(label));
  return true;
}

void GLWidget::showRestoredState(bool meshChanged) {
  endManipulation(*engine_);
  openStrokePlane_ = -1;
  {
    const QSignalBlocker blocker(useSegmentationCheck);
    useSegmentationCheck->setChecked(engine_->useSegmentation);
  }
  // Rebuild the list without acting on its selection (clearing it would
  // select no plane), then show the restored current plane.
  const int current = engine_->currentPlane;
  {
    const QSignalBlocker blocker(planeList);
    planeList->clear();
    UpdatePlaneList();
  }
  engine_->currentPlane = current;
  showCurrentPlaneInList();
  if (meshChanged && sideView_) sideView_->invalidateBinDisplayList();
  updateUndoActions();
  redraw(true);
}

void GLWidget::updateUndoActions() {
  if (!undoAction_ || !redoAction_) return;
  const QString undoLabel = history_->undoLabel(), redoLabel = history_->redoLabel();
  undoAction_->setText(undoLabel.isEmpty() ? tr("&Undo") : tr("&Undo %1").arg(undoLabel));
  redoAction_->setText(redoLabel.isEmpty() ? tr("&Redo") : tr("&Redo %1").arg(redoLabel));
  undoAction_->setStatusTip(undoLabel.isEmpty() ? tr("Nothing to undo") : tr("Take back: %1").arg(undoLabel));
  redoAction_->setStatusTip(redoLabel.isEmpty() ? tr("Nothing to redo") : tr("Do again: %1").arg(redoLabel));
  undoAction_->setToolTip(undoAction_->statusTip() + tr(" (Ctrl+Z)"));
  redoAction_->setToolTip(redoAction_->statusTip() + tr(" (Ctrl+Shift+Z)"));
}

// ---- cursor over the glyph ----

void GLWidget::updateHoverCursor() {
  hoverPending_ = false;
  if (drawOptions.annotateMode || selectionRunActive() || !engine_->hasCurrentPlane()) {
    unsetCursor();
    return;
  }
  makeCurrent();
  camera_.applyView();
  const int mode = glyphModeNear(pickContext(), lastMouseX, lastMouseY);
  if (mode == manipmode::kSlide)
    setCursor(Qt::SizeAllCursor);  // the axis lines move the plane
  else if (mode >= 0)
    setCursor(Qt::PointingHandCursor);  // an edge to turn by or a ball
  else
    unsetCursor();
}
