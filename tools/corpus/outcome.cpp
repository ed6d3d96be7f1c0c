#include "outcome.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace corpus {

std::string formatRunRecord(const RunRecord& r) {
  char buf[200];
  std::snprintf(buf, sizeof buf, "exit=%d signal=%d timedout=%d wall=%.3f rss_kb=%lld vm_kb=%lld leftovers=%d",
                r.exitStatus, r.signal, r.timedOut ? 1 : 0, r.wallSeconds, r.peakRssKb, r.peakAddressSpaceKb,
                r.leftovers);
  return buf;
}

bool parseRunRecord(const std::string& line, RunRecord& r) {
  std::istringstream in(line);
  int fields = 0;
  for (std::string item; in >> item;) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos) return false;
    const std::string key = item.substr(0, eq);
    const char* value = item.c_str() + eq + 1;
    ++fields;
    if (key == "exit")
      r.exitStatus = std::atoi(value);
    else if (key == "signal")
      r.signal = std::atoi(value);
    else if (key == "timedout")
      r.timedOut = std::atoi(value) != 0;
    else if (key == "wall")
      r.wallSeconds = std::atof(value);
    else if (key == "rss_kb")
      r.peakRssKb = std::atoll(value);
    else if (key == "vm_kb")
      r.peakAddressSpaceKb = std::atoll(value);
    else if (key == "leftovers")
      r.leftovers = std::atoi(value);
    else
      --fields;
  }
  return fields == 7;
}

namespace {

std::vector<std::string> nonEmptyLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    size_t start = 0;
    while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start]))) ++start;
    if (start < line.size()) lines.push_back(line.substr(start));
  }
  return lines;
}

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void removeAll(std::string& text, const std::string& part) {
  if (part.empty()) return;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at)) text.erase(at, part.size());
}

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The reason of a failure line: what follows the file's name, without the
// file's name, lower case, white space collapsed, end punctuation dropped.
std::string reasonOf(const std::string& line, const std::string& inputPath) {
  const std::string name = baseName(inputPath);
  size_t at = line.find(inputPath + ": ");
  size_t skip = inputPath.size() + 2;
  if (at == std::string::npos) {
    at = line.find(name + ": ");
    skip = name.size() + 2;
  }
  std::string reason = at == std::string::npos ? std::string() : line.substr(at + skip);
  removeAll(reason, inputPath);
  removeAll(reason, name);
  std::string collapsed;
  for (char c : lower(reason)) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!collapsed.empty() && collapsed.back() != ' ') collapsed += ' ';
    } else {
      collapsed += c;
    }
  }
  while (!collapsed.empty() && (collapsed.back() == ' ' || collapsed.back() == '.' || collapsed.back() == ':'))
    collapsed.pop_back();
  return collapsed;
}

bool vague(const std::string& reason) {
  if (reason.empty()) return true;
  for (const char* part : {"process crashed", "bad_alloc", "unknown error"})
    if (contains(reason, part)) return true;
  for (const char* whole : {"cannot be loaded", "unable to read as a mesh", "failed", "error"})
    if (reason == whole) return true;
  return false;
}

int workerSignal(const std::vector<std::string>& lines, bool& crashed) {
  for (const std::string& line : lines) {
    // The reading child's end ("the reader stopped with signal N") is the
    // program's own verdict on a file, not a crash of the program.
    const std::string said = "worker process stopped with signal ";
    const size_t at = line.find(said);
    if (at != std::string::npos) {
      crashed = true;
      return std::atoi(line.c_str() + at + said.size());
    }
    if (contains(line, "the worker process crashed")) crashed = true;
  }
  return 0;
}

std::string clean(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  if (s.size() > 400) s = s.substr(0, 400) + "...";
  return s;
}

}  // namespace

