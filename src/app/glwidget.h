#pragma once

#include <QColor>
#include <QGLWidget>
#include <QList>
#include <QString>

#include "view/camera.h"
#include "view/draw_options.h"

class QProgressBar;
class QPushButton;
class QCheckBox;
class QDoubleSpinBox;
class SideGLWidget;
class Sorvex;

// The main 3-D view. It creates the engine and the control widgets; the
// slots read the widgets, call the engine and refresh the views.
class GLWidget : public QGLWidget {
  Q_OBJECT

 public:
  explicit GLWidget(QWidget* parent = nullptr);
  ~GLWidget() override;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  Sorvex* engine() const { return engine_; }
  void setSideView(SideGLWidget* side) { sideView_ = side; }
  SideGLWidget* sideView() const { return sideView_; }
  Camera& camera() { return camera_; }

  // Frames the current model: eye on the (1, 1, 1) diagonal at twice the
  // bounding radius from the centre.
  void initView();

  // Builds and returns the control panel (configures the control widgets).
  QWidget* buildControlPanel();

  int viewportWidth() const { return viewportWidth_; }
  int viewportHeight() const { return viewportHeight_; }

 public slots:
  void ExportOBJ();
  void ExportContours();
  void LoadInputMesh();
  void LoadInputMeshFromSequence();
  void AddNewPlane();
  void SetPlaneManipulation_Default();
  void SetPlaneManipulation_ThreeBall();
  void SelectPlane();
  void EraseCurrentPlane();
  void ClearAllPlanes();
  void UpdatePlaneList();
  void SetUseSegmentations();
  void SetHermiteInterp();
  void SetHermiteTanFactor();
  void SetAlgoFeatureParameters();
  void DoBinningAlgorithm();
  void ToggleUseHumanPlaneCuts();
  void ToggleDrawBinSpace();
  void ComputeMatrixA();
  void DoAnalysisOnUserData();
  void MeshDecimate();
  void MeshNoisify();
  void CutsSegmentify();
  void UpdateUI();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;

 public:
  // ---- view state ----
  DrawOptions drawOptions;
  QColor backgroundColour;
  int lastMouseX = 0;
  int lastMouseY = 0;

  // ---- model sequence ----
  int sequenceIndex = 0;
  QList<QString> sequencePaths;
  QList<QString> sequenceLabels;
  QList<QString> sequenceSegmentationPaths;

  // ---- control widgets created by the constructor ----
  QProgressBar* progressBar = nullptr;
  QPushButton* meshDecimateButton = nullptr;
  QPushButton* meshNoisifyButton = nullptr;
  QPushButton* cutsSegmentifyButton = nullptr;
  QCheckBox* coverAllSegmentsCheck = nullptr;
  QCheckBox* featureCheck[10] = {};
  QDoubleSpinBox* featureWeightSpin[10] = {};
  QDoubleSpinBox* featureRadiusSpin[10] = {};

 private:
  Camera camera_;
  Sorvex* engine_ = nullptr;
  SideGLWidget* sideView_ = nullptr;
  int viewportWidth_ = 0;
  int viewportHeight_ = 0;
};
