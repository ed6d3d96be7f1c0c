#include "support/foreign_files.h"

namespace testsupport {

std::string nodeChainGltf(int nodes, int copies) {
  std::string list;
  for (int k = 0; k < nodes; ++k) {
    list += "{\"children\":[";
    for (int c = 0; c < copies; ++c) list += (c ? "," : "") + std::to_string(k + 1);
    list += "]},";
  }
  list += "{\"mesh\":0}";
  return "{\"asset\":{\"version\":\"2.0\"},\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[" + list +
         "],\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0}}]}],"
         "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":3,\"type\":\"VEC3\","
         "\"min\":[0,0,0],\"max\":[1,1,0]}],\"bufferViews\":[{\"buffer\":0,\"byteLength\":36}],"
         "\"buffers\":[{\"byteLength\":36,\"uri\":\"data:application/octet-stream;base64,"
         "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA\"}]}";
}

std::string endlessPlyHeader() { return "ply\nformat ascii 1.0\n"; }

}  // namespace testsupport