Outcome judge(const CorpusInput& input, const std::string& inputPath, const RunRecord& run,
              const std::string& stderrText, bool summaryWritten, const Limits& limits) {
  Outcome o;
  o.input = input;
  o.run = run;
  const std::vector<std::string> lines = nonEmptyLines(stderrText);
  o.lastLine = lines.empty() ? std::string() : clean(lines.back());
  const std::string name = baseName(inputPath);
  const std::string text = lower(stderrText);

  o.hung = run.timedOut;
  bool workerCrashed = false;
  const int signalOfWorker = workerSignal(lines, workerCrashed);
  if (!run.timedOut && run.signal != 0) {
    o.crashed = true;
    o.crashSignal = run.signal;
  } else if (workerCrashed) {
    o.crashed = o.crashInWorker = true;
    o.crashSignal = signalOfWorker;
  }
  o.overLarge = run.peakRssKb > limits.largeKb;
  o.overBudget = run.peakAddressSpaceKb >= limits.budgetKb - (64 << 10) || contains(text, "bad_alloc") ||
                 contains(text, "more memory than is available") || contains(text, "cannot allocate memory") ||
                 contains(text, "out of memory");

  // Failure lines that name the file, with their reasons.
  std::vector<std::string> reasons;
  for (const std::string& line : lines)
    if (line.compare(0, 15, "korvane-batch: ") == 0 && !contains(line, ": warning: ") && contains(line, name))
      reasons.push_back(reasonOf(line, inputPath));

  const bool endedByItself = !run.timedOut;
  const bool exited = endedByItself && run.signal == 0;
  if (o.hung)
    o.verdict = "hung";
  else if (!exited)
    o.verdict = "killed by signal " + std::to_string(run.signal);
  else if (run.exitStatus == 0)
    o.verdict = "done";
  else if (run.exitStatus == 1)
    o.verdict = o.crashed ? "crashed" : "refused";
  else
    o.verdict = "exit " + std::to_string(run.exitStatus);

  std::vector<std::string> why;
  if (exited) {
    const int s = run.exitStatus;
    if (s != 0 && s != 1) why.push_back("exit status " + std::to_string(s));
    if (s == 0 && !reasons.empty()) why.push_back("status 0 with a failure line");
    if (s == 0 && !summaryWritten) why.push_back("status 0 without a summary");
    if (s == 1 && summaryWritten) why.push_back("status 1 with a summary");
    if (input.expect == Expect::Ok && s != 0) why.push_back("a valid input not done");
    if (input.expect == Expect::Refuse && s == 0) why.push_back("a broken input done");
    o.wrongExit = !why.empty();
  }
  if (endedByItself && !(exited && run.exitStatus == 0)) {
    bool clear = false;
    for (const std::string& r : reasons) clear = clear || !vague(r);
    if (!clear) {
      o.unclear = true;
      why.push_back(reasons.empty() ? "no failure line names the file" : "no reason given: \"" + reasons.back() + "\"");
    }
  }
  for (size_t k = 0; k < why.size(); ++k) o.why += (k ? "; " : "") + why[k];
  return o;
}

namespace {

// At most the last 4 MiB of a file (a run may write without end).
std::string tail(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::string();
  const std::streamoff size = in.tellg();
  const std::streamoff keep = std::min<std::streamoff>(size, 4 << 20);
  in.seekg(size - keep);
  std::string bytes(size_t(keep), '\0');
  in.read(&bytes[0], keep);
  return bytes;
}

}  // namespace

bool judgeRunFiles(const CorpusInput& input, const std::string& corpusDir, const std::string& runsDir,
                   const std::string& resultsDir, const Limits& limits, Outcome& outcome) {
  RunRecord run;
  std::string line;
  std::ifstream record(runsDir + "/" + input.file + ".run");
  if (!std::getline(record, line) || !parseRunRecord(line, run)) return false;
  const size_t dot = input.file.rfind('.');
  const std::string name = dot == std::string::npos || dot == 0 ? input.file : input.file.substr(0, dot);
  struct stat st;
  const bool summary = ::stat((resultsDir + "/" + name + "/summary.json").c_str(), &st) == 0;
  outcome = judge(input, corpusDir + "/" + input.file, run, tail(runsDir + "/" + input.file + ".err"), summary, limits);
  return true;
}

std::string outcomeTsvHeader() {
  return "file\tkind\texpect\tverdict\texit\tsignal\twall_s\tpeak_rss_mb\tpeak_vm_mb\tleftovers\tcrash\thang\t"
         "over_2gb\tover_budget\twrong_exit\tunclear\twhy\tlast_stderr_line\n";
}

std::string outcomeTsvLine(const Outcome& o) {
  char numbers[200];
  std::snprintf(numbers, sizeof numbers, "%d\t%d\t%.2f\t%.0f\t%.0f\t%d", o.run.exitStatus,
                o.crashed ? o.crashSignal : o.run.signal, o.run.wallSeconds, o.run.peakRssKb / 1024.0,
                o.run.peakAddressSpaceKb / 1024.0, o.run.leftovers);
  const auto flag = [](bool b) { return b ? "1" : "0"; };
  return o.input.file + "\t" + o.input.kind + "\t" + expectName(o.input.expect) + "\t" + o.verdict + "\t" + numbers +
         "\t" + flag(o.crashed) + "\t" + flag(o.hung) + "\t" + flag(o.overLarge) + "\t" + flag(o.overBudget) + "\t" +
         flag(o.wrongExit) + "\t" + flag(o.unclear) + "\t" + clean(o.why) + "\t" + o.lastLine + "\n";
}

