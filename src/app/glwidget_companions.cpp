// The research panel's companion controls: computing a segmentation and the
// symmetry where a model has no file for them, saving what the loaded model
// has in the files' own formats, and the model's warnings.
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <mutex>

#include "app/glwidget.h"
#include "engine/sorvex.h"
#include "engine/symmetry_detection.h"
#include "export/export_paths.h"
#include "model/render_mesh.h"
#include "model/auto_segmentation.h"

namespace {

// "<export dir>/<model name><suffix>", the model name without its extension.
QString companionExportPath(const QString& modelPath, const QString& exportName, const QString& suffix) {
  const ExportPaths paths = exportPaths(modelPath, exportName);
  QString name = QFileInfo(paths.last).completeBaseName();
  if (name.isEmpty()) name = paths.last;
  return QDir(paths.dir).filePath(name + suffix);
}

}  // namespace

void GLWidget::SetAutoCompanions() {
  engine_->autoSegmentation = autoSegmentationCheck->isChecked();
  engine_->autoSymmetry = autoSymmetryCheck->isChecked();
}

void GLWidget::saveCompanion(const QString& suffix, bool loaded,
                             const std::function<bool(const QString&, QString*)>& write) {
  const QString file = companionExportPath(modelPathEdit->text(), exportFolderEdit->text(), suffix);
  QString why;
  bool ok = loaded;
  if (!ok) why = tr("no model is loaded");
  if (ok) {
    makeExportDirectory(exportPaths(modelPathEdit->text(), exportFolderEdit->text()));
    ok = write(file, &why);
  }
  if (!ok) qDebug("Cannot write %s: %s", qPrintable(file), qPrintable(why));
  if (showMessage) showMessage(this, exportMessage(file, ok) + (ok ? QString() : QStringLiteral("\n") + why));
}

void GLWidget::SaveSegmentation() {
  if (refuseDuringRun()) return;
  QVector<int> faceSegment;
  {
    std::lock_guard<StateLock> lock(engine_->stateMutex);
    faceSegment = engine_->faceSegment;
  }
  saveCompanion(QStringLiteral("_0.seg"), !faceSegment.isEmpty(), [&](const QString& file, QString* why) {
    return writeSegmentationFile(file, faceSegment, why);
  });
}

void GLWidget::SaveSymmetry() {
  if (refuseDuringRun()) return;
  QList<CutPlane> planes;
  QList<Axis> axes;
  bool loaded = false;
  {
    std::lock_guard<StateLock> lock(engine_->stateMutex);
    planes = engine_->symmetryPlanes;
    axes = engine_->symmetryAxes;
    loaded = !engine_->renderMesh->faces().isEmpty();
  }
  saveCompanion(QStringLiteral(".sym"), loaded, [&](const QString& file, QString* why) {
    return writeSymmetryFile(file, planes, axes, why);
  });
}

void GLWidget::showModelWarnings() {
  if (!modelWarningsLabel) return;
  QStringList lines;
  {
    std::lock_guard<StateLock> lock(engine_->stateMutex);
    lines = engine_->companions.warnings;
    if (!engine_->runStopRule.isEmpty() && engine_->planes.isEmpty())
      lines << tr("No plane was accepted (%1): lower \"Bin Select Threshold\" or set \"Planes\".")
                   .arg(engine_->runStopRule);
  }
  modelWarningsLabel->setText(lines.join(QLatin1Char('\n')));
  modelWarningsLabel->setVisible(!lines.isEmpty());
}
