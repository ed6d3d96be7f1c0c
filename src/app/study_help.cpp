// What the window tells a participant without being asked for it: tooltips,
// the status line under the view, the sequence position, the question before
// unexported planes are left behind, and the F1 sheet of mouse and key
// actions. None of it changes the sequence, the seeds or the exported files.
#include "app/study_help.h"

#include <QCheckBox>
#include <QDebug>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/glwidget.h"
#include "app/model_sequence.h"
#include "app/undo_history.h"
#include "app/study_mode.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"

namespace {

// The models "Plane 1" to "Plane 5" are aeroplanes; the cut planes in the
// list are "Plane0", "Plane1", ...
bool isAeroplaneLabel(const QString& label) { return label.startsWith(QStringLiteral("Plane ")); }

// What only the research window has: its menu bar and dropped files.
QString researchSheetText() {
  if (studyMode) return QString();
  return QObject::tr(
      "<p><b>Research window:</b> the menus hold loading, recent files, the exports, a screenshot, the views and "
      "the drawing switches; Ctrl+O loads, and a model file dropped onto the window loads as with Load....</p>");
}

}  // namespace

QString shortcutSheetText() {
  return QObject::tr(
      "<h3>Mouse and keys</h3>"
      "<table cellspacing='4'>"
      "<tr><td colspan='2'><b>The current plane, with &ldquo;Default&rdquo;</b></td></tr>"
      "<tr><td>Drag a light edge</td><td>turn the plane about that edge's direction</td></tr>"
      "<tr><td>Drag the red or green line</td><td>slide the plane along its normal</td></tr>"
      "<tr><td colspan='2'><b>The current plane, with &ldquo;3-Ball&rdquo;</b></td></tr>"
      "<tr><td>Drag the blue ball</td><td>move the plane's centre onto the surface under the mouse</td></tr>"
      "<tr><td>Drag the amber ball</td><td>turn the plane's first direction towards that point</td></tr>"
      "<tr><td>Drag the violet ball</td><td>tilt the plane through that point</td></tr>"
      "<tr><td colspan='2'>The plane always passes through the three balls.</td></tr>"
      "<tr><td colspan='2'>A press a few pixels off a line or ball still grabs it; the pointer turns into a hand "
      "(or a four-way arrow over the red and green lines) where a press would grab.</td></tr>"
      "<tr><td colspan='2'><b>The view</b></td></tr>"
      "<tr><td>Left drag elsewhere</td><td>turn the view about the model</td></tr>"
      "<tr><td>Right drag</td><td>move closer (down) or farther away (up)</td></tr>"
      "<tr><td>Mouse wheel</td><td>zoom in (forward) or out (back)</td></tr>"
      "<tr><td>Middle drag, or Shift + left drag</td><td>pan: slide the view sideways</td></tr>"
      "<tr><td>F</td><td>fit the whole model in the view</td></tr>"
      "<tr><td>Home</td><td>back to the opening view</td></tr>"
      "<tr><td>1, 3, 7</td><td>look from the front, the right, the top (with Ctrl: back, left, bottom)</td></tr>"
      "<tr><td>A, S</td><td>roll the view left or right</td></tr>"
      "<tr><td>X, Y, Z</td><td>set the current plane across that axis, through the model's centre</td></tr>"
      "<tr><td>PgUp</td><td>back to the previous model of the sequence</td></tr>"
      "<tr><td colspan='2'><b>Undo</b></td></tr>"
      "<tr><td>Ctrl+Z</td><td>undo the last plane edit (add, erase, turn, slide, move; a whole drag is one "
      "step)</td></tr>"
      "<tr><td>Ctrl+Shift+Z</td><td>redo it</td></tr>"
      "<tr><td colspan='2'>Loading the next model starts a new history.</td></tr>"
      "<tr><td>F1</td><td>this sheet</td></tr>"
      "<tr><td colspan='2'><b>The panel</b></td></tr>"
      "<tr><td>Seed number</td><td>your participant number; fixed once the first model is loaded</td></tr>"
      "<tr><td>Load From Sequence</td><td>the next model (asks first if planes are not exported)</td></tr>"
      "<tr><td>Previous Model, or PgUp in the view</td><td>back to the model before, with the planes you left "
      "on it (asks first if planes are not exported); Load From Sequence then goes on to the later models with "
      "their planes</td></tr>"
      "<tr><td>Vert, Edge, Tri</td><td>show the model's vertices, edges, surface</td></tr>"
      "<tr><td>Add New</td><td>a new cut plane beside the model</td></tr>"
      "<tr><td>Plane list</td><td>your cut planes (Plane0, Plane1, &hellip;) with their areas; click one to make it "
      "current</td></tr>"
      "<tr><td>Erase Current</td><td>delete the selected plane</td></tr>"
      "<tr><td>Export folder</td><td>your name; the files go to ../ + this folder</td></tr>"
      "<tr><td>Export OBJ File</td><td>save this model's planes</td></tr>"
      "</table>"
      "<p>The models &ldquo;Plane 1&rdquo; to &ldquo;Plane 5&rdquo; are aeroplanes, not cut planes.</p>") +
         researchSheetText();
}

