// korvane_corpus_run: runs one command with a wall-time limit and an
// address-space limit, and measures its whole process tree.
//
//   korvane_corpus_run --wall SECONDS --as-mb MB --stderr FILE --record FILE -- PROGRAM [ARGS...]
//
// The command runs in a process group of its own, with standard input and
// output on /dev/null and standard error into FILE; this program adopts the
// orphans of the tree (a child subreaper), so that every process of the tree
// is waited for and counted. At the wall limit the whole group is killed.
// The record (one line, see corpus/outcome.h) gives the exit status or
// signal, the wall time, the tree's peak resident memory (the larger of the
// kernel's figure for the largest process and the sampled sum over the
// tree), the largest sampled address space, and the processes left over
// after the command ended (killed then).

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "outcome.h"

namespace {

struct TreeSample {
  std::vector<pid_t> pids;
  long long rssKb = 0;     // sum over the tree
  long long peakVmKb = 0;  // largest peak address space of one process
};

// A "Key:   123 kB" line of /proc/PID/status.
long long statusField(const std::string& status, const char* key) {
  const size_t at = status.find(key);
  return at == std::string::npos ? 0 : std::atoll(status.c_str() + at + std::strlen(key));
}

std::string readSmall(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return std::string();
  char buf[4096];
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  return std::string(buf, n);
}

// The processes of the group `group` and the children of this process (the
// adopted orphans), with their memory.
TreeSample sampleTree(pid_t group) {
  TreeSample t;
  const pid_t self = ::getpid();
  DIR* proc = ::opendir("/proc");
  if (!proc) return t;
  while (dirent* e = ::readdir(proc)) {
    if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
    const std::string dir = std::string("/proc/") + e->d_name;
    const std::string stat = readSmall(dir + "/stat");
    // pid (comm) state ppid pgrp ...: the name may hold spaces and brackets.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0, pgrp = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &ppid, &pgrp) != 3) continue;
    if (pgrp != group && ppid != self) continue;
    if (state == 'Z') continue;
    t.pids.push_back(pid_t(std::atoi(e->d_name)));
    const std::string status = readSmall(dir + "/status");
    t.rssKb += statusField(status, "VmRSS:");
    t.peakVmKb = std::max(t.peakVmKb, statusField(status, "VmPeak:"));
  }
  ::closedir(proc);
  return t;
}

void killTree(pid_t group) {
  ::kill(-group, SIGKILL);
  for (pid_t p : sampleTree(group).pids) ::kill(p, SIGKILL);
}

int usage(const char* program) {
  std::fprintf(stderr, "usage: %s --wall SECONDS --as-mb MB --stderr FILE --record FILE -- PROGRAM [ARGS...]\n",
               program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  double wall = 60.0;
  long long asMb = 4096;
  std::string errPath = "/dev/null", recordPath;
  int first = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") {
      first = i + 1;
      break;
    }
    if (i + 1 >= argc) return usage(argv[0]);
    if (a == "--wall")
      wall = std::atof(argv[++i]);
    else if (a == "--as-mb")
      asMb = std::atoll(argv[++i]);
    else if (a == "--stderr")
      errPath = argv[++i];
    else if (a == "--record")
      recordPath = argv[++i];
    else
      return usage(argv[0]);
  }
  if (first == 0 || first >= argc || recordPath.empty() || wall <= 0 || asMb <= 0) return usage(argv[0]);

  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    ::setpgid(0, 0);
    const rlimit as{rlim_t(asMb) << 20, rlim_t(asMb) << 20};
    const rlimit core{0, 0};
    ::setrlimit(RLIMIT_AS, &as);
    ::setrlimit(RLIMIT_CORE, &core);
    const int null = ::open("/dev/null", O_RDWR);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null < 0 || err < 0) _exit(126);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(err, 2);
    ::execvp(argv[first], argv + first);
    std::fprintf(stderr, "korvane_corpus_run: cannot run %s: %s\n", argv[first], std::strerror(errno));
    _exit(127);
  }
  ::setpgid(child, child);  // also here, so that no kill comes before the child's own call

  corpus::RunRecord record;
  int status = 0;
  const auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  for (;;) {
    const pid_t r = ::waitpid(child, &status, WNOHANG);
    if (r == child) break;
    if (r < 0 && errno != EINTR) break;
    const TreeSample t = sampleTree(child);
    record.peakRssKb = std::max(record.peakRssKb, t.rssKb);
    record.peakAddressSpaceKb = std::max(record.peakAddressSpaceKb, t.peakVmKb);
    if (seconds() > wall) {
      record.timedOut = true;
      killTree(child);
      ::waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  record.wallSeconds = seconds();
  if (WIFEXITED(status)) record.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) record.signal = WTERMSIG(status);

  // Processes the command left behind get two seconds to end, then are killed.
  for (int k = 0; k < 100; ++k) {
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    const TreeSample t = sampleTree(child);
    if (t.pids.empty()) break;
    if (k == 0 && !record.timedOut) record.leftovers = int(t.pids.size());
    record.peakAddressSpaceKb = std::max(record.peakAddressSpaceKb, t.peakVmKb);
    if (k == 99) killTree(child);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  killTree(child);
  while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
  }
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  record.peakRssKb = std::max(record.peakRssKb, (long long)usage.ru_maxrss);

  std::FILE* out = std::fopen(recordPath.c_str(), "w");
  if (!out) {
    std::perror(recordPath.c_str());
    return 1;
  }
  std::fprintf(out, "%s\n", corpus::formatRunRecord(record).c_str());
  return std::fclose(out) == 0 ? 0 : 1;
}
