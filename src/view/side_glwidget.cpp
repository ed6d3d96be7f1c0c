#include "view/side_glwidget.h"

#include <QDebug>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include "engine/sorvex.h"
#include "view/bin_space_drawing.h"

namespace {
// Delay before a frame that found the bins busy is drawn again.
constexpr int kRetryDelayMs = 100;
// Longest wait of a frame for the engine's lock.
constexpr int kLockWaitMs = 3;
}  // namespace

SideGLWidget::SideGLWidget(Sorvex* engine) : QGLWidget(static_cast<QWidget*>(nullptr)), engine_(engine) {
  setWindowTitle(tr("Korvane bin space"));
  qDebug("instantiating sidewidget");
  setFocusPolicy(Qt::StrongFocus);
  // A top-level window is held to its minimum size, not to the size hint.
  setMinimumSize(minimumSizeHint());
  initView();
}

QSize SideGLWidget::sizeHint() const { return QSize(6000, 4000); }
QSize SideGLWidget::minimumSizeHint() const { return QSize(400, 300); }

void SideGLWidget::initView() {
  camera_.setFrame(Vec3(1.5f, 1.5f, 1.5f), Vec3(0, 0, 0), Vec3(0, 1, 0));
  if (height() > 0) camera_.setAspect(double(width()) / double(height()));
}

void SideGLWidget::initializeGL() {
  glEnable(GL_NORMALIZE);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glShadeModel(GL_SMOOTH);
  glEnable(GL_LIGHT0);
}

void SideGLWidget::resizeGL(int w, int h) {
  glViewport(0, 0, w, h);
  if (h > 0) camera_.setAspect(double(w) / double(h));
  viewportWidth_ = w;
  viewportHeight_ = h;
}

void SideGLWidget::paintGL() {
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushMatrix();
  camera_.applyView();
  bool complete = true;
  if (engine_) {
    complete = engine_->stateMutex.tryLock(kLockWaitMs);
    if (complete) {
      // The highlight follows the current plane; the cubes are built once.
      updateBinHighlight(*engine_);
      highlight_ = engine_->bins.highlight;
      for (int a = 0; a < 3; ++a) highlightIndex_[a] = engine_->bins.highlightIndex[a];
      if (!cubes_.built) buildBinCubes(engine_->bins, cubes_);
      engine_->stateMutex.unlock();
    }
  }
  drawBinSpace(cubes_, highlight_, highlightIndex_, &frameCounts_);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (glGetError() != GL_NO_ERROR) qDebug("GLproblem within sideglwidget\n");

  // The bins were busy (a plane-selection run is writing them): draw again
  // shortly rather than wait here.
  if (!complete && !retryPending_) {
    retryPending_ = true;
    QTimer::singleShot(kRetryDelayMs, this, [this] {
      retryPending_ = false;
      update();
    });
  }
}

void SideGLWidget::invalidateBinDisplayList() {
  cubes_.clear();
  update();
}

void SideGLWidget::setBinSpaceShown(bool on) {
  invalidateBinDisplayList();
  if (on)
    show();
  else
    hide();
}

void SideGLWidget::mousePressEvent(QMouseEvent* event) {
  lastX_ = event->x();
  lastY_ = event->y();
  update();
}

void SideGLWidget::mouseMoveEvent(QMouseEvent* event) {
  const int dx = event->x() - lastX_;
  const int dy = event->y() - lastY_;
  const double w = viewportWidth_ > 0 ? viewportWidth_ : 1;
  const double h = viewportHeight_ > 0 ? viewportHeight_ : 1;
  if (event->buttons() & Qt::LeftButton)
    camera_.orbit(dx / w, dy / h);
  else if (event->buttons() & Qt::RightButton)
    camera_.dolly(dy / h);
  lastX_ = event->x();
  lastY_ = event->y();
  update();
}

void SideGLWidget::mouseReleaseEvent(QMouseEvent* event) {
  lastX_ = event->x();
  lastY_ = event->y();
  update();
}

void SideGLWidget::keyPressEvent(QKeyEvent* event) { event->ignore(); }
void SideGLWidget::keyReleaseEvent(QKeyEvent* event) { event->ignore(); }
