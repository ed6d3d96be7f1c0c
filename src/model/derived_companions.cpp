#include "model/derived_companions.h"

#include <QDebug>
#include <QFileInfo>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/symmetry_detection.h"
#include "model/auto_segmentation.h"
#include "model/companion_files.h"
#include "model/loaded_model.h"
#include "model/render_mesh.h"

namespace {

bool cancelled(const LoadControl* control) { return control && control->cancel.load(); }

void stage(LoadControl* control, int thousandths, const char* name) {
  if (control && control->progress) control->progress(thousandths, name);
}

void warn(CompanionReport& report, const QString& text) {
  report.warnings.append(text);
  qDebug("Warning: %s", text.toLocal8Bit().constData());
}

QString fileName(const QString& path) { return QFileInfo(path).fileName(); }

// The symmetry detection of a mesh on a thread of its own, started at once
// (or, when no thread can be had, on the caller's thread at take()); the
// destructor waits for it.
class SymmetryAside {
 public:
  SymmetryAside(const RenderMesh& mesh, const std::atomic<bool>* cancel) : mesh_(mesh), cancel_(cancel) {
    try {
      thread_ = std::thread([this] { result_ = detectSymmetry(mesh_.vertices(), mesh_.faces(), cancel_); });
    } catch (const std::system_error&) {
      qDebug("No thread for the symmetry detection: it runs after the segmentation.");
    }
  }
  ~SymmetryAside() {
    if (thread_.joinable()) thread_.join();
  }
  SymmetryAside(const SymmetryAside&) = delete;
  SymmetryAside& operator=(const SymmetryAside&) = delete;

  DetectedSymmetry take() {
    if (thread_.joinable())
      thread_.join();
    else
      result_ = detectSymmetry(mesh_.vertices(), mesh_.faces(), cancel_);
    return std::move(result_);
  }

 private:
  const RenderMesh& mesh_;
  const std::atomic<bool>* cancel_;
  DetectedSymmetry result_;
  std::thread thread_;
};

}  // namespace

QString companionSourceName(CompanionSource source) {
  switch (source) {
    case CompanionSource::File:
      return QStringLiteral("file");
    case CompanionSource::Computed:
      return QStringLiteral("computed");
    case CompanionSource::None:
      break;
  }
  return QStringLiteral("none");
}

int boundaryEdgeCount(const RenderMesh& mesh) {
  // Every face's edges as (low, high) pairs, bucketed by their low end with
  // a counting sort; an edge whose high end occurs once in its bucket is a
  // boundary edge. O(V + F) in two flat arrays (a bucket holds the few edges
  // around one vertex).
  const RenderFaces& faces = mesh.faces();
  const int vertexCount = mesh.vertices().size();
  auto edgeOf = [vertexCount](const RenderFace& f, int k, int& low, int& high) {
    int a = f[k], b = f[(k + 1) % 3];
    if (a < 0 || b < 0 || a >= vertexCount || b >= vertexCount || a == b) return false;
    low = std::min(a, b);
    high = std::max(a, b);
    return true;
  };
  std::vector<int> start(size_t(vertexCount) + 1, 0);
  for (const RenderFace& f : faces) {
    if (f.size() < 3) continue;
    int low, high;
    for (int k = 0; k < 3; ++k)
      if (edgeOf(f, k, low, high)) ++start[size_t(low) + 1];
  }
  for (int v = 0; v < vertexCount; ++v) start[size_t(v) + 1] += start[size_t(v)];
  std::vector<int> highEnd(static_cast<size_t>(start[size_t(vertexCount)]));
  std::vector<int> fill(start.begin(), start.end() - 1);
  for (const RenderFace& f : faces) {
    if (f.size() < 3) continue;
    int low, high;
    for (int k = 0; k < 3; ++k)
      if (edgeOf(f, k, low, high)) highEnd[size_t(fill[size_t(low)]++)] = high;
  }
  int boundary = 0;
  for (int v = 0; v < vertexCount; ++v) {
    const auto first = highEnd.begin() + start[size_t(v)], last = highEnd.begin() + start[size_t(v) + 1];
    std::sort(first, last);
    for (auto i = first; i != last;) {
      auto j = i + 1;
      while (j != last && *j == *i) ++j;
      if (j - i == 1) ++boundary;
      i = j;
    }
  }
  return boundary;
}

