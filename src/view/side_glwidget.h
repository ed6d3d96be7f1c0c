#pragma once

#include <QGLWidget>

#include "view/bin_space_drawing.h"
#include "view/camera.h"

class GLWidget;
class Sorvex;

// The bin-space view: a separate top-level window showing the accumulator
// of plane parameters (theta along x, phi along y, d along z) with a cube per
// voted bin and the current plane's bin marked. Left drag orbits its camera,
// right drag dollies; keys do nothing. The cubes are built into vertex
// arrays once (after a run, a load, a toggle of "Draw Bin Space") and drawn
// from them every frame; a frame reads the engine only briefly, under its
// lock, and never waits for it more than a few milliseconds.
class SideGLWidget : public QGLWidget {
  Q_OBJECT

 public:
  explicit SideGLWidget(Sorvex* engine);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  void setMainView(GLWidget* view) { mainView_ = view; }
  GLWidget* mainView() const { return mainView_; }
  // The window the side view opens beside.
  void setAnchorWindow(QWidget* window) { anchor_ = window; }
  Sorvex* engine() const { return engine_; }
  Camera& camera() { return camera_; }

  // Eye outside the index box (5 x 2.5 x 1.39 units about the origin),
  // in front of its theta-phi face and above it, looking at the origin with
  // up (0, 1, 0): the whole box is in view.
  void initView();

  // Drops the built bin geometry; the next paint builds it from the bins as
  // they are then.
  void invalidateBinDisplayList();
  // True while built geometry is shown; its size in bytes.
  bool binGeometryBuilt() const { return cubes_.built; }
  size_t binGeometryBytes() const { return cubes_.bytes(); }
  // Cubes the last frame drew as faces and as points.
  BinFrameCounts lastFrameCounts() const { return frameCounts_; }

  // What "Draw Bin Space" does: drop the compiled geometry, then show the
  // view when `on`, hide it otherwise.
  // The first time it is shown the window takes a size of its own (about
  // a third of the screen) beside the main view's window where there is
  // room, at its right edge otherwise.
  void setBinSpaceShown(bool on);

 signals:
  // The user closed the window (its title bar's close button).
  void closed();

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  Sorvex* engine_ = nullptr;
  GLWidget* mainView_ = nullptr;
  QWidget* anchor_ = nullptr;
  Camera camera_;
  int viewportWidth_ = 0;
  int viewportHeight_ = 0;
  int lastX_ = 0;
  int lastY_ = 0;
  bool retryPending_ = false;
  bool placed_ = false;  // given its opening size and place
  BinCubes cubes_;
  BinFrameCounts frameCounts_;
  bool highlight_ = false;
  int highlightIndex_[3] = {0, 0, 0};
};
