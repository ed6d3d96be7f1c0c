#include "view/side_glwidget.h"

#include <QDebug>

SideGLWidget::SideGLWidget(Sorvex* engine) : QGLWidget(static_cast<QWidget*>(nullptr)), engine_(engine) {
  setWindowTitle(tr("Korvane bin space"));
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
}

void SideGLWidget::resizeGL(int w, int h) {
  glViewport(0, 0, w, h);
  if (h > 0) camera_.setAspect(double(w) / double(h));
  viewportWidth_ = w;
  viewportHeight_ = h;
}

void SideGLWidget::paintGL() {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  camera_.applyView();
  if (glGetError() != GL_NO_ERROR) qDebug("GLproblem within sideglwidget\n");
}
