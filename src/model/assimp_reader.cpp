#include "model/assimp_reader.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <assimp/Importer.hpp>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "trimesh/trimesh.h"

namespace {

// Exact position key: the bit patterns of the three coordinates, with -0 and
// +0 taken as the same number.
struct PositionKey {
  uint32_t bits[3];
  bool operator==(const PositionKey& o) const {
    return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
  }
};

struct PositionHash {
  size_t operator()(const PositionKey& k) const {
    uint64_t h = 1469598103934665603ull;
    for (uint32_t b : k.bits) h = (h ^ b) * 1099511628211ull;
    return size_t(h ^ (h >> 29));
  }
};

PositionKey keyOf(const Vec3& p) {
  PositionKey k;
  for (int i = 0; i < 3; ++i) {
    const float v = p[i] + 0.0f;  // -0 becomes +0
    std::memcpy(&k.bits[i], &v, sizeof v);
  }
  return k;
}

QStringList assimpExtensions() {
  static const QStringList list = [] {
    Assimp::Importer importer;
    std::string all;
    importer.GetExtensionList(all);  // "*.3ds;*.obj;..."
    QStringList result;
    for (const QString& item : QString::fromStdString(all).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      QString ext = item.trimmed().toLower();
      if (ext.startsWith(QLatin1String("*."))) ext = ext.mid(2);
      if (ext.isEmpty() || ext == QLatin1String("off") || ext == QLatin1String("obj")) continue;
      if (!result.contains(ext)) result.append(ext);
    }
    return result;
  }();
  return list;
}

}  // namespace

bool isAssimpModelPath(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  const int dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) return false;
  return assimpExtensions().contains(name.mid(dot + 1).toLower());
}

QString assimpModelPatterns() {
  QStringList patterns;
  for (const QString& ext : assimpExtensions()) patterns.append(QStringLiteral("*.") + ext);
  return patterns.join(QLatin1Char(' '));
}

bool readAssimpMesh(const QString& path, QVector<Vec3>& vertices, RenderFaces& faces, QString& error,
                    bool* outOfMemory) {
  if (outOfMemory) *outOfMemory = false;
  vertices.clear();
  faces.clear();
  const QFileInfo info(path);
  if (!info.exists()) {
    error = QStringLiteral("no such file");
    return false;
  }
  if (!info.isFile()) {
    error = QStringLiteral("not a regular file");
    return false;
  }
  if (!info.isReadable()) {
    error = QStringLiteral("file is not readable");
    return false;
  }

  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(QFile::encodeName(path).toStdString(), aiProcess_Triangulate);
  if (!scene) {
    const char* reason = importer.GetErrorString();
    const QString said = QString::fromLocal8Bit(reason && *reason ? reason : "unknown error").simplified();
    // The library turns a failed allocation into its error text: a file that
    // declares more elements than memory can hold (often far more than it has).
    if (said.contains(QLatin1String("bad_alloc"))) {
      if (outOfMemory) *outOfMemory = true;
      error = QStringLiteral(
          "cannot read the mesh: it asks for more memory than is available (its counts may be "
          "far larger than what the file holds)");
    } else {
      error = QStringLiteral("cannot read the mesh: ") + said;
    }
    return false;
  }

  // Every mesh instance of the node tree, with the node's accumulated
  // transform (a mesh used by two nodes appears twice).
  std::unordered_map<PositionKey, int, PositionHash> index;
  long long skipped = 0;
  struct Pending {
    const aiNode* node;
    aiMatrix4x4 transform;
  };
  std::vector<Pending> stack;
  if (scene->mRootNode) stack.push_back({scene->mRootNode, scene->mRootNode->mTransformation});
  long long instances = 0, triangles = 0;
  auto refuse = [&](const QString& reason) {
    error = reason;
    vertices.clear();
    faces.clear();
    return false;
  };
  while (!stack.empty()) {
    const Pending item = stack.back();
    stack.pop_back();
    const aiNode* node = item.node;
    // Nodes that list the same child more than once instance it again each
    // time: a small file can ask for exponentially many copies.
    if (++instances > kAssimpMaxNodeInstances)
      return refuse(
          QStringLiteral("the file's node graph makes more than %1 node instances").arg(kAssimpMaxNodeInstances));
    for (unsigned c = 0; c < node->mNumChildren; ++c)
      if (node->mChildren[c])
        stack.push_back({node->mChildren[c], item.transform * node->mChildren[c]->mTransformation});
    for (unsigned k = 0; k < node->mNumMeshes; ++k) {
      const unsigned m = node->mMeshes[k];
      if (m >= scene->mNumMeshes) continue;
      const aiMesh* mesh = scene->mMeshes[m];
      if (!mesh || !mesh->mVertices) continue;
      // Each of this mesh's vertices is joined once, so a face costs O(1).
      if (triangles + (long long)mesh->mNumFaces > kAssimpMaxTriangles)
        return refuse(QStringLiteral("the file makes more than %1 triangles").arg(kAssimpMaxTriangles));
      triangles += mesh->mNumFaces;
      std::vector<int> joined(mesh->mNumVertices, -1);
      for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& face = mesh->mFaces[f];
        if (face.mNumIndices != 3 || !face.mIndices) {
          ++skipped;
          continue;
        }
        RenderFace corners;
        for (int c = 0; c < 3; ++c) {
          const unsigned vi = face.mIndices[c];
          if (vi >= mesh->mNumVertices)
            return refuse(QStringLiteral("a face refers to a vertex that is not in the file"));
          if (joined[vi] < 0) {
            const aiVector3D a = item.transform * mesh->mVertices[vi];
            const Vec3 p(float(a.x), float(a.y), float(a.z));
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
              return refuse(QStringLiteral("a vertex has a coordinate that is not a finite number"));
            if (vertices.size() == std::numeric_limits<int>::max()) return refuse(QStringLiteral("too many vertices"));
            auto it = index.emplace(keyOf(p), vertices.size());
            if (it.second) vertices.append(p);
            joined[vi] = it.first->second;
          }
          corners[c] = joined[vi];
        }
        faces.append(corners);
      }
    }
  }
  if (faces.isEmpty()) {
    error = skipped > 0 ? QStringLiteral("the file holds no triangles (only points or lines)")
                        : QStringLiteral("the file holds no triangles");
    vertices.clear();
    return false;
  }
  return true;
}

std::unique_ptr<TriMesh> triMeshFromGeometry(const QVector<Vec3>& vertices, const RenderFaces& faces) {
  std::unique_ptr<TriMesh> mesh(new TriMesh());
  mesh->vertices.assign(vertices.begin(), vertices.end());
  const int n = vertices.size();
  mesh->faces.reserve(size_t(faces.size()));
  for (const RenderFace& f : faces) {
    if (f.size() < 3) continue;
    if (f[0] < 0 || f[0] >= n || f[1] < 0 || f[1] >= n || f[2] < 0 || f[2] >= n) continue;
    mesh->faces.emplace_back(f[0], f[1], f[2]);
  }
  return mesh;
}
