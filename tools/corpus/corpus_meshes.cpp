// Hand-made model files that attack one reader each: counts in headers far
// beyond the data, non-finite coordinates, indices outside the vertex list,
// many triangles on one edge, PLY headers the PLY reader cannot finish, and
// files that are not what their names say.

#include <cmath>
#include <limits>

#include "corpus_builder.h"
#include "mesh_files.h"

namespace corpus {

using modelgen::Model;
using modelgen::Tri;
using modelgen::V3;

namespace {

// The model's vertex and face lines of an OFF file, after its counts line.
std::string offBody(const Model& m) {
  const std::string off = offText(m);
  return off.substr(off.find('\n', 4) + 1);
}

std::string offWithCounts(const Model& m, const std::string& counts) { return "OFF\n" + counts + "\n" + offBody(m); }

// A PLY header line replaced (the first line starting with `start`).
std::string replaceLine(const std::string& text, const std::string& start, const std::string& line) {
  const size_t at = text.find("\n" + start);
  if (at == std::string::npos) return text;
  const size_t end = text.find('\n', at + 1);
  return text.substr(0, at + 1) + line + text.substr(end);
}

// `k` triangles sharing the edge from (0, -0.4, 0) to (0, 0.4, 0), their
// third corners round a circle of radius 0.5.
Model fan(int k) {
  Model m;
  m.vertices = {V3(0, -0.4, 0), V3(0, 0.4, 0)};
  for (int i = 0; i < k; ++i) {
    const double a = 2.0 * M_PI * i / k;
    m.vertices.push_back(V3(0.5 * std::cos(a), 0.0, 0.5 * std::sin(a)));
    m.faces.push_back({0, 1, i + 2});
  }
  return m;
}

}  // namespace

void addHeaderCounts(CorpusBuilder& b, const Model& m) {
  const std::string v = std::to_string(m.vertices.size()), f = std::to_string(m.faces.size());
  const auto off = [&](const std::string& name, const std::string& counts, const std::string& note, bool sample) {
    b.add("huge-count-off", "huge-count-off-" + name + ".off", Expect::Refuse, offWithCounts(m, counts), note, sample);
  };
  off("vertices-2e9", "2000000000 " + f + " 0", "2e9 vertices declared", true);
  off("faces-2e9", v + " 2000000000 0", "2e9 faces declared", false);
  off("both-int-max", "2147483647 2147483647 0", "INT_MAX vertices and faces declared", false);
  off("vertices-negative", "-5 " + f + " 0", "-5 vertices declared", false);
  off("vertices-overflow", "99999999999999999999 " + f + " 0", "a vertex count beyond 64 bits", false);
  {
    std::string text = offText(m);
    const size_t at = text.find("\n3 ") + 1;
    text.replace(at, 1, "2000000000");
    b.add("huge-count-off", "huge-count-off-corners-2e9.off", Expect::Refuse, text, "a face line declaring 2e9 corners",
          false);
  }

  const std::string ply = plyAscii(m), plyb = plyBinary(m);
  const auto plyCase = [&](const std::string& name, Expect expect, const std::string& text, const std::string& note,
                           bool sample) {
    b.add("huge-count-ply", "huge-count-ply-" + name + ".ply", expect, text, note, sample);
  };
  plyCase("vertices-int-max", Expect::Refuse, replaceLine(ply, "element vertex", "element vertex 2147483647"),
          "ASCII, INT_MAX vertices declared", true);
  plyCase("vertices-4e9", Expect::Refuse, replaceLine(ply, "element vertex", "element vertex 4294967295"),
          "ASCII, 2^32-1 vertices declared", false);
  plyCase("faces-2e9", Expect::Refuse, replaceLine(ply, "element face", "element face 2000000000"),
          "ASCII, 2e9 faces declared", false);
  {
    std::string text = ply;
    const size_t at = text.find("\n3 ", text.find("end_header")) + 1;
    text.replace(at, 1, "255");
    plyCase("list-255", Expect::Any, text, "ASCII, a face list of 255 corners holding 3", false);
  }
  plyCase("binary-vertices-2e9", Expect::Refuse, replaceLine(plyb, "element vertex", "element vertex 2000000000"),
          "binary, 2e9 vertices declared", false);
  {
    std::string text = plyb;
    const size_t faces = text.find("end_header\n") + 11 + m.vertices.size() * 12;
    text[faces] = char(255);
    plyCase("binary-list-255", Expect::Any, text, "binary, a face list of 255 corners holding 3", false);
  }
  {
    // Face lists counted in 32 bits, the first one 2^32-1 long.
    std::string text = replaceLine(plyb, "property list", "property list uint int vertex_indices");
    const size_t faces = text.find("end_header\n") + 11 + m.vertices.size() * 12;
    std::string body = text.substr(0, faces);
    for (size_t k = 0; k < m.faces.size(); ++k) {
      putU32(body, k == 0 ? 0xffffffffu : 3u);
      for (int c : {m.faces[k].a, m.faces[k].b, m.faces[k].c}) putU32(body, uint32_t(c));
    }
    plyCase("binary-list-uint-max", Expect::Refuse, body, "binary, a face list of 2^32-1 corners", false);
  }

  {
    std::string text = objText(m) + "f 1 2 99999999999999999999\n";
    b.add("huge-count-obj", "huge-count-obj-index-overflow.obj", Expect::Any, text, "a face index beyond 64 bits",
          false);
    text = objText(m) + "f";
    for (int k = 0; k < 100000; ++k) text += " " + std::to_string(1 + k % int(m.vertices.size()));
    b.add("huge-count-obj", "huge-count-obj-corners-100000.obj", Expect::Any, text + "\n", "a face of 100,000 corners",
          true);
    text = objText(m) + "v";
    for (int k = 0; k < 1000000; ++k) text += " 0.5";
    b.add("huge-count-obj", "huge-count-obj-coordinates-1e6.obj", Expect::Any, text + "\n",
          "a vertex line of 1,000,000 numbers", false);
  }

  const std::string stl = stlBinary(m);
  const auto stlCount = [&](const std::string& name, Expect expect, uint32_t count, const std::string& note,
                            bool sample) {
    std::string text = stl;
    std::string c;
    putU32(c, count);
    text.replace(80, 4, c);
    b.add("huge-count-stl", "huge-count-stl-" + name + ".stl", expect, text, note, sample);
  };
  stlCount("count-max", Expect::Refuse, 0xffffffffu, "binary, 2^32-1 triangles declared", true);
  stlCount("count-2e9", Expect::Refuse, 0x7fffffffu, "binary, 2^31-1 triangles declared", false);
  stlCount("count-short", Expect::Refuse, uint32_t(m.faces.size() + 1000), "binary, 1000 triangles more declared",
           false);
  stlCount("count-zero", Expect::Any, 0, "binary, no triangles declared before the triangles", false);
  {
    std::string text = stl;
    text.replace(0, 6, "solid ");
    b.add("huge-count-stl", "huge-count-stl-solid-header.stl", Expect::Any, text,
          "binary, its header starting with the ASCII keyword", false);
  }
}

void addNonFinite(CorpusBuilder& b, const Model& m) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  // The first corner of the first face gets the value in x.
  const auto with = [&](double value) {
    Model bad = m;
    bad.vertices[size_t(bad.faces[0].a)].x = value;
    return bad;
  };
  const auto add = [&](const std::string& kind, const std::string& name, const std::string& bytes,
                       const std::string& note,
                       bool sample) { b.add(kind, kind + "-" + name, Expect::Refuse, bytes, note, sample); };
  add("nonfinite-off", "nan.off", offText(with(nan)), "a used vertex at x = nan", true);
  add("nonfinite-off", "inf.off", offText(with(inf)), "a used vertex at x = inf", false);
  add("nonfinite-off", "minus-inf.off", offText(with(-inf)), "a used vertex at x = -inf", false);
  add("nonfinite-off", "1e39.off", offText(with(1e39)), "a used vertex at x = 1e39 (beyond float)", false);
  add("nonfinite-obj", "nan.obj", objText(with(nan)), "a used vertex at x = nan", true);
  add("nonfinite-obj", "inf.obj", objText(with(inf)), "a used vertex at x = inf", false);
  add("nonfinite-obj", "1e39.obj", objText(with(1e39)), "a used vertex at x = 1e39 (beyond float)", false);
  add("nonfinite-ply", "nan.ply", plyAscii(with(nan)), "ASCII, a used vertex at x = nan", true);
  add("nonfinite-ply", "binary-nan.ply", plyBinary(with(nan)), "binary, a used vertex at x = nan", false);
  add("nonfinite-ply", "binary-inf.ply", plyBinary(with(inf)), "binary, a used vertex at x = inf", false);
  add("nonfinite-stl", "nan.stl", stlBinary(with(nan)), "binary, a corner at x = nan", true);
  add("nonfinite-stl", "inf.stl", stlBinary(with(inf)), "binary, a corner at x = inf", false);
  add("nonfinite-stl", "ascii-nan.stl", stlAscii(with(nan)), "ASCII, a corner at x = nan", false);
  add("nonfinite-gltf", "nan.gltf", gltfText(with(nan)), "a used vertex at x = nan", true);
  add("nonfinite-gltf", "inf.glb", glbBytes(with(inf)), "binary container, a used vertex at x = inf", false);
  Model allNan = m;
  for (V3& p : allNan.vertices) p = V3(nan, nan, nan);
  add("nonfinite-gltf", "all-nan.gltf", gltfText(allNan), "every vertex at nan", false);
}

