#include <gtest/gtest.h>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolTip>

#include "app/panel_fixture.h"
#include "app/study_mode.h"
#include "engine/sorvex.h"

using paneltest::press;

namespace {

class ControlPanel : public paneltest::WindowFixture {};

QFormLayout* formOf(QWidget* w) { return qobject_cast<QFormLayout*>(w->parentWidget()->layout()); }

}  // namespace

TEST_F(ControlPanel, LayoutMatchesConfiguration) {
  QFormLayout* first = formOf(view->modelPathEdit);
  ASSERT_NE(first, nullptr);
  // The row that holds `w`, alone or in a row layout of its own.
  const auto rowOf = [first](QWidget* w) {
    for (int r = 0; r < first->rowCount(); ++r)
      for (QFormLayout::ItemRole role : {QFormLayout::LabelRole, QFormLayout::FieldRole, QFormLayout::SpanningRole}) {
        QLayoutItem* item = first->itemAt(r, role);
        if (item && (item->widget() == w || (item->layout() && item->layout()->indexOf(w) >= 0))) return r;
      }
    return -1;
  };

  // Always placed and visible, in this order.
  QWidget* common[] = {view->modelPathEdit,      view->loadFromSequenceButton, view->addNewButton,   view->planeList,
                       view->eraseCurrentButton, view->exportFolderEdit,       view->exportObjButton};
  // Study: rows of one form; research: the same order down the first column
  // of groups.
  const auto topOf = [this](QWidget* w) { return w->mapTo(window.get(), QPoint(0, 0)).y(); };
  for (int i = 1; i < 7; ++i) {
    if (studyMode)
      EXPECT_LT(rowOf(common[i - 1]), rowOf(common[i])) << i;
    else
      EXPECT_LT(topOf(common[i - 1]), topOf(common[i])) << i;
  }
  for (QWidget* w : common) EXPECT_TRUE(w->isVisible());
  // The way back shares the row of the way forward, on its left.
  EXPECT_TRUE(view->previousModelButton->isVisible());
  EXPECT_EQ(rowOf(view->previousModelButton), rowOf(view->loadFromSequenceButton));
  EXPECT_LT(view->previousModelButton->x(), view->loadFromSequenceButton->x());
  EXPECT_TRUE(view->triCheck->isVisible());
  EXPECT_TRUE(view->threeBallManipulationRadio->isVisible());

  // Created and wired, but never placed.
  EXPECT_FALSE(view->clearAllButton->isVisible());
  EXPECT_FALSE(window->controlPanel()->isAncestorOf(view->clearAllButton));
  EXPECT_EQ(view->clearAllButton->text(), "Clear All");

  if (studyMode) {
    QLayoutItem* label = first->itemAt(0, QFormLayout::LabelRole);
    ASSERT_NE(label, nullptr);
    auto* seedLabel = qobject_cast<QLabel*>(label->widget());
    ASSERT_NE(seedLabel, nullptr);
    EXPECT_EQ(seedLabel->text(), "Seed number:");
    EXPECT_EQ(first->itemAt(0, QFormLayout::FieldRole)->widget(), view->seedSpin);
    EXPECT_TRUE(view->seedSpin->isVisible());
    EXPECT_EQ(view->modelPathEdit->text(), "Specify seed #, then load");
    // Only the first column: no file dialog, no contour export, no algorithm.
    for (QWidget* w : {static_cast<QWidget*>(view->loadButton), static_cast<QWidget*>(view->exportContoursButton),
                       static_cast<QWidget*>(view->exportMatrixButton), static_cast<QWidget*>(view->exportSvgButton),
                       static_cast<QWidget*>(view->binningButton), static_cast<QWidget*>(view->progressBar),
                       static_cast<QWidget*>(view->featureCheck[0]), static_cast<QWidget*>(view->humanCutsCheck),
                       static_cast<QWidget*>(view->autoSegmentationCheck), static_cast<QWidget*>(view->autoSymmetryCheck),
                       static_cast<QWidget*>(view->saveSegmentationButton),
                       static_cast<QWidget*>(view->saveSymmetryButton)}) {
      EXPECT_FALSE(w->isVisible());
      EXPECT_FALSE(window->controlPanel()->isAncestorOf(w));
    }
  } else {
    EXPECT_EQ(rowOf(view->modelPathEdit), 0);
    EXPECT_FALSE(window->controlPanel()->isAncestorOf(view->seedSpin));
    // No model is named before one is loaded.
    EXPECT_EQ(view->modelPathEdit->text(), "");
    EXPECT_TRUE(view->loadButton->isVisible());
    EXPECT_EQ(view->loadButton->text(), "Load...");
    EXPECT_EQ(rowOf(view->loadButton), rowOf(view->loadFromSequenceButton) + 1);
    // The research exports share the row after "Export OBJ File".
    EXPECT_TRUE(view->exportContoursButton->isVisible());
    EXPECT_TRUE(view->exportMatrixButton->isVisible());
    EXPECT_EQ(view->exportMatrixButton->text(), "Export Matrix");
    QFormLayout* exportForm = formOf(view->exportObjButton);
    ASSERT_NE(exportForm, nullptr);
    int exportObjRow = -1;
    QFormLayout::ItemRole exportObjRole;
    exportForm->getWidgetPosition(view->exportObjButton, &exportObjRow, &exportObjRole);
    QLayoutItem* exportRow = exportForm->itemAt(exportObjRow + 1, QFormLayout::SpanningRole);
    ASSERT_NE(exportRow, nullptr);
    ASSERT_NE(exportRow->layout(), nullptr);
    EXPECT_GE(exportRow->layout()->indexOf(view->exportContoursButton), 0);
    EXPECT_GE(exportRow->layout()->indexOf(view->exportMatrixButton), 0);
    EXPECT_GE(exportRow->layout()->indexOf(view->exportSvgButton), 0);
    const QRect contoursRect(view->exportContoursButton->mapTo(window.get(), QPoint(0, 0)),
                             view->exportContoursButton->size());
    const QRect matrixRect(view->exportMatrixButton->mapTo(window.get(), QPoint(0, 0)),
                           view->exportMatrixButton->size());
    EXPECT_EQ(matrixRect.center().y(), contoursRect.center().y());
    EXPECT_GE(matrixRect.left(), contoursRect.right());
    // The second column sits to the right of the first.
    for (QWidget* w : {static_cast<QWidget*>(view->binningButton), static_cast<QWidget*>(view->progressBar),
                       static_cast<QWidget*>(view->featureCheck[9]), static_cast<QWidget*>(view->annotateModeCheck),
                       static_cast<QWidget*>(view->cutsSegmentifyButton)}) {
      EXPECT_TRUE(w->isVisible());
    }
    const QPoint firstLeft = view->modelPathEdit->mapTo(window.get(), QPoint(0, 0));
    const QPoint secondLeft = view->binningButton->mapTo(window.get(), QPoint(0, 0));
    EXPECT_GT(secondLeft.x(), firstLeft.x() + view->modelPathEdit->width() / 2);
    // The check box sits in the label position of the binning row.
    QFormLayout* second = formOf(view->binningButton);
    int row = -1;
    QFormLayout::ItemRole role;
    second->getWidgetPosition(view->coverAllSegmentsCheck, &row, &role);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(role, QFormLayout::LabelRole);
  }
}

