// The choice of curvature filter: Auto keeps the exact filter, bit for bit,
// on every bundled model and takes the fast one on a dense mesh; Exact and
// Fast are obeyed whatever the mesh; the debug log says which ran.
#include <gtest/gtest.h>

#include <QFile>
#include <cmath>
#include <cstring>
#include <memory>

#include "model/curvature_mesh.h"
#include "support/bundled_models_support.h"
#include "support/debug_capture.h"
#include "trimesh/trimesh.h"

namespace {

template <class T>
bool sameBytes(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

void prepare(TriMesh& m) {
  m.compute_normals();
  m.compute_curvatures();
  m.compute_curv_derivs();
}

// A wavy square of side 0.2 with vertices 0.001 apart: about 2,800
// neighbours per vertex at width 0.01.
TriMesh denseSheet() {
  TriMesh m;
  const int n = 201;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const float px = x * 0.001f, py = y * 0.001f;
      m.vertices.push_back(Vec3(px, py, 0.01f * std::sin(40.0f * px) * std::cos(30.0f * py)));
    }
  for (int y = 0; y + 1 < n; ++y)
    for (int x = 0; x + 1 < n; ++x) {
      const int a = y * n + x, b = a + 1, c = a + n, d = c + 1;
      m.faces.emplace_back(a, b, d);
      m.faces.emplace_back(a, d, c);
    }
  return m;
}

}  // namespace

TEST(CurvatureSmoothingChoice, AutoIsExactOnEveryBundledModelAndFastOnADenseMesh) {
  TriMesh::set_verbose(0);
  int models = 0;
  for (const testsupport::BundledModel& model : testsupport::bundledModels()) {
    const QByteArray path = QFile::encodeName(testsupport::bundledModelPath(model));
    std::unique_ptr<TriMesh> m = TriMesh::read(path.constData());
    ASSERT_TRUE(m) << path.constData();
    prepare(*m);
    EXPECT_LT(m->expected_smoothing_neighbours(0.01f), kFastSmoothingNeighbours) << model.name;
    TriMesh exact = *m;
    exact.smooth_curvatures(0.01f);
    exact.smooth_curv_derivs(0.01f);
    testsupport::DebugCapture log;
    ASSERT_TRUE(smoothCurvatureData(*m, 0.01f, SmoothingMethod::Auto));
    EXPECT_FALSE(m->last_smoothing.fast) << model.name;
    EXPECT_TRUE(sameBytes(m->principal_curv1, exact.principal_curv1)) << model.name;
    EXPECT_TRUE(sameBytes(m->principal_dir1, exact.principal_dir1)) << model.name;
    EXPECT_TRUE(sameBytes(m->curv_derivs, exact.curv_derivs)) << model.name;
    EXPECT_EQ(log.matching(QStringLiteral("Smoothing curvatures (exact: ")).size(), 1) << model.name;
    ++models;
  }
  EXPECT_EQ(models, 19);

  TriMesh dense = denseSheet();
  prepare(dense);
  EXPECT_GT(dense.expected_smoothing_neighbours(0.01f), 2.0 * kFastSmoothingNeighbours);
  {
    TriMesh m = dense;
    testsupport::DebugCapture log;
    ASSERT_TRUE(smoothCurvatureData(m, 0.01f, SmoothingMethod::Auto));
    EXPECT_TRUE(m.last_smoothing.fast);
    EXPECT_GT(m.last_smoothing.clusters, 0);
    EXPECT_EQ(log.matching(QStringLiteral("Smoothing curvatures (fast: ")).size(), 1);
    EXPECT_EQ(log.matching(QStringLiteral("asked auto")).size(), 1);
  }
  // Forced either way. Exact on the dense sheet with a width that keeps it
  // cheap; fast on a coarse bundled model.
  {
    TriMesh m = dense;
    ASSERT_TRUE(smoothCurvatureData(m, 0.003f, SmoothingMethod::Exact));
    EXPECT_FALSE(m.last_smoothing.fast);
    EXPECT_FALSE(m.smoothing_uses_fast(0.01f, SmoothingMethod::Exact));
  }
  {
    const QByteArray path = QFile::encodeName(testsupport::bundledModelPath(testsupport::bundledModels().first()));
    std::unique_ptr<TriMesh> m = TriMesh::read(path.constData());
    ASSERT_TRUE(m);
    prepare(*m);
    ASSERT_TRUE(smoothCurvatureData(*m, 0.01f, SmoothingMethod::Fast));
    EXPECT_TRUE(m->last_smoothing.fast);
  }
  // A cancelled smoothing says so.
  {
    TriMesh m = dense;
    std::atomic<bool> cancel{true};
    EXPECT_FALSE(smoothCurvatureData(m, 0.01f, SmoothingMethod::Auto, &cancel));
  }
}