bool provideCompanions(const QString& modelPath, const char* segmentationPath, LoadedModel& out,
                       LoadControl* control) {
  CompanionReport report;
  const RenderMesh& mesh = out.renderMesh;
  const int faceCount = mesh.faces().size();

  // A symmetry to detect is detected beside the segmentation: the one reads
  // the mesh on a second core while the other mostly waits for its child.
  const QString symFile = companionPath(modelPath, QStringLiteral(".sym"));
  const bool detectSymmetryHere =
      !QFileInfo::exists(symFile) && control && control->autoSymmetry && faceCount > 0;
  std::unique_ptr<SymmetryAside> symmetryAside;
  if (detectSymmetryHere) symmetryAside.reset(new SymmetryAside(mesh, &control->cancel));

  const int open = boundaryEdgeCount(mesh);
  if (open > 0)
    warn(report, QStringLiteral("The mesh is open: %1 boundary edge%2.").arg(open).arg(open == 1 ? "" : "s"));

  // ---- segmentation: one id per render-mesh face ----
  const QString segFile = segmentationPath ? QString::fromLocal8Bit(segmentationPath)
                                           : companionPath(modelPath, QStringLiteral("_0.seg"));
  out.faceSegment.clear();
  if (QFileInfo::exists(segFile)) {
    if (readSegmentation(segFile.toLocal8Bit().constData(), faceCount, out.faceSegment)) {
      report.segmentation = CompanionSource::File;
      report.segmentationMethod = QStringLiteral("file %1").arg(fileName(segFile));
    } else {
      out.faceSegment.fill(0, faceCount);
      warn(report, QStringLiteral("The segmentation file %1 was found but cannot be read; the model is one segment.")
                       .arg(fileName(segFile)));
    }
    if (report.segmentation == CompanionSource::File && faceCount > 0 && countSegments(out.faceSegment) <= 1)
      warn(report, QStringLiteral("The segmentation file %1 gives one segment only.").arg(fileName(segFile)));
  } else if (control && control->autoSegmentation && faceCount > 0) {
    stage(control, 920, "Segmenting");
    const AutoSegmentation computed = computeAutoSegmentation(mesh.vertices(), mesh.faces(), &control->cancel);
    if (cancelled(control)) return false;
    if (computed.failure.isEmpty() && computed.faceSegment.size() == faceCount) {
      out.faceSegment = computed.faceSegment;
      report.segmentation = CompanionSource::Computed;
      report.segmentationMethod = computed.method;
      warn(report, QStringLiteral("No segmentation file (%1): computed one, %2.")
                       .arg(fileName(segFile), computed.method));
    } else {
      out.faceSegment.fill(0, faceCount);
      warn(report, QStringLiteral("No segmentation file (%1), and computing one failed (%2): the model is one segment.")
                       .arg(fileName(segFile), computed.failure));
    }
  } else {
    out.faceSegment.fill(0, faceCount);
    warn(report, QStringLiteral("No segmentation file (%1): the model is one segment.").arg(fileName(segFile)));
  }
  out.segmentCount = countSegments(out.faceSegment);
  if (cancelled(control)) return false;

  // ---- symmetry planes and axes ----
  out.symmetryPlanes.clear();
  out.symmetryAxes.clear();
  if (QFileInfo::exists(symFile)) {
    report.symmetry = CompanionSource::File;
    report.symmetryMethod = QStringLiteral("file %1").arg(fileName(symFile));
    if (!readSymmetry(symFile.toLocal8Bit().constData(), out.symmetryPlanes, out.symmetryAxes))
      warn(report, QStringLiteral("The symmetry file %1 was found but cannot be read.").arg(fileName(symFile)));
    else if (out.symmetryPlanes.isEmpty() && out.symmetryAxes.isEmpty())
      warn(report, QStringLiteral("The symmetry file %1 holds no usable plane or axis.").arg(fileName(symFile)));
  } else if (detectSymmetryHere) {
    stage(control, 960, "Detecting symmetry");
    const DetectedSymmetry detected = symmetryAside->take();
    if (cancelled(control)) return false;
    if (detected.failure.isEmpty()) {
      out.symmetryPlanes = detected.planes;
      out.symmetryAxes = detected.axes;
      report.symmetry = CompanionSource::Computed;
      report.symmetryMethod = detected.method;
      warn(report, QStringLiteral("No symmetry file (%1): detected %2.").arg(fileName(symFile), detected.method));
    } else {
      warn(report, QStringLiteral("No symmetry file (%1), and detecting symmetry failed (%2).")
                       .arg(fileName(symFile), detected.failure));
    }
  } else {
    warn(report, QStringLiteral("No symmetry file (%1): no symmetry planes or axes.").arg(fileName(symFile)));
  }
  out.companions = report;
  return !cancelled(control);
}
