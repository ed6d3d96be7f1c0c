#include "mesh_files.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace corpus {

using modelgen::Model;
using modelgen::Tri;
using modelgen::V3;

std::string base64Text(const std::string& bytes) {
  static const char* const kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t n = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kDigits[(n >> s) & 63];
  }
  if (i < bytes.size()) {
    uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) n |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

namespace {

std::string pointText(const V3& p) { return numberText(p.x) + " " + numberText(p.y) + " " + numberText(p.z); }

V3 faceNormal(const Model& m, const Tri& t) {
  const auto at = [&](int k) { return k >= 0 && size_t(k) < m.vertices.size() ? m.vertices[size_t(k)] : V3(); };
  return modelgen::normalised(modelgen::cross(at(t.b) - at(t.a), at(t.c) - at(t.a)));
}

}  // namespace

std::string numberText(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.7g", v);
  return buf;
}

void putU32(std::string& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out += char((v >> (8 * k)) & 0xff);
}

void putU16(std::string& out, uint16_t v) {
  out += char(v & 0xff);
  out += char(v >> 8);
}

void putF32(std::string& out, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  putU32(out, bits);
}

std::string offText(const Model& m) {
  std::string s = "OFF\n" + std::to_string(m.vertices.size()) + " " + std::to_string(m.faces.size()) + " 0\n";
  for (const V3& p : m.vertices) s += pointText(p) + "\n";
  for (const Tri& t : m.faces)
    s += "3 " + std::to_string(t.a) + " " + std::to_string(t.b) + " " + std::to_string(t.c) + "\n";
  return s;
}

std::string objText(const Model& m) {
  std::string s = "# corpus model\n";
  for (const V3& p : m.vertices) s += "v " + pointText(p) + "\n";
  for (const Tri& t : m.faces)
    s += "f " + std::to_string(t.a + 1) + " " + std::to_string(t.b + 1) + " " + std::to_string(t.c + 1) + "\n";
  return s;
}

namespace {

std::string plyHeader(const Model& m, const char* format) {
  return std::string("ply\nformat ") + format + " 1.0\nelement vertex " + std::to_string(m.vertices.size()) +
         "\nproperty float x\nproperty float y\nproperty float z\nelement face " + std::to_string(m.faces.size()) +
         "\nproperty list uchar int vertex_indices\nend_header\n";
}

}  // namespace

std::string plyAscii(const Model& m) {
  std::string s = plyHeader(m, "ascii");
  for (const V3& p : m.vertices) s += pointText(p) + "\n";
  for (const Tri& t : m.faces)
    s += "3 " + std::to_string(t.a) + " " + std::to_string(t.b) + " " + std::to_string(t.c) + "\n";
  return s;
}

std::string plyBinary(const Model& m) {
  std::string s = plyHeader(m, "binary_little_endian");
  for (const V3& p : m.vertices)
    for (int a = 0; a < 3; ++a) putF32(s, float(p[a]));
  for (const Tri& t : m.faces) {
    s += char(3);
    for (int k : {t.a, t.b, t.c}) putU32(s, uint32_t(k));
  }
  return s;
}

std::string stlAscii(const Model& m) {
  std::string s = "solid corpus\n";
  for (const Tri& t : m.faces) {
    s += "  facet normal " + pointText(faceNormal(m, t)) + "\n    outer loop\n";
    for (int k : {t.a, t.b, t.c})
      s += "      vertex " + pointText(k >= 0 && size_t(k) < m.vertices.size() ? m.vertices[size_t(k)] : V3()) + "\n";
    s += "    endloop\n  endfacet\n";
  }
  return s + "endsolid corpus\n";
}

std::string stlBinary(const Model& m) {
  std::string s(80, ' ');
  s.replace(0, 14, "corpus binary ");
  putU32(s, uint32_t(m.faces.size()));
  for (const Tri& t : m.faces) {
    const V3 n = faceNormal(m, t);
    for (int a = 0; a < 3; ++a) putF32(s, float(n[a]));
    for (int k : {t.a, t.b, t.c})
      for (int a = 0; a < 3; ++a)
        putF32(s, k >= 0 && size_t(k) < m.vertices.size() ? float(m.vertices[size_t(k)][a]) : 0.f);
    putU16(s, 0);
  }
  return s;
}

