#include "meshedit/noise.h"

#include <QtGlobal>
#include <cstdlib>

#include "model/render_mesh.h"

namespace {

// sqrt(0.6): scales the sum of twenty uniforms (variance 20 / 12) to unit variance.
constexpr float kUnitVarianceScale = 0.7745967f;
constexpr int kUniformCount = 20;

// qrand is the generator the noise is defined on; it is deprecated in
// Qt 5.15 in favour of QRandomGenerator, which has no qsrand-style seeding
// of a shared sequence.
double uniformSample() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const int r = qrand();
#pragma GCC diagnostic pop
  // qrand's range is 0 .. RAND_MAX, which is 32767 on some platforms and
  // 2^31 - 1 on others; dividing by RAND_MAX keeps the value in [0, 1].
  return double(r) / double(RAND_MAX);
}

}  // namespace

float gaussianSample(float mean, float sigma) {
  double sum = 0.0;
  for (int i = 0; i < kUniformCount; ++i) sum += uniformSample();
  return mean + sigma * (kUnitVarianceScale * float(sum - 10.0));
}

void noisifyMesh(RenderMesh& mesh) {
  for (Vec3& p : mesh.mutableVertices()) {
    p.x += gaussianSample(0.0f, kNoiseSigma);
    p.y += gaussianSample(0.0f, kNoiseSigma);
    p.z += gaussianSample(0.0f, kNoiseSigma);
  }
  mesh.updateDerivedData();
  mesh.flipFaceNormals();
}
