#pragma once

#include <string>

// Foreign mesh files that take the assimp library down, built from their
// description.
namespace testsupport {

// A glTF holding one triangle under `nodes` (node k lists node k + 1 as its
// child `copies` times): a deep chain for copies = 1 (the library recurses
// once per level), an exponential instancing for copies = 2.
std::string nodeChainGltf(int nodes, int copies);

// A PLY header without its end: the library reads on forever.
std::string endlessPlyHeader();

}  // namespace testsupport