TEST_F(ControlPanel, ControlsCarryTheirSettings) {
  EXPECT_EQ(view->seedSpin->minimum(), 0);
  EXPECT_EQ(view->seedSpin->maximum(), 19);
  EXPECT_EQ(view->exportFolderEdit->text(), "yournamehere");
  EXPECT_TRUE(view->triCheck->isChecked());
  EXPECT_FALSE(view->vertCheck->isChecked());
  EXPECT_FALSE(view->edgeCheck->isChecked());
  EXPECT_TRUE(view->defaultManipulationRadio->isChecked());
  EXPECT_FALSE(view->threeBallManipulationRadio->isChecked());

  for (int t = 0; t < kFeatureTypeCount; ++t) {
    EXPECT_EQ(view->featureCheck[t]->text(), QString::fromLatin1(kFeatureTypeNames[t]));
    EXPECT_EQ(view->featureWeightSpin[t]->decimals(), 7);
    EXPECT_DOUBLE_EQ(view->featureWeightSpin[t]->maximum(), 10.0);
    EXPECT_DOUBLE_EQ(view->featureWeightSpin[t]->singleStep(), 0.0001);
    EXPECT_EQ(view->featureRadiusSpin[t]->decimals(), 3);
    EXPECT_DOUBLE_EQ(view->featureRadiusSpin[t]->minimum(), 0.01);
    EXPECT_DOUBLE_EQ(view->featureRadiusSpin[t]->maximum(), 0.5);
  }
  EXPECT_EQ(view->featureCheck[8]->text(), "Perpendicular Support");

  EXPECT_DOUBLE_EQ(view->binSelectThresholdSpin->minimum(), 0.05);
  EXPECT_DOUBLE_EQ(view->binSelectThresholdSpin->maximum(), 3.0);
  EXPECT_DOUBLE_EQ(view->binSelectThresholdSpin->singleStep(), 0.05);
  EXPECT_EQ(view->planeCountSpin->minimum(), 0);
  EXPECT_EQ(view->planeCountSpin->maximum(), 100);
  EXPECT_EQ(view->planeCountSpin->value(), 0);
  EXPECT_DOUBLE_EQ(view->curvatureThresholdSpin->maximum(), 100.0);
  EXPECT_DOUBLE_EQ(view->curvatureSmoothSpin->singleStep(), 0.01);
  EXPECT_DOUBLE_EQ(view->hermiteTanFactorSpin->minimum(), 0.1);
  EXPECT_DOUBLE_EQ(view->hermiteTanFactorSpin->value(), 1.0);

  EXPECT_FALSE(view->coverAllSegmentsCheck->isChecked());
  EXPECT_FALSE(view->drawMeshFeaturesCheck->isChecked());
  EXPECT_TRUE(view->drawOutputCheck->isChecked());
  EXPECT_FALSE(view->outputTriangulateCheck->isChecked());
  EXPECT_TRUE(view->outputColouredCheck->isChecked());
  EXPECT_FALSE(view->humanCutsCheck->isChecked());
  EXPECT_FALSE(view->useSegmentationCheck->isChecked());
  EXPECT_TRUE(view->hermiteInterpCheck->isChecked());
  EXPECT_FALSE(view->drawBinSpaceCheck->isChecked());
  EXPECT_FALSE(view->annotateModeCheck->isChecked());
}

