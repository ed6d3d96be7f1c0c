// Cut-based segmentation: one plane per mesh segment that a cut passes
// through.

#include "meshedit/cut_segmentation.h"

#include <QDebug>
#include <algorithm>

int cutSegmentCount(const QVector<int>& faceSegment) {
  if (faceSegment.isEmpty()) return 1;
  int largest = 0;
  for (int id : faceSegment) largest = std::max(largest, id);
  return largest == 2147483647 ? largest : largest + 1;
}

QVector<int> cutSegmentIds(const QVector<int>& faceSegment) {
  if (faceSegment.isEmpty()) return QVector<int>{0};
  QVector<int> ids;
  for (int id : faceSegment)
    if (id >= 0) ids.append(id);
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

QList<SectionPlane> splitPlanesBySegment(const QList<SectionPlane>& planes, const QVector<int>& faceSegment,
                                         const std::function<void(SectionPlane&)>& updateSection) {
  const QVector<int> ids = cutSegmentIds(faceSegment);
  QList<SectionPlane> result;
  for (int i = 0; i < planes.size(); ++i) {
    qDebug() << "Working cut " << i << " across segments. ";
    for (int s : ids) {
      SectionPlane q(planes[i].head());
      q.segmentIndex = s;
      updateSection(q);
      if (!q.triangles.isEmpty()) result.append(q);
    }
  }
  return result;
}
