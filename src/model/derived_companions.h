#pragma once

#include <QString>
#include <QStringList>

class RenderMesh;
struct LoadedModel;
struct LoadControl;

// Where a model's segmentation or symmetry came from.
enum class CompanionSource { File, Computed, None };

// Name of a source as the summary and the debug log give it: "file",
// "computed" or "none".
QString companionSourceName(CompanionSource source);

// What the companion step did for one model: the sources, one line each on
// how, and the warnings a user needs (an open mesh, a missing file and what
// was computed instead, a file that gave nothing).
struct CompanionReport {
  CompanionSource segmentation = CompanionSource::None;
  QString segmentationMethod;
  CompanionSource symmetry = CompanionSource::None;
  QString symmetryMethod;
  QStringList warnings;
};

// Gives `out` (whose render mesh is built) its segmentation and symmetry:
// read from the model's files ("<model>_0.seg", or `segmentationPath` when
// given, and "<model>.sym"); where a file is missing, computed from the mesh
// when the control allows it (LoadControl::autoSegmentation, autoSymmetry).
// A file that exists is always used as it is, even when it gives nothing.
// Every warning also goes to the debug log. False only when cancelled.
bool provideCompanions(const QString& modelPath, const char* segmentationPath, LoadedModel& out,
                       LoadControl* control);

// Edges that belong to exactly one face (first three corners of each face).
int boundaryEdgeCount(const RenderMesh& mesh);
