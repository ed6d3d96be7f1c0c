#pragma once

#include <string>

#include "shapes.h"

namespace modelgen {

// Writes <dir>/<name>.off (triangles, "3 a b c" lines), <dir>/<name>_0.seg
// (one segment id per face) and <dir>/<name>.sym (one "P nx ny nz d" line per
// symmetry plane, one "A dx dy dz px py pz" line per axis). Each file is
// written beside its target and renamed into place, so a reader never sees a
// half-written file. Returns false (with a message on stderr) on failure.
bool writeModel(const Model& model, const std::string& dir);

}  // namespace modelgen
