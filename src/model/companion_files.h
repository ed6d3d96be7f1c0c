#pragma once

#include <QList>
#include <QString>
#include <QVector>

#include "engine/cut_plane.h"

// Readers of the optional files that come with a model: the per-face
// segmentation ("<model>_0.seg") and the symmetry planes and axes
// ("<model>.sym"). Paths are relative to the working directory.

// Model path without its last four characters (the extension) + `suffix`; a
// longer extension (".gltf") is removed whole.
QString companionPath(const QString& modelPath, const QString& suffix);

// Reads a segmentation file: one segment id per line, parsed like atoi
// (leading blanks, optional sign, digits; a line without digits is segment
// 0; values beyond the int range saturate). A line keeps at most 99
// characters; the rest of a longer one is skipped (one debug line counts such
// lines), so every line is one face. The result always has
// exactly `faceCount` entries: missing lines are padded with 0 and extra
// lines dropped, each with a debug line. Returns false, leaving `faceSegment`
// unchanged, when the file cannot be opened or is not a regular file.
bool readSegmentation(const char* path, int faceCount, QVector<int>& faceSegment);

// Number of distinct values in `faceSegment`.
int countSegments(const QVector<int>& faceSegment);

// Reads a symmetry file, appending to the two lists. Fields are separated by
// single spaces, empty fields kept. A line whose field 0 contains "P" is a
// plane (normal x y z, offset d; normalised with normalizePlane); one whose
// field 0 contains "A" and no "P" is an axis (direction x y z, point x y z;
// the direction's length becomes halfLength). Other lines are ignored.
// A plane's normal is made unit length and its offset divided by the same
// length, so the record names the same plane; an axis direction is made unit
// length. Records with too few fields, a non-finite number, or no finite unit
// normal, direction, offset or length after that are skipped with a debug
// line; a field that does not parse reads as 0. Numbers are read in the "C"
// locale. A line keeps at most 499 characters; the rest of a longer one is
// skipped with a debug line. At most kMaxSymmetryRecords records are read
// (every record votes across the bin space; a model has a handful of
// symmetries): the rest of a longer file is skipped with a debug line.
// Returns false when the file cannot be opened or is not a regular file.
constexpr int kMaxSymmetryRecords = 256;
bool readSymmetry(const char* path, QList<CutPlane>& planes, QList<Axis>& axes);
