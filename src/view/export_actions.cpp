#include "view/export_actions.h"

#include <QMessageBox>

#include "export/contour_export.h"
#include "export/export_paths.h"
#include "export/matrix_export.h"
#include "export/obj_export.h"
#include "view/side_glwidget.h"

void showExportResult(QWidget* parent, const ExportResult& result) {
  QMessageBox box(parent);
  box.setText(result.message);
  box.setIcon(result.ok ? QMessageBox::Information : QMessageBox::Warning);
  box.exec();
}

void runExportObj(QWidget* parent, Sorvex* engine, const QString& modelPath, const QString& exportName) {
  if (!engine) return;
  showExportResult(parent, exportObj(*engine, modelPath, exportName));
}

void runExportContours(QWidget* parent, Sorvex* engine, const QString& modelPath, const QString& exportName) {
  if (!engine) return;
  showExportResult(parent, exportContours(*engine, modelPath, exportName));
}

void runComputeMatrixA(QWidget* parent, Sorvex* engine) {
  if (!engine) return;
  const QString path = QString::fromLatin1(kMatrixFileName);
  if (exportMatrix(*engine, path)) return;
  ExportResult failed;
  failed.failedFiles << path;
  failed.message = exportMessage(path, false);
  if (engine->isRunning()) failed.message += QStringLiteral("\nThe plane selection is still running.");
  showExportResult(parent, failed);
}

void runToggleDrawBinSpace(SideGLWidget* sideView, bool drawBinSpace) {
  if (sideView) sideView->setBinSpaceShown(drawBinSpace);
}
