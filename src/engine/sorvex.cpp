#include "engine/sorvex.h"

#include <QDebug>
#include <algorithm>
#include <mutex>

#include "model/render_mesh.h"

Sorvex::Sorvex(Camera* cam) : QThread(nullptr), renderMesh(new RenderMesh()), camera(cam) {
  for (int t = 0; t < kFeatureTypeCount; ++t) featureEnabled[t] = true;
}

Sorvex::~Sorvex() {
  if (isRunning()) wait();
  // The run's last writes were made under the lock: taking it orders them
  // before the teardown for thread checkers too (the thread's own join is
  // not visible to them).
  { std::lock_guard<StateLock> lock(stateMutex); }
  delete renderMesh;
}

void Sorvex::setFeatureEnabled(const bool enabled[kFeatureTypeCount]) {
  for (int t = 0; t < kFeatureTypeCount; ++t) featureEnabled[t] = enabled[t];
}

void Sorvex::setFeatureWeights(const float weights[kFeatureTypeCount]) {
  for (int t = 0; t < kFeatureTypeCount; ++t) featureWeight[t] = weights[t];
}

void Sorvex::setFeatureRadii(const float radii[kFeatureTypeCount]) {
  for (int t = 0; t < kFeatureTypeCount; ++t) featureRadius[t] = radii[t];
}

void Sorvex::clearPlanes() {
  planes.clear();
  currentPlane = kNoPlane;
}

void Sorvex::addPlane(const SectionPlane& plane) {
  planes.append(plane);
  currentPlane = planes.size() - 1;
}

void Sorvex::erasePlane(int index) {
  if (index >= 0 && index < planes.size()) planes.removeAt(index);
  currentPlane = planes.isEmpty() ? kNoPlane : planes.size() - 1;
}

void Sorvex::selectPlane(int p) {
  if (p < 0) {
    currentPlane = kNoPlane;
    return;
  }
  currentPlane = p;
  // The report belongs to the plane, not to its row: after an erase or an
  // added plane the rows no longer match the order of selection.
  const int k = selectedBinOfPlane(p);
  if (k >= 0) printCoverageReport(k);
}

int Sorvex::selectedBinOfPlane(int p) const {
  if (p < 0 || p >= planes.size()) return -1;
  const SectionPlane& plane = planes[p];
  const int n = std::min(selectedBins.size(), selectedPlanes.size());
  for (int k = 0; k < n; ++k) {
    const CutPlane& s = selectedPlanes[k];
    if (s.normal == plane.normal && s.d == plane.d && s.point == plane.point) return k;
  }
  return -1;
}

void Sorvex::printCoverageReport(int p) const {
  if (p < 0 || p >= selectedBins.size()) return;
  const Bin& bin = selectedBins[p];
  qDebug("Features covered by selected plane %i (%i in total, weight total %f):", p, int(bin.votes.size()),
         double(bin.total));
  for (const Vote& v : bin.votes) {
    const char* name =
        (v.featureType >= 0 && v.featureType < kFeatureTypeCount) ? kFeatureTypeNames[v.featureType] : "unknown";
    qDebug("\tFeature %i (type %i: %s) (weight: %f)", v.featureIndex, v.featureType, name, double(v.weight));
  }
}

bool Sorvex::addNewPlane() {
  if (!renderMesh) return false;
  const float R = renderMesh->radius();
  SectionPlane plane;
  plane.normal = Vec3(1, 0, 0);
  plane.r1 = Vec3(0, 1, 0);
  plane.r2 = Vec3(0, 0, 1);
  plane.point = renderMesh->centre() + Vec3(R, 0, 0);
  plane.d = plane.normal.dot(plane.point);
  plane.handles[0] = plane.point;
  plane.handles[1] = plane.point + plane.r1 * (0.5f * R);
  plane.handles[2] = plane.point + plane.r2 * (0.5f * R);
  updateSection(plane);
  addPlane(plane);
  selectPlane(planes.size() - 1);
  return true;
}

void Sorvex::alignCurrentPlane(const Vec3& axis) {
  if (!hasCurrentPlane() || !renderMesh) return;
  SectionPlane& plane = planes[currentPlane];
  const float R = renderMesh->radius();
  plane.point = renderMesh->centre();
  plane.normal = axis;
  plane.d = plane.normal.dot(plane.point);
  if (plane.d < 0.0f) {
    plane.d = -plane.d;
    plane.normal = -plane.normal;
  }
  planeAxesFromNormal(plane.normal, plane.r1, plane.r2);
  plane.handles[0] = plane.point;
  plane.handles[1] = plane.point + plane.r1 * (0.5f * R);
  plane.handles[2] = plane.point + plane.r2 * (0.5f * R);
}

void Sorvex::updateAllSections() {
  for (int i = 0; i < planes.size(); ++i) updateSection(planes[i]);
}

float Sorvex::modelRadius() const { return renderMesh ? renderMesh->radius() : 1.0f; }

Vec3 Sorvex::modelCentre() const { return renderMesh ? renderMesh->centre() : Vec3(0, 0, 0); }
