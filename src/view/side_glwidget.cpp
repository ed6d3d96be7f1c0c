#include "view/side_glwidget.h"

#include <QCloseEvent>
#include <QDebug>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include "engine/sorvex.h"
#include "view/bin_space_drawing.h"
#include "view/bin_space_guides.h"

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
  // About twice the box's bounding radius (2.9) away.
  camera_.setFrame(Vec3(3.4f, 2.4f, 4.6f), Vec3(0, 0, 0), Vec3(0, 1, 0));
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
  drawBinSpaceAxes(this);
  glPopMatrix();
  if (engine_) drawBinSpaceLegend(this, engine_->featureTypeNames, kFeatureTypeCount);
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
  if (!on) {
    hide();
    return;
  }
  if (!placed_) {
    placed_ = true;
    const QWidget* main = anchor_;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1366, 768);
    const QSize size = QSize(available.width() * 2 / 5, available.height() * 2 / 5)
                           .boundedTo(QSize(640, 480))
                           .expandedTo(minimumSizeHint());
    resize(size);
    QPoint at = available.topLeft();
    if (main) {
      const QRect frame = main->frameGeometry();
      if (frame.right() + 8 + size.width() <= available.right())
        at = QPoint(frame.right() + 8, frame.top());  // beside the main window
      else
        at = QPoint(qMax(available.left(), frame.right() - size.width() - 24), frame.top() + 48);
    }
    move(at);
  }
  show();
  raise();
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

void SideGLWidget::closeEvent(QCloseEvent* event) {
  QGLWidget::closeEvent(event);
  if (event->isAccepted()) emit closed();
}

void SideGLWidget::keyPressEvent(QKeyEvent* event) { event->ignore(); }
void SideGLWidget::keyReleaseEvent(QKeyEvent* event) { event->ignore(); }