TEST_F(ControlPanel, StartUpValuesReachTheEngine) {
  const Sorvex* engine = view->engine();
  const double startWeights[kFeatureTypeCount] = {0.6794463, 0.3130431, 0.3657238, 0.7233772, 0.5000544,
                                                  1.0002444, 0.6080623, 0.9997082, 0.5078993, 1.000211};
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    EXPECT_FLOAT_EQ(engine->featureWeight[t], float(startWeights[t])) << t;
    EXPECT_FLOAT_EQ(engine->featureRadius[t], 0.1f) << t;
    EXPECT_TRUE(engine->featureEnabled[t]) << t;
    EXPECT_TRUE(view->featureWeightSpin[t]->isEnabled());
  }
  EXPECT_FLOAT_EQ(engine->bins.binSelectThreshold(), 1.0f);
  EXPECT_FLOAT_EQ(engine->curvatureThreshold, 15.0f);
  // The engine's own default is 0.05; the panel's 0.01 must win.
  EXPECT_FLOAT_EQ(engine->curvatureSmooth, 0.01f);
  EXPECT_TRUE(engine->hermiteInterp);
  EXPECT_FALSE(engine->useSegmentation);
}

TEST_F(ControlPanel, UncheckingAFeatureDisablesItsRowAndReachesTheEngine) {
  Sorvex* engine = view->engine();
  press(view->featureCheck[3]);
  EXPECT_FALSE(view->featureCheck[3]->isChecked());
  EXPECT_FALSE(engine->featureEnabled[3]);
  EXPECT_FALSE(view->featureWeightSpin[3]->isEnabled());
  EXPECT_FALSE(view->featureRadiusSpin[3]->isEnabled());
  for (int t : {0, 2, 4, 9}) {
    EXPECT_TRUE(engine->featureEnabled[t]) << t;
    EXPECT_TRUE(view->featureWeightSpin[t]->isEnabled()) << t;
  }

  press(view->featureCheck[3]);
  EXPECT_TRUE(engine->featureEnabled[3]);
  EXPECT_TRUE(view->featureWeightSpin[3]->isEnabled());
  EXPECT_TRUE(view->featureRadiusSpin[3]->isEnabled());
}

