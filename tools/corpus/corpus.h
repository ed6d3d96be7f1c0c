#pragma once

// The hostile-input corpus of the batch tool: every input is made from its
// description here (small generated models, their conversions through the
// mesh library's exporters, seeded byte flips and truncations of those, and
// hand-made files that attack one reader or one companion file each). The
// same description always gives the same bytes.

#include <string>
#include <vector>

namespace corpus {

// What a correct batch run does with an input.
enum class Expect {
  Ok,      // a valid model: exit status 0 and a summary
  Refuse,  // a broken model: exit status 1 and a line naming the file and why
  Any,     // either, as long as status, summary and message agree
};

const char* expectName(Expect e);
bool parseExpect(const std::string& text, Expect& e);

struct CorpusInput {
  std::string file;  // model file name, relative to the corpus folder
  std::string kind;  // family of the input (one reader or file, one attack)
  Expect expect = Expect::Any;
  bool sample = false;  // the one input of its kind in the small sample
  std::string note;     // what the input is, in a few words
};

// Writes the corpus into `dir` (which must exist) and returns its inputs.
// With `sampleOnly`, only the one representative input of each kind is
// listed (files other inputs derive from may still be written). Returns an
// empty list and sets `error` when a file cannot be written.
std::vector<CorpusInput> writeCorpus(const std::string& dir, bool sampleOnly, std::string& error);

// The list of inputs as a tab-separated file with a header line (file,
// kind, expect, sample, note), and back.
bool writeManifest(const std::string& path, const std::vector<CorpusInput>& inputs);
bool readManifest(const std::string& path, std::vector<CorpusInput>& inputs, std::string& error);

}  // namespace corpus
