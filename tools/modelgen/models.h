#pragma once

// Builders of the bundled study models, one family per source file. Each
// model comes back in its own units (y up); the caller fits it into the unit
// ball before writing.

#include <vector>

#include "shapes.h"

namespace modelgen {

Model makeHuman();
std::vector<Model> makeCups();
std::vector<Model> makePlanes();
Model makeChair();
std::vector<Model> makeTables();
Model makeBearing();
Model makeDonkey();

// All nineteen models in the order of the study sequence.
std::vector<Model> makeAllModels();

}  // namespace modelgen
