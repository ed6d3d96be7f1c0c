// Loading a model: the curvature mesh, the render mesh and the companion
// files (segmentation, symmetry), then optionally the participants' cuts.

#include <QDebug>
#include <QString>
#include <QVector>
#include <memory>

#include "engine/sorvex.h"
#include "model/assimp_reader.h"
#include "model/companion_files.h"
#include "model/curvature_mesh.h"
#include "model/obj_reader.h"
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

// Reads the render-mesh geometry into the given (empty) lists. OBJ faces
// become the triangle of their first three indices, made 0-based.
bool readRenderGeometry(const char* path, ModelFormat format, QVector<Vec3>& vertices, QVector<QVector<int>>& faces) {
  if (format == ModelFormat::Off) {
    qDebug("Loading off");
    return readOff(path, vertices, faces);
  }
  ObjMesh obj;
  if (!readObj(obj, path)) return false;
  objRenderGeometry(obj, vertices, faces);
  return true;
}

}  // namespace

bool Sorvex::loadModel(const char* path, const char* label, const char* segmentationPath, bool loadHumanCuts) {
  if (!path || !*path) {
    qDebug("No model path given");
    return false;
  }
  // The selection run reads the mesh and the feature lists without a lock of
  // its own; replacing them under it would pull the model from under its feet.
  if (isRunning()) {
    qDebug("Cannot load %s while the plane-selection run is in progress", path);
    return false;
  }
  const QString newPath = QString::fromLocal8Bit(path);
  const ModelFormat format = modelFormat(newPath);
  if (format == ModelFormat::Unknown) {
    qDebug("Cannot load %s: not a model file type (.off, .obj, %s)", path, qPrintable(assimpModelPatterns()));
    return false;
  }

  // Read both meshes before touching anything, so that a file that fails
  // leaves the previous model whole and usable. Formats of the assimp reader
  // give both meshes from one reading.
  QVector<Vec3> vertices;
  QVector<QVector<int>> faces;
  QString error;
  if (format == ModelFormat::Assimp && !readAssimpMesh(newPath, vertices, faces, error)) {
    qDebug("Unable to read %s: %s", path, qPrintable(error));
    return false;
  }
  std::shared_ptr<TriMesh> newTriMesh(format == ModelFormat::Assimp ? triMeshFromGeometry(vertices, faces)
                                                                    : TriMesh::read(path));
  if (!newTriMesh) {
    qDebug("Unable to read %s as a mesh", path);
    return false;
  }
  if (format != ModelFormat::Assimp && !readRenderGeometry(path, format, vertices, faces)) {
    qDebug("Unable to read the render mesh from %s", path);
    return false;
  }
  if (vertices.isEmpty()) {
    // For example OBJ text in a file named .off: the mesh library reads it by
    // its content, the render mesh by its name, and the two would disagree.
    qDebug("No vertices in %s for its file type; not loaded", path);
    return false;
  }
  if (!renderGeometryFits(path, vertices, newTriMesh->vertices.size())) return false;
  prepareCurvatureMesh(*newTriMesh, curvatureSmooth);

  // Install the new model.
  modelPath = newPath;
  triMesh = newTriMesh;

  segmentPlanes.clear();
  segmentAxes.clear();
  ridgePieces.clear();
  ridgeAxes.clear();
  valleyPieces.clear();
  valleyAxes.clear();
  symmetryPlanes.clear();
  symmetryAxes.clear();
  globalXYZPlanes.clear();
  globalPCAPlanes.clear();
  perpendicularSupportPlanes.clear();
  symmetricSupportPlanes.clear();

  renderMesh->setGeometry(vertices, faces);
  renderMesh->flipFaceNormals();

  clearPlanes();

  // Segmentation: exactly one id per render-mesh face.
  const int faceCount = renderMesh->faces().size();
  const QByteArray segFile =
      segmentationPath ? QByteArray(segmentationPath) : companionPath(newPath, QStringLiteral("_0.seg")).toLocal8Bit();
  faceSegment.clear();
  if (!readSegmentation(segFile.constData(), faceCount, faceSegment)) faceSegment.fill(0, faceCount);
  segmentCount = countSegments(faceSegment);

  // Symmetry planes and axes; a missing file is silent.
  const QByteArray symFile = companionPath(newPath, QStringLiteral(".sym")).toLocal8Bit();
  symmetryPlanes.clear();
  symmetryAxes.clear();
  readSymmetry(symFile.constData(), symmetryPlanes, symmetryAxes);

  humanCuts.clear();
  humanCutColours.clear();

  // Hand-over to the participants' cuts of this model.
  if (loadHumanCuts) readHumanCuts(label ? QString::fromLocal8Bit(label) : newPath);
  return true;
}
