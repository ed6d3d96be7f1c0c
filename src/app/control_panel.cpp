// The control panel to the right of the main view: two form-layout columns.
// The study configuration places only the first column; every control of the
// second exists, is configured and connected all the same, so its values
// reach the engine at start-up.
#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "app/glwidget.h"
#include "app/study_mode.h"
#include "app/weight_spin_box.h"
#include "app/wheel_guard.h"
#include "engine/sorvex.h"

namespace {

void configureSpin(QDoubleSpinBox* spin, int decimals, double lo, double hi, double step, double value) {
  // Decimals first: setRange and setValue round to the current decimal count.
  spin->setDecimals(decimals);
  spin->setRange(lo, hi);
  spin->setSingleStep(step);
  spin->setValue(value);
}

// A check box that only changes what is drawn: keep `flag` in step with it
// and repaint the view on every toggle.
void bindDrawCheck(GLWidget* view, QCheckBox* box, bool checked, bool* flag) {
  box->setChecked(checked);
  *flag = checked;
  QObject::connect(box, &QCheckBox::toggled, view, [view, flag](bool on) {
    *flag = on;
    view->update();
  });
}

}  // namespace

void GLWidget::createControlWidgets() {
  seedSpin = new QSpinBox(controlHolder_);
  modelPathEdit = new QLineEdit(controlHolder_);
  loadFromSequenceButton = new QPushButton(controlHolder_);
  previousModelButton = new QPushButton(controlHolder_);
  loadButton = new QPushButton(controlHolder_);
  vertCheck = new QCheckBox(controlHolder_);
  edgeCheck = new QCheckBox(controlHolder_);
  triCheck = new QCheckBox(controlHolder_);
  addNewButton = new QPushButton(controlHolder_);
  planeList = new QListWidget(controlHolder_);
  defaultManipulationRadio = new QRadioButton(controlHolder_);
  threeBallManipulationRadio = new QRadioButton(controlHolder_);
  eraseCurrentButton = new QPushButton(controlHolder_);
  exportFolderEdit = new QLineEdit(controlHolder_);
  exportObjButton = new QPushButton(controlHolder_);
  exportContoursButton = new QPushButton(controlHolder_);
  exportMatrixButton = new QPushButton(controlHolder_);
  exportSvgButton = new QPushButton(controlHolder_);
  clearAllButton = new QPushButton(controlHolder_);
  binningButton = new QPushButton(controlHolder_);
  binSelectThresholdSpin = new QDoubleSpinBox(controlHolder_);
  planeCountSpin = new QSpinBox(controlHolder_);
  curvatureThresholdSpin = new QDoubleSpinBox(controlHolder_);
  curvatureSmoothSpin = new QDoubleSpinBox(controlHolder_);
  smoothingCombo = new QComboBox(controlHolder_);
  drawMeshFeaturesCheck = new QCheckBox(controlHolder_);
  drawOutputCheck = new QCheckBox(controlHolder_);
  outputTriangulateCheck = new QCheckBox(controlHolder_);
  outputColouredCheck = new QCheckBox(controlHolder_);
  humanCutsCheck = new QCheckBox(controlHolder_);
  useSegmentationCheck = new QCheckBox(controlHolder_);
  hermiteInterpCheck = new QCheckBox(controlHolder_);
  hermiteTanFactorSpin = new QDoubleSpinBox(controlHolder_);
  drawBinSpaceCheck = new QCheckBox(controlHolder_);
  annotateModeCheck = new QCheckBox(controlHolder_);
  clearPlanesOnRunCheck = new QCheckBox(controlHolder_);
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    featureCheck[t] = new QCheckBox(controlHolder_);
    featureWeightSpin[t] = new WeightSpinBox(controlHolder_);
    featureRadiusSpin[t] = new QDoubleSpinBox(controlHolder_);
  }

  chooseModelFile = [](QWidget* parent, const QString& caption, const QString& dir, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
  };
  showMessage = [](QWidget* parent, const QString& text) {
    QMessageBox box(parent);
    box.setWindowTitle(tr("Korvane"));
    box.setText(text);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
  };
  askQuestion = [](QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, tr("Korvane"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
  };
}

void GLWidget::resetFeatureWeights() {
  for (int t = 0; t < kFeatureTypeCount; ++t) featureWeightSpin[t]->setValue(kStartFeatureWeights[t]);
}