QDialog* createShortcutSheet(QWidget* parent) {
  auto* sheet = new QDialog(parent);
  sheet->setObjectName(QStringLiteral("shortcutSheet"));
  sheet->setWindowTitle(QObject::tr("Korvane: mouse and keys"));
  auto* layout = new QVBoxLayout(sheet);
  auto* text = new QLabel(shortcutSheetText(), sheet);
  text->setTextFormat(Qt::RichText);
  text->setWordWrap(true);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, sheet);
  QObject::connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::hide);
  layout->addWidget(buttons);
  return sheet;
}

// ---- GLWidget: help texts and the study's progress ----

void GLWidget::applyHelpTexts() {
  seedSpin->setToolTip(
      tr("Your participant number. It fixes the order of the models when the first model is "
         "loaded, and cannot change after that."));
  modelPathEdit->setToolTip(
      tr("The model on screen; the exported files are named after it. \"Plane 1\" to "
         "\"Plane 5\" are aeroplanes, not cut planes."));
  loadFromSequenceButton->setToolTip(
      tr("Load the next model of the sequence (a model you have been on comes back with its planes). Export "
         "your planes first: only \"Export OBJ File\" writes them to a file."));
  previousModelButton->setToolTip(
      tr("Go back to the model before this one, with the planes you left on it (PgUp in the view)"));
  vertCheck->setToolTip(tr("Show the model's vertices"));
  edgeCheck->setToolTip(tr("Show the model's edges"));
  triCheck->setToolTip(tr("Show the model's surface (off: the planes show as filled slabs)"));
  addNewButton->setToolTip(tr("Add a cut plane beside the model; drag its edges, lines or balls to place it"));
  planeList->setToolTip(
      tr("Your cut planes on this model (Plane0, Plane1, ...) with the area each cuts; click one "
         "to make it the current plane"));
  defaultManipulationRadio->setToolTip(
      tr("Drag a light edge of the current plane to turn it, the red or green line to slide it"));
  threeBallManipulationRadio->setToolTip(
      tr("The plane passes through three balls (blue, amber, violet): drag one onto the model's surface"));
  eraseCurrentButton->setToolTip(tr("Delete the plane selected in the list"));
  exportFolderEdit->setToolTip(tr("Your name: the files are written to the folder ../ followed by this name"));
  exportObjButton->setToolTip(tr("Save this model's planes, their slabs and the model as OBJ files"));
  applyResearchHelpTexts();
  statusBar->setToolTip(tr("Press F1 for all mouse and key actions"));
  statusBar->showMessage(studyMode ? tr("Set your seed number, then press \"Load From Sequence\". "
                                        "F1 lists the mouse and key actions.")
                                   : tr("F1 lists the mouse and key actions."));
  showSequenceStatus();
}

