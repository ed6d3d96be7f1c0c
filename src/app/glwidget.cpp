#include "app/glwidget.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "app/undo_history.h"
#include "engine/sorvex.h"
#include "export/plane_journal.h"
#include "model/model_loader.h"
#include "view/side_glwidget.h"
#include "view/scene_renderer.h"
#include "view/picking.h"
#include "view/plane_manipulation.h"

GLWidget::GLWidget(QWidget* parent) : QGLWidget(parent) {
  qDebug("Constructing glwidget");
  backgroundColour = QColor(80, 80, 160, 255);
  setFocusPolicy(Qt::StrongFocus);

  // Every control starts in a hidden holder: the panel's layouts adopt the
  // ones the configuration shows, and the rest are freed with the view.
  controlHolder_ = new QWidget(this);
  controlHolder_->hide();
  progressBar = new QProgressBar(controlHolder_);
  engine_ = new Sorvex(&camera_);
  connect(engine_, &Sorvex::percentComplete, progressBar, &QProgressBar::setValue);
  connect(engine_, &Sorvex::algoFinished, this, &GLWidget::UpdateUI);
  connect(engine_, &QThread::finished, this, &GLWidget::ApplyPendingParameters);
  loader_ = new ModelLoader(engine_, this);
  frameRefresh_ = new QTimer(this);
  frameRefresh_->setSingleShot(true);
  frameRefresh_->setInterval(16);
  connect(frameRefresh_, &QTimer::timeout, this, [this] {
    // "Annotate Mode" chooses the plane once per frame, for the latest view.
    if (autoSelectPending_ && !selectionRunActive()) {
      autoSelectPlane(*engine_, camera_);
      showCurrentPlaneInList();
    }
    autoSelectPending_ = false;
    // The cursor tells what a press would grab, for the latest hover.
    if (hoverPending_) updateHoverCursor();
    UpdatePlaneList();
    update();
  });
  history_.reset(new UndoHistory);
  undoAction_ = new QAction(tr("&Undo"), this);
  undoAction_->setObjectName(QStringLiteral("undoAction"));
  undoAction_->setShortcut(QKeySequence::Undo);
  undoAction_->setShortcutContext(Qt::WindowShortcut);
  connect(undoAction_, &QAction::triggered, this, [this] { undoEdit(); });
  redoAction_ = new QAction(tr("&Redo"), this);
  redoAction_->setObjectName(QStringLiteral("redoAction"));
  // Ctrl+Shift+Z everywhere, and the platform's own redo key where it differs.
  QList<QKeySequence> redoKeys{QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_Z)};
  for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Redo))
    if (!redoKeys.contains(key)) redoKeys << key;
  redoAction_->setShortcuts(redoKeys);
  redoAction_->setShortcutContext(Qt::WindowShortcut);
  connect(redoAction_, &QAction::triggered, this, [this] { redoEdit(); });
  updateUndoActions();
  sequenceIndex = 0;

  createControlWidgets();
  meshDecimateButton = new QPushButton(tr("Mesh Decimate"), controlHolder_);
  meshNoisifyButton = new QPushButton(tr("Mesh Noisify"), controlHolder_);
  cutsSegmentifyButton = new QPushButton(tr("Cuts Segmentify"), controlHolder_);
  autoSegmentationCheck = new QCheckBox(tr("Auto Segmentation"), controlHolder_);
  autoSymmetryCheck = new QCheckBox(tr("Auto Symmetry"), controlHolder_);
  saveSegmentationButton = new QPushButton(tr("Save Segmentation"), controlHolder_);
  saveSymmetryButton = new QPushButton(tr("Save Symmetry"), controlHolder_);
  modelWarningsLabel = new QLabel(controlHolder_);
  coverAllSegmentsCheck = new QCheckBox(tr("Cover all segments"), controlHolder_);
  statusBar = new QStatusBar(controlHolder_);
  statusBar->setSizeGripEnabled(false);
  sequenceProgressLabel = new QLabel(statusBar);
  sequenceProgressLabel->setObjectName(QStringLiteral("sequenceProgress"));
  statusBar->addPermanentWidget(sequenceProgressLabel);

  initView();
  startJournal();
}

