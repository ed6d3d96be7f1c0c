#pragma once

#include <QString>
#include <QStringList>

#include "engine/cut_plane.h"
#include "trimesh/smoothing_method.h"

// Command line of korvane-batch. Every algorithm option mirrors a control of
// the research panel, with the panel's start value as default and its range
// and number of decimals.
struct BatchOptions {
  // Feature grid: one flag, weight and radius per FeatureType.
  bool featureEnabled[kFeatureTypeCount];
  double featureWeight[kFeatureTypeCount];
  double featureRadius[kFeatureTypeCount];
  double binSelectThreshold = 1.0;
  double curvatureThreshold = 15.0;
  double curvatureSmooth = 0.01;
  // The curvature filter ("Smoothing").
  SmoothingMethod smoothing = SmoothingMethod::Auto;
  bool useSegmentation = false;
  bool coverAllSegments = false;
  // "Planes": 0 for the threshold rule, else the number of planes to accept.
  int planes = 0;
  bool hermiteInterp = true;
  double hermiteTanFactor = 1.0;

  // Where a model has no segmentation or symmetry file, compute one.
  bool autoSegmentation = true;
  bool autoSymmetry = true;

  // Beyond the panel.
  bool normalize = false;  // centre and scale into radius 0.9 first
  bool matrix = false;     // also write the matrix file
  bool svg = false;        // also write the slab outlines as SVG
  bool quality = false;    // also measure the planes' coverage against two baselines

  // Running.
  QString outDir;
  int jobs = 1;
  // Seconds a model may take before its worker is stopped (0: no limit). The
  // default is three times the longest real run measured (a scan of 2.2
  // million faces, about 11 minutes, most of it curvature smoothing).
  int timeoutSeconds = 1800;
  bool force = false;
  bool quiet = false;
  bool help = false;
  // Internal: this process is a worker of a batch; its model comes on
  // standard input.
  bool worker = false;

  QStringList models;

  BatchOptions();
};

// Command-line key of each feature family, in FeatureType order
// ("segment-planes", ..., "symmetric-support").
extern const char* const kFeatureOptionKeys[kFeatureTypeCount];

// Parses the arguments (without the program name). False with a one-line
// reason in `error` for an unknown option, a missing or malformed value, a
// value outside the panel's range, or a missing --out or model (unless
// --help).
bool parseBatchOptions(const QStringList& args, BatchOptions& options, QString& error);

// The arguments that give a worker the same algorithm and output settings
// (everything but the models, --jobs and the display options).
QStringList workerArguments(const BatchOptions& options);

// The text of --help: usage and every option with its default.
QString batchHelpText();
