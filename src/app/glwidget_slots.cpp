// The actions behind the control panel's buttons and fields.
#include <QDebug>

#include "app/glwidget.h"
#include "engine/sorvex.h"
#include "view/side_glwidget.h"

void GLWidget::ExportOBJ() {}
void GLWidget::ExportContours() {}
void GLWidget::LoadInputMesh() {}
void GLWidget::LoadInputMeshFromSequence() {}

void GLWidget::AddNewPlane() {
  engine_->addNewPlane();
  UpdatePlaneList();
  update();
}

void GLWidget::SetPlaneManipulation_Default() {}
void GLWidget::SetPlaneManipulation_ThreeBall() {}
void GLWidget::SelectPlane() {}

void GLWidget::EraseCurrentPlane() {
  engine_->erasePlane(engine_->currentPlane);
  UpdatePlaneList();
  update();
}

void GLWidget::ClearAllPlanes() {
  engine_->clearPlanes();
  UpdatePlaneList();
  update();
}

void GLWidget::UpdatePlaneList() {}
void GLWidget::SetUseSegmentations() {}
void GLWidget::SetHermiteInterp() {}
void GLWidget::SetHermiteTanFactor() {}
void GLWidget::SetAlgoFeatureParameters() {}
void GLWidget::DoBinningAlgorithm() {}
void GLWidget::ToggleUseHumanPlaneCuts() {}
void GLWidget::ToggleDrawBinSpace() {}
void GLWidget::ComputeMatrixA() {}
void GLWidget::DoAnalysisOnUserData() {}
void GLWidget::MeshDecimate() {}
void GLWidget::MeshNoisify() {}
void GLWidget::CutsSegmentify() {}

void GLWidget::UpdateUI() {
  UpdatePlaneList();
  update();
  if (sideView_) sideView_->update();
}
