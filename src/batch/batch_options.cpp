#include "batch/batch_options.h"

#include <cmath>

const char* const kFeatureOptionKeys[kFeatureTypeCount] = {
    "segment-planes",        "segment-axes",     "ridges",     "valleys",
    "symmetry-planes",       "symmetry-axes",    "global-xyz", "global-pca",
    "perpendicular-support", "symmetric-support"};

namespace {

// A numeric option: the panel's range and decimals (spin boxes round to them).
struct NumberRange {
  double lo, hi;
  int decimals;
};
constexpr NumberRange kWeightRange{0.0, 10.0, 7};
constexpr NumberRange kRadiusRange{0.01, 0.5, 3};
constexpr NumberRange kBinSelectRange{0.05, 3.0, 2};
constexpr NumberRange kCurvatureThresholdRange{0.0, 100.0, 2};
constexpr NumberRange kCurvatureSmoothRange{0.0, 1.0, 2};
constexpr NumberRange kHermiteRange{0.1, 10.0, 2};
constexpr int kMaxJobs = 64;  // one progress slot per job
constexpr int kMaxTimeoutSeconds = 7 * 24 * 3600;
constexpr int kMaxPlanes = 100;  // the "Planes" spin box's range

bool parseNumber(const QString& name, const QString& text, const NumberRange& range, double& out, QString& error) {
  bool ok = false;
  const double v = text.toDouble(&ok);  // QString::toDouble uses the C locale
  if (!ok || !std::isfinite(v)) {
    error = QStringLiteral("--%1: '%2' is not a number").arg(name, text);
    return false;
  }
  const double scale = std::pow(10.0, range.decimals);
  const double rounded = std::round(v * scale) / scale;
  if (rounded < range.lo || rounded > range.hi) {
    error = QStringLiteral("--%1: %2 is outside %3 to %4").arg(name, text).arg(range.lo).arg(range.hi);
    return false;
  }
  out = rounded;
  return true;
}

}  // namespace

BatchOptions::BatchOptions() {
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    featureEnabled[t] = true;
    featureWeight[t] = kStartFeatureWeights[t];
    featureRadius[t] = 0.1;
  }
}

