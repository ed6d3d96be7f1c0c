#include "support/bundled_models_support.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

namespace testsupport {

const QVector<BundledModel>& bundledModels() {
  static const QVector<BundledModel> models = {
      {"2", "Human"},     {"21", "Cup 1"},    {"22", "Cup 2"},    {"24", "Cup 3"},    {"25", "Cup 4"},
      {"30", "Cup 5"},    {"62", "Plane 1"},  {"63", "Plane 2"},  {"64", "Plane 3"},  {"65", "Plane 4"},
      {"66", "Plane 5"},  {"105", "Chair"},   {"141", "Table 1"}, {"142", "Table 2"}, {"143", "Table 3"},
      {"144", "Table 4"}, {"145", "Table 5"}, {"342", "Bearing"}, {"385", "Donkey"}};
  return models;
}

QString bundledModelsDir() { return QStringLiteral(KORVANE_SOURCE_DIR "/objs"); }

QString bundledModelPath(const BundledModel& model) {
  return bundledModelsDir() + "/" + QString::fromLatin1(model.name) + ".off";
}

QString bundledSegmentationPath(const BundledModel& model) {
  return bundledModelsDir() + "/" + QString::fromLatin1(model.name) + "_0.seg";
}

QString bundledSymmetryPath(const BundledModel& model) {
  return bundledModelsDir() + "/" + QString::fromLatin1(model.name) + ".sym";
}

bool readLines(const QString& path, QStringList& lines) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
  QTextStream in(&file);
  while (!in.atEnd()) lines.append(in.readLine());
  return true;
}

}  // namespace testsupport