GLWidget::~GLWidget() {
  // A normal close: the planes were the user's to keep or leave.
  if (journal_) journal_->clear();
  // The load's worker and the run use the engine: both end before it goes.
  delete loader_;
  loader_ = nullptr;
  engine_->requestStop();
  engine_->wait();
  makeCurrent();
  sequencePaths.clear();
  sequenceLabels.clear();
  sequenceSegmentationPaths.clear();
  // Its display lists belong to this view's context, current here.
  delete engine_;
  engine_ = nullptr;
}

QSize GLWidget::sizeHint() const { return QSize(6000, 4000); }
QSize GLWidget::minimumSizeHint() const { return QSize(400, 300); }

void GLWidget::initView() {
  const float R = engine_->modelRadius();
  const Vec3 P = engine_->modelCentre();
  const float d = 2.0f * R * 0.577350259f;
  camera_.setFrame(P + Vec3(d, d, d), P, Vec3(0, 1, 0));
  if (height() > 0) camera_.setAspect(double(width()) / double(height()));
}

void GLWidget::initializeGL() {
  glEnable(GL_NORMALIZE);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glShadeModel(GL_SMOOTH);
}

void GLWidget::resizeGL(int w, int h) {
  glViewport(0, 0, w, h);
  if (h > 0) camera_.setAspect(double(w) / double(h));
  viewportWidth_ = w;
  viewportHeight_ = h;
}

void GLWidget::paintGL() {
  SceneRenderer renderer(engine_, camera_, drawOptions);
  renderer.paintFrame();
}

// ---- mouse and keys: camera moves, plane manipulation, annotation ----
//
// While a plane-selection run is active the run owns the plane list: presses
// start no manipulation and draw no stroke, X, Y and Z align nothing, and the
// drags move the camera instead. Camera moves always work.

namespace {

void logRefusedEdit() { qDebug("Plane edit refused: a plane-selection run is in progress"); }

}  // namespace

PickContext GLWidget::pickContext() {
  PickContext context;
  context.engine = engine_;
  context.camera = &camera_;
  context.options = drawOptions;
  context.width = viewportWidth_;
  context.height = viewportHeight_;
  return context;
}

void GLWidget::mousePressEvent(QMouseEvent* event) {
  const int x = event->x(), y = event->y();
  lastMouseX = x;
  lastMouseY = y;
  // The middle button, or the left one with Shift, pans the view: no pick.
  if (event->button() == Qt::MiddleButton ||
      (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier)))
    return;
  makeCurrent();
  camera_.applyView();
  const bool editsAllowed = !selectionRunActive();
  if (!drawOptions.annotateMode) {
    // During a run not even the plane list is read here (the run owns it).
    if (editsAllowed) {
      if (pickGlyph(pickContext(), x, y) && manipmode::isDragging(engine_->pickState[0]) && !openStep_) {
        const int mode = engine_->pickState[0];
        beginEditStep(mode == manipmode::kSlide      ? tr("Slide plane")
                      : manipmode::isThreeBall(mode) ? tr("Move plane")
                                                     : tr("Turn plane"));
      }
    } else {
      logRefusedEdit();
    }
  } else if (event->buttons() & Qt::RightButton) {
    if (editsAllowed) {
      beginEditStep(tr("Draw stroke"));
      addAnnotationPoint(pickContext(), x, y, true, openStrokePlane_);
    } else {
      logRefusedEdit();
    }
  }
  redraw(drawBinSpaceCheck && drawBinSpaceCheck->isChecked());
}

