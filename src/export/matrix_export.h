#pragma once

#include <QByteArray>
#include <QString>

class Sorvex;

// Default name of the matrix file, in the working directory.
constexpr const char* kMatrixFileName = "AandC.m";

// The model's name for the matrix rows: the model path without its folders
// and from its first "." on ("../objs/385.off" -> "385").
QString matrixModelName(const QString& modelPath);

// How the model's name is written in the first column of every A row. A
// name that is a number as the numerical tool reads it ("385", "2.5", "1e3",
// optionally signed) is written as it is; any other name ("bull") would be an
// undefined variable there, so the column holds NaN and the row ends, after
// its " ;", with the comment " % " + name (line breaks in the name become
// spaces).
struct MatrixName {
  QByteArray field;
  QByteArray comment;  // empty for a numeric name
};
MatrixName matrixNameField(const QString& name);

// The "Compute Matrix A" action: rebuilds the features and their votes, then
// writes the matrix script (see writeMatrix). Changes the engine's bins,
// selectedBins and support features as a run's bookkeeping would. Refuses
// (false, nothing changed) while a plane-selection run is active. Returns
// true when the file was written.
bool exportMatrix(Sorvex& engine, const QString& path = QString::fromLatin1(kMatrixFileName));

// The writing half of exportMatrix, over the votes the bins hold now: for
// every plane in list order an A row (name, voteScore, voteCount, total and
// vote count of the plane's bin, then the bin's vote weight per feature type),
// after which the features voting in that bin stop voting and the plane's
// support features vote; then the C rows over the voted bins left: per type
// the largest weight of a bin where that type votes alone, then the
// per-type weights of every bin where several types vote. The caller holds
// the engine's stateMutex.
bool writeMatrix(Sorvex& engine, const QString& path);
