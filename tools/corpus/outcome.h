#pragma once

// How one batch run treated one corpus input, judged by one set of rules
// (shared by the corpus report and the batch tool's test), and the tables of
// many runs.
//
// The rules, for a run of `korvane-batch --quiet --out DIR INPUT`:
// - crash: the batch process ended by a signal (other than the kill at the
//   wall-time limit), or it reports that its worker process did ("the
//   worker process stopped with signal N", or the older "the worker process
//   crashed"). A reading child's end ("the reader stopped with signal N") is
//   a refusal with its reason: the program stood.
// - hang: the run was killed at the wall-time limit.
// - over 2 GB: the process tree's peak resident memory passed 2 GiB.
// - over budget: an allocation was refused by the address-space limit: a
//   process of the tree came within 64 MiB of the limit, or standard error
//   reports a failed allocation (bad_alloc, "more memory than is available",
//   "Cannot allocate memory", "out of memory").
// - wrong exit code, for runs that ended by themselves: a status other than 0
//   and 1; 0 with a failure line for the input or without its summary; 1
//   with its summary written; a valid input (Expect::Ok) not 0; a broken one
//   (Expect::Refuse) 0.
// - unclear message, for runs that ended by themselves and did not succeed:
//   no failure line ("korvane-batch: ...", not a warning) names the input's
//   file with a reason. The reason is what follows the file's name; it is
//   missing when, without the file's name, it is empty or only says that
//   something failed: "Process crashed", "bad_alloc", "unknown error",
//   "cannot be loaded", "Unable to read ... as a mesh".

#include <string>
#include <vector>

#include "corpus.h"

namespace corpus {

// What the limited run (korvane_corpus_run) measured.
struct RunRecord {
  int exitStatus = -1;    // -1 when the batch process did not exit by itself
  int signal = 0;         // the signal that ended the batch process; 0 for none
  bool timedOut = false;  // killed at the wall-time limit
  double wallSeconds = 0.0;
  long long peakRssKb = 0;           // the process tree's peak resident memory
  long long peakAddressSpaceKb = 0;  // the largest address space a process of the tree reached
  int leftovers = 0;                 // processes of the tree still alive after the batch ended
};

// One line "exit=0 signal=0 timedout=0 wall=0.25 rss_kb=123 vm_kb=456 leftovers=0".
std::string formatRunRecord(const RunRecord& r);
bool parseRunRecord(const std::string& line, RunRecord& r);

struct Limits {
  double wallSeconds = 60.0;
  long long budgetKb = 4ll << 20;  // the address-space limit of each process
  long long largeKb = 2ll << 20;   // "over 2 GB"
};

struct Outcome {
  CorpusInput input;
  RunRecord run;
  std::string verdict;  // "done", "refused", "crashed", "hung", "exit N"
  bool crashed = false;
  int crashSignal = 0;
  bool crashInWorker = false;
  bool hung = false;
  bool overLarge = false;
  bool overBudget = false;
  bool wrongExit = false;
  bool unclear = false;
  std::string why;       // what the wrong exit code or the unclear message is
  std::string lastLine;  // the last line of standard error
};

// `inputPath`: the path the batch was given; `stderrText`: its standard
// error; `summaryWritten`: whether the input's summary.json exists.
Outcome judge(const CorpusInput& input, const std::string& inputPath, const RunRecord& run,
              const std::string& stderrText, bool summaryWritten, const Limits& limits);

// The same from the files a run left: RUNS/<file>.run (the run record),
// RUNS/<file>.err (standard error) and RESULTS/<name>/summary.json (RESULTS
// is the batch's --out folder; <name> is the file's name up to its last
// dot). False when there is no run record.
bool judgeRunFiles(const CorpusInput& input, const std::string& corpusDir, const std::string& runsDir,
                   const std::string& resultsDir, const Limits& limits, Outcome& outcome);

std::string outcomeTsvHeader();
std::string outcomeTsvLine(const Outcome& o);

// The counts (inputs, crashes, hangs, over 2 GB, over budget, wrong exit
// codes, unclear messages), then one row per kind.
std::string outcomeTable(const std::vector<Outcome>& outcomes, const Limits& limits);
// Every input that crashed, hung, went over 2 GB or over budget, or gave an
// unclear message, by kind, with its last line of standard error.
std::string problemList(const std::vector<Outcome>& outcomes);

}  // namespace corpus