void GLWidget::mouseMoveEvent(QMouseEvent* event) {
  const int x = event->x(), y = event->y();
  const int dx = x - lastMouseX, dy = y - lastMouseY;
  const int w = viewportWidth_, h = viewportHeight_;
  const Qt::MouseButtons buttons = event->buttons();
  const bool editsAllowed = !selectionRunActive();
  // Middle drag, or Shift with the left button outside a manipulation, pans.
  const bool panning =
      (buttons & Qt::MiddleButton) || ((buttons & Qt::LeftButton) && (event->modifiers() & Qt::ShiftModifier) &&
                                       !manipmode::isDragging(engine_->pickState[0]));
  if (panning) {
    if (w > 0 && h > 0) camera_.pan(double(dx) / w, double(dy) / h);
    lastMouseX = x;
    lastMouseY = y;
    scheduleFrameRefresh();
    return;
  }
  makeCurrent();
  camera_.applyView();

  if (drawOptions.annotateMode) {
    if (editsAllowed) {
      // A stroke draws on the plane this move chooses; a hover waits for the
      // next frame, so that a burst of moves makes one choice.
      if (buttons & Qt::RightButton) {
        autoSelectPending_ = false;
        autoSelectPlane(*engine_, camera_);
        showCurrentPlaneInList();
      } else {
        autoSelectPending_ = true;
      }
    }
    if (buttons & Qt::LeftButton) {
      if (w > 0 && h > 0) camera_.orbit(double(dx) / w, double(dy) / h);
    } else if ((buttons & Qt::RightButton) && editsAllowed) {
      addAnnotationPoint(pickContext(), x, y, false, openStrokePlane_);
    }
  } else {
    // A manipulation whose release never arrived ends at the first move
    // without a button, instead of dragging the plane on hover.
    if (buttons == Qt::NoButton && manipmode::isDragging(engine_->pickState[0])) {
      endManipulation(*engine_);
      finishEditStep();
    }
    if (buttons == Qt::NoButton) hoverPending_ = true;
    if (buttons != Qt::NoButton && editsAllowed && dragPlane(pickContext(), x, y)) {
      lastMouseX = x;
      lastMouseY = y;
      scheduleFrameRefresh();
      if (drawBinSpaceCheck && drawBinSpaceCheck->isChecked() && sideView_) sideView_->update();
      return;
    }
    if (w > 0 && h > 0) {
      if (buttons & Qt::LeftButton)
        camera_.orbit(double(dx) / w, double(dy) / h);
      else if (buttons & Qt::RightButton)
        camera_.dolly(double(dy) / h * double(camera_.eye.length()));
    }
  }
  lastMouseX = x;
  lastMouseY = y;
  scheduleFrameRefresh();
}

void GLWidget::mouseReleaseEvent(QMouseEvent* event) {
  endManipulation(*engine_);
  // A drag or a stroke is one step of the undo history.
  if (event->buttons() == Qt::NoButton) finishEditStep();
  if (event->button() == Qt::RightButton) openStrokePlane_ = -1;
  lastMouseX = event->x();
  lastMouseY = event->y();
  UpdatePlaneList();
  redraw();
}

void GLWidget::keyReleaseEvent(QKeyEvent* event) {
  Vec3 axis;
  switch (event->key()) {
    case Qt::Key_A:
      camera_.roll(0.05);
      break;
    case Qt::Key_S:
      camera_.roll(-0.05);
      break;
    // Only the release of an X, Y or Z pressed here without Ctrl: the Z of
    // Ctrl+Z (undo) aligns nothing.
    case Qt::Key_X:
      if (alignKey_ == Qt::Key_X) axis = Vec3(1, 0, 0);
      alignKey_ = 0;
      break;
    case Qt::Key_Y:
      if (alignKey_ == Qt::Key_Y) axis = Vec3(0, 1, 0);
      alignKey_ = 0;
      break;
    case Qt::Key_Z:
      if (alignKey_ == Qt::Key_Z) axis = Vec3(0, 0, 1);
      alignKey_ = 0;
      break;
    default:
      QGLWidget::keyReleaseEvent(event);
      break;
  }
  if (axis != Vec3()) {
    if (selectionRunActive()) {
      logRefusedEdit();
    } else if (engine_->hasCurrentPlane()) {
      recordEdit(tr("Align plane"));
      engine_->alignCurrentPlane(axis);
      // The section follows at once, so the contours, the area in the list
      // and the exports agree with the plane that is shown.
      engine_->updateSection(engine_->planes[engine_->currentPlane]);
      UpdatePlaneList();
    }
  }
  redraw();
}
