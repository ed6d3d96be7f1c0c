// Loading a model: the curvature mesh, the render mesh and the companion
// files (segmentation, symmetry), then optionally the participants' cuts.

#include <QDebug>
#include <QFileInfo>
#include <QString>
#include <QVector>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/sorvex.h"
#include "model/assimp_reader.h"
#include "model/companion_files.h"
#include "model/curvature_mesh.h"
#include "model/derived_companions.h"
#include "model/foreign_read.h"
#include "model/loaded_model.h"
#include "model/mesh_file.h"
#include "model/render_mesh.h"
#include "trimesh/trimesh.h"

namespace {

enum class ModelFormat { Off, Obj, Assimp, Unknown };

// The format follows the last four characters of the path, in any case.
ModelFormat modelFormat(const QString& path) {
  const QString ext = path.right(4).toLower();
  if (path.size() >= 4 && ext == QLatin1String(".off")) return ModelFormat::Off;
  if (path.size() >= 4 && ext == QLatin1String(".obj")) return ModelFormat::Obj;
  if (isAssimpModelPath(path)) return ModelFormat::Assimp;
  return ModelFormat::Unknown;
}

}  // namespace

namespace {

void report(LoadControl* control, int thousandths, const char* stage) {
  if (control && control->progress) control->progress(thousandths, stage);
}

bool cancelled(LoadControl* control) { return control && control->cancel.load(); }

// Logs why `path` was not loaded and keeps the reason for the user.
bool refuse(LoadControl* control, const char* path, const QString& reason) {
  qDebug("Unable to load %s: %s", path, qPrintable(reason));
  if (control) control->failure = reason;
  return false;
}

// The companion step (model/derived_companions.h) on a thread of its own,
// beside the curvature chain: that chain keeps one core busy for most of a
// load, and the companions need only the render mesh. The thread works with
// a control of its own: the same switches, no progress calls (the caller's
// progress is reported from the caller's thread only), and a cancel flag that
// finish() and abandon() raise when the caller's is raised. Nothing else of
// `out` may be touched until finish() or abandon() has returned. When no
// thread can be had, finish() runs the step itself.
class CompanionsAside {
 public:
  CompanionsAside(const QString& path, const char* segmentationPath, LoadedModel& out, LoadControl* control)
      : path_(path),
        segmentationPath_(segmentationPath ? QByteArray(segmentationPath) : QByteArray()),
        hasSegmentationPath_(segmentationPath != nullptr),
        out_(out),
        control_(control) {
    if (control) {
      side_.autoSegmentation = control->autoSegmentation;
      side_.autoSymmetry = control->autoSymmetry;
    }
    try {
      thread_ = std::thread([this] {
        const bool ok = provideCompanions(path_, segmentationPathOrNull(), out_, &side_);
        std::lock_guard<std::mutex> lock(mutex_);
        ok_ = ok;
        done_ = true;
        doneChanged_.notify_all();
      });
    } catch (const std::system_error&) {
      qDebug("No thread for the companion files: they are read after the curvature.");
    }
  }
  ~CompanionsAside() { abandon(); }
  CompanionsAside(const CompanionsAside&) = delete;
  CompanionsAside& operator=(const CompanionsAside&) = delete;

  // Waits for the step, passing on a cancel of the caller's meanwhile. False
  // when it was cancelled.
  bool finish() {
    if (!thread_.joinable()) return provideCompanions(path_, segmentationPathOrNull(), out_, control_);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      while (!done_) {
        if (control_ && control_->cancel.load()) side_.cancel = true;
        doneChanged_.wait_for(lock, std::chrono::milliseconds(20));
      }
    }
    thread_.join();
    return ok_ && !(control_ && control_->cancel.load());
  }