namespace {

struct Counts {
  int inputs = 0, done = 0, refused = 0, crashes = 0, workerCrashes = 0, hangs = 0, large = 0, budget = 0, wrong = 0,
      unclear = 0;
  void add(const Outcome& o) {
    ++inputs;
    done += o.verdict == "done";
    refused += o.verdict == "refused";
    crashes += o.crashed;
    workerCrashes += o.crashInWorker;
    hangs += o.hung;
    large += o.overLarge;
    budget += o.overBudget;
    wrong += o.wrongExit;
    unclear += o.unclear;
  }
};

}  // namespace

std::string outcomeTable(const std::vector<Outcome>& outcomes, const Limits& limits) {
  Counts all;
  std::map<std::string, Counts> perKind;
  std::vector<std::string> kinds;
  for (const Outcome& o : outcomes) {
    all.add(o);
    if (!perKind.count(o.input.kind)) kinds.push_back(o.input.kind);
    perKind[o.input.kind].add(o);
  }
  char buf[400];
  std::string s;
  const auto row = [&](const std::string& label, int n, const std::string& more) {
    std::snprintf(buf, sizeof buf, "| %-44s | %5d |%s\n", label.c_str(), n, more.c_str());
    s += buf;
  };
  const auto text = [](const char* format, double value) {
    char t[100];
    std::snprintf(t, sizeof t, format, value);
    return std::string(t);
  };
  s += "| outcome                                      | count |\n";
  s += "|----------------------------------------------|------:|\n";
  row("inputs", all.inputs, "");
  row("done (status 0)", all.done, "");
  row("refused (status 1, no crash)", all.refused, "");
  row("crashes (killed by a signal)", all.crashes, text(" %.0f of them in a worker process", all.workerCrashes));
  row(text("hangs (killed at %.0f s)", limits.wallSeconds), all.hangs, "");
  row("runs over 2 GB (peak resident memory)", all.large, "");
  row(text("over budget (%.0f MiB address space)", double(limits.budgetKb >> 10)), all.budget, "");
  row("wrong exit codes", all.wrong, "");
  row("unclear messages", all.unclear, "");
  s += "\n| kind | inputs | done | refused | crashes | hangs | over 2 GB | over budget | wrong exit | unclear |\n";
  s += "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n";
  for (const std::string& k : kinds) {
    const Counts& c = perKind[k];
    std::snprintf(buf, sizeof buf, "| %s | %d | %d | %d | %d | %d | %d | %d | %d | %d |\n", k.c_str(), c.inputs, c.done,
                  c.refused, c.crashes, c.hangs, c.large, c.budget, c.wrong, c.unclear);
    s += buf;
  }
  return s;
}

std::string problemList(const std::vector<Outcome>& outcomes) {
  std::vector<std::string> kinds;
  for (const Outcome& o : outcomes)
    if (std::find(kinds.begin(), kinds.end(), o.input.kind) == kinds.end()) kinds.push_back(o.input.kind);
  std::string s;
  for (const std::string& kind : kinds) {
    bool first = true;
    for (const Outcome& o : outcomes) {
      if (o.input.kind != kind) continue;
      std::string what;
      const auto also = [&](const std::string& w) { what += (what.empty() ? "" : ", ") + w; };
      if (o.crashed)
        also(std::string("crash (") + (o.crashInWorker ? "in the worker, " : "") +
             (o.crashSignal ? "signal " + std::to_string(o.crashSignal) : "signal not reported") + ")");
      if (o.hung) also("hang");
      if (o.overLarge) also("over 2 GB");
      if (o.overBudget) also("over budget");
      if (o.unclear) also("unclear");
      if (what.empty()) continue;
      if (first) s += kind + ":\n";
      first = false;
      char buf[100];
      std::snprintf(buf, sizeof buf, " (%.1f s, %.0f MB)", o.run.wallSeconds, o.run.peakRssKb / 1024.0);
      s += "  " + o.input.file + ": " + what + buf + "\n      " + (o.lastLine.empty() ? "(no output)" : o.lastLine) +
           "\n";
    }
  }
  return s;
}

}  // namespace corpus