bool parseBatchOptions(const QStringList& args, BatchOptions& o, QString& error) {
  o = BatchOptions();
  bool onlyModels = false;
  for (int i = 0; i < args.size(); ++i) {
    QString arg = args[i];
    if (onlyModels || !arg.startsWith(QLatin1String("--")) || arg == QLatin1String("-")) {
      o.models.append(arg);
      continue;
    }
    if (arg == QLatin1String("--")) {
      onlyModels = true;
      continue;
    }
    QString name = arg.mid(2), value;
    bool hasValue = false;
    const int eq = name.indexOf(QLatin1Char('='));
    if (eq >= 0) {
      value = name.mid(eq + 1);
      name = name.left(eq);
      hasValue = true;
    }
    // Fetches the option's value from "=value" or the next argument.
    const auto takeValue = [&](QString& v) {
      if (hasValue) {
        v = value;
        return true;
      }
      if (i + 1 >= args.size()) {
        error = QStringLiteral("--%1 needs a value").arg(name);
        return false;
      }
      v = args[++i];
      return true;
    };
    const auto flag = [&](bool& target, bool set) {
      if (hasValue) {
        error = QStringLiteral("--%1 takes no value").arg(name);
        return false;
      }
      target = set;
      return true;
    };
    // A whole number from lo to hi ("--jobs: 'x' is not a number from 1 to 64").
    const auto takeCount = [&](int& target, int lo, int hi, const char* what) {
      QString v;
      if (!takeValue(v)) return false;
      bool ok = false;
      const int n = v.toInt(&ok);
      if (!ok || n < lo || n > hi) {
        error = QStringLiteral("--%1: '%2' is not %3 from %4 to %5").arg(name, v, QLatin1String(what)).arg(lo).arg(hi);
        return false;
      }
      target = n;
      return true;
    };
    const auto number = [&](const NumberRange& range, double& target) {
      QString v;
      return takeValue(v) && parseNumber(name, v, range, target, error);
    };

    bool handled = false, ok = true;
    for (int t = 0; t < kFeatureTypeCount && !handled; ++t) {
      const QString key = QLatin1String(kFeatureOptionKeys[t]);
      if (name == QStringLiteral("no-") + key) {
        handled = true;
        ok = flag(o.featureEnabled[t], false);
      } else if (name == key) {
        handled = true;
        ok = flag(o.featureEnabled[t], true);
      } else if (name == key + QStringLiteral("-weight")) {
        handled = true;
        ok = number(kWeightRange, o.featureWeight[t]);
      } else if (name == key + QStringLiteral("-radius")) {
        handled = true;
        ok = number(kRadiusRange, o.featureRadius[t]);
      }
    }
    if (handled) {
      if (!ok) return false;
      continue;
    }
    if (name == QLatin1String("bin-select-threshold")) {
      ok = number(kBinSelectRange, o.binSelectThreshold);
    } else if (name == QLatin1String("curvature-threshold")) {
      ok = number(kCurvatureThresholdRange, o.curvatureThreshold);
    } else if (name == QLatin1String("curvature-smooth")) {
      ok = number(kCurvatureSmoothRange, o.curvatureSmooth);
    } else if (name == QLatin1String("smoothing")) {
      QString v;
      ok = takeValue(v);
      if (ok && !smoothing_method_from_name(v.toLatin1().constData(), o.smoothing)) {
        error = QStringLiteral("--smoothing: '%1' is not auto, exact or fast").arg(v);
        ok = false;
      }
    } else if (name == QLatin1String("segmentation")) {
      ok = flag(o.useSegmentation, true);
    } else if (name == QLatin1String("auto-segmentation")) {
      ok = flag(o.autoSegmentation, true);
    } else if (name == QLatin1String("no-auto-segmentation")) {
      ok = flag(o.autoSegmentation, false);
    } else if (name == QLatin1String("auto-symmetry")) {
      ok = flag(o.autoSymmetry, true);
    } else if (name == QLatin1String("no-auto-symmetry")) {
      ok = flag(o.autoSymmetry, false);
    } else if (name == QLatin1String("planes")) {
      ok = takeCount(o.planes, 0, kMaxPlanes, "a number of planes");
    } else if (name == QLatin1String("cover-all")) {
      ok = flag(o.coverAllSegments, true);
    } else if (name == QLatin1String("hermite")) {
      ok = flag(o.hermiteInterp, true);
    } else if (name == QLatin1String("no-hermite")) {
      ok = flag(o.hermiteInterp, false);
    } else if (name == QLatin1String("hermite-factor")) {
      ok = number(kHermiteRange, o.hermiteTanFactor);
    } else if (name == QLatin1String("normalize")) {
      ok = flag(o.normalize, true);
    } else if (name == QLatin1String("matrix")) {
      ok = flag(o.matrix, true);
    } else if (name == QLatin1String("svg")) {
      ok = flag(o.svg, true);
    } else if (name == QLatin1String("quality")) {
      ok = flag(o.quality, true);
    } else if (name == QLatin1String("force")) {
      ok = flag(o.force, true);
    } else if (name == QLatin1String("quiet")) {
      ok = flag(o.quiet, true);
    } else if (name == QLatin1String("help")) {
      ok = flag(o.help, true);
    } else if (name == QLatin1String("worker")) {
      ok = flag(o.worker, true);
    } else if (name == QLatin1String("out")) {
      ok = takeValue(o.outDir);
      if (ok && o.outDir.isEmpty()) {
        error = QStringLiteral("--out needs a folder");
        ok = false;
      }
    } else if (name == QLatin1String("jobs")) {
      ok = takeCount(o.jobs, 1, kMaxJobs, "a number");
    } else if (name == QLatin1String("timeout")) {
      ok = takeCount(o.timeoutSeconds, 0, kMaxTimeoutSeconds, "a number of seconds");
    } else {
      error = QStringLiteral("unknown option --%1 (see --help)").arg(name);
      return false;
    }
    if (!ok) return false;
  }
  if (o.help) return true;
  if (o.outDir.isEmpty()) {
    error = QStringLiteral("no output folder: give --out DIR");
    return false;
  }
  if (o.models.isEmpty() && !o.worker) {
    error = QStringLiteral("no model given");
    return false;
  }
  return true;
}

QStringList workerArguments(const BatchOptions& o) {
  QStringList a;
  const auto num = [](double v) { return QString::number(v, 'g', 17); };
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    const QString key = QLatin1String(kFeatureOptionKeys[t]);
    if (!o.featureEnabled[t]) a << QStringLiteral("--no-") + key;
    a << QStringLiteral("--%1-weight=").arg(key) + num(o.featureWeight[t]);
    a << QStringLiteral("--%1-radius=").arg(key) + num(o.featureRadius[t]);
  }
  a << QStringLiteral("--bin-select-threshold=") + num(o.binSelectThreshold)
    << QStringLiteral("--curvature-threshold=") + num(o.curvatureThreshold)
    << QStringLiteral("--curvature-smooth=") + num(o.curvatureSmooth)
    << QStringLiteral("--hermite-factor=") + num(o.hermiteTanFactor)
    << QStringLiteral("--smoothing=") + QLatin1String(smoothing_method_name(o.smoothing));
  if (o.useSegmentation) a << QStringLiteral("--segmentation");
  if (o.coverAllSegments) a << QStringLiteral("--cover-all");
  if (o.planes > 0) a << QStringLiteral("--planes=%1").arg(o.planes);
  if (!o.autoSegmentation) a << QStringLiteral("--no-auto-segmentation");
  if (!o.autoSymmetry) a << QStringLiteral("--no-auto-symmetry");
  if (!o.hermiteInterp) a << QStringLiteral("--no-hermite");
  if (o.normalize) a << QStringLiteral("--normalize");
  if (o.matrix) a << QStringLiteral("--matrix");
  if (o.svg) a << QStringLiteral("--svg");
  if (o.quality) a << QStringLiteral("--quality");
  if (o.force) a << QStringLiteral("--force");
  a << QStringLiteral("--out") << o.outDir;
  return a;
}