void addBadIndices(CorpusBuilder& b, const Model& m) {
  const int n = int(m.vertices.size());
  // The first face's last corner replaced.
  const auto with = [&](long long corner) {
    Model bad = m;
    bad.faces[0].c = int(corner);
    return bad;
  };
  const auto offWith = [&](const std::string& corner) {
    std::string text = offText(m);
    const size_t line = text.find("\n3 ") + 1, end = text.find('\n', line);
    const size_t last = text.rfind(' ', end);
    return text.substr(0, last + 1) + corner + text.substr(end);
  };
  b.add("bad-index-off", "bad-index-off-negative.off", Expect::Any, offWith("-1"), "a corner index -1", true);
  b.add("bad-index-off", "bad-index-off-vertex-count.off", Expect::Any, offWith(std::to_string(n)),
        "a corner index equal to the vertex count", false);
  b.add("bad-index-off", "bad-index-off-int-max.off", Expect::Any, offWith("2147483647"), "a corner index INT_MAX",
        false);
  b.add("bad-index-off", "bad-index-off-overflow.off", Expect::Any, offWith("99999999999"),
        "a corner index beyond 32 bits", false);
  {
    Model bad = m;
    for (Tri& t : bad.faces) t.c = n + 7;
    b.add("bad-index-off", "bad-index-off-every-face.off", Expect::Refuse, offText(bad),
          "every face with a corner beyond the vertices", false);
  }

  const auto objWith = [&](const std::string& face) { return objText(m) + face + "\n"; };
  b.add("bad-index-obj", "bad-index-obj-zero.obj", Expect::Any, objWith("f 0 1 2"), "a face with index 0", true);
  b.add("bad-index-obj", "bad-index-obj-beyond.obj", Expect::Any, objWith("f 1 2 " + std::to_string(n + 5)),
        "a face with an index beyond the vertices", false);
  b.add("bad-index-obj", "bad-index-obj-far-negative.obj", Expect::Any, objWith("f -100000 1 2"),
        "a face with a relative index before the first vertex", false);
  b.add("bad-index-obj", "bad-index-obj-int-min.obj", Expect::Any, objWith("f -2147483648 1 2"),
        "a face with index INT_MIN", false);

  b.add("bad-index-ply", "bad-index-ply-vertex-count.ply", Expect::Any, plyAscii(with(n)),
        "ASCII, a corner index equal to the vertex count", true);
  b.add("bad-index-ply", "bad-index-ply-negative.ply", Expect::Any, plyAscii(with(-1)), "ASCII, a corner index -1",
        false);
  b.add("bad-index-ply", "bad-index-ply-binary-uint-max.ply", Expect::Any, plyBinary(with(-1)),
        "binary, a corner index 2^32-1", false);

  b.add("bad-index-gltf", "bad-index-gltf-beyond.gltf", Expect::Any, gltfText(with(n + 100)),
        "an index 100 beyond the vertices", true);
  b.add("bad-index-gltf", "bad-index-gltf-uint-max.glb", Expect::Any, glbBytes(with(-1)),
        "binary container, an index 2^32-1", false);
  {
    // The index accessor counts 300 more indices than its view holds.
    std::string text = gltfText(m);
    const std::string count = "\"count\":" + std::to_string(m.faces.size() * 3);
    text.replace(text.rfind(count), count.size(), "\"count\":" + std::to_string(m.faces.size() * 3 + 300));
    b.add("bad-index-gltf", "bad-index-gltf-accessor-past-view.gltf", Expect::Refuse, text,
          "an index accessor longer than its buffer view", false);
  }
}

