#pragma once

// What the corpus's families share: the builder that writes and lists the
// inputs, the seeded random numbers, and the small models everything starts
// from. Each family is one function (corpus_*.cpp).

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "corpus.h"
#include "modelgen/shapes.h"

namespace corpus {

// Writes the inputs into one folder and lists them.
class CorpusBuilder {
 public:
  CorpusBuilder(std::string dir, bool sampleOnly) : dir_(std::move(dir)), sampleOnly_(sampleOnly) {}

  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& dir() const { return dir_; }
  // Whether an input (in the sample or not) is part of this build.
  bool wanted(bool sample) const { return sample || !sampleOnly_; }

  // An input with the given bytes; written and listed when wanted.
  void add(const std::string& kind, const std::string& file, Expect expect, const std::string& bytes,
           const std::string& note, bool sample = false);
  // An input whose file (a FIFO, a link, a conversion) the caller has made.
  void list(const std::string& kind, const std::string& file, Expect expect, const std::string& note,
            bool sample = false);
  // A file beside the inputs: a companion file, an external buffer, a source.
  void writeFile(const std::string& name, const std::string& bytes);
  // A FIFO, a directory or a symbolic link beside the inputs.
  void makeFifo(const std::string& name);
  void makeDirectory(const std::string& name);
  void makeLink(const std::string& name, const std::string& target);
  // A file of `size` bytes that holds no data (a hole): zeros when read.
  void makeSparseFile(const std::string& name, long long size);

  void fail(const std::string& message) {
    if (error_.empty()) error_ = message;
  }
  const std::string& error() const { return error_; }
  const std::vector<CorpusInput>& inputs() const { return inputs_; }
  // Fails the build unless every kind seen (listed or not) has exactly one
  // input in the sample.
  void checkSamples();

 private:
  std::string dir_;
  bool sampleOnly_;
  std::string error_;
  std::vector<CorpusInput> inputs_;
  std::map<std::string, int> samplesPerKind_;
};

// Pseudo-random numbers seeded from a name: the same name gives the same
// numbers on every platform (the 64-bit Mersenne twister is fixed by the
// language standard; no distribution objects, whose output is not).
class SeededRandom {
 public:
  explicit SeededRandom(const std::string& name);
  uint64_t next() { return engine_(); }
  // In [0, n), for n > 0.
  uint64_t below(uint64_t n) { return next() % n; }

 private:
  std::mt19937_64 engine_;
};

// A file's bytes; empty when it cannot be read.
std::string readBytes(const std::string& path);

// The three small models, named "ball", "ring" and "peg", inside radius 0.9,
// each with its segments and symmetry records.
std::vector<modelgen::Model> baseModels();

// A file every mutation starts from: its name in the corpus folder and bytes.
struct SourceFile {
  std::string name;   // e.g. "convert-ball-plyb.ply", "valid-ball-obj.obj"
  std::string label;  // names the mutations: e.g. "ball-plyb", "valid-ball-obj"
  std::string extension;
  std::string bytes;
};

// The families, in the order of the corpus.
void addValidModels(CorpusBuilder& b, const std::vector<modelgen::Model>& models, std::vector<SourceFile>& sources);
void addConversions(CorpusBuilder& b, const std::vector<modelgen::Model>& models, std::vector<SourceFile>& sources);
void addMutations(CorpusBuilder& b, const std::vector<SourceFile>& sources);
void addHeaderCounts(CorpusBuilder& b, const modelgen::Model& model);
void addNonFinite(CorpusBuilder& b, const modelgen::Model& model);
void addBadIndices(CorpusBuilder& b, const modelgen::Model& model);
void addNonManifold(CorpusBuilder& b);
void addPlyHeaders(CorpusBuilder& b);
void addOddFiles(CorpusBuilder& b, const modelgen::Model& model);
void addGltfGraphs(CorpusBuilder& b, const modelgen::Model& model);
void addGltfBuffers(CorpusBuilder& b, const modelgen::Model& model);
void addSegmentationFiles(CorpusBuilder& b, const modelgen::Model& model);
void addSymmetryFiles(CorpusBuilder& b, const modelgen::Model& model);

}  // namespace corpus
