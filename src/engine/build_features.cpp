#include "engine/sorvex.h"

// Runs the feature families and assembles the run's feature list. The run
// calls it on its private engine; nothing else reads these lists meanwhile.
// A stop request ends it between families (the list then stays as it was).

void Sorvex::buildFeatures() {
  extractRidges();
  emit percentComplete(50);
  if (stopRequested()) return;
  extractValleys();
  emit percentComplete(100);
  if (stopRequested()) return;
  extractSegmentFeatures();
  emit percentComplete(150);
  if (stopRequested()) return;
  extractGlobalXYZ();
  emit percentComplete(200);
  extractGlobalPCA();
  emit percentComplete(250);

  QList<Feature> assembled;
  auto addPlanes = [&](FeatureType t, const QList<CutPlane>& list) {
    if (!featureEnabled[t]) return;
    for (int i = 0; i < list.size(); ++i) {
      Feature f;
      f.type = t;
      f.index = i;
      f.plane = list[i];
      assembled.append(f);
    }
  };
  auto addAxes = [&](FeatureType t, const QList<Axis>& list) {
    if (!featureEnabled[t]) return;
    for (int i = 0; i < list.size(); ++i) {
      Feature f;
      f.type = t;
      f.index = i;
      f.axis = list[i];
      assembled.append(f);
    }
  };
  addPlanes(FeatureSegmentPCAPlanes, segmentPlanes);
  addAxes(FeatureSegmentPCAAxes, segmentAxes);
  addAxes(FeatureRidges, ridgeAxes);
  addAxes(FeatureValleys, valleyAxes);
  addPlanes(FeatureSymmetryPlanes, symmetryPlanes);
  addAxes(FeatureSymmetryAxes, symmetryAxes);
  addPlanes(FeatureGlobalXYZ, globalXYZPlanes);
  addPlanes(FeatureGlobalPCA, globalPCAPlanes);

  features = assembled;
}