void addNonManifold(CorpusBuilder& b) {
  for (int k : {3, 16, 256, 4096, 65536})
    b.add("fan", "fan-" + std::to_string(k) + ".off", Expect::Any, offText(fan(k)),
          std::to_string(k) + " triangles on one edge", k == 4096);
  b.add("fan", "fan-4096.obj", Expect::Any, objText(fan(4096)), "4096 triangles on one edge", false);
  b.add("fan-foreign", "fan-foreign-4096.ply", Expect::Any, plyBinary(fan(4096)), "4096 triangles on one edge", true);
  b.add("fan-foreign", "fan-foreign-65536.ply", Expect::Any, plyBinary(fan(65536)), "65536 triangles on one edge",
        false);
  b.add("fan-foreign", "fan-foreign-4096.stl", Expect::Any, stlBinary(fan(4096)), "4096 triangles on one edge", false);
  b.add("fan-foreign", "fan-foreign-4096.glb", Expect::Any, glbBytes(fan(4096)), "4096 triangles on one edge", false);

  Model line;
  for (int i = 0; i < 102; ++i) line.vertices.push_back(V3(-0.8 + 0.016 * i, 0, 0));
  for (int i = 0; i < 100; ++i) line.faces.push_back({i, i + 1, i + 2});
  b.add("degenerate", "degenerate-collinear.off", Expect::Any, offText(line), "100 triangles on one line", true);
  Model repeated = fan(1);
  for (int i = 0; i < 999; ++i) repeated.faces.push_back(repeated.faces[0]);
  b.add("degenerate", "degenerate-repeated.off", Expect::Any, offText(repeated), "one triangle 1000 times", false);
  Model point = fan(8);
  for (V3& p : point.vertices) p = V3(0.1, 0.2, 0.3);
  b.add("degenerate", "degenerate-one-point.off", Expect::Any, offText(point), "8 triangles at one point", false);
  b.add("degenerate", "degenerate-points-only.off", Expect::Refuse, "OFF\n3 0 0\n0 0 0\n1 0 0\n0 1 0\n",
        "three vertices and no faces", false);
}

