#include "models.h"

namespace modelgen {

std::vector<Model> makeAllModels() {
  std::vector<Model> all;
  all.push_back(makeHuman());
  for (Model& m : makeCups()) all.push_back(m);
  for (Model& m : makePlanes()) all.push_back(m);
  all.push_back(makeChair());
  for (Model& m : makeTables()) all.push_back(m);
  all.push_back(makeBearing());
  all.push_back(makeDonkey());
  return all;
}

}  // namespace modelgen