// The research controls; they exist in the study build too, unplaced.
void GLWidget::applyResearchHelpTexts() {
  loadButton->setToolTip(tr("Choose a model file (OFF, OBJ, PLY, STL, glTF and more) and load it (Ctrl+O)"));
  exportContoursButton->setToolTip(
      tr("Save the contours of every plane, with the sides each edge separates, as a .contour file"));
  exportMatrixButton->setToolTip(
      tr("Write AandC.m: how much each feature family votes for each plane, for an external solver"));
  exportSvgButton->setToolTip(tr("Save the outlines of the slabs as an SVG drawing"));
  coverAllSegmentsCheck->setToolTip(tr("Below the threshold, the run goes on taking planes that cut mesh segments no plane cuts yet"));
  binningButton->setToolTip(
      tr("Run the automatic plane selection: features vote for planes, the strongest are refined and "
         "accepted (press again to stop)"));
  binSelectThresholdSpin->setToolTip(tr("Vote total a plane needs to be accepted by the run"));
  clearPlanesOnRunCheck->setToolTip(tr("Clear the plane list when a run starts (off: the run adds its planes)"));
  curvatureThresholdSpin->setToolTip(tr("Threshold of the ridge and valley features: weaker curvature lines are left out"));
  curvatureSmoothSpin->setToolTip(tr("Width of the curvature smoothing, in model units; takes effect at the next load"));
  drawMeshFeaturesCheck->setToolTip(tr("Draw the features the run votes with (feature planes, axes, ridges, valleys)"));
  drawOutputCheck->setToolTip(tr("Draw the planes (their contours, or their slabs with \"Output Triangulate\")"));
  outputTriangulateCheck->setToolTip(tr("Draw each plane as its solid slab (off: its contours only)"));
  outputColouredCheck->setToolTip(tr("Colour each plane's contours by its place in the list"));
  humanCutsCheck->setToolTip(tr("Load the study participants' cuts with the next model and draw them"));
  useSegmentationCheck->setToolTip(tr("Sections and drawing take the mesh segmentation into account"));
  hermiteInterpCheck->setToolTip(tr("Bridge the gaps of a contour with Hermite curves"));
  hermiteTanFactorSpin->setToolTip(tr("Tangent factor of the Hermite bridges"));
  drawBinSpaceCheck->setToolTip(tr("Show the bin space of plane votes in a window of its own"));
  annotateModeCheck->setToolTip(tr("Draw strokes onto the plane under the mouse instead of moving planes"));
  meshDecimateButton->setToolTip(tr("Simplify the model: remove about 40 % of its vertices, the flattest first (Ctrl+Z takes it back)"));
  meshNoisifyButton->setToolTip(tr("Move every vertex by a small random offset (Ctrl+Z takes it back)"));
  cutsSegmentifyButton->setToolTip(tr("Split every plane into one plane per mesh segment it cuts"));
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    const QString name = QString::fromLatin1(kFeatureTypeNames[t]);
    featureCheck[t]->setToolTip(tr("Let the %1 features vote in the next run").arg(name));
    featureWeightSpin[t]->setToolTip(tr("Weight of each vote of the %1 features").arg(name));
    featureRadiusSpin[t]->setToolTip(tr("Plane distance at which the votes of the %1 features fade out").arg(name));
  }
}

bool GLWidget::hasUnexportedPlanes() const {
  if (!engine_) return false;
  // A run that holds the planes for long is changing them: unexported.
  const bool guarded = selectionRunActive();
  if (guarded && !engine_->stateMutex.tryLock(50)) return true;
  const bool unexported = !engine_->planes.isEmpty() && journalFingerprint() != exportedState_;
  if (guarded) engine_->stateMutex.unlock();
  return unexported;
}

bool GLWidget::confirmLeavingModel() { return confirmUnexportedPlanes(false); }

bool GLWidget::confirmClosing() { return confirmUnexportedPlanes(true); }