std::string gltfGeometry(const Model& m) {
  std::string s;
  for (const V3& p : m.vertices)
    for (int a = 0; a < 3; ++a) putF32(s, float(p[a]));
  for (const Tri& t : m.faces)
    for (int k : {t.a, t.b, t.c}) putU32(s, uint32_t(k));
  return s;
}

namespace {

// The JSON of the document; `uri` is the buffer's "uri" member (empty: none,
// as a GLB's own chunk).
std::string gltfJson(const Model& m, const GltfLayout& layout, const std::string& uriMember) {
  const size_t positionBytes = m.vertices.size() * 12, indexBytes = m.faces.size() * 12;
  const long long length = layout.byteLength >= 0 ? layout.byteLength : (long long)(positionBytes + indexBytes);
  V3 lo(0, 0, 0), hi(0, 0, 0);
  for (size_t k = 0; k < m.vertices.size(); ++k)
    for (int a = 0; a < 3; ++a) {
      const double v = m.vertices[k][a];
      if (k == 0 || v < lo[a]) lo[a] = v;
      if (k == 0 || v > hi[a]) hi[a] = v;
    }
  // JSON has no NaN: bounds of a model with non-finite coordinates are 0.
  const auto bound = [](double v) { return numberText(std::isfinite(v) ? v : 0.0); };
  std::string s = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"korvane corpus\"},\"scene\":0,";
  s += "\"scenes\":[{\"nodes\":" + layout.rootNodes + "}],";
  s += "\"nodes\":" + layout.nodes + ",";
  s += "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0},\"indices\":1,\"mode\":4}]}],";
  s += "\"buffers\":[{" + uriMember + "\"byteLength\":" + std::to_string(length) + "}],";
  s += "\"bufferViews\":[{\"buffer\":0,\"byteOffset\":0,\"byteLength\":" + std::to_string(positionBytes) +
       ",\"target\":34962},{\"buffer\":0,\"byteOffset\":" + std::to_string(positionBytes) +
       ",\"byteLength\":" + std::to_string(indexBytes) + ",\"target\":34963}],";
  s += "\"accessors\":[{\"bufferView\":0,\"componentType\":5126,\"count\":" + std::to_string(m.vertices.size()) +
       ",\"type\":\"VEC3\",\"min\":[" + bound(lo.x) + "," + bound(lo.y) + "," + bound(lo.z) + "],\"max\":[" +
       bound(hi.x) + "," + bound(hi.y) + "," + bound(hi.z) + "]},";
  s += "{\"bufferView\":1,\"componentType\":5125,\"count\":" + std::to_string(m.faces.size() * 3) +
       ",\"type\":\"SCALAR\"}]}";
  return s;
}

std::string jsonString(const std::string& text) {
  std::string s = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') s += '\\';
    s += c;
  }
  return s + "\"";
}

}  // namespace

std::string gltfText(const Model& m, const GltfLayout& layout) {
  const std::string uri =
      layout.externalBuffer ? layout.bufferUri : "data:application/octet-stream;base64," + base64Text(gltfGeometry(m));
  return gltfJson(m, layout, "\"uri\":" + jsonString(uri) + ",");
}

std::string glbBytes(const Model& m, const GltfLayout& layout) {
  std::string json =
      gltfJson(m, layout, layout.externalBuffer ? "\"uri\":" + jsonString(layout.bufferUri) + "," : std::string());
  while (json.size() % 4) json += ' ';
  std::string bin = layout.externalBuffer ? std::string() : gltfGeometry(m);
  while (bin.size() % 4) bin += '\0';
  std::string s = "glTF";
  putU32(s, 2);
  putU32(s, uint32_t(12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size())));
  putU32(s, uint32_t(json.size()));
  s += "JSON";
  s += json;
  if (!bin.empty()) {
    putU32(s, uint32_t(bin.size()));
    s += std::string("BIN\0", 4);
    s += bin;
  }
  return s;
}

}  // namespace corpus