void addPlyHeaders(CorpusBuilder& b) {
  const std::string vertexDecl = "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n";
  const std::string faceDecl = "element face 1\nproperty list uchar int vertex_indices\n";
  const std::string data = "0 0 0\n0.5 0 0\n0 0.5 0\n3 0 1 2\n";
  const std::string ascii = "ply\nformat ascii 1.0\n";
  // Headers the reader does not finish: it looks for the header's end line
  // past the end of the file.
  const auto hang = [&](const std::string& name, const std::string& text, const std::string& note, bool sample) {
    b.add("ply-header-hang", "ply-header-hang-" + name + ".ply", Expect::Refuse, text, note, sample);
  };
  hang("blank-lines", ascii + "\n\n", "blank lines after the format line", true);
  hang("no-end-header", ascii + vertexDecl + faceDecl, "declarations without end_header or data", false);
  hang("no-end-header-with-data", ascii + vertexDecl + faceDecl + data, "declarations and data without end_header",
       false);
  hang("comment-only", ascii + "comment nothing else\n", "a comment after the format line, then the end", false);
  hang("crlf-no-end-header", "ply\r\nformat ascii 1.0\r\nelement vertex 3\r\n", "CR LF lines, no end_header", false);
  hang("spaces-line", ascii + "   \n", "a line of spaces after the format line", false);
  hang("binary-no-end-header", "ply\nformat binary_little_endian 1.0\n" + vertexDecl + std::string(36, '\x01'),
       "binary, declarations and bytes without end_header", false);

  const auto odd = [&](const std::string& name, Expect expect, const std::string& text, const std::string& note,
                       bool sample) {
    b.add("ply-header-odd", "ply-header-odd-" + name + ".ply", expect, text, note, sample);
  };
  odd("face-without-data", Expect::Refuse, ascii + vertexDecl + faceDecl + "end_header\n0 0 0\n0.5 0 0\n0 0.5 0\n",
      "a declared face element without its data", true);
  odd("element-without-properties", Expect::Refuse, ascii + "element vertex 3\nend_header\n0\n0\n0\n",
      "an element without properties", false);
  odd("property-before-element", Expect::Any,
      ascii + "property float x\n" + vertexDecl + faceDecl + "end_header\n" + data, "a property before any element",
      false);
  odd("list-float-count", Expect::Any,
      ascii + vertexDecl + "element face 1\nproperty list float int vertex_indices\nend_header\n" +
          "0 0 0\n0.5 0 0\n0 0.5 0\n3.0 0 1 2\n",
      "a face list counted by a float", false);
  odd("x-only", Expect::Any,
      ascii + "element vertex 3\nproperty float x\n" + faceDecl + "end_header\n0\n0.5\n0\n3 0 1 2\n",
      "vertices with x only", false);
  odd("big-endian-ascii-body", Expect::Any,
      "ply\nformat binary_big_endian 1.0\n" + vertexDecl + faceDecl + "end_header\n" + data,
      "binary big-endian declared, ASCII body", false);
  odd("unknown-format", Expect::Refuse, "ply\nformat ebcdic 1.0\n" + vertexDecl + faceDecl + "end_header\n" + data,
      "an unknown format", false);
  odd("two-vertex-elements", Expect::Any,
      ascii + vertexDecl + vertexDecl + faceDecl + "end_header\n0 0 0\n0.5 0 0\n0 0.5 0\n" + data,
      "the vertex element declared twice", false);
  odd("count-not-number", Expect::Refuse,
      ascii + "element vertex three\nproperty float x\nproperty float y\nproperty float z\n" + faceDecl +
          "end_header\n" + data,
      "an element count that is a word", false);
  odd("unknown-type", Expect::Refuse,
      ascii + "element vertex 3\nproperty quaternion x\nproperty float y\nproperty float z\n" + faceDecl +
          "end_header\n" + data,
      "a property of an unknown type", false);
}

