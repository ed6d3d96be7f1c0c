#include "corpus.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "corpus_builder.h"

namespace corpus {

using modelgen::Model;

// ---- the builder ----

namespace {

bool writeWhole(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

void CorpusBuilder::add(const std::string& kind, const std::string& file, Expect expect, const std::string& bytes,
                        const std::string& note, bool sample) {
  if (wanted(sample)) writeFile(file, bytes);
  list(kind, file, expect, note, sample);
}

void CorpusBuilder::list(const std::string& kind, const std::string& file, Expect expect, const std::string& note,
                         bool sample) {
  samplesPerKind_[kind] += sample ? 1 : 0;
  if (!wanted(sample)) return;
  for (const CorpusInput& in : inputs_)
    if (in.file == file) fail("two inputs named " + file);
  inputs_.push_back({file, kind, expect, sample, note});
}

void CorpusBuilder::writeFile(const std::string& name, const std::string& bytes) {
  if (!writeWhole(path(name), bytes)) fail("cannot write " + path(name) + ": " + std::strerror(errno));
}

void CorpusBuilder::makeFifo(const std::string& name) {
  ::unlink(path(name).c_str());
  if (::mkfifo(path(name).c_str(), 0600) != 0) fail("cannot make the FIFO " + path(name) + ": " + std::strerror(errno));
}

void CorpusBuilder::makeDirectory(const std::string& name) {
  ::unlink(path(name).c_str());
  if (::mkdir(path(name).c_str(), 0700) != 0 && errno != EEXIST)
    fail("cannot make the folder " + path(name) + ": " + std::strerror(errno));
}

void CorpusBuilder::makeLink(const std::string& name, const std::string& target) {
  ::unlink(path(name).c_str());
  if (::symlink(target.c_str(), path(name).c_str()) != 0)
    fail("cannot make the link " + path(name) + ": " + std::strerror(errno));
}

void CorpusBuilder::makeSparseFile(const std::string& name, long long size) {
  std::FILE* f = std::fopen(path(name).c_str(), "wb");
  const bool ok = f && ::ftruncate(::fileno(f), off_t(size)) == 0;
  if (f) std::fclose(f);
  if (!ok) fail("cannot make the sparse file " + path(name) + ": " + std::strerror(errno));
}

void CorpusBuilder::checkSamples() {
  for (const auto& kind : samplesPerKind_)
    if (kind.second != 1)
      fail("kind " + kind.first + " has " + std::to_string(kind.second) + " sample inputs instead of one");
}

SeededRandom::SeededRandom(const std::string& name) {
  // FNV-1a of the name, mixed with the corpus's one seed.
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
  engine_.seed(h ^ 0x6b6f7276616e6531ull);
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return in ? s.str() : std::string();
}

// ---- the small models ----

std::vector<Model> baseModels() {
  using modelgen::V3;
  std::vector<Model> models(3);
  models[0].name = "ball";
  models[0].addPart(modelgen::ellipsoid(V3(0.8, 0.8, 0.8), 16, 8));
  models[0].addPlane(V3(1, 0, 0), 0.0);
  models[0].addPlane(V3(0, 0, 1), 0.0);
  models[0].addAxis(V3(0, 0.8, 0), V3(0, 0, 0));

  models[1].name = "ring";
  models[1].addPart(modelgen::torus(0.6, 0.2, 24, 10));
  models[1].addPlane(V3(0, 1, 0), 0.0);
  models[1].addAxis(V3(0, 0.2, 0), V3(0, 0, 0));

  // A bevelled peg standing on a box: two segments and sharp edges.
  models[2].name = "peg";
  models[2].addPart(
      modelgen::transformed(modelgen::cylinder(0.25, 0.5, 16, 0.04, 3), modelgen::translation(V3(0, 0.45, 0))));
  models[2].addPart(modelgen::roundedBox(V3(0.6, 0.15, 0.4), 0.05, 0.3, 1));
  models[2].addPlane(V3(1, 0, 0), 0.0);
  models[2].addPlane(V3(0, 0, 1), 0.0);
  for (Model& m : models) m.fitIntoBall(0.9);
  return models;
}

// ---- the corpus ----

std::vector<CorpusInput> writeCorpus(const std::string& dir, bool sampleOnly, std::string& error) {
  CorpusBuilder b(dir, sampleOnly);
  const std::vector<Model> models = baseModels();
  std::vector<SourceFile> sources;
  addValidModels(b, models, sources);
  addConversions(b, models, sources);
  addMutations(b, sources);
  addHeaderCounts(b, models[0]);
  addNonFinite(b, models[0]);
  addBadIndices(b, models[2]);
  addNonManifold(b);
  addPlyHeaders(b);
  addOddFiles(b, models[0]);
  addGltfGraphs(b, models[1]);
  addGltfBuffers(b, models[1]);
  addSegmentationFiles(b, models[2]);
  addSymmetryFiles(b, models[0]);
  b.checkSamples();
  if (!b.error().empty()) {
    error = b.error();
    return {};
  }
  return b.inputs();
}

// ---- the manifest ----

const char* expectName(Expect e) {
  switch (e) {
    case Expect::Ok:
      return "ok";
    case Expect::Refuse:
      return "refuse";
    case Expect::Any:
      break;
  }
  return "any";
}

bool parseExpect(const std::string& text, Expect& e) {
  for (Expect x : {Expect::Ok, Expect::Refuse, Expect::Any})
    if (text == expectName(x)) {
      e = x;
      return true;
    }
  return false;
}

bool writeManifest(const std::string& path, const std::vector<CorpusInput>& inputs) {
  std::string s = "file\tkind\texpect\tsample\tnote\n";
  for (const CorpusInput& in : inputs)
    s += in.file + "\t" + in.kind + "\t" + expectName(in.expect) + "\t" + (in.sample ? "1" : "0") + "\t" + in.note +
         "\n";
  return writeWhole(path, s);
}

bool readManifest(const std::string& path, std::vector<CorpusInput>& inputs, std::string& error) {
  inputs.clear();
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    if (++number == 1) continue;  // the header
    if (line.empty()) continue;
    std::vector<std::string> fields;
    std::stringstream s(line);
    for (std::string f; std::getline(s, f, '\t');) fields.push_back(f);
    CorpusInput input;
    if (fields.size() < 4 || !parseExpect(fields[2], input.expect)) {
      error = path + " line " + std::to_string(number) + " is not an input";
      return false;
    }
    input.file = fields[0];
    input.kind = fields[1];
    input.sample = fields[3] == "1";
    input.note = fields.size() > 4 ? fields[4] : std::string();
    inputs.push_back(input);
  }
  return true;
}

}  // namespace corpus
