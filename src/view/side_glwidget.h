#pragma once

#include <QGLWidget>

#include "view/camera.h"

class GLWidget;
class Sorvex;

// The bin-space view: a separate top-level window showing the accumulator.
class SideGLWidget : public QGLWidget {
  Q_OBJECT

 public:
  explicit SideGLWidget(Sorvex* engine);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  void setMainView(GLWidget* view) { mainView_ = view; }
  GLWidget* mainView() const { return mainView_; }
  Sorvex* engine() const { return engine_; }
  Camera& camera() { return camera_; }

  void initView();

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;

 private:
  Sorvex* engine_ = nullptr;
  GLWidget* mainView_ = nullptr;
  Camera camera_;
  int viewportWidth_ = 0;
  int viewportHeight_ = 0;
};