QWidget* GLWidget::buildControlPanel() {
  // ---- first column ----
  auto* firstForm = new QFormLayout;
  auto* secondForm = new QFormLayout;
  // The research window groups its rows in titled boxes; the study window
  // keeps its two plain columns (every group is then one of them).
  const auto group = [](QFormLayout* column) { return studyMode ? column : new QFormLayout; };
  QFormLayout* modelForm = group(firstForm);
  QFormLayout* planesForm = group(firstForm);
  QFormLayout* exportForm = group(firstForm);
  QFormLayout* runForm = group(secondForm);
  QFormLayout* featuresForm = group(secondForm);
  QFormLayout* displayForm = group(secondForm);
  QFormLayout* toolsForm = group(secondForm);

  seedSpin->setRange(0, 19);
  seedSpin->setValue(0);
  if (studyMode) firstForm->addRow(tr("Seed number:"), seedSpin);

  // The research window names no model before one is loaded: the view
  // would show nothing of it.
  modelPathEdit->setText(studyMode ? tr("Specify seed #, then load") : QString());
  if (!studyMode) modelPathEdit->setPlaceholderText(tr("No model loaded: press \"Load...\""));
  // Wide enough for the prompt, with room to spare for model names.
  modelPathEdit->setMinimumWidth(modelPathEdit->fontMetrics().horizontalAdvance(tr("Specify seed #, then load")) +
                                 modelPathEdit->fontMetrics().averageCharWidth() * 4);
  modelPathEdit->setCursorPosition(0);
  modelForm->addRow(modelPathEdit);

  // Back and forward share a row, the way forward the wider.
  loadFromSequenceButton->setText(tr("Load From Sequence"));
  connect(loadFromSequenceButton, &QPushButton::clicked, this, &GLWidget::LoadInputMeshFromSequence);
  previousModelButton->setText(tr("Previous Model"));
  previousModelButton->setEnabled(false);
  connect(previousModelButton, &QPushButton::clicked, this, &GLWidget::LoadPreviousModelFromSequence);
  auto* sequenceRow = new QHBoxLayout;
  sequenceRow->addWidget(previousModelButton, 1);
  sequenceRow->addWidget(loadFromSequenceButton, 2);
  modelForm->addRow(sequenceRow);

  loadButton->setText(tr("Load..."));
  connect(loadButton, &QPushButton::clicked, this, &GLWidget::LoadInputMesh);
  if (!studyMode) modelForm->addRow(loadButton);

  vertCheck->setText(tr("Vert"));
  edgeCheck->setText(tr("Edge"));
  triCheck->setText(tr("Tri"));
  bindDrawCheck(this, vertCheck, false, &drawOptions.drawVertices);
  bindDrawCheck(this, edgeCheck, false, &drawOptions.drawEdges);
  bindDrawCheck(this, triCheck, true, &drawOptions.drawTriangles);
  auto* meshDrawRow = new QHBoxLayout;
  meshDrawRow->addWidget(vertCheck);
  meshDrawRow->addWidget(edgeCheck);
  meshDrawRow->addWidget(triCheck);
  modelForm->addRow(meshDrawRow);

  addNewButton->setText(tr("Add New"));
  connect(addNewButton, &QPushButton::clicked, this, &GLWidget::AddNewPlane);
  planesForm->addRow(addNewButton);

  planeList->clear();
  connect(planeList, &QListWidget::currentRowChanged, this, &GLWidget::SelectPlane);
  planesForm->addRow(planeList);

  defaultManipulationRadio->setText(tr("Default"));
  threeBallManipulationRadio->setText(tr("3-Ball"));
  defaultManipulationRadio->setChecked(true);
  auto* manipulationGroup = new QButtonGroup(this);
  manipulationGroup->addButton(defaultManipulationRadio);
  manipulationGroup->addButton(threeBallManipulationRadio);
  connect(defaultManipulationRadio, &QRadioButton::clicked, this, &GLWidget::SetPlaneManipulation_Default);
  connect(threeBallManipulationRadio, &QRadioButton::clicked, this, &GLWidget::SetPlaneManipulation_ThreeBall);
  auto* manipulationRow = new QHBoxLayout;
  manipulationRow->addWidget(defaultManipulationRadio);
  manipulationRow->addWidget(threeBallManipulationRadio);
  planesForm->addRow(manipulationRow);

  eraseCurrentButton->setText(tr("Erase Current"));
  connect(eraseCurrentButton, &QPushButton::clicked, this, &GLWidget::EraseCurrentPlane);
  planesForm->addRow(eraseCurrentButton);

  exportFolderEdit->setText(QStringLiteral("yournamehere"));
  exportForm->addRow(tr("Export folder:"), exportFolderEdit);

  // A completed click only: a press dragged off the button exports nothing.
  exportObjButton->setText(tr("Export OBJ File"));
  connect(exportObjButton, &QPushButton::clicked, this, &GLWidget::ExportOBJ);
  exportForm->addRow(exportObjButton);

  exportContoursButton->setText(tr("Export Contours"));
  connect(exportContoursButton, &QPushButton::clicked, this, &GLWidget::ExportContours);
  exportMatrixButton->setText(tr("Export Matrix"));
  connect(exportMatrixButton, &QPushButton::clicked, this, &GLWidget::ComputeMatrixA);
  exportSvgButton->setText(tr("Export SVG"));
  connect(exportSvgButton, &QPushButton::clicked, this, &GLWidget::ExportSVG);
  // The research exports share one row.
  if (!studyMode) {
    auto* researchExportRow = new QHBoxLayout;
    researchExportRow->addWidget(exportContoursButton);
    researchExportRow->addWidget(exportMatrixButton);
    researchExportRow->addWidget(exportSvgButton);
    exportForm->addRow(researchExportRow);
  }

  // Created and wired, but placed in neither column.
  clearAllButton->setText(tr("Clear All"));
  connect(clearAllButton, &QPushButton::clicked, this, &GLWidget::ClearAllPlanes);

  // ---- feature grid ----
  auto* featureGrid = new QGridLayout;
  featureGrid->addWidget(new QLabel(tr("Feature")), 1, 1);
  featureGrid->addWidget(new QLabel(tr("Weight")), 1, 2);
  featureGrid->addWidget(new QLabel(tr("Radius")), 1, 3);
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    featureCheck[t]->setText(QString::fromLatin1(engine_->featureTypeNames[t]));
    featureCheck[t]->setChecked(true);
    connect(featureCheck[t], &QCheckBox::toggled, this, &GLWidget::SetAlgoFeatureParameters);

    configureSpin(featureWeightSpin[t], 7, 0.0, 10.0, 0.0001, 1.0);
    connect(featureWeightSpin[t], QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &GLWidget::SetAlgoFeatureParameters);

    configureSpin(featureRadiusSpin[t], 3, 0.01, 0.5, 0.01, 0.1);
    connect(featureRadiusSpin[t], QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &GLWidget::SetAlgoFeatureParameters);

    featureGrid->addWidget(featureCheck[t], t + 2, 1);
    featureGrid->addWidget(featureWeightSpin[t], t + 2, 2);
    featureGrid->addWidget(featureRadiusSpin[t], t + 2, 3);
  }
  auto* featureWidget = new QWidget(controlHolder_);
  featureWidget->setLayout(featureGrid);

  // ---- second column ----

  coverAllSegmentsCheck->setChecked(false);
  binningButton->setText(tr("Binning Algorithm"));
  connect(binningButton, &QPushButton::clicked, this, &GLWidget::DoBinningAlgorithm);
  runForm->addRow(coverAllSegmentsCheck, binningButton);

  runForm->addRow(progressBar);
  featuresForm->addRow(featureWidget);

  const auto connectParameterSpin = [this](QDoubleSpinBox* spin) {
    connect(spin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &GLWidget::SetAlgoFeatureParameters);
  };
  configureSpin(binSelectThresholdSpin, 2, 0.05, 3.0, 0.05, 1.0);
  connectParameterSpin(binSelectThresholdSpin);
  runForm->addRow(tr("Bin Select Threshold"), binSelectThresholdSpin);

  planeCountSpin->setRange(0, 100);
  planeCountSpin->setValue(0);
  planeCountSpin->setSpecialValueText(tr("By threshold"));
  planeCountSpin->setToolTip(
      tr("Number of planes the run accepts, the strongest first; 0 accepts planes while they reach the threshold"));
  runForm->addRow(tr("Planes"), planeCountSpin);

  // Off: a run adds its planes after the ones already in the list.
  clearPlanesOnRunCheck->setText(tr("Clear Planes Before Run"));
  clearPlanesOnRunCheck->setChecked(false);
  runForm->addRow(clearPlanesOnRunCheck);

  configureSpin(curvatureThresholdSpin, 2, 0.0, 100.0, 1.0, 15.0);
  connectParameterSpin(curvatureThresholdSpin);
  featuresForm->addRow(tr("Curvature Threshold"), curvatureThresholdSpin);

  configureSpin(curvatureSmoothSpin, 2, 0.0, 1.0, 0.01, 0.01);
  connectParameterSpin(curvatureSmoothSpin);
  featuresForm->addRow(tr("Curvature Smooth"), curvatureSmoothSpin);

  // Takes effect at the next load or mesh edit; neither runs beside a run.
  smoothingCombo->addItem(tr("Auto"), int(SmoothingMethod::Auto));
  smoothingCombo->addItem(tr("Exact"), int(SmoothingMethod::Exact));
  smoothingCombo->addItem(tr("Fast"), int(SmoothingMethod::Fast));
  smoothingCombo->setCurrentIndex(0);
  smoothingCombo->setToolTip(
      tr("Curvature filter: Exact gathers every vertex within three widths, Fast gathers clusters of them "
         "(bounded work on dense meshes); Auto is exact unless a vertex would gather over %1 neighbours")
          .arg(kFastSmoothingNeighbours));
  connect(smoothingCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
          [this](int index) { engine_->setSmoothingMethod(SmoothingMethod(smoothingCombo->itemData(index).toInt())); });
  secondForm->addRow(tr("Smoothing"), smoothingCombo);

  drawMeshFeaturesCheck->setText(tr("Draw Mesh Features"));
  drawOutputCheck->setText(tr("Draw Output"));
  bindDrawCheck(this, drawMeshFeaturesCheck, false, &drawOptions.drawMeshFeatures);
  bindDrawCheck(this, drawOutputCheck, true, &drawOptions.drawOutput);
  displayForm->addRow(drawMeshFeaturesCheck, drawOutputCheck);

  outputTriangulateCheck->setText(tr("Output Triangulate"));
  outputColouredCheck->setText(tr("Output Coloured"));
  bindDrawCheck(this, outputTriangulateCheck, false, &drawOptions.outputTriangulate);
  bindDrawCheck(this, outputColouredCheck, true, &drawOptions.outputColoured);
  displayForm->addRow(outputTriangulateCheck, outputColouredCheck);

  humanCutsCheck->setText(tr("Load/Draw Human Cuts"));
  humanCutsCheck->setChecked(false);
  drawOptions.drawHumanCuts = false;
  connect(humanCutsCheck, &QCheckBox::toggled, this, [this](bool on) {
    drawOptions.drawHumanCuts = on;
    ToggleUseHumanPlaneCuts();
  });
  useSegmentationCheck->setText(tr("Use Segmentation"));
  useSegmentationCheck->setChecked(false);
  connect(useSegmentationCheck, &QCheckBox::toggled, this, &GLWidget::SetUseSegmentations);
  displayForm->addRow(humanCutsCheck, useSegmentationCheck);

  hermiteInterpCheck->setText(tr("Hermite Interp"));
  hermiteInterpCheck->setChecked(true);
  connect(hermiteInterpCheck, &QCheckBox::toggled, this, &GLWidget::SetHermiteInterp);
  configureSpin(hermiteTanFactorSpin, 2, 0.1, 10.0, 0.1, 1.0);
  connect(hermiteTanFactorSpin, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
          &GLWidget::SetHermiteTanFactor);
  displayForm->addRow(hermiteInterpCheck, hermiteTanFactorSpin);

  drawBinSpaceCheck->setText(tr("Draw Bin Space"));
  drawBinSpaceCheck->setChecked(false);
  connect(drawBinSpaceCheck, &QCheckBox::clicked, this, &GLWidget::ToggleDrawBinSpace);
  annotateModeCheck->setText(tr("Annotate Mode"));
  annotateModeCheck->setChecked(false);
  drawOptions.annotateMode = false;
  // The mode changes what is drawn (strokes instead of planes): show it now.
  connect(annotateModeCheck, &QCheckBox::toggled, this, [this](bool on) {
    drawOptions.annotateMode = on;
    update();
  });
  displayForm->addRow(drawBinSpaceCheck, annotateModeCheck);

  connect(meshDecimateButton, &QPushButton::clicked, this, &GLWidget::MeshDecimate);
  toolsForm->addRow(meshDecimateButton);
  connect(meshNoisifyButton, &QPushButton::clicked, this, &GLWidget::MeshNoisify);
  toolsForm->addRow(meshNoisifyButton);
  connect(cutsSegmentifyButton, &QPushButton::clicked, this, &GLWidget::CutsSegmentify);
  toolsForm->addRow(cutsSegmentifyButton);

  // Where a model has no segmentation or symmetry file, the next load
  // computes one; either can be saved in its file format.
  autoSegmentationCheck->setChecked(true);
  autoSymmetryCheck->setChecked(true);
  autoSegmentationCheck->setToolTip(tr("Compute a segmentation when a model has no segmentation file (next load)"));
  autoSymmetryCheck->setToolTip(tr("Detect symmetry planes and axes when a model has no symmetry file (next load)"));
  connect(autoSegmentationCheck, &QCheckBox::toggled, this, &GLWidget::SetAutoCompanions);
  connect(autoSymmetryCheck, &QCheckBox::toggled, this, &GLWidget::SetAutoCompanions);
  saveSegmentationButton->setToolTip(tr("Write the loaded model's segmentation to the export folder"));
  saveSymmetryButton->setToolTip(tr("Write the loaded model's symmetry planes and axes to the export folder"));
  connect(saveSegmentationButton, &QPushButton::clicked, this, &GLWidget::SaveSegmentation);
  connect(saveSymmetryButton, &QPushButton::clicked, this, &GLWidget::SaveSymmetry);
  // The study's models come with their files and its participants see no
  // research controls: there these stay unplaced and the engine computes
  // nothing.
  if (!studyMode) {
    SetAutoCompanions();
    modelForm->addRow(autoSegmentationCheck, autoSymmetryCheck);
    modelForm->addRow(saveSegmentationButton, saveSymmetryButton);
  }
  modelWarningsLabel->setWordWrap(true);
  modelWarningsLabel->setStyleSheet(QStringLiteral("color: #a03000"));
  modelWarningsLabel->setVisible(false);
  runForm->addRow(modelWarningsLabel);

  // The weight spin boxes are connected already, so every start weight also
  // reaches the engine on its own; the explicit call covers the rest.
  resetFeatureWeights();
  SetAlgoFeatureParameters();

  // ---- assembly ----
  if (!studyMode) {
    // Each column a stack of titled groups, packed at the top.
    const auto addGroup = [](QFormLayout* column, const QString& title, QFormLayout* rows) {
      auto* box = new QGroupBox(title);
      box->setLayout(rows);
      column->addRow(box);
    };
    addGroup(firstForm, tr("Model"), modelForm);
    addGroup(firstForm, tr("Planes"), planesForm);
    addGroup(firstForm, tr("Export"), exportForm);
    addGroup(secondForm, tr("Run"), runForm);
    addGroup(secondForm, tr("Features"), featuresForm);
    addGroup(secondForm, tr("Display"), displayForm);
    addGroup(secondForm, tr("Mesh Tools"), toolsForm);
  }
  auto* firstColumn = new QWidget(controlHolder_);
  firstColumn->setLayout(firstForm);
  auto* secondColumn = new QWidget(controlHolder_);
  secondColumn->setLayout(secondForm);

  auto* panelGrid = new QGridLayout;
  panelGrid->addWidget(firstColumn, 1, 1, Qt::AlignTop);
  // In the study configuration the second column stays unplaced, in the
  // hidden holder, for the whole run.
  if (!studyMode) panelGrid->addWidget(secondColumn, 1, 2, Qt::AlignTop);

  // The window's layout adopts the panel.
  auto* panel = new QWidget(controlHolder_);
  panel->setLayout(panelGrid);

  // A used button hands the keyboard back to the view, so that its keys
  // (A, S, X, Y, Z) work without a click into it first; so does a click on
  // a row of the plane list.
  for (QAbstractButton* button : panel->findChildren<QAbstractButton*>())
    connect(button, &QAbstractButton::clicked, this, &GLWidget::giveKeyboardToView);
  connect(planeList, &QListWidget::clicked, this, &GLWidget::giveKeyboardToView);
  applyHelpTexts();
  guardFieldsAgainstStrayWheel(panel);
  return panel;
}

void GLWidget::giveKeyboardToView() {
  // Someone typing in a field keeps it (the window's focus widget counts
  // even while another window is active).
  const QWidget* focus = window()->focusWidget();
  for (const QWidget* w = focus; w; w = w->parentWidget()) {
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w)) return;
    if (w->isWindow()) break;
  }
  setFocus(Qt::OtherFocusReason);
}

void GLWidget::showCurrentPlaneInList() {
  if (!planeList || !engine_) return;
  const int current = engine_->currentPlane;
  const int row = (current >= 0 && current < planeList->count()) ? current : -1;
  if (planeList->currentRow() == row) return;
  // The engine has chosen already; the list only shows it.
  const QSignalBlocker blocker(planeList);
  planeList->setCurrentRow(row);
}
