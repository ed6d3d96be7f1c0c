#pragma once

// The corpus's own writers: a model (vertices and triangles, modelgen's
// records) as the bytes of each format the batch tool reads, and the
// byte-level pieces hostile files are assembled from. Coordinates are written
// as given, so a model with NaN or infinite coordinates is written with them.

#include <cstdint>
#include <string>

#include "modelgen/shapes.h"

namespace corpus {

// A coordinate as text: "%.7g" for finite values, "nan", "inf" or "-inf".
std::string numberText(double v);

// Standard base64 with padding.
std::string base64Text(const std::string& bytes);

// Little-endian 32-bit values appended to `out`.
void putU32(std::string& out, uint32_t v);
void putF32(std::string& out, float v);
void putU16(std::string& out, uint16_t v);

std::string offText(const modelgen::Model& m);
std::string objText(const modelgen::Model& m);
std::string plyAscii(const modelgen::Model& m);
std::string plyBinary(const modelgen::Model& m);  // little endian, uchar/int face lists
std::string stlAscii(const modelgen::Model& m);
std::string stlBinary(const modelgen::Model& m);

// The geometry of a glTF 2.0 model: float positions (VEC3) followed by
// 32-bit indices (SCALAR), in one buffer.
std::string gltfGeometry(const modelgen::Model& m);

// How a glTF document refers to its nodes and its one buffer.
struct GltfLayout {
  std::string nodes = "[{\"mesh\":0}]";  // JSON array of node objects
  std::string rootNodes = "[0]";         // JSON array of the scene's node indices
  bool externalBuffer = false;           // the buffer's "uri" is `bufferUri` (else a base64 data uri, or the GLB chunk)
  std::string bufferUri;
  long long byteLength = -1;  // the buffer's declared length; -1: the geometry's size
};

// A glTF 2.0 document (JSON) with one mesh, the model's triangles.
std::string gltfText(const modelgen::Model& m, const GltfLayout& layout = GltfLayout());
// The same as a binary container; without an external buffer the geometry
// is its BIN chunk.
std::string glbBytes(const modelgen::Model& m, const GltfLayout& layout = GltfLayout());

}  // namespace corpus