  // Stops the step and waits for it (the load failed or was cancelled).
  void abandon() {
    side_.cancel = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  const char* segmentationPathOrNull() const { return hasSegmentationPath_ ? segmentationPath_.constData() : nullptr; }

  const QString path_;
  const QByteArray segmentationPath_;
  const bool hasSegmentationPath_;
  LoadedModel& out_;
  LoadControl* const control_;
  LoadControl side_;
  std::mutex mutex_;
  std::condition_variable doneChanged_;
  bool done_ = false;
  bool ok_ = false;
  std::thread thread_;
};

// The curvature chain of a freshly read mesh (as prepareCurvatureMesh), with
// progress between the steps and cancellation inside the smoothing.
bool prepareCurvature(TriMesh& mesh, float smooth, LoadControl* control) {
  const std::atomic<bool>* cancel = control ? &control->cancel : nullptr;
  report(control, 150, "Computing curvatures");
  mesh.build_strips();
  mesh.compute_bounding_sphere();
  mesh.compute_normals();
  mesh.compute_curvatures();
  if (cancelled(control)) return false;
  report(control, 250, "Computing curvature derivatives");
  mesh.compute_curv_derivs();
  if (cancelled(control)) return false;
  report(control, 350, "Smoothing curvatures");
  if (control && control->plainSmoothing) {
    mesh.smooth_curvatures_plain(smooth);
    report(control, 600, "Smoothing curvature derivatives");
    mesh.smooth_curv_derivs_plain(smooth);
    return !cancelled(control);
  }
  const SmoothingMethod method = control ? control->smoothing : SmoothingMethod::Auto;
  return smoothCurvatureData(mesh, smooth, method, cancel,
                             [control] { report(control, 600, "Smoothing curvature derivatives"); });
}

}  // namespace

bool buildModel(const char* path, const char* segmentationPath, float curvatureSmooth, LoadedModel& out,
                LoadControl* control) {
  if (!path || !*path) {
    qDebug("No model path given");
    return false;
  }
  const QString newPath = QString::fromLocal8Bit(path);
  const ModelFormat format = modelFormat(newPath);
  if (format == ModelFormat::Unknown)
    return refuse(control, path, QStringLiteral("not a model file type (.off, .obj, %1)").arg(assimpModelPatterns()));

  const QFileInfo info(newPath);
  if (!info.exists()) return refuse(control, path, QStringLiteral("no such file"));
  if (!info.isFile()) return refuse(control, path, QStringLiteral("not a regular file"));

  // Every format gives both meshes from one reading; the assimp reader's
  // formats in a child process that a hostile file can only take down itself.
  report(control, 0, "Reading");
  QVector<Vec3> vertices;
  RenderFaces faces;  // foreign formats
  QVector<int> triangles;       // OFF and OBJ: three indices per face
  std::shared_ptr<TriMesh> newTriMesh;
  bool renderRead = true;
  if (format == ModelFormat::Assimp) {
    ForeignReadLimits limits;
    if (control) {
      limits.cancel = &control->cancel;
      limits.seconds = control->foreignReadSeconds;
      limits.memoryBytes = control->foreignReadBytes;
    }
    QString error;
    const ForeignReadStatus read = readForeignMesh(newPath, vertices, faces, error, limits);
    if (read == ForeignReadStatus::Cancelled) {
      qDebug("Loading %s cancelled", path);
      return false;
    }
    if (read != ForeignReadStatus::Read) return refuse(control, path, error);
    newTriMesh = triMeshFromGeometry(vertices, faces);
  } else {
    MeshFileReading reading;
    readMeshFile(path, format == ModelFormat::Obj, reading);
    newTriMesh = std::move(reading.triMesh);
    vertices = std::move(reading.vertices);
    triangles = std::move(reading.triangles);
    renderRead = reading.renderRead;
  }
  if (!newTriMesh) return refuse(control, path, QStringLiteral("not readable as a mesh"));
  if (cancelled(control)) return false;
  report(control, 80, "Reading the render mesh");
  if (!renderRead) return refuse(control, path, QStringLiteral("the render mesh cannot be read"));
  if (vertices.isEmpty()) {
    // For example OBJ text in a file named .off: the mesh library reads it by
    // its content, the render mesh by its name, and the two would disagree.
    return refuse(control, path, QStringLiteral("no vertices for its file type"));
  }
  if (!renderGeometryFits(path, vertices, newTriMesh->vertices.size())) {
    if (control) control->failure = QStringLiteral("its vertices are inconsistent or not finite numbers");
    return false;
  }
  if (cancelled(control)) return false;

  report(control, 100, "Building the render mesh");
  if (format == ModelFormat::Assimp)
    out.renderMesh.setGeometry(vertices, faces);
  else
    out.renderMesh.setTriangleGeometry(vertices, triangles);
  out.renderMesh.flipFaceNormals();

  CompanionsAside companions(newPath, segmentationPath, out, control);
  if (!prepareCurvature(*newTriMesh, curvatureSmooth, control)) {
    companions.abandon();
    qDebug("Loading %s cancelled", path);
    return false;
  }
  report(control, 900, "Reading companion files");
  if (!companions.finish()) {
    qDebug("Loading %s cancelled", path);
    return false;
  }

  out.emptyBins.reset(new BinSpace);
  out.path = newPath;
  out.triMesh = newTriMesh;
  if (cancelled(control)) return false;
  report(control, 1000, "Installing");
  return true;
}