TEST_F(ControlPanel, ParameterFieldsReachTheEngine) {
  Sorvex* engine = view->engine();
  view->featureWeightSpin[6]->setValue(2.25);
  view->featureRadiusSpin[1]->setValue(0.37);
  view->binSelectThresholdSpin->setValue(2.5);
  view->curvatureThresholdSpin->setValue(42);
  view->curvatureSmoothSpin->setValue(0.3);
  EXPECT_FLOAT_EQ(engine->featureWeight[6], 2.25f);
  EXPECT_FLOAT_EQ(engine->featureRadius[1], 0.37f);
  EXPECT_FLOAT_EQ(engine->bins.binSelectThreshold(), 2.5f);
  EXPECT_FLOAT_EQ(engine->curvatureThreshold, 42.0f);
  EXPECT_FLOAT_EQ(engine->curvatureSmooth, 0.3f);

  // Out-of-range entries are clamped by the fields, never passed on.
  view->featureRadiusSpin[1]->setValue(7.0);
  EXPECT_FLOAT_EQ(engine->featureRadius[1], 0.5f);

  view->hermiteTanFactorSpin->setValue(3.5);
  EXPECT_FLOAT_EQ(engine->hermiteTanFactor, 3.5f);
  press(view->hermiteInterpCheck);
  EXPECT_FALSE(engine->hermiteInterp);
  press(view->useSegmentationCheck);
  EXPECT_TRUE(engine->useSegmentation);

  // Resetting the weights restores the start values in fields and engine.
  view->resetFeatureWeights();
  EXPECT_DOUBLE_EQ(view->featureWeightSpin[6]->value(), 0.6080623);
  EXPECT_FLOAT_EQ(engine->featureWeight[6], 0.6080623f);
}

TEST_F(ControlPanel, DrawingChecksKeepTheDrawOptionsInStep) {
  press(view->vertCheck);
  press(view->triCheck);
  EXPECT_TRUE(view->drawOptions.drawVertices);
  EXPECT_FALSE(view->drawOptions.drawTriangles);
  EXPECT_FALSE(view->drawOptions.drawEdges);
  press(view->drawOutputCheck);
  press(view->outputTriangulateCheck);
  press(view->annotateModeCheck);
  press(view->humanCutsCheck);
  EXPECT_FALSE(view->drawOptions.drawOutput);
  EXPECT_TRUE(view->drawOptions.outputTriangulate);
  EXPECT_TRUE(view->drawOptions.annotateMode);
  EXPECT_TRUE(view->drawOptions.drawHumanCuts);
  EXPECT_TRUE(view->drawOptions.outputColoured);
  EXPECT_FALSE(view->drawOptions.drawMeshFeatures);
}

TEST_F(ControlPanel, ManipulationRadiosSetTheEngineMode) {
  Sorvex* engine = view->engine();
  press(view->threeBallManipulationRadio);
  EXPECT_EQ(engine->pickState[0], 4);
  EXPECT_FALSE(view->defaultManipulationRadio->isChecked());
  press(view->defaultManipulationRadio);
  EXPECT_EQ(engine->pickState[0], 0);
  EXPECT_FALSE(view->threeBallManipulationRadio->isChecked());
}

