#include "support/voting_support.h"

#include "engine/sorvex.h"

namespace testsupport {

Sorvex& votingEngine() {
  static Sorvex* e = new Sorvex(nullptr);
  e->features.clear();
  e->ridgePieces.clear();
  e->valleyPieces.clear();
  e->perpendicularSupportPlanes.clear();
  e->symmetricSupportPlanes.clear();
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    e->featureEnabled[t] = true;
    e->featureWeight[t] = 1.0f;
    e->featureRadius[t] = 0.1f;
  }
  e->bins.clearBins();
  return *e;
}

}  // namespace testsupport