bool Sorvex::installModel(LoadedModel& model, const QString& label, bool loadHumanCuts) {
  // The selection run reads the model; replacing it under the run would pull
  // it from under its feet.
  if (isRunning()) {
    qDebug("Cannot load %s while the plane-selection run is in progress", model.path.toLocal8Bit().constData());
    return false;
  }
  if (!model.triMesh || model.renderMesh.vertices().isEmpty() || !model.emptyBins) return false;
  {
    // Only swaps and implicitly shared copies under the lock; the previous
    // model's meshes and votes leave in `model`, for the caller to release.
    std::lock_guard<StateLock> lock(stateMutex);
    modelPath = model.path;
    std::swap(triMesh, model.triMesh);

    segmentPlanes.clear();
    segmentAxes.clear();
    ridgePieces.clear();
    ridgeAxes.clear();
    valleyPieces.clear();
    valleyAxes.clear();
    globalXYZPlanes.clear();
    globalPCAPlanes.clear();
    perpendicularSupportPlanes.clear();
    symmetricSupportPlanes.clear();
    features.clear();

    std::swap(*renderMesh, model.renderMesh);

    clearPlanes();
    // The bins, the selected bins and their reports were the previous model's.
    const float threshold = bins.binSelectThreshold();
    std::swap(bins, *model.emptyBins);
    bins.setBinSelectThreshold(threshold);
    std::swap(bins.displayList, model.emptyBins->displayList);
    std::swap(bins.typeColours, model.emptyBins->typeColours);
    selectedBins.clear();
    selectedPlanes.clear();

    std::swap(faceSegment, model.faceSegment);
    segmentCount = model.segmentCount;
    symmetryPlanes = model.symmetryPlanes;
    symmetryAxes = model.symmetryAxes;
    companions = model.companions;
    runStopRule.clear();

    humanCuts.clear();
    humanCutColours.clear();
    // The participants' cuts gathered beside the build; their votes came
    // with the bins.
    if (loadHumanCuts && model.humanCuts.gathered) {
      humanCuts = model.humanCuts.cuts;
      humanCutColours = model.humanCuts.colours;
      for (const SectionPlane& p : qAsConst(model.humanCuts.consensus)) planes.append(p);
      uniqueHumanCuts = model.humanCuts.unique;
      palette = model.humanCuts.palette;
    }
  }

  // Hand-over to the participants' cuts of this model: the study tables, or
  // the whole reading when it was not done beside the build.
  const QString study = label.isEmpty() ? modelPath : label;
  if (loadHumanCuts && model.humanCuts.gathered)
    recordHumanCutRows(study, model.humanCuts.rows);
  else if (loadHumanCuts)
    readHumanCuts(study);
  return true;
}

bool Sorvex::loadModel(const char* path, const char* label, const char* segmentationPath, bool loadHumanCuts) {
  if (isRunning()) {
    qDebug("Cannot load %s while the plane-selection run is in progress", path ? path : "");
    return false;
  }
  LoadedModel model;
  LoadControl control;
  control.plainSmoothing = plainSmoothing;
  control.smoothing = smoothingMethod;
  control.autoSegmentation = autoSegmentation;
  control.autoSymmetry = autoSymmetry;
  if (!buildModel(path, segmentationPath, curvatureSmooth, model, &control)) return false;
  if (loadHumanCuts) ::gatherHumanCuts(model, humanCutSettingsOf(*this));
  return installModel(model, label ? QString::fromLocal8Bit(label) : model.path, loadHumanCuts);
}
