#pragma once

#include <QList>
#include <QString>
#include <QVector>
#include <atomic>
#include <functional>
#include <memory>

#include "engine/bin_space.h"
#include "engine/cut_plane.h"
#include "model/derived_companions.h"
#include "model/foreign_read.h"
#include "model/human_cuts.h"
#include "model/render_mesh.h"
#include "trimesh/smoothing_method.h"

class TriMesh;

// A model read and prepared for the engine but not yet installed: both
// meshes with the curvature chain done, the companion data, and an empty bin
// space that replaces the previous model's votes. Built on any thread by
// buildModel; installed on the GUI thread by Sorvex::installModel.
struct LoadedModel {
  QString path;
  std::shared_ptr<TriMesh> triMesh;
  RenderMesh renderMesh;
  QVector<int> faceSegment;
  int segmentCount = 1;
  QList<CutPlane> symmetryPlanes;
  QList<Axis> symmetryAxes;
  // Where the segmentation and symmetry came from, and the warnings.
  CompanionReport companions;
  std::unique_ptr<BinSpace> emptyBins;
  // The participants' cuts, when gathered beside the build (their votes are
  // then in emptyBins).
  humancuts::GatheredHumanCuts humanCuts;
};

// Progress and cancellation of a build. `progress` (optional) is called on
// the building thread with thousandths (0 .. 1000) and the stage's name;
// `cancel` is polled between stages and inside the smoothing.
struct LoadControl {
  std::atomic<bool> cancel{false};
  // Smooth with the plain one-thread filter (the yardstick for tests).
  bool plainSmoothing = false;
  // Which curvature filter to use (curvature_mesh.h); the mesh records the
  // one used.
  SmoothingMethod smoothing = SmoothingMethod::Auto;
  // Where a model has no segmentation or symmetry file, compute one.
  bool autoSegmentation = false;
  bool autoSymmetry = false;
  std::function<void(int thousandths, const char* stage)> progress;
  // Limits of a foreign format's reading child (model/foreign_read.h); 0:
  // the limits by the file's size.
  int foreignReadSeconds = 0;
  long long foreignReadBytes = 0;
  // Why the build failed, in a few words for the user (empty when it did not
  // fail or was cancelled).
  QString failure;
};

// Reads `path` (".off", ".obj" or a foreign format, any case) into both meshes, runs the
// curvature chain with smoothing width `curvatureSmooth`, reads the
// segmentation (`segmentationPath`, or the model's "_0.seg" file when null)
// and the symmetry file. Touches no engine. Returns false, with a debug
// line, when the model cannot be read or the build was cancelled.
bool buildModel(const char* path, const char* segmentationPath, float curvatureSmooth, LoadedModel& out,
                LoadControl* control = nullptr);