void addOddFiles(CorpusBuilder& b, const Model& m) {
  const auto made = [&](const std::string& name, Expect expect, const std::string& note, bool sample) {
    b.list("odd-file", "odd-file-" + name, expect, note, sample);
  };
  b.add("odd-file", "odd-file-empty.off", Expect::Refuse, std::string(), "an empty OFF file", false);
  b.add("odd-file", "odd-file-empty.ply", Expect::Refuse, std::string(), "an empty PLY file", false);
  if (b.wanted(true)) b.makeFifo("odd-file-fifo.ply");
  made("fifo.ply", Expect::Refuse, "a FIFO named as a model", true);
  if (b.wanted(false)) b.makeDirectory("odd-file-directory.off");
  made("directory.off", Expect::Refuse, "a folder named as a model", false);
  if (b.wanted(false)) b.makeLink("odd-file-dev-zero.stl", "/dev/zero");
  made("dev-zero.stl", Expect::Refuse, "a link to /dev/zero named as a model", false);
  b.add("odd-file", "odd-file-obj-text.off", Expect::Any, objText(m), "OBJ text named .off", false);
  b.add("odd-file", "odd-file-off-text.ply", Expect::Refuse, offText(m), "OFF text named .ply", false);
  {
    SeededRandom random("odd-file-junk");
    std::string junk(4096, '\0');
    for (char& c : junk) c = char(random.below(256));
    b.add("odd-file", "odd-file-junk.obj", Expect::Refuse, junk, "4 KiB of random bytes named .obj", false);
  }
  {
    std::string utf16 = "\xff\xfe";
    for (char c : offText(m)) {
      utf16 += c;
      utf16 += '\0';
    }
    b.add("odd-file", "odd-file-utf16.off", Expect::Refuse, utf16, "OFF text in UTF-16", false);
  }
  b.add("odd-file", "odd-file-no-extension", Expect::Refuse, offText(m), "OFF text without an extension", false);
}

}  // namespace corpus
