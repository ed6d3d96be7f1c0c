// korvane_modelgen: writes the bundled study models (OFF meshes with their
// segmentation and symmetry files) into the folder given as the argument.

#include <cstdio>
#include <string>

#include "models.h"
#include "writer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = true;
  for (modelgen::Model& m : modelgen::makeAllModels()) {
    m.fitIntoBall(0.9);
    if (!modelgen::writeModel(m, dir)) {
      ok = false;
      continue;
    }
    std::printf("%-8s %-8s %6zu vertices %6zu faces %3d segments %zu planes %zu axes\n", (m.name + ".off").c_str(),
                m.label.c_str(), m.vertices.size(), m.faces.size(), m.segmentCount, m.planes.size(), m.axes.size());
  }
  return ok ? 0 : 1;
}
