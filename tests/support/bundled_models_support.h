#pragma once

#include <QString>
#include <QVector>

// The nineteen bundled study models, as the generator in tools/modelgen
// writes them into <source>/objs.
namespace testsupport {

struct BundledModel {
  const char* name;   // file name without extension, e.g. "21"
  const char* label;  // display label in the model sequence, e.g. "Cup 1"
};

// All nineteen, in the order of the model sequence.
const QVector<BundledModel>& bundledModels();

// Folder the generator writes into.
QString bundledModelsDir();

// <folder>/<name>.off, <folder>/<name>_0.seg and <folder>/<name>.sym.
QString bundledModelPath(const BundledModel& model);
QString bundledSegmentationPath(const BundledModel& model);
QString bundledSymmetryPath(const BundledModel& model);

// Reads a text file into lines without their line ends; false if it cannot
// be opened.
bool readLines(const QString& path, QStringList& lines);

}  // namespace testsupport