TEST_F(ControlPanel, DrawBinSpaceShowsAndHidesTheSideView) {
  SideGLWidget* side = window->sideView();
  EXPECT_FALSE(side->isVisible());
  press(view->drawBinSpaceCheck);
  EXPECT_TRUE(side->isVisible());
  press(view->drawBinSpaceCheck);
  EXPECT_FALSE(side->isVisible());
}

TEST_F(ControlPanel, ControlsExplainThemselvesAndAStatusLineGuides) {
  // Every control a participant meets says what it does.
  QWidget* controls[] = {view->seedSpin,      view->modelPathEdit, view->loadFromSequenceButton,
                         view->vertCheck,     view->edgeCheck,     view->triCheck,
                         view->addNewButton,  view->planeList,     view->defaultManipulationRadio,
                         view->threeBallManipulationRadio,         view->eraseCurrentButton,
                         view->exportFolderEdit,                   view->exportObjButton};
  for (QWidget* w : controls) EXPECT_FALSE(w->toolTip().isEmpty()) << w->metaObject()->className();
  // The model names "Plane 1" to "Plane 5" are told apart from the cut planes.
  EXPECT_TRUE(view->modelPathEdit->toolTip().contains("aeroplane"));
  EXPECT_TRUE(view->threeBallManipulationRadio->toolTip().contains("blue"));

  // The export folder has a label of its own.
  QFormLayout* first = formOf(view->exportFolderEdit);
  ASSERT_NE(first, nullptr);
  auto* label = qobject_cast<QLabel*>(first->labelForField(view->exportFolderEdit));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Export folder:");
  EXPECT_TRUE(label->isVisible());

  // A status line under the view says what to do first and where help is.
  QStatusBar* status = view->statusBar;
  EXPECT_TRUE(status->isVisible());
  EXPECT_TRUE(window->isAncestorOf(status));
  EXPECT_FALSE(window->controlPanel()->isAncestorOf(status));
  const QPoint viewBottom = view->mapTo(window.get(), QPoint(0, view->height()));
  EXPECT_GE(status->mapTo(window.get(), QPoint(0, 0)).y(), viewBottom.y());
  EXPECT_TRUE(status->currentMessage().contains("F1")) << status->currentMessage().toStdString();
  if (studyMode) {
    EXPECT_TRUE(status->currentMessage().contains("Load From Sequence"));
  }
}

// Every control the window shows, in either configuration, answers a
// tooltip request with a text of its own.
TEST_F(ControlPanel, EveryVisibleControlHasATooltip) {
  int controls = 0;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    // The text field inside a spin box or combo box is part of that control.
    const QWidget* parent = w->parentWidget();
    const bool innerField = qobject_cast<const QAbstractSpinBox*>(parent) || qobject_cast<const QComboBox*>(parent);
    const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                         qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w) ||
                         (qobject_cast<QLineEdit*>(w) && !innerField);
    if (!control || !w->isVisibleTo(window.get())) continue;
    ++controls;
    const QString name = w->metaObject()->className() + QStringLiteral(" ") +
                         (qobject_cast<QAbstractButton*>(w) ? qobject_cast<QAbstractButton*>(w)->text() : QString());
    EXPECT_FALSE(w->toolTip().isEmpty()) << name.toStdString();
    // The request a resting mouse makes shows that text.
    const QPoint centre = w->rect().center();
    QHelpEvent request(QEvent::ToolTip, centre, w->mapToGlobal(centre));
    QApplication::sendEvent(w, &request);
    EXPECT_EQ(QToolTip::text(), w->toolTip()) << name.toStdString();
  }
  QToolTip::hideText();
  // The study shows its first column (seed, model, the two sequence buttons,
  // Vert, Edge, Tri, Add New, the two modes, Erase Current, the export folder
  // and its button); the research window adds the run, the ten feature rows
  // and the tools.
  EXPECT_GE(controls, studyMode ? 13 : 60);
}