QString batchHelpText() {
  QString h;
  h += QStringLiteral(
      "Usage: korvane-batch [options] MODEL... --out DIR\n"
      "\n"
      "Runs the research pipeline on every MODEL (.off, .obj, or any mesh format of the assimp library: .ply,\n"
      ".stl, .gltf, .glb, ...): load with its companion files (<model>_0.seg, <model>.sym), the plane\n"
      "selection, and the exports. Everything for MODEL goes to DIR/<model name>/: the planes, slabs and\n"
      "mesh OBJ files, the contour file, summary.json and debug.log. Models whose summary.json exists are\n"
      "skipped. The exit status is 0 when every model succeeded or was skipped, 1 when any failed, 2 for\n"
      "a bad command line.\n"
      "\n"
      "Feature families (FAMILY is one of");
  for (int t = 0; t < kFeatureTypeCount; ++t)
    h += (t % 4 == 0 ? QStringLiteral("\n  ") : QStringLiteral(" ")) + QLatin1String(kFeatureOptionKeys[t]) +
         (t + 1 < kFeatureTypeCount ? QStringLiteral(",") : QStringLiteral(")"));
  h += QStringLiteral(
      ":\n"
      "  --no-FAMILY               leave the family out (all are on by default); --FAMILY turns it on again\n"
      "  --FAMILY-weight W         vote weight, 0 to 10 (7 decimals)\n"
      "  --FAMILY-radius R         vote radius, 0.01 to 0.5 (3 decimals; default 0.1)\n"
      "  Default weights:");
  for (int t = 0; t < kFeatureTypeCount; ++t)
    h += QStringLiteral("\n    %1 %2")
             .arg(QLatin1String(kFeatureOptionKeys[t]), -22)
             .arg(kStartFeatureWeights[t], 0, 'f', 7);
  h += QStringLiteral(
      "\n"
      "Plane selection and sections:\n"
      "  --bin-select-threshold T  vote total a plane needs, 0.05 to 3 (default 1)\n"
      "  --curvature-threshold T   ridge and valley threshold, 0 to 100 (default 15)\n"
      "  --curvature-smooth S      curvature smoothing width in model units, 0 to 1 (default 0.01)\n"
      "  --smoothing M             curvature filter: auto (default; exact unless a vertex would gather over\n"
      "                            1000 neighbours, as on dense scans), exact, or fast (clustered, bounded work\n"
      "                            per vertex); the summary's \"smoothing\" says which was used\n"
      "  --segmentation            sections use the segmentation (\"Use Segmentation\"; default off)\n"
      "  --cover-all               keep accepting weaker planes that cut uncut segments (default off)\n"
      "  --planes N                accept the N strongest planes whatever their vote total, 0 to 100; 0 (the\n"
      "                            default) accepts planes while they reach the threshold\n"
      "  --no-hermite              bridge contour gaps with straight lines instead of Hermite curves\n"
      "  --hermite                 Hermite curves (default)\n"
      "  --hermite-factor F        Hermite tangent factor, 0.1 to 10 (default 1)\n"
      "  --no-auto-segmentation    a model without a segmentation file is one segment (by default its\n"
      "                            segmentation is computed); --auto-segmentation turns it on again\n"
      "  --no-auto-symmetry        a model without a symmetry file has no symmetry planes or axes (by\n"
      "                            default they are detected); --auto-symmetry turns it on again\n"
      "Model and output:\n"
      "  --normalize               centre the model and scale it into radius 0.9 first (recorded in the\n"
      "                            summary); without it a model reaching outside the unit ball is warned about\n"
      "  --matrix                  also write the matrix file AandC.m\n"
      "  --svg                     also write the slab outlines as SVG\n"
      "  --quality                 also measure coverage: the share of 20,000 surface samples within 0.03 and\n"
      "                            0.06 of the model's radius from a slab, per plane and in total, beside the\n"
      "                            three principal planes and a greedy choice of axis planes (in the summary\n"
      "                            under \"quality\" and on the model's line)\n"
      "  --out DIR                 output folder (created when missing)\n"
      "Running:\n"
      "  --jobs N                  run N models at once (default 1)\n"
      "  --timeout S               stop a model's worker after S seconds, 0 for no limit (default 1800:\n"
      "                            three times the longest real run measured); the model fails with its stage\n"
      "  --force                   process models whose summary exists again\n"
      "  --quiet                   no progress output (failures and warnings still go to standard error)\n"
      "  --help                    this text\n");
  return h;
}
