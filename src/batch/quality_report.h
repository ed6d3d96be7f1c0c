#pragma once

#include <QJsonObject>
#include <QString>

class Sorvex;

// The coverage of a run's planes beside its two baselines (engine/coverage.h,
// engine/coverage_baselines.h), as a JSON object for a model's summary:
//
//   "samples":   number of surface samples (20000), "seed": their seed (1)
//   "distances": [0.03, 0.06], the two distances as multiples of "radius"
//   "radius":    the model's radius (half its bounding-box diagonal), model units
//   "absoluteDistances": the two distances in model units
//   "planes":    one object per accepted plane, in list order:
//                {"index", "coverage03", "coverage06"} (share of the samples
//                that plane's slab covers)
//   "total":     {"planeCount", "coverage03", "coverage06"}: all planes together
//   "principalPlanes":  the three principal planes through the centroid, axes
//                of the area-weighted surface samples
//   "greedyAxisPlanes": the greedy choice among principal and x/y/z planes at
//                seven offsets each, no two within 45 degrees; "requested"
//                is the run's plane count, "planeCount" what could be chosen
//   each baseline: {"planeCount", "coverage03", "coverage06", "planes":
//                [{"normal": [x, y, z], "offset", "coverage03", "coverage06"}]}
//
// Shares are in [0, 1]. The planes and the mesh are copied under the
// engine's state lock (do not hold it when calling); the baselines then use
// the engine's section code, so call this after a run has ended and while no
// load is under way, on the engine's thread.
QJsonObject qualityReport(Sorvex& engine);

// One line for the batch tool's output, e.g.
// "385: coverage 0.412/0.623 with 5 planes; principal 0.301/0.502; greedy 0.455/0.660 with 5"
// (near/far distance). Missing figures read as 0.
QString qualityLine(const QString& model, const QJsonObject& quality);