bool GLWidget::confirmUnexportedPlanes(bool closing) {
  if (!hasUnexportedPlanes()) return true;
  const int n = engine_->planes.size();
  QMessageBox box(this);
  box.setObjectName(closing ? QStringLiteral("closeWindowBox") : QStringLiteral("leaveModelBox"));
  box.setIcon(QMessageBox::Warning);
  box.setWindowTitle(tr("Korvane"));
  box.setText(n == 1 ? tr("1 plane on \"%1\" has not been exported.").arg(modelPathEdit->text())
                     : tr("%1 planes on \"%2\" have not been exported.").arg(n).arg(modelPathEdit->text()));
  box.setInformativeText(closing ? tr("Closing Korvane loses them: no file holds them.")
                                 : tr("They stay with the model until Korvane closes (going back to it brings "
                                      "them back), but no file holds them."));
  QPushButton* exportButton =
      box.addButton(closing ? tr("&Export, Then Close") : tr("&Export, Then Go On"), QMessageBox::AcceptRole);
  QPushButton* discardButton = box.addButton(
      closing ? tr("&Close Without Exporting") : tr("&Go On Without Exporting"), QMessageBox::DestructiveRole);
  QPushButton* stayButton =
      box.addButton(closing ? tr("C&ancel") : tr("&Stay on This Model"), QMessageBox::RejectRole);
  box.setDefaultButton(stayButton);
  box.setEscapeButton(stayButton);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  if (box.clickedButton() == discardButton) return true;
  if (box.clickedButton() != exportButton) return false;
  ExportOBJ();
  return !hasUnexportedPlanes();  // a failed export stays on the model
}

void GLWidget::lockSeed() {
  seedSpin->setEnabled(false);
  seedSpin->setToolTip(tr("Seed %1 fixed the order of the models when the first model was loaded; it stays for "
                          "this session.")
                           .arg(seedSpin->value()));
}

void GLWidget::showSequenceStatus() {
  const int n = sequencePaths.size();
  previousModelButton->setEnabled(!studyComplete_ && sequenceShown_ >= 1 && sequenceShown_ < n);
  if (studyComplete_) {
    sequenceProgressLabel->setText(tr("Study complete"));
    return;
  }
  if (n == 0) {
    sequenceProgressLabel->setText(studyMode ? tr("Not started") : QString());
    return;
  }
  // sequenceIndex names the next model: the one on screen is the one before.
  const int shown = sequenceIndex <= 0 ? n : qMin(sequenceIndex, n);
  sequenceProgressLabel->setText(tr("Model %1 of %2").arg(shown).arg(n));
  const QString label = sequenceLabels.value(shown - 1);
  QString line = tr("Model %1 of %2: %3").arg(shown).arg(n).arg(label);
  if (isAeroplaneLabel(label)) line += tr(" (an aeroplane)");
  line += tr(". Seed %1 fixes the order. \"Add New\" adds a cut plane; F1 lists the mouse and key actions.")
              .arg(seedSpin->value());
  statusBar->showMessage(line);
}

void GLWidget::finishStudy() {
  studyComplete_ = true;
  sequenceShown_ = -1;
  engine_->clearPlanes();
  history_->clear();
  updateUndoActions();
  clearJournal();
  exportedState_ = journalFingerprint();
  UpdatePlaneList();
  loadFromSequenceButton->setEnabled(false);
  loadFromSequenceButton->setToolTip(
      tr("All %1 models have been shown: the study is complete.").arg(sequencePaths.size()));
  showSequenceStatus();
  statusBar->showMessage(tr("Study complete: all %1 models are done. Thank you!").arg(sequencePaths.size()));
  redraw(true);
  if (showMessage)
    showMessage(this, tr("Study complete. All %1 models are done. Thank you!").arg(sequencePaths.size()));
}

bool GLWidget::refuseExportWithoutModel() {
  if (engine_->renderMesh && !engine_->renderMesh->faces().isEmpty()) return false;
  qDebug("Export refused: no model is loaded");
  if (showMessage)
    showMessage(this, studyMode ? tr("Nothing to export yet: no model is loaded. Set your seed number and press "
                                     "\"Load From Sequence\" first.")
                                : tr("Nothing to export yet: no model is loaded."));
  return true;
}
