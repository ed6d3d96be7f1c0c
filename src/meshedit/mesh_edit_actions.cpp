// The engine's mesh editing operations: decimation, noise and cut-based
// segmentation. Each changes the model or the plane list that the
// plane-selection run reads without a lock of its own, so each is refused
// while a run is active. Afterwards everything derived from the mesh that the
// user sees (sections, slabs, areas) and the curvature mesh of the next run
// follow the edited geometry.

#include <QDebug>

#include "engine/sorvex.h"
#include "meshedit/cut_segmentation.h"
#include "meshedit/decimate.h"
#include "meshedit/noise.h"
#include "model/companion_files.h"
#include "model/render_mesh.h"

bool Sorvex::decimateMesh() {
  if (isRunning()) {
    qDebug("Decimation refused: a plane-selection run is in progress");
    return false;
  }
  if (!renderMesh) return false;
  if (!::decimateMesh(*renderMesh, faceSegment)) return false;
  if (!faceSegment.isEmpty()) segmentCount = countSegments(faceSegment);
  syncTriMesh();
  updateAllSections();
  return true;
}

bool Sorvex::noisifyMesh() {
  if (isRunning()) {
    qDebug("Noise refused: a plane-selection run is in progress");
    return false;
  }
  if (!renderMesh) return false;
  ::noisifyMesh(*renderMesh);
  syncTriMesh();
  updateAllSections();
  return true;
}

bool Sorvex::segmentCuts() {
  if (isRunning()) {
    qDebug("Cut segmentation refused: a plane-selection run is in progress");
    return false;
  }
  qDebug("Splitting %i cuts across %i segments", int(planes.size()), cutSegmentCount(faceSegment));
  useSegmentation = true;
  planes = splitPlanesBySegment(planes, faceSegment, [this](SectionPlane& plane) { updateSection(plane); });
  currentPlane = kNoPlane;
  return true;
}
