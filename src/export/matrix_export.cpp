#include "export/matrix_export.h"

#include <QDebug>
#include <QRegularExpression>

#include "engine/sorvex.h"
#include "export/atomic_text_file.h"

namespace {

// Vote weight of a bin per feature type.
struct TypeWeights {
  float w[kFeatureTypeCount] = {};

  explicit TypeWeights(const Bin& bin) {
    for (const Vote& v : bin.votes)
      if (v.featureType >= 0 && v.featureType < kFeatureTypeCount) w[v.featureType] += v.weight;
  }
  int positiveCount() const {
    int n = 0;
    for (float x : w) n += x > 0.0f ? 1 : 0;
    return n;
  }
};

void writeRowValues(AtomicTextFile& f, const float (&values)[kFeatureTypeCount], const QByteArray& comment = {}) {
  for (float x : values) f.printf("%f ", double(x));
  f.write(" ;");
  f.write(comment);
  f.write("\n");
}

}  // namespace

QString matrixModelName(const QString& modelPath) {
  QString name = modelPath;
  const int slash = name.lastIndexOf(QLatin1Char('/'));
  if (slash >= 0) name = name.mid(slash + 1);
  const int dot = name.indexOf(QLatin1Char('.'));
  if (dot >= 0) name = name.left(dot);
  return name;
}

MatrixName matrixNameField(const QString& name) {
  static const QRegularExpression number(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
  MatrixName out;
  if (number.match(name).hasMatch()) {
    out.field = name.toLatin1();
    return out;
  }
  out.field = "NaN";
  if (!name.isEmpty()) {
    QString text = name;
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    out.comment = " % " + text.toUtf8();
  }
  return out;
}

bool writeMatrix(Sorvex& engine, const QString& path) {
  AtomicTextFile f;
  if (!f.open(path)) {
    qDebug("Unable to write file %s.\n", path.toLocal8Bit().constData());
    return false;
  }
  const MatrixName name = matrixNameField(matrixModelName(engine.modelPath));
  BinSpace& bins = engine.bins;

  f.write("A = [ ");
  qDebug("'Positive' inequalities going out...");
  const QList<SectionPlane> planes = engine.planes;  // support features may not change them, but be sure
  for (const SectionPlane& p : planes) {
    int i = 0, j = 0, k = 0;
    BinSpace::planeToBin(p.normal, p.d, i, j, k);
    const Bin b = bins.binAt(i, j, k);  // an empty bin for a plane outside the space
    engine.selectedBins.append(b);
    const TypeWeights w(b);
    f.write(name.field);
    f.printf(" %f %u %f %i ", double(p.voteScore), p.voteCount, double(b.total), int(b.votes.size()));
    writeRowValues(f, w.w, name.comment);
    bins.removeFeatureVotes(b);
    engine.addPerpendicularSupport(p, b);
    engine.addSymmetricSupport(p, b);
  }
  f.write("];\n");
  qDebug("'Negative' inequalities going out...");
  f.write("C = [ ");

  const QList<Bin*> voted = bins.nonEmptyBins();
  float e[kFeatureTypeCount] = {};
  for (const Bin* bin : voted) {
    const TypeWeights w(*bin);
    if (w.positiveCount() != 1) continue;
    for (int t = 0; t < kFeatureTypeCount; ++t)
      if (w.w[t] > e[t]) e[t] = w.w[t];
  }
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    if (!(e[t] > 0.0f)) continue;
    float row[kFeatureTypeCount] = {};
    row[t] = e[t];
    writeRowValues(f, row);
  }
  for (const Bin* bin : voted) {
    const TypeWeights w(*bin);
    if (w.positiveCount() > 1) writeRowValues(f, w.w);
  }
  f.write("];\n");
  const bool ok = f.commit();
  if (ok)
    qDebug("Done.");
  else
    qDebug("Unable to write file %s.\n", path.toLocal8Bit().constData());
  return ok;
}

bool exportMatrix(Sorvex& engine, const QString& path) {
  if (engine.isRunning()) {
    qDebug("The plane selection is running; %s not written.", path.toLocal8Bit().constData());
    return false;
  }
  std::lock_guard<StateLock> lock(engine.stateMutex);
  engine.bins.clearBins();
  engine.selectedBins.clear();
  engine.buildFeatures();
  engine.populateBins();
  return writeMatrix(engine, path);
}
