#include "app/glwidget.h"

#include <QCheckBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QProgressBar>
#include <QPushButton>

#include "engine/sorvex.h"
#include "view/side_glwidget.h"
#include "view/scene_renderer.h"

GLWidget::GLWidget(QWidget* parent) : QGLWidget(parent) {
  qDebug("Constructing glwidget");
  backgroundColour = QColor(80, 80, 160, 255);
  setFocusPolicy(Qt::StrongFocus);

  progressBar = new QProgressBar();
  engine_ = new Sorvex(&camera_);
  connect(engine_, &Sorvex::percentComplete, progressBar, &QProgressBar::setValue);
  connect(engine_, &Sorvex::algoFinished, this, &GLWidget::UpdateUI);
  sequenceIndex = 0;

  createControlWidgets();
  meshDecimateButton = new QPushButton(tr("Mesh Decimate"));
  meshNoisifyButton = new QPushButton(tr("Mesh Noisify"));
  cutsSegmentifyButton = new QPushButton(tr("Cuts Segmentify"));
  coverAllSegmentsCheck = new QCheckBox(tr("Cover all segments"));

  initView();
}

GLWidget::~GLWidget() {
  makeCurrent();
  sequencePaths.clear();
  sequenceLabels.clear();
  sequenceSegmentationPaths.clear();
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

void GLWidget::mousePressEvent(QMouseEvent*) {}
void GLWidget::mouseReleaseEvent(QMouseEvent*) {}
void GLWidget::mouseMoveEvent(QMouseEvent*) {}
void GLWidget::keyReleaseEvent(QKeyEvent*) {}

