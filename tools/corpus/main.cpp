// korvane_corpus: writes the hostile-input corpus of the batch tool, and
// reports how the batch tool treated it.
//
//   korvane_corpus generate [--sample] DIR
//       writes the inputs into DIR (created if missing) and lists them in
//       DIR/manifest.tsv; with --sample only one input per kind
//   korvane_corpus report --corpus DIR --runs DIR --results DIR [--wall S] [--as-mb MB] [--tsv FILE]
//       reads, for every input of the manifest, RUNS/<file>.run (the record
//       of korvane_corpus_run) and RUNS/<file>.err (standard error) and
//       RESULTS (the batch's --out folder); prints the table and the inputs
//       that crashed, hung, went over 2 GB or over budget, or gave unclear
//       messages; writes every input's outcome to the TSV file

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "corpus.h"
#include "outcome.h"

namespace {

int usage() {
  std::fputs(
      "usage: korvane_corpus generate [--sample] DIR\n"
      "       korvane_corpus report --corpus DIR --runs DIR --results DIR [--wall S] [--as-mb MB] [--tsv FILE]\n",
      stderr);
  return 2;
}

int generate(int argc, char** argv) {
  bool sample = false;
  std::string dir;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--sample")
      sample = true;
    else if (dir.empty() && !a.empty() && a[0] != '-')
      dir = a;
    else
      return usage();
  }
  if (dir.empty()) return usage();
  ::mkdir(dir.c_str(), 0755);
  std::string error;
  const std::vector<corpus::CorpusInput> inputs = corpus::writeCorpus(dir, sample, error);
  if (inputs.empty()) {
    std::fprintf(stderr, "korvane_corpus: %s\n", error.empty() ? "no inputs" : error.c_str());
    return 1;
  }
  if (!corpus::writeManifest(dir + "/manifest.tsv", inputs)) {
    std::fprintf(stderr, "korvane_corpus: cannot write %s/manifest.tsv\n", dir.c_str());
    return 1;
  }
  std::set<std::string> kinds;
  for (const corpus::CorpusInput& in : inputs) kinds.insert(in.kind);
  std::printf("%zu inputs of %zu kinds in %s\n", inputs.size(), kinds.size(), dir.c_str());
  return 0;
}

int report(int argc, char** argv) {
  std::string corpusDir, runsDir, resultsDir, tsvPath;
  corpus::Limits limits;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--corpus")
      corpusDir = v;
    else if (a == "--runs")
      runsDir = v;
    else if (a == "--results")
      resultsDir = v;
    else if (a == "--tsv")
      tsvPath = v;
    else if (a == "--wall")
      limits.wallSeconds = std::atof(v.c_str());
    else if (a == "--as-mb")
      limits.budgetKb = std::atoll(v.c_str()) << 10;
    else
      return usage();
  }
  if (argc % 2 != 0 || corpusDir.empty() || runsDir.empty() || resultsDir.empty()) return usage();
  std::vector<corpus::CorpusInput> inputs;
  std::string error;
  if (!corpus::readManifest(corpusDir + "/manifest.tsv", inputs, error)) {
    std::fprintf(stderr, "korvane_corpus: %s\n", error.c_str());
    return 1;
  }
  std::vector<corpus::Outcome> outcomes;
  int missing = 0;
  for (const corpus::CorpusInput& in : inputs) {
    corpus::Outcome o;
    if (corpus::judgeRunFiles(in, corpusDir, runsDir, resultsDir, limits, o))
      outcomes.push_back(o);
    else
      ++missing;
  }
  std::fputs(corpus::outcomeTable(outcomes, limits).c_str(), stdout);
  if (missing > 0) std::printf("\n%d inputs have no run record\n", missing);
  const std::string problems = corpus::problemList(outcomes);
  std::printf("\nInputs that crashed, hung, went over 2 GB or over budget, or gave unclear messages:\n%s",
              problems.empty() ? "  none\n" : problems.c_str());
  if (!tsvPath.empty()) {
    std::string tsv = corpus::outcomeTsvHeader();
    for (const corpus::Outcome& o : outcomes) tsv += corpus::outcomeTsvLine(o);
    std::ofstream out(tsvPath, std::ios::binary);
    out << tsv;
    if (!out) {
      std::fprintf(stderr, "korvane_corpus: cannot write %s\n", tsvPath.c_str());
      return 1;
    }
    std::printf("\nEvery input's outcome: %s\n", tsvPath.c_str());
  }
  return missing > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  if (command == "generate") return generate(argc, argv);
  if (command == "report") return report(argc, argv);
  return usage();
}
