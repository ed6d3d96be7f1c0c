#pragma once

#include <QString>

class QWidget;
class SideGLWidget;
class Sorvex;
struct ExportResult;

// The GUI side of the export buttons: run the export and tell the user how
// it went in a modal message box. `modelPath` and `exportName` are the texts
// of the model path and export name fields. A null engine does nothing.

// "Export OBJ File".
void runExportObj(QWidget* parent, Sorvex* engine, const QString& modelPath, const QString& exportName);

// "Export Contours".
void runExportContours(QWidget* parent, Sorvex* engine, const QString& modelPath, const QString& exportName);

// "Compute Matrix A": writes "AandC.m" in the working directory. Only a
// failure is shown (message box); success goes to the debug log.
void runComputeMatrixA(QWidget* parent, Sorvex* engine);

// "Draw Bin Space": drop the side view's compiled bins, then show or hide it.
void runToggleDrawBinSpace(SideGLWidget* sideView, bool drawBinSpace);

// The message box of an export (exposed for the tests).
void showExportResult(QWidget* parent, const ExportResult& result);
